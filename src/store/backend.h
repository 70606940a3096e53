#pragma once
// One back end of the library: an SQLite file (store/sqlite/) or a database on a PostgreSQL
// server (store/postgres/). Each one opens its library, begins a read and a write its own
// way, names its rows' identity, says the few words of SQL that differ, makes its schema and
// tells its failures apart. The operations are written once against this interface.
//
// A back end serves one connection: it keeps what it learns while the connection is open.

#include "store/location.h"
#include "store/storeerror.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include "text/matching.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

class QSqlError;

namespace quillbox::store {

// What a failed statement was doing, which decides the words of its message.
struct Access {
    bool writing = false;    // the operation writes
    bool committing = false; // the statement was the COMMIT
};

class Backend {
public:
    Backend(Location location, LibraryOptions options);
    virtual ~Backend() = default;
    Backend(const Backend &) = delete;
    Backend &operator=(const Backend &) = delete;

    // The back end for the library at the location.
    static std::unique_ptr<Backend> forLocation(const Location &location, const LibraryOptions &options);

    const Location &location() const { return m_location; }
    const LibraryOptions &options() const { return m_options; }

    // Adds the connection named `name` and opens the existing library through it; a missing
    // file, database or table is reported, never created.
    virtual StoreError open(const QString &name) = 0;
    // Begins a read that sees one state of the library.
    virtual StoreError beginRead(QSqlDatabase &db) = 0;
    // Begins a write that holds the library (the file, or the server's lock for it), so that
    // nobody else writes through Quillbox until it is committed or rolled back.
    virtual StoreError beginWrite(QSqlDatabase &db) = 0;
    // Checks, in the transaction begun, that TABLE1 is a table with the three columns, and
    // learns the name under which the rows' identity is read (rowId).
    virtual StoreError checkTable(QSqlDatabase &db) = 0;
    const QString &rowId() const { return m_rowId; }

    // The failure, in words, of a statement or of opening.
    virtual StoreError failure(const QSqlError &error, Access access) const = 0;
    // Whether a failed statement leaves the transaction good for nothing but its rollback.
    virtual bool failureEndsTransaction() const = 0;
    // Whether a statement without values is sent as it stands rather than prepared.
    virtual bool sendsBareStatements() const = 0;
    // Whether every stored text is valid text, so a heading is always found by its bytes.
    virtual bool holdsOnlyValidText() const = 0;
    // Whether the first row picked by its heading is best read in the same statement that
    // finds it (each statement being a trip to a server).
    virtual bool readsPickedInOneStatement() const = 0;

    // Whether the database ranks a search's rows itself, with the aggregate
    // quillbox_rank(query, fields, row, heading, description, code): fields 1, 2 and 4 for the
    // heading, description and code looked in. Each row that matches, its value that of
    // text::QueryMatch::rankRow, goes to the list collectRanked names while the statement runs,
    // without passing through the driver a row at a time.
    virtual bool ranksRows() const = 0;
    struct RankedRow {
        qint64 row = 0;
        std::int64_t value = 0;
        QString heading, description; // the description only when it holds a word
    };
    // The rows a search keeps: every one, or the best `most`, the worst of them first in a heap.
    struct RankedRows {
        std::vector<RankedRow> rows;
        qsizetype most = -1;
        qsizetype total = 0; // every row that matched
        // Whether a row of this value and identity comes before the other in the hits.
        static bool before(std::int64_t value, qint64 row, std::int64_t otherValue, qint64 otherRow)
        {
            const std::int64_t x = text::rowrank::order(value), y = text::rowrank::order(otherValue);
            return x != y ? x < y : row < otherRow;
        }
        // Whether a matching row is kept; counts it either way. A kept row is then added by add().
        bool wants(std::int64_t value, qint64 row)
        {
            ++total;
            return most < 0 || qsizetype(rows.size()) < most
                   || (most > 0 && before(value, row, rows.front().value, rows.front().row));
        }
        void add(RankedRow row)
        {
            const auto worstFirst = [](const RankedRow &a, const RankedRow &b) {
                return before(a.value, a.row, b.value, b.row);
            };
            if (most >= 0 && qsizetype(rows.size()) == most) {
                std::pop_heap(rows.begin(), rows.end(), worstFirst);
                rows.back() = std::move(row);
            } else {
                rows.push_back(std::move(row));
            }
            if (most >= 0)
                std::push_heap(rows.begin(), rows.end(), worstFirst);
        }
    };
    // Where quillbox_rank puts the rows it ranks; nullptr when no search runs.
    virtual void collectRanked(RankedRows *rows) const { (void)rows; }

    // The column without the spaces around it, as the picked rule compares headings.
    virtual QString trimmed(const QString &column) const = 0;
    // The column trimmed and upper-cased (ASCII letters only), as the taken rule compares them.
    virtual QString takenKey(const QString &column) const = 0;
    // Whether the column holds a character beyond ASCII.
    virtual QString beyondAscii(const QString &column) const = 0;
    // Whether the column holds the pattern bound next, its ASCII letters in either case, with
    // the escape character bound after it.
    virtual QString like(const QString &column) const = 0;
    // A condition that always holds.
    virtual QString always() const = 0;
    // The rows of `select` (a statement up to its WHERE) that meet either condition.
    virtual QString eitherOf(const QString &select, const QString &first, const QString &second) const = 0;

    // Whether the back end hands its texts over as their UTF-8 bytes (asBytes) and takes them
    // so (fromBytes), which spares a large text its turning into UTF-16 and back.
    virtual bool handsBytes() const = 0;
    virtual QString asBytes(const QString &column) const = 0;
    virtual QString fromBytes(const QString &value) const = 0;

    // The statements that make a new library's table and indexes.
    virtual QStringList schema() const = 0;

protected:
    // Runs a statement that returns nothing to look at; its failure in words.
    StoreError exec(QSqlDatabase &db, const QString &statement, Access access) const;
    // The waiting time as a message says it ("3" seconds).
    QString waitingSeconds() const;

    QString m_rowId;

private:
    Location m_location;
    LibraryOptions m_options;
};

} // namespace quillbox::store
