#pragma once
// The library folder and the files in it. The folder is fixed: $XDG_DATA_HOME/Quillbox
// (by default ~/.local/share/Quillbox); nothing in the program changes it.

#include <QString>
#include <QStringList>

namespace quillbox::store {

// A base folder as the XDG rules name it: the variable when it holds an absolute path, else
// the folder under HOME. Empty when neither names a folder.
QString xdgHome(const char *variable, const char *underHome);
// Why no folder could be named, in words, for the variable that was asked.
QString noHomeMessage(const char *variable);

// Empty when no folder can be named (see noHomeMessage).
QString libraryFolder();
// The snippet database, an SQLite file with the table TABLE1 (empty as the folder is).
QString databasePath();
// The user's help page (empty as the folder is).
QString helpFilePath();

// Where the library is: QUILLBOX_LIBRARY when set and not empty, else the key
// [Library] Location of the settings file when not empty, else databasePath(). A
// postgresql://user@host:port/dbname URL names a database on a server; a value that is
// neither such a URL nor an absolute file path is refused when the library is opened.
QString libraryLocation();
// The settings file, $XDG_CONFIG_HOME/Quillbox/Quillbox.ini; empty when no folder can be named.
QString settingsFilePath();

// A library on a PostgreSQL server, read from a postgresql:// (or postgres://) URL. The
// host may be a Unix socket folder: a host starting with "/", percent-encoded ("%2Ftmp"), or
// given as the query item host=. Other query items go to the server's client library as
// connection options (sslmode=require, connect_timeout=5, ...).
struct ServerAddress {
    QString host, user, password, database;
    int port = -1;
    QStringList options; // "key=value"
    QString display;     // the URL without its password, for messages
    QString error;       // why the URL cannot be used; empty when it can
};
bool isServerLocation(const QString &location);
ServerAddress serverAddress(const QString &location);
// The server's URL without its password; empty for a library file.
QString shownServer(const QString &location);

// The SQLite URI that opens an existing database for reading and writing and never
// creates one: a missing file fails to open instead.
QString readWriteUri(const QString &path);

} // namespace quillbox::store
