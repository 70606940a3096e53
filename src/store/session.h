#pragma once
// One operation's time with the library, used only inside the store: the file opened, one
// transaction begun, and everything closed when the session ends. A failure anywhere rolls
// back what was begun and is kept, in words, for the operation's result.

#include "store/database.h"
#include "store/snippets.h"

#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <optional>
#include <utility>

namespace quillbox::store {

// Whether every character is plain ASCII, which the database's own upper() and lower() fold.
bool isAscii(const QString &text);
// Text to compare with in SQL: a null string would go over as NULL, which equals nothing,
// where the matching rules take it as empty.
QString sqlText(const QString &text);
// A stored column: a null string stays NULL in the table.
QVariant column(const QString &text);

class Session {
public:
    // Opens the library and begins a read, or a write that holds the library at once. The
    // table must be a table with the three columns, whichever of them the operation reads.
    Session(const SnippetLibrary &library, bool writing);

    bool ok() const { return m_ok; }
    // The back end, for the words of SQL it says its own way.
    const Backend &sql() const { return m_db.backend(); }
    // The name under which the rows' own identity is read: rowid, unless the table has a
    // column of that name; on a server, the key column id.
    const QString &rowId() const { return m_db.backend().rowId(); }
    // The statement with every "%ROW%" replaced by rowId().
    QString withRowId(QString statement) const;

    // Prepares and runs a statement with its values; false (and the failure kept) when the
    // library refused it. The few words the back ends say differently come from sql().
    bool run(QSqlQuery &q, const QString &statement, const QVariantList &values = {});
    // A walk over a query's rows ended by an error instead of its end.
    bool walked(const QSqlQuery &q);

    // Ends the transaction: committed when outcome is Done, rolled back otherwise.
    template <typename R>
    R finish(R result, Outcome outcome)
    {
        if (outcome == Outcome::Done && !m_db.commit())
            return failed(std::move(result));
        if (outcome != Outcome::Done)
            m_db.rollback();
        result.outcome = outcome;
        return result;
    }

    // Runs a write of the operation and ends the transaction: committed when it went through;
    // Vanished, with nothing written, when it touched no row (another program removed it).
    Result write(const QString &statement, const QVariantList &values);

    // The failure this session met.
    template <typename R>
    R failed(R result)
    {
        result.outcome = Outcome::Failed;
        result.error = failure();
        return result;
    }
    StoreError failure() const;

    // The first row, in table order, whose heading matches the picked one.
    bool findPicked(const QString &picked, std::optional<qint64> *row);
    // Whether a row other than `except` has a heading that makes the entered one taken.
    bool findTaken(const QString &entered, std::optional<qint64> except, bool *taken);
    // The row picked by its heading, for a write that may give it a new heading: Vanished
    // when no row has the picked heading, Taken when another row has the new one (keeping the
    // heading, in any case, is no rename), Done otherwise. False when the library failed.
    bool pickToRename(const QString &picked, const QString &heading, std::optional<qint64> *row, Outcome *outcome);

    // Marks the moment between an operation's check and its write (see LibraryOptions).
    void checked() const;

private:
    DbConnection m_db;
    bool m_ok = false;
};

} // namespace quillbox::store
