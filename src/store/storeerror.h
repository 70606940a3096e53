#pragma once
// What went wrong with the snippet library, as a kind the user can act on and a message in
// plain words that names the library (the file, or the server by its URL without password).

#include <QString>

namespace quillbox::store {

enum class Failure {
    None,
    MissingFile,    // no file (or no folder) at the path; no such database on the server
    CannotOpen,     // there, but cannot be opened (permissions)
    NotADatabase,   // some other kind of file
    Damaged,        // an SQLite file whose contents are broken
    MissingTable,   // no table TABLE1
    MissingColumn,  // TABLE1 lacks CodeName, CodeDesc or code
    Locked,         // another program holds the file past the waiting time
    ReadOnly,       // the file or its folder cannot be written
    DiskFull,       // no room for what was to be written
    Unreachable,    // the server is down or cannot be reached
    AuthRefused,    // the server refused the user or the password
    ConnectionLost, // the server went away in the middle of an operation
    TimedOut,       // the server cancelled a statement that ran too long
    BadEntry,       // what was entered breaks the rules of the library (a heading with a line break)
    Other,
};

struct StoreError {
    Failure kind = Failure::None;
    QString message;
    explicit operator bool() const { return kind != Failure::None; }
};

} // namespace quillbox::store
