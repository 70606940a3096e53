#pragma once
// The library folder and the files in it. The folder is fixed: $XDG_DATA_HOME/Quillbox
// (by default ~/.local/share/Quillbox); nothing in the program changes it.

#include <QString>

namespace quillbox::store {

QString libraryFolder();
// The snippet database, an SQLite file with the table TABLE1.
QString databasePath();
// The user's help page.
QString helpFilePath();

// The SQLite URI that opens an existing database for reading and writing and never
// creates one: a missing file fails to open instead.
QString readWriteUri(const QString &path);

} // namespace quillbox::store
