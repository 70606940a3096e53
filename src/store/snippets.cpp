#include "store/snippets.h"

#include "store/database.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace quillbox::store {

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

bool isEmptyEntry(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == QLatin1Char(' '); });
}

bool headingMatchesPicked(const QVariant &codeName, const QString &picked)
{
    return !codeName.isNull() && trimSpaces(codeName.toString()) == trimSpaces(picked);
}

bool headingMatchesTaken(const QVariant &codeName, const QString &entered)
{
    return !codeName.isNull() && trimSpaces(codeName.toString()).toUpper() == trimSpaces(entered).toUpper();
}

namespace {

bool isAscii(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// Text to compare with in SQL: a null string would go over as NULL, which equals nothing,
// where the matching rules take it as empty.
QString sqlText(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

// One operation's time with the library: opened, one transaction, closed when it ends.
// A failure anywhere rolls back what was begun and is kept, in words, for the result.
class Session {
public:
    // Opens the library and begins a read, or a write that reserves the file at once.
    Session(const QString &path, bool writing) : m_writing(writing)
    {
        m_ok = m_db.Open(path) && (writing ? m_db.beginWrite() : m_db.beginRead());
        // The table and its three columns must be there, whichever of them the operation reads.
        QSqlQuery check;
        m_ok = m_ok && run(check, QStringLiteral("SELECT rowid, CodeName, CodeDesc, code FROM TABLE1 LIMIT 0"));
    }

    // Prepares and runs a statement with its values; false (and the failure kept) when the
    // library refused it.
    bool run(QSqlQuery &q, const QString &statement, const QVariantList &values = {})
    {
        if (!m_ok)
            return false;
        q = QSqlQuery(m_db.database());
        q.setForwardOnly(true);
        if (!q.prepare(statement)) {
            m_db.fail(q.lastError(), m_writing);
            return false;
        }
        for (const QVariant &value : values)
            q.addBindValue(value);
        if (!q.exec()) {
            m_db.fail(q.lastError(), m_writing);
            return false;
        }
        return true;
    }

    // A walk over a query's rows ended by an error instead of its end.
    bool walked(const QSqlQuery &q)
    {
        if (q.lastError().isValid()) {
            m_db.fail(q.lastError(), m_writing);
            return false;
        }
        return true;
    }

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

    // Runs a write of the operation and ends the transaction: committed when it went through.
    Result write(const QString &statement, const QVariantList &values)
    {
        QSqlQuery q;
        return run(q, statement, values) ? finish(Result{}, Outcome::Done) : failed(Result{});
    }

    // The failure this session met.
    template <typename R>
    R failed(R result)
    {
        result.outcome = Outcome::Failed;
        result.error = m_db.lastError();
        if (!result.error)
            result.error = {Failure::Other,
                            QStringLiteral("The snippet library %1 could not be used.").arg(m_db.path())};
        return result;
    }

    // The first row, in table order, whose heading matches the picked one. The rows are
    // picked out by the database from the headings' index; the first of them is chosen
    // here: asked for min(rowid), the database would walk the table itself, descriptions
    // and code and all.
    bool findPicked(const QString &picked, std::optional<qint64> *row)
    {
        QSqlQuery q;
        if (!run(q, QStringLiteral("SELECT rowid FROM TABLE1 WHERE trim(CodeName, ' ') = ?"),
                 {sqlText(trimSpaces(picked))}))
            return false;
        row->reset();
        while (q.next()) {
            const qint64 rowid = q.value(0).toLongLong();
            if (!*row || rowid < **row)
                *row = rowid;
        }
        return walked(q);
    }

    // Whether a row other than `except` has a heading that makes the entered one taken.
    // The database compares the rows whose headings are plain ASCII exactly (its upper()
    // folds ASCII letters as QString does); every other row is handed over and compared
    // here, Unicode-aware.
    bool findTaken(const QString &entered, std::optional<qint64> except, bool *taken)
    {
        const QString wanted = sqlText(trimSpaces(entered).toUpper());
        QSqlQuery q;
        if (!run(q,
                 QStringLiteral("SELECT rowid, CodeName FROM TABLE1 WHERE upper(trim(CodeName, ' ')) = ? "
                                "OR length(CAST(CodeName AS BLOB)) <> length(CodeName)"),
                 {isAscii(wanted) ? wanted : QString()}))
            return false;
        *taken = false;
        while (!*taken && q.next())
            *taken = q.value(0).toLongLong() != except && headingMatchesTaken(q.value(1), entered);
        return walked(q);
    }

private:
    DbConnection m_db;
    bool m_ok = false;
    bool m_writing;
};

// A stored column: a null string stays NULL in the table.
QVariant column(const QString &text)
{
    return text.isNull() ? QVariant() : QVariant(text);
}

} // namespace

SnippetLibrary::SnippetLibrary(QString path) : m_path(std::move(path))
{}

HeadingsResult SnippetLibrary::headings() const
{
    HeadingsResult result;
    Session s(m_path, false);
    // The headings are read from their index, which hands them over in its own order;
    // table order is rowid order.
    QSqlQuery q;
    if (!s.run(q, QStringLiteral("SELECT rowid, CodeName FROM TABLE1 WHERE CodeName IS NOT NULL")))
        return s.failed(std::move(result));
    std::vector<std::pair<qint64, QString>> rows;
    while (q.next())
        rows.emplace_back(q.value(0).toLongLong(), q.value(1).toString());
    if (!s.walked(q))
        return s.failed(std::move(result));
    std::sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    result.headings.reserve(qsizetype(rows.size()));
    for (auto &row : rows)
        result.headings.append(std::move(row.second));
    return s.finish(std::move(result), result.headings.isEmpty() ? Outcome::Empty : Outcome::Done);
}

SnippetResult SnippetLibrary::find(const QString &picked) const
{
    SnippetResult result;
    Session s(m_path, false);
    std::optional<qint64> row;
    if (!s.findPicked(picked, &row))
        return s.failed(std::move(result));
    if (!row)
        return s.finish(std::move(result), Outcome::Vanished);
    // The three columns come from the same state of the file as the row's heading.
    QSqlQuery q;
    if (!s.run(q, QStringLiteral("SELECT CodeName, CodeDesc, code FROM TABLE1 WHERE rowid = ?"), {*row}))
        return s.failed(std::move(result));
    if (!q.next())
        return s.walked(q) ? s.finish(std::move(result), Outcome::Vanished) : s.failed(std::move(result));
    result.snippet = {q.value(0), q.value(1), q.value(2)};
    return s.finish(std::move(result), Outcome::Done);
}

Result SnippetLibrary::add(const QString &heading, const QString &description, const QString &code) const
{
    Session s(m_path, true);
    bool taken = false;
    if (!s.findTaken(heading, std::nullopt, &taken))
        return s.failed(Result{});
    if (taken)
        return s.finish(Result{}, Outcome::Taken);
    return s.write(QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, ?)"),
                   {column(trimSpaces(heading)), column(trimSpaces(description)), column(code)});
}

Result SnippetLibrary::modify(const QString &picked, const QString &heading, const QString &description,
                              const QString &code) const
{
    Session s(m_path, true);
    std::optional<qint64> row;
    if (!s.findPicked(picked, &row))
        return s.failed(Result{});
    if (!row)
        return s.finish(Result{}, Outcome::Vanished);
    // A new heading that another snippet already has would leave one of the two out of
    // reach for good: it is refused, as adding refuses it.
    bool taken = false;
    if (!headingMatchesTaken(picked, heading) && !s.findTaken(heading, row, &taken))
        return s.failed(Result{});
    if (taken)
        return s.finish(Result{}, Outcome::Taken);
    return s.write(QStringLiteral("UPDATE TABLE1 SET CodeName = ?, CodeDesc = ?, code = ? WHERE rowid = ?"),
                   {column(trimSpaces(heading)), column(trimSpaces(description)), column(code), *row});
}

Result SnippetLibrary::remove(const QString &picked) const
{
    Session s(m_path, true);
    std::optional<qint64> row;
    if (!s.findPicked(picked, &row))
        return s.failed(Result{});
    if (!row)
        return s.finish(Result{}, Outcome::Vanished);
    return s.write(QStringLiteral("DELETE FROM TABLE1 WHERE rowid = ?"), {*row});
}

} // namespace quillbox::store
