#pragma once
// The snippet database: one SQLite file with the table TABLE1 (CodeName, CodeDesc, code),
// one row per snippet, rows in table order (the order they were stored in).
//
// Every operation opens its own connection, works, and closes it again before it returns;
// nothing is cached between operations. A connection opens an existing file only: a
// missing file is reported, never created. Writes are whole or not at all.
//
// Walking the table never reads the descriptions and code of the rows it passes: only a
// row's heading is read until one of its other columns is asked for.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>
#include <vector>

namespace quillbox::store {

// What went wrong with the library, in kinds the user can act on.
enum class Failure {
    None,
    MissingFile,   // no file (or no folder) at the path
    CannotOpen,    // there, but cannot be opened (permissions)
    NotADatabase,  // some other kind of file
    Damaged,       // an SQLite file whose contents are broken
    MissingTable,  // no table TABLE1
    MissingColumn, // TABLE1 lacks CodeName, CodeDesc or code
    Locked,        // another program holds the file past the waiting time
    ReadOnly,      // the file or its folder cannot be written
    DiskFull,      // no room for what was to be written
    Vanished,      // the row that was being worked on is no longer in the table
    Other,
};

struct StoreError {
    Failure kind = Failure::None;
    QString message; // in plain words, naming the file
    explicit operator bool() const { return kind != Failure::None; }
};

// Removes leading and trailing space characters (U+0020 only; tabs and line breaks stay).
QString trimSpaces(const QString &text);
// An entry is empty when nothing is left of it after trimSpaces.
bool isEmptyEntry(const QString &text);

// The two ways a row is matched by its heading. A null CodeName never matches.
// Picked heading: both sides trimmed, compared with case significant.
bool headingMatchesPicked(const QVariant &codeName, const QString &picked);
// A new heading is taken: both sides trimmed and upper-cased (Unicode-aware).
bool headingMatchesTaken(const QVariant &codeName, const QString &entered);

// One operation's connection to the library file.
class DbConnection {
public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection &) = delete;
    DbConnection &operator=(const DbConnection &) = delete;

    // Opens the existing file for reading and writing.
    bool Open(const QString &path);
    void Close();
    bool isOpen() const;
    QString path() const { return m_path; }

    // Writes go between these: an immediate transaction, committed whole or rolled back.
    bool beginWrite();
    bool commitWrite();
    void rollbackWrite();

    QSqlDatabase database() const;
    const StoreError &lastError() const { return m_error; }
    // Records a failure of this connection's file, classified from the database's error.
    const StoreError &fail(const QSqlError &error, bool writing);
    void fail(Failure kind, const QString &message);

    // How long an operation waits for a file another program holds (default 3000 ms).
    static void setBusyTimeout(int milliseconds);
    static int busyTimeout();
    // Runs on every connection right after it opens; tests use it to limit the file's size.
    static void setOpenHook(std::function<void(QSqlDatabase &)> hook);

private:
    QString m_name;
    QString m_path;
    bool m_inWrite = false;
    StoreError m_error;
};

// A static recordset over every row of TABLE1, in table order. The cursor stands on the
// first row after Open (or at the end at once when the table is empty).
class DbRecordset {
public:
    static constexpr const char *kQueryText = "SELECT * FROM TABLE1";

    DbRecordset() = default;
    DbRecordset(const DbRecordset &) = delete;
    DbRecordset &operator=(const DbRecordset &) = delete;

    // Opens the recordset with the table query over the connection.
    bool Open(const QString &source, DbConnection *connection);
    void Close();

    bool Eof() const; // true once the walk has passed the last row
    void MoveFirst();
    void MoveNext();
    int RecordCount();

    // The current row's value of a column: text, or null.
    QVariant Fields(const QString &column);
    // Sets a column of the current row for the next Update.
    void Collect(const QString &column, const QVariant &value);
    // Begins a new, empty row, which becomes the current one.
    void AddNew();
    // Writes the pending changes; they are in the file when it returns.
    bool Update();
    // Removes the current row from the file.
    bool Delete();

    // The walks of the store, done by the database instead of row by row; they leave the
    // cursor where the walk would have stopped.
    // From the first row: moves to the first row whose heading matches the picked one.
    bool FindPicked(const QString &picked);
    // From the current row: whether a row's heading makes the entered one taken.
    bool FindTaken(const QString &entered);
    // Whether a row other than the current one has a heading that makes the entered one
    // taken (a snippet may keep its own heading in another case). The cursor stays.
    bool TakenByAnother(const QString &entered);

    const StoreError &lastError() const;

private:
    struct Row {
        qint64 rowid;
        QVariant codeName;
    };
    bool load();
    bool fetchColumn(const QString &column, QVariant *value);
    // Runs a write on the current row (oneRow: it must touch exactly that row) in its own
    // transaction; a row found gone is reported with nothingDone.
    bool write(QSqlQuery &q, bool oneRow, const QString &nothingDone);
    // Calls onRow with every row whose heading makes the entered one taken.
    bool takenRows(const QString &entered, const std::function<void(qint64)> &onRow);

    DbConnection *m_connection = nullptr;
    bool m_open = false;
    bool m_loaded = false;
    std::vector<Row> m_rows;
    std::size_t m_current = 0;
    std::optional<qint64> m_position; // the current row when the rows are not loaded
    bool m_atEnd = false;
    bool m_adding = false;
    std::vector<std::pair<QString, QVariant>> m_pending;
    StoreError m_error;
};

// The columns the store reads and writes, spelled as in the table.
inline const QString kCodeName = QStringLiteral("CodeName");
inline const QString kCodeDesc = QStringLiteral("CodeDesc");
inline const QString kCode = QStringLiteral("code");

} // namespace quillbox::store
