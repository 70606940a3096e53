#include "store/snippets.h"

#include "store/session.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace quillbox::store {

bool headingMatchesPicked(const QVariant &codeName, const QString &picked)
{
    return !codeName.isNull() && trimSpaces(codeName.toString()) == trimSpaces(picked);
}

bool headingMatchesTaken(const QVariant &codeName, const QString &entered)
{
    return !codeName.isNull() && takenKey(codeName.toString()) == takenKey(entered);
}

SnippetLibrary::SnippetLibrary(Location location, LibraryOptions options)
    : m_location(std::move(location)), m_options(std::move(options))
{}

SnippetLibrary::SnippetLibrary(const QString &location, LibraryOptions options)
    : SnippetLibrary(Location(location), std::move(options))
{}

std::optional<Result> refusedHeading(const QString &heading)
{
    const text::HeadingFault fault = text::headingFault(heading);
    if (fault == text::HeadingFault::None)
        return std::nullopt;
    Result refused;
    refused.outcome = Outcome::Failed;
    refused.error = {Failure::BadEntry, text::headingFaultMessage(fault)};
    return refused;
}

HeadingsResult SnippetLibrary::headings() const
{
    HeadingsResult result;
    Session s(*this, false);
    // The headings are read from their index, which hands them over in its own order;
    // table order is rowid order.
    QSqlQuery q;
    if (!s.run(q, s.withRowId(QStringLiteral("SELECT %ROW%, CodeName FROM TABLE1 WHERE CodeName IS NOT NULL"))))
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

namespace {

// The row's three columns from the file, read as their UTF-8 bytes and made text once the
// database has let go of them: a large snippet is never held as text twice.
bool readRow(Session &s, qint64 row, std::optional<Snippet> *read)
{
    QSqlQuery q;
    const QString columns =
        QStringList{s.sql().asBytes(QStringLiteral("CodeName")), s.sql().asBytes(QStringLiteral("CodeDesc")),
                    s.sql().asBytes(QStringLiteral("code"))}
            .join(QLatin1String(", "));
    if (!s.run(q, s.withRowId(QStringLiteral("SELECT %1 FROM TABLE1 WHERE %ROW% = ?").arg(columns)), {row}))
        return false;
    if (!q.next())
        return s.walked(q);
    if (!s.sql().handsBytes()) {
        *read = Snippet{q.value(0), q.value(1), q.value(2)};
        return true;
    }
    QVariant bytes[] = {q.value(0), q.value(1), q.value(2)};
    q.finish();
    const auto text = [](QVariant &column) {
        QVariant value = column.isNull() ? QVariant() : QVariant(QString::fromUtf8(column.toByteArray()));
        column = QVariant();
        return value;
    };
    *read = Snippet{text(bytes[0]), text(bytes[1]), text(bytes[2])};
    return true;
}

} // namespace

SnippetResult SnippetLibrary::find(const QString &picked) const
{
    SnippetResult result;
    Session s(*this, false);
    QSqlQuery q;
    // Each statement is a trip to a server: there the row is found and read by one.
    if (s.sql().readsPickedInOneStatement()) {
        if (!s.run(q,
                   QStringLiteral("SELECT CodeName, CodeDesc, code FROM TABLE1 WHERE %1 = ? ORDER BY id LIMIT 1")
                       .arg(s.sql().trimmed(QStringLiteral("CodeName"))),
                   {sqlText(trimSpaces(picked))}))
            return s.failed(std::move(result));
        if (!q.next())
            return s.walked(q) ? s.finish(std::move(result), Outcome::Vanished) : s.failed(std::move(result));
        result.snippet = {q.value(0), q.value(1), q.value(2)};
        return s.finish(std::move(result), Outcome::Done);
    }
    std::optional<qint64> row;
    if (!s.findPicked(picked, &row))
        return s.failed(std::move(result));
    if (!row)
        return s.finish(std::move(result), Outcome::Vanished);
    // The three columns come from the same state of the file as the row's heading.
    s.checked();
    std::optional<Snippet> read;
    if (!readRow(s, *row, &read))
        return s.failed(std::move(result));
    if (!read)
        return s.finish(std::move(result), Outcome::Vanished);
    result.snippet = std::move(*read);
    return s.finish(std::move(result), Outcome::Done);
}

Result SnippetLibrary::add(const QString &heading, const QString &description, const QString &code) const
{
    return insert(heading, description, column(code));
}

Result SnippetLibrary::addUtf8(const QString &heading, const QString &description, const QByteArray &codeUtf8) const
{
    return insert(heading, description, codeUtf8);
}

Result SnippetLibrary::insert(const QString &heading, const QString &description, const QVariant &code) const
{
    if (const auto refused = refusedHeading(heading))
        return *refused;
    Session s(*this, true);
    bool taken = false;
    if (!s.findTaken(heading, std::nullopt, &taken))
        return s.failed(Result{});
    if (taken)
        return s.finish(Result{}, Outcome::Taken);
    // Code that comes as UTF-8 bytes the file takes as it is and stores as text.
    const bool bytes = code.typeId() == QMetaType::QByteArray;
    if (bytes && s.sql().handsBytes())
        return s.write(QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, %1)")
                           .arg(s.sql().fromBytes(QStringLiteral("?"))),
                       {column(trimSpaces(heading)), column(trimSpaces(description)), code});
    return s.write(QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, ?)"),
                   {column(trimSpaces(heading)), column(trimSpaces(description)),
                    bytes ? QVariant(QString::fromUtf8(code.toByteArray())) : code});
}

