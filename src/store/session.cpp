#include "store/session.h"

#include <QSqlError>

#include <algorithm>

namespace quillbox::store {

bool isAscii(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

QString sqlText(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QVariant column(const QString &text)
{
    return text.isNull() ? QVariant() : QVariant(text);
}

Session::Session(const SnippetLibrary &library, bool writing) : m_db(library.location(), library.options())
{
    m_ok = m_db.open() && m_db.begin(writing) && m_db.checkTable();
}

QString Session::withRowId(QString statement) const
{
    return statement.replace(QLatin1String("%ROW%"), rowId());
}

bool Session::run(QSqlQuery &q, const QString &statement, const QVariantList &values)
{
    if (!m_ok)
        return false;
    q = QSqlQuery(m_db.database());
    q.setForwardOnly(true);
    // The server prepares only queries and changes of rows: a statement without values goes
    // to it as it is.
    if (sql().sendsBareStatements() && values.isEmpty()) {
        if (q.exec(statement))
            return true;
        m_db.fail(q.lastError());
        return m_ok = false;
    }
    if (!q.prepare(statement)) {
        m_db.fail(q.lastError());
        return m_ok = false;
    }
    for (const QVariant &value : values)
        q.addBindValue(value);
    if (!q.exec()) {
        m_db.fail(q.lastError());
        return m_ok = false;
    }
    return true;
}

bool Session::walked(const QSqlQuery &q)
{
    if (q.lastError().isValid()) {
        m_db.fail(q.lastError());
        return m_ok = false;
    }
    return true;
}

Result Session::write(const QString &statement, const QVariantList &values)
{
    checked();
    QSqlQuery q;
    if (!run(q, statement, values))
        return failed(Result{});
    return finish(Result{}, q.numRowsAffected() == 0 ? Outcome::Vanished : Outcome::Done);
}

StoreError Session::failure() const
{
    StoreError error = m_db.lastError();
    if (!error)
        error = {Failure::Other, QStringLiteral("The snippet library %1 could not be used.").arg(m_db.shownName())};
    return error;
}

// The rows are picked out by the database from the headings' index; the first of them is
// chosen here: asked for min(rowid), the database would walk the table itself, descriptions
// and code and all.
bool Session::findPicked(const QString &picked, std::optional<qint64> *row)
{
    QSqlQuery q;
    if (!run(q, withRowId(QStringLiteral("SELECT %ROW% FROM TABLE1 WHERE %1 = ?").arg(sql().trimmed("CodeName"))),
             {sqlText(trimSpaces(picked))}))
        return false;
    row->reset();
    while (q.next()) {
        const qint64 rowid = q.value(0).toLongLong();
        if (!*row || rowid < **row)
            *row = rowid;
    }
    // A server holds only valid text, so there is nothing more to look for there.
    if (!walked(q) || *row || sql().holdsOnlyValidText())
        return walked(q);
    // A heading whose stored bytes are no valid text (written by another program) reaches
    // us with replacement characters, and the database compares bytes: such a row is found
    // by its heading as the list showed it.
    if (!run(q, withRowId(QStringLiteral("SELECT %ROW%, CodeName FROM TABLE1 WHERE CodeName IS NOT NULL"))))
        return false;
    while (q.next()) {
        const qint64 rowid = q.value(0).toLongLong();
        if ((!*row || rowid < **row) && headingMatchesPicked(q.value(1), picked))
            *row = rowid;
    }
    return walked(q);
}

// The database compares the rows whose headings are plain ASCII exactly (its upper() folds
// ASCII letters as QString does); every other row is handed over and compared here,
// Unicode-aware.
bool Session::findTaken(const QString &entered, std::optional<qint64> except, bool *taken)
{
    const QString wanted = sqlText(trimSpaces(entered).toUpper());
    QSqlQuery q;
    const QString statement = sql().eitherOf(QStringLiteral("SELECT %ROW%, CodeName FROM TABLE1"),
                                             sql().takenKey(QStringLiteral("CodeName")) + QStringLiteral(" = ?"),
                                             sql().beyondAscii(QStringLiteral("CodeName")));
    if (!run(q, withRowId(statement), {isAscii(wanted) ? wanted : QString()}))
        return false;
    *taken = false;
    while (!*taken && q.next())
        *taken = q.value(0).toLongLong() != except && headingMatchesTaken(q.value(1), entered);
    return walked(q);
}

bool Session::pickToRename(const QString &picked, const QString &heading, std::optional<qint64> *row, Outcome *outcome)
{
    bool taken = false;
    if (!findPicked(picked, row)
        || (*row && !headingMatchesTaken(picked, heading) && !findTaken(heading, *row, &taken)))
        return false;
    *outcome = !*row ? Outcome::Vanished : taken ? Outcome::Taken : Outcome::Done;
    return true;
}

void Session::checked() const
{
    if (const auto &hook = m_db.backend().options().checked)
        hook();
}

} // namespace quillbox::store
