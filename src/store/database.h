#pragma once
// One operation's connection to the library, used only inside the store: an SQLite file, or
// a database on a PostgreSQL server named by a postgresql:// URL. A connection opens an
// existing library only: a missing file, database or table is reported, never created.

#include "store/backend.h"
#include "store/storeerror.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <utility>

class QSqlError;

namespace quillbox::store {

class DbConnection {
public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection &) = delete;
    DbConnection &operator=(const DbConnection &) = delete;

    // Opens the existing file, or connects to the server, for reading and writing.
    bool Open(const QString &location);
    void Close();
    QString path() const { return m_path; }
    bool isServer() const { return m_server; }
    // What the library's back end says differently in SQL.
    const Backend &backend() const { return m_server ? postgresBackend() : sqliteBackend(); }
    // The library as messages name it: the file, or the server's URL without its password.
    QString shownName() const { return m_shown; }

    // A read sees one state of the library between beginRead and end; a write reserves it at
    // beginWrite (the file, or the server's lock for the library), so that nobody else
    // writes through Quillbox until it is committed or rolled back.
    bool beginRead();
    bool beginWrite();
    bool commit();
    void rollback();

    QSqlDatabase database() const;
    const StoreError &lastError() const { return m_error; }
    // Records a failure found by looking at the file rather than by the database's error.
    void setError(StoreError error) { m_error = std::move(error); }
    // Records a failure of this connection's file, classified from the database's error.
    const StoreError &fail(const QSqlError &error, bool writing);

    // How long an operation waits for a file another program holds (default 3000 ms).
    static void setBusyTimeout(int milliseconds);
    static int busyTimeout();
    // Runs on every connection right after it opens; tests use it to limit the file's size.
    static void setOpenHook(std::function<void(QSqlDatabase &)> hook);
    // Runs on a server's connection as soon as a write holds the library's lock; tests use it
    // to learn the order in which the writes held it.
    static void setLockedHook(std::function<void(QSqlDatabase &)> hook);

private:
    bool begin(const QString &statement, bool writing);
    bool openServer(const QString &location);
    const StoreError &failServer(const QSqlError &error, bool writing);
    bool run(const QString &statement, bool writing);

    bool m_server = false;
    bool m_connected = false;
    bool m_committing = false;
    QString m_shown;
    QString m_name;
    QElapsedTimer m_waiting; // since this connection began to wait for a file another holds
    QString m_path;
    bool m_inTransaction = false;
    bool m_writing = false;
    StoreError m_error;
};

} // namespace quillbox::store
