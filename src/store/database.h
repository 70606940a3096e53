#pragma once
// One operation's connection to the library file, used only inside the store. A
// connection opens an existing file only: a missing file is reported, never created.

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

    // Opens the existing file for reading and writing.
    bool Open(const QString &path);
    void Close();
    QString path() const { return m_path; }

    // A read sees one state of the file between beginRead and end; a write reserves the
    // file at beginWrite, so that nobody else writes until it is committed or rolled back.
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

private:
    bool begin(const char *statement, bool writing);

    QString m_name;
    QElapsedTimer m_waiting; // since this connection began to wait for a file another holds
    QString m_path;
    bool m_inTransaction = false;
    bool m_writing = false;
    StoreError m_error;
};

} // namespace quillbox::store
