#pragma once
// The library folder and the files in it. The folder is fixed: $XDG_DATA_HOME/Quillbox
// (by default ~/.local/share/Quillbox); nothing in the program changes it.

#include <QString>

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

// The SQLite URI that opens an existing database for reading and writing and never
// creates one: a missing file fails to open instead.
QString readWriteUri(const QString &path);

} // namespace quillbox::store