Result SnippetLibrary::modify(const QString &picked, const QString &heading, const QString &description,
                              const QString &code) const
{
    return rewrite(picked, nullptr, heading, description, code);
}

Result SnippetLibrary::modify(const QString &picked, const Snippet &was, const QString &heading,
                              const QString &description, const QString &code) const
{
    return rewrite(picked, &was, heading, description, code);
}

namespace {

bool sameColumn(const QVariant &a, const QVariant &b)
{
    return a.isNull() == b.isNull() && a.toString() == b.toString();
}

} // namespace

Result SnippetLibrary::rewrite(const QString &picked, const Snippet *was, const QString &heading,
                               const QString &description, const QString &code) const
{
    // A heading kept as it is may be one another program stored; a new one follows the rules.
    if (trimSpaces(heading) != trimSpaces(picked)) {
        if (const auto refused = refusedHeading(heading))
            return *refused;
    }
    Session s(*this, true);
    // A new heading that another snippet already has would leave one of the two out of
    // reach for good: it is refused, as adding refuses it.
    std::optional<qint64> row;
    Outcome picking = Outcome::Done;
    if (!s.pickToRename(picked, heading, &row, &picking))
        return s.failed(Result{});
    if (picking != Outcome::Done)
        return s.finish(Result{}, picking);
    std::optional<Snippet> read;
    if (!readRow(s, *row, &read))
        return s.failed(Result{});
    if (!read)
        return s.finish(Result{}, Outcome::Vanished);
    const QVariant now[] = {read->heading, read->description, read->code};
    const QVariant values[] = {column(trimSpaces(heading)), column(trimSpaces(description)), column(code)};
    const QVariant picks[] = {was ? was->heading : now[0], was ? was->description : now[1], was ? was->code : now[2]};
    const char *names[] = {"CodeName", "CodeDesc", "code"};
    // Only the columns the user changed are written: a column nobody touched keeps its
    // stored bytes (also where they are no valid text and reached us with replacement
    // characters), and one only someone else changed keeps their value.
    QStringList sets;
    QVariantList changed;
    for (int i = 0; i < 3; ++i) {
        if (sameColumn(values[i], picks[i]) || sameColumn(values[i], now[i]))
            continue;
        if (!sameColumn(now[i], picks[i]))
            return s.finish(Result{}, Outcome::Changed);
        sets << QStringLiteral("%1 = ?").arg(QLatin1String(names[i]));
        changed << values[i];
    }
    if (sets.isEmpty())
        return s.finish(Result{}, Outcome::Done);
    return s.write(s.withRowId(QStringLiteral("UPDATE TABLE1 SET %1 WHERE %ROW% = ?").arg(sets.join(u", "))),
                   changed << *row);
}

Result SnippetLibrary::remove(const QString &picked) const
{
    Session s(*this, true);
    std::optional<qint64> row;
    if (!s.findPicked(picked, &row))
        return s.failed(Result{});
    if (!row)
        return s.finish(Result{}, Outcome::Vanished);
    return s.write(s.withRowId(QStringLiteral("DELETE FROM TABLE1 WHERE %ROW% = ?")), {*row});
}

} // namespace quillbox::store
