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
// postgresql://user@host:port/dbname URL names a database on a server (see Location).
QString libraryLocation();
// The settings file, $XDG_CONFIG_HOME/Quillbox/Quillbox.ini; empty when no folder can be named.
QString settingsFilePath();

} // namespace quillbox::store
