#include "store/transfer.h"

#include "store/session.h"

#include <QHash>
#include <QSet>
#include <QSqlQuery>

#include <optional>
#include <utility>
#include <vector>

namespace quillbox::store {

ExportResult exportLibrary(const SnippetLibrary &library, const QString &target, transfer::Format format)
{
    const transfer::OpenedWriter opened = transfer::openWriter(target, format);
    if (opened.writer)
        return exportSnippets(library, *opened.writer);
    ExportResult result;
    result.outcome = Outcome::Failed;
    result.error = {Failure::Other, opened.fault.message};
    return result;
}

ExportResult exportSnippets(const SnippetLibrary &library, transfer::SnippetWriter &writer)
{
    ExportResult result;
    const auto writeFailed = [&] {
        result.outcome = Outcome::Failed;
        result.error = {Failure::Other, writer.error()};
        return result;
    };
    {
        Session s(library, false);
        QSqlQuery q;
        // The file hands its texts over as their UTF-8 bytes, which the writers take as they
        // are: no turning them into UTF-16 and back.
        const QString columns =
            QStringList{s.sql().asBytes(QStringLiteral("CodeName")), s.sql().asBytes(QStringLiteral("CodeDesc")),
                        s.sql().asBytes(QStringLiteral("code"))}
                .join(QLatin1String(", "));
        if (!s.run(q, s.withRowId(QStringLiteral("SELECT %1 FROM TABLE1 ORDER BY %ROW%").arg(columns))))
            return s.failed(std::move(result));
        while (q.next()) {
            switch (writer.add({q.value(0), q.value(1), q.value(2)})) {
            case transfer::SnippetWriter::Took::Written:
                ++result.written;
                break;
            case transfer::SnippetWriter::Took::LeftOut:
                ++result.leftOut;
                break;
            case transfer::SnippetWriter::Took::Failed:
                return writeFailed();
            }
        }
        if (!s.walked(q))
            return s.failed(std::move(result));
        result = s.finish(std::move(result), Outcome::Done);
        if (!result.done())
            return result;
    }
    if (!writer.finish())
        return writeFailed();
    return result;
}

namespace {

// One prepared statement run again and again with new values.
class Repeated {
public:
    Repeated(Session &s, QString statement) : m_s(s), m_statement(std::move(statement)) {}
    bool run(const QVariantList &values)
    {
        if (!m_prepared) {
            m_prepared = true;
            return m_s.run(m_q, m_statement, values);
        }
        for (int v = 0; v < values.size(); ++v)
            m_q.bindValue(v, values[v]);
        return m_q.exec() || m_s.walked(m_q);
    }
    QSqlQuery &query() { return m_q; }

private:
    Session &m_s;
    QString m_statement;
    QSqlQuery m_q;
    bool m_prepared = false;
};

} // namespace

ImportResult importSnippets(const SnippetLibrary &library, const Producer &produce, OnTaken onTaken)
{
    ImportResult result;
    Session s(library, true);
    // The headings there are, by their taken keys. Read from the headings' index where the
    // file has one, without the rows' code.
    QSet<QString> existing;
    QSqlQuery q;
    if (!s.run(q, QStringLiteral("SELECT CodeName FROM TABLE1 WHERE CodeName IS NOT NULL")))
        return s.failed(std::move(result));
    while (q.next())
        existing.insert(takenKey(q.value(0).toString()));
    if (!s.walked(q))
        return s.failed(std::move(result));
    s.checked();

    // The file takes texts that come as UTF-8 bytes as they are, and stores them as text.
    const QString insert = QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, %1, %1)")
                               .arg(s.sql().fromBytes(QStringLiteral("?")));
    const auto bound = [&s](QVariant &&column) {
        return !s.sql().handsBytes() && column.typeId() == QMetaType::QByteArray
                   ? QVariant(QString::fromUtf8(column.toByteArray()))
                   : std::move(column);
    };
    Repeated add(s, insert), addToRename(s, s.withRowId(insert + QStringLiteral(" RETURNING %ROW%")));
    QSet<QString> incoming;
    QString twice;
    std::vector<std::pair<qint64, QString>> toRename; // the row, and its heading
    bool storeFailed = false;
    const auto take = [&](transfer::Snippet &&snippet) {
        bool rename = false;
        if (!snippet.heading.isNull()) {
            const QString key = takenKey(snippet.heading.toString());
            if (incoming.contains(key)) {
                twice = trimSpaces(snippet.heading.toString());
                return false;
            }
            incoming.insert(key);
            if (existing.contains(key)) {
                if (onTaken == OnTaken::Fail) {
                    result.clashes.append(trimSpaces(snippet.heading.toString()));
                    return true; // read on, to name every clash
                }
                if (onTaken == OnTaken::Skip) {
                    result.skipped.append(trimSpaces(snippet.heading.toString()));
                    return true;
                }
                rename = true;
            }
        }
        if (!result.clashes.isEmpty())
            return true; // nothing will be written
        const QVariantList values{snippet.heading, bound(std::move(snippet.description)),
                                  bound(std::move(snippet.code))};
        if (rename) {
            // The new name is chosen at the end, when every heading coming in is known.
            if (!addToRename.run(values) || !addToRename.query().next()) {
                s.walked(addToRename.query());
                storeFailed = true;
                return false;
            }
            toRename.emplace_back(addToRename.query().value(0).toLongLong(), trimSpaces(snippet.heading.toString()));
            addToRename.query().finish();
        } else if (!add.run(values)) {
            storeFailed = true;
            return false;
        }
        ++result.added;
        return true;
    };
    result.read = produce(take);
    if (storeFailed)
        return s.failed(std::move(result));
    if (!twice.isEmpty() || !result.read.ok()) {
        result.badInput = true;
        result.listedTwice = twice;
        result.error = {Failure::Other, twice.isEmpty()
                                            ? result.read.message()
                                            : QStringLiteral("the heading \"%1\" is listed twice").arg(twice)};
        result.added = 0;
        return s.finish(std::move(result), Outcome::Failed);
    }
    if (!result.clashes.isEmpty()) {
        result.added = 0;
        return s.finish(std::move(result), Outcome::Taken);
    }
    // A new name must be free in the library and among the snippets that came in.
    QSet<QString> &used = existing;
    used.unite(incoming);
    Repeated renaming(s, s.withRowId(QStringLiteral("UPDATE TABLE1 SET CodeName = ? WHERE %ROW% = ?")));
    for (const auto &[row, base] : toRename) {
        QString name;
        for (int n = 2; name.isEmpty() || used.contains(takenKey(name)); ++n)
            name = QStringLiteral("%1 (%2)").arg(base).arg(n);
        used.insert(takenKey(name));
        if (!renaming.run({name, row}))
            return s.failed(std::move(result));
        result.renamed.append({base, name});
    }
    return s.finish(std::move(result), Outcome::Done);
}

Producer listProducer(const QList<Snippet> &snippets)
{
    return [&snippets](const transfer::Consumer &take) {
        transfer::ReadReport report;
        for (const Snippet &snippet : snippets) {
            ++report.read;
            if (!take(Snippet(snippet))) {
                report.stopped = true;
                break;
            }
        }
        return report;
    };
}

ImportResult importSource(const SnippetLibrary &library, const QString &source, const transfer::ReadOptions &options,
                          OnTaken onTaken)
{
    ImportResult result = importSnippets(
        library, [&](const transfer::Consumer &take) { return transfer::readSource(source, options, take); }, onTaken);
    if (!result.listedTwice.isEmpty())
        result.error.message =
            QStringLiteral("%1 lists the heading \"%2\" twice")
                .arg(source == QLatin1String("-") ? QStringLiteral("standard input") : source, result.listedTwice);
    return result;
}

Result renameSnippet(const SnippetLibrary &library, const QString &picked, const QString &heading)
{
    if (trimSpaces(heading) != trimSpaces(picked)) {
        if (const auto refused = refusedHeading(heading))
            return *refused;
    }
    Session s(library, true);
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
