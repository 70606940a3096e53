#include "store/transfer.h"

#include "store/session.h"

#include <QHash>
#include <QSet>
#include <QSqlQuery>

#include <algorithm>
#include <optional>
#include <utility>

namespace quillbox::store {

namespace {

// What makes two headings the same under the taken rule.
QString takenKey(const QString &heading)
{
    return trimSpaces(heading).toUpper();
}

// Runs the statement once for every row of values: prepared once, bound and run again.
bool runEach(Session &s, QSqlQuery &q, const QString &statement, const QList<QVariantList> &rows)
{
    if (rows.isEmpty())
        return true;
    if (!s.run(q, statement, rows.first()))
        return false;
    for (qsizetype i = 1; i < rows.size(); ++i) {
        for (int v = 0; v < rows[i].size(); ++v)
            q.bindValue(v, rows[i][v]);
        if (!q.exec())
            return s.walked(q);
    }
    return true;
}

} // namespace

SnippetsResult readAllSnippets(const QString &path)
{
    SnippetsResult result;
    Session s(path, false);
    QSqlQuery q;
    if (!s.run(q, s.withRowId(QStringLiteral("SELECT CodeName, CodeDesc, code FROM TABLE1 ORDER BY %ROW%"))))
        return s.failed(std::move(result));
    while (q.next())
        result.snippets.append({q.value(0), q.value(1), q.value(2)});
    if (!s.walked(q))
        return s.failed(std::move(result));
    return s.finish(std::move(result), Outcome::Done);
}

ImportResult importSnippets(const QString &path, const QList<Snippet> &snippets, OnTaken onTaken)
{
    ImportResult result;
    Session s(path, true);
    QSqlQuery q;
    // The new headings' keys go into a table of this connection's own; the database then
    // meets them with the stored headings in one pass over the table. It folds the case of
    // ASCII letters only, so the rows whose headings hold other characters are handed over
    // and compared here.
    QHash<QString, qsizetype> keys;
    QList<QVariantList> keyRows;
    for (qsizetype i = 0; i < snippets.size(); ++i) {
        if (snippets[i].heading.isNull())
            continue;
        const QString key = takenKey(snippets[i].heading.toString());
        keys.insert(key, i);
        keyRows.append({i, key});
    }
    if (!s.run(q, QStringLiteral("CREATE TEMP TABLE incoming (pos INTEGER PRIMARY KEY, key TEXT NOT NULL)"))
        || !s.run(q, QStringLiteral("CREATE INDEX temp.incoming_key ON incoming (key)"))
        || !runEach(s, q, QStringLiteral("INSERT INTO incoming (pos, key) VALUES (?, ?)"), keyRows))
        return s.failed(std::move(result));
    QList<bool> taken(snippets.size(), false);
    if (!s.run(q, QStringLiteral("SELECT i.pos FROM TABLE1 t JOIN incoming i ON i.key = upper(trim(t.CodeName, ' '))")))
        return s.failed(std::move(result));
    while (q.next())
        taken[q.value(0).toLongLong()] = true;
    if (!s.walked(q)
        || !s.run(q, QStringLiteral("SELECT CodeName FROM TABLE1 WHERE length(CAST(CodeName AS BLOB)) <> "
                                    "length(CodeName)")))
        return s.failed(std::move(result));
    while (q.next()) {
        const auto hit = keys.constFind(takenKey(q.value(0).toString()));
        if (hit != keys.constEnd())
            taken[*hit] = true;
    }
    if (!s.walked(q))
        return s.failed(std::move(result));

    const bool anyTaken = std::find(taken.cbegin(), taken.cend(), true) != taken.cend();
    if (anyTaken && onTaken == OnTaken::Fail) {
        for (qsizetype i = 0; i < snippets.size(); ++i)
            if (taken[i])
                result.clashes.append(trimSpaces(snippets[i].heading.toString()));
        return s.finish(std::move(result), Outcome::Taken);
    }
    // A new name must be free in the library and among the snippets coming in.
    QSet<QString> used;
    if (anyTaken && onTaken == OnTaken::Rename) {
        if (!s.run(q, QStringLiteral("SELECT CodeName FROM TABLE1 WHERE CodeName IS NOT NULL")))
            return s.failed(std::move(result));
        while (q.next())
            used.insert(takenKey(q.value(0).toString()));
        if (!s.walked(q))
            return s.failed(std::move(result));
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            used.insert(it.key());
    }

    QList<QVariantList> rows;
    rows.reserve(snippets.size());
    for (qsizetype i = 0; i < snippets.size(); ++i) {
        const Snippet &snippet = snippets[i];
        QVariant heading = snippet.heading;
        if (taken[i] && onTaken == OnTaken::Skip) {
            result.skipped.append(trimSpaces(heading.toString()));
            continue;
        }
        if (taken[i]) {
            const QString base = trimSpaces(heading.toString());
            QString name;
            for (int n = 2; name.isEmpty() || used.contains(takenKey(name)); ++n)
                name = QStringLiteral("%1 (%2)").arg(base).arg(n);
            used.insert(takenKey(name));
            result.renamed.append({base, name});
            heading = name;
        }
        rows.append({heading, snippet.description, snippet.code});
    }
    s.checked();
    if (!runEach(s, q, QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, ?)"), rows))
        return s.failed(std::move(result));
    result.added = int(rows.size());
    return s.finish(std::move(result), Outcome::Done);
}

Result renameSnippet(const QString &path, const QString &picked, const QString &heading)
{
    Session s(path, true);
    std::optional<qint64> row;
    Outcome picking = Outcome::Done;
    if (!s.pickToRename(picked, heading, &row, &picking))
        return s.failed(Result{});
    if (picking != Outcome::Done)
        return s.finish(Result{}, picking);
    return s.write(s.withRowId(QStringLiteral("UPDATE TABLE1 SET CodeName = ? WHERE %ROW% = ?")),
                   {column(trimSpaces(heading)), *row});
}

} // namespace quillbox::store
