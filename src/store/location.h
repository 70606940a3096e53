#pragma once
// Where the library is, read once from the text that names it, and how the store reaches it.
// A postgresql:// (or postgres://) URL names a database on a server; an absolute path names a
// library file; anything else is refused when the library is used, with the reason.

#include "store/storeerror.h"

#include <QString>
#include <QStringList>

#include <functional>

class QSqlDatabase;

namespace quillbox::store {

// A library on a PostgreSQL server, read from its URL. The host may be a Unix socket folder:
// a host starting with "/", percent-encoded ("%2Ftmp"), or given as the query item host=.
// Other query items go to the server's client library as connection options
// (sslmode=require, connect_timeout=5, ...).
struct ServerAddress {
    QString host, user, password, database;
    int port = -1;
    QStringList options; // "key=value"
    QString display;     // the URL without its password, for messages
};

bool isServerLocation(const QString &location);
// The server's URL without its password; empty for a library file.
QString shownServer(const QString &location);

class Location {
public:
    enum class Kind { File, Server };

    Location() = default;
    explicit Location(const QString &text);

    Kind kind() const { return m_kind; }
    bool onServer() const { return m_kind == Kind::Server; }
    // The text as given.
    const QString &text() const { return m_text; }
    // The library file (for a file).
    const QString &file() const { return m_file; }
    // The server's address (for a server).
    const ServerAddress &server() const { return m_server; }
    // The library as messages name it: the file, or the server's URL without its password.
    const QString &shown() const { return m_shown; }
    // Why the library cannot be used where the text says; no failure when it can be tried.
    const StoreError &fault() const { return m_fault; }

private:
    Kind m_kind = Kind::File;
    QString m_text, m_file, m_shown;
    ServerAddress m_server;
    StoreError m_fault;
};

// How the store reaches the library: how long it waits for a library another program holds,
// and the moments tests look in at.
struct LibraryOptions {
    int busyTimeout = 3000; // milliseconds
    // Runs on every connection right after it opens (tests limit the file's size with it).
    std::function<void(QSqlDatabase &)> opened;
    // Runs as soon as a write holds the library (tests learn the order of the writes by it).
    std::function<void(QSqlDatabase &)> locked;
    // Runs between an operation's check and its write (tests write through another
    // connection at that moment).
    std::function<void()> checked;
};

// The SQLite URI that opens an existing database for reading and writing and never
// creates one: a missing file fails to open instead.
QString readWriteUri(const QString &path);

} // namespace quillbox::store
