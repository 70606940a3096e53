// Searching the snippets for the words of a query, and ranking what is found.
//
// In a file, the database asks every row its rank as it walks the table (a function of
// ours, given the row's texts as they are stored), and only the rows found leave it: their
// heading, and their description when it holds the line to show. A snippet's code leaves the
// database only when the line to show is in it, and then only for the hits a screen shows.
//
// On a server, the database keeps the rows that hold each word, its ASCII letters in either
// case (a LIKE, which folds ASCII letters only), or that may hold it in another case, and the
// rows it sends are ranked here.

#include "store/session.h"
#include "store/snippets.h"
#include "text/matching.h"

#include <QHash>
#include <QSqlQuery>
#include <QStringView>

#include <algorithm>
#include <array>
#include <utility>

namespace quillbox::store {

namespace {

struct Column {
    SearchField field;
    const char *name;
};
constexpr std::array<Column, 3> kColumns{
    {{SearchField::Heading, "CodeName"}, {SearchField::Description, "CodeDesc"}, {SearchField::Code, "code"}}};

} // namespace

QStringList searchWords(const QString &query)
{
    return text::queryWords(query, kMostSearchWords).distinct;
}

namespace {

// A LIKE of the column with the text anywhere in it.
QString like(const Backend &sql, const QString &column, const QString &text, QVariantList *values)
{
    QString pattern = QStringLiteral("%");
    for (QChar c : text) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    // The escape goes as a value too: a server that reads backslashes in quoted text as
    // escapes (standard_conforming_strings off) reads it the same.
    *values << pattern + QLatin1Char('%') << QStringLiteral("\\");
    return sql.like(column);
}

// What the database can tell of a word in a column: a word of ASCII is there as a LIKE finds
// it; of a word beyond ASCII, each ASCII stretch is there, and the column has characters
// beyond ASCII.
QString loosely(const Backend &sql, const QString &word, const QString &column, QVariantList *values)
{
    if (isAscii(word))
        return like(sql, column, word, values);
    QStringList parts;
    qsizetype begin = 0;
    for (qsizetype i = 0; i <= word.size(); ++i) {
        if (i < word.size() && word.at(i).unicode() < 0x80)
            continue;
        if (i > begin)
            parts << like(sql, column, word.mid(begin, i - begin), values);
        begin = i + 1;
    }
    parts << sql.beyondAscii(column);
    return parts.join(QLatin1String(" AND "));
}

// A LIKE over a long text stops at every place where the pattern's first character stands, in
// either case; so the test of a word begins with the part of it that starts at its rarest
// ASCII character, by how often characters stand in source code and English, and only the columns
// that hold that part are tested for the whole word.
QString literally(const Backend &sql, const QString &word, const QString &column, QVariantList *values)
{
    static const QString common = QStringLiteral(" etaoinsrldhcum.()=,'\"pfgbywv_0123456789");
    // A character beyond ASCII would be looked for character by character: it never leads.
    const auto rarity = [](QChar c) {
        return c.unicode() >= 0x80 ? -1 : common.indexOf(c) < 0 ? 99 : common.indexOf(c);
    };
    qsizetype rarest = 0;
    for (qsizetype i = 1; i < word.size(); ++i) {
        if (rarity(word.at(i)) > rarity(word.at(rarest)))
            rarest = i;
    }
    if (rarest == 0)
        return like(sql, column, word, values);
    const QString part = like(sql, column, word.mid(rarest), values);
    return part + QLatin1String(" AND ") + like(sql, column, word, values);
}

// Every word in one of the columns, each word's test in one column as `test` words it.
using Test = QString (*)(const Backend &, const QString &, const QString &, QVariantList *);
QString everyWord(const Backend &sql, const QStringList &words, const QStringList &columns, Test test,
                  QVariantList *values)
{
    QStringList all;
    for (const QString &word : words) {
        QStringList anywhere;
        for (const QString &column : columns)
            anywhere << test(sql, word, column, values);
        all << QLatin1String("((") + anywhere.join(QLatin1String(") OR (")) + QLatin1String("))");
    }
    return all.join(QLatin1String(" AND "));
}

// The first line of the texts, in their order, that holds one of the words; null when none.
QString firstLineWithAWord(const QStringList &texts, const QStringList &words)
{
    for (const QString &text : texts) {
        qsizetype begin = 0;
        while (begin <= text.size()) {
            qsizetype end = begin;
            while (end < text.size() && text.at(end) != QLatin1Char('\n') && text.at(end) != QLatin1Char('\r'))
                ++end;
            const QStringView line = QStringView(text).mid(begin, end - begin);
            // A line of plain ASCII folds as Qt's own comparison folds it, and holds no word
            // beyond ASCII.
            const bool ascii = QtPrivate::isAscii(line);
            const QString foldedLine = ascii ? QString() : text::searchFolded(line);
            if (std::any_of(words.begin(), words.end(), [&](const QString &w) {
                    return ascii ? QtPrivate::isAscii(w) && line.contains(w, Qt::CaseInsensitive)
                                 : foldedLine.contains(w);
                }))
                return line.trimmed().toString();
            begin = end + (QStringView(text).mid(end, 2) == u"\r\n" ? 2 : 1);
        }
    }
    return {};
}

// The rows whose heading may hold the query's letters in order: each ASCII letter in its
// place, with anything between.
QString mayHoldLetters(const Backend &sql, const QStringList &typed, QVariantList *values)
{
    QString pattern = QStringLiteral("%");
    for (QChar c : typed.join(QString())) {
        if (c.unicode() >= 0x80)
            continue;
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            pattern += QLatin1Char('\\');
        pattern += c;
        pattern += QLatin1Char('%');
    }
    *values << pattern << QStringLiteral("\\");
    return sql.like(QStringLiteral("CodeName"));
}

// The first line of the text, space trimmed away.
QString firstLineOf(const QString &text)
{
    qsizetype end = 0;
    while (end < text.size() && !text::endsLine(text.at(end)))
        ++end;
    return text.left(end).trimmed();
}

struct Found {
    SearchHit hit;
    std::int64_t value;
};

// The line to show when the heading or the description holds a word; null when only the
// code can tell.
QString lineWithoutCode(std::int64_t value, const QString &heading, const QString &description,
                        const QStringList &words)
{
    if (value & text::rowrank::kHeadingHoldsAWord)
        return firstLineWithAWord({heading}, words);
    if (value & text::rowrank::kDescriptionHoldsAWord)
        return firstLineWithAWord({description}, words);
    if (text::rowrank::rank(value) == kFuzzyRank)
        return firstLineOf(heading);
    return {};
}

// Ranks the rows in the file as the database walks them.
bool rankInDatabase(Session &s, const QString &query, const bool (&chosen)[3], const QStringList &words, qsizetype most,
                    std::vector<Found> *found, qsizetype *total)
{
    const int fields = (chosen[0] ? 1 : 0) | (chosen[1] ? 2 : 0) | (chosen[2] ? 4 : 0);
    // A search of the headings alone names no other column, so that the database may walk the
    // headings' index instead of every row's 2 KB; the rows then come in heading order, and
    // the sort below puts ties back in table order.
    const QString statement =
        QStringLiteral("SELECT quillbox_rank(?, ?, %ROW%, CodeName, %1, %2) FROM TABLE1 WHERE CodeName IS NOT NULL")
            .arg(QLatin1String(chosen[1] ? "CodeDesc" : "NULL"), QLatin1String(chosen[2] ? "code" : "NULL"));
    // The rows come to this list as the database ranks them, not through the driver.
    Backend::RankedRows ranked;
    ranked.most = most;
    struct Collecting {
        const Backend &sql;
        ~Collecting() { sql.collectRanked(nullptr); }
    } collecting{s.sql()};
    s.sql().collectRanked(&ranked);
    QSqlQuery q;
    if (!s.run(q, s.withRowId(statement), {query, fields}))
        return false;
    while (q.next()) {}
    if (!s.walked(q))
        return false;
    *total = ranked.total;
    found->reserve(ranked.rows.size());
    for (Backend::RankedRow &row : ranked.rows) {
        QString line = lineWithoutCode(row.value, row.heading, row.description, words);
        found->push_back(
            {{std::move(row.heading), std::move(line), text::rowrank::rank(row.value), row.row}, row.value});
    }
    return true;
}

// Ranks here the rows the server lets through.
bool rankHere(Session &s, const text::QueryMatch &match, const text::QueryWords &query, const bool (&chosen)[3],
              std::vector<Found> *found)
{
    const QStringList &words = query.distinct;
    QStringList columns;
    for (std::size_t i = 0; i < kColumns.size(); ++i) {
        if (chosen[i])
            columns << QLatin1String(kColumns[i].name);
    }
    const Backend &sql = s.sql();
    QVariantList values;
    const QString literal = everyWord(sql, words, columns, literally, &values);
    const bool beyondAscii = std::any_of(words.begin(), words.end(), [](const QString &w) { return !isAscii(w); });
    const QString loose =
        beyondAscii ? QStringLiteral(" OR (%1)").arg(everyWord(sql, words, columns, loosely, &values)) : QString();
    const QString letters =
        chosen[0] ? QStringLiteral(" OR (%1)").arg(mayHoldLetters(sql, query.typed, &values)) : QString();
    const QString statement = QStringLiteral("SELECT %ROW%, CodeName, %1, %2 FROM TABLE1 WHERE CodeName IS NOT NULL "
                                             "AND ((%3)%4%5) ORDER BY %ROW%")
                                  .arg(QLatin1String(chosen[1] ? "CodeDesc" : "NULL"),
                                       QLatin1String(chosen[2] ? "code" : "NULL"), literal, loose, letters);
    QSqlQuery q;
    if (!s.run(q, s.withRowId(statement), values))
        return false;
    while (q.next()) {
        const QString texts[3] = {q.value(1).toString(), q.value(2).toString(), q.value(3).toString()};
        const QByteArray bytes[3] = {texts[0].toUtf8(), texts[1].toUtf8(), texts[2].toUtf8()};
        const std::string_view fields[3] = {{bytes[0].constData(), std::size_t(bytes[0].size())},
                                            {bytes[1].constData(), std::size_t(bytes[1].size())},
                                            {bytes[2].constData(), std::size_t(bytes[2].size())}};
        const std::int64_t value = match.rankRow(fields, chosen, true);
        if (value == 0)
            continue;
        QString line = lineWithoutCode(value, texts[0], texts[1], words);
        if (line.isNull() && chosen[2])
            line = firstLineWithAWord({texts[2]}, words);
        found->push_back({{texts[0], line, text::rowrank::rank(value), q.value(0).toLongLong()}, value});
    }
    return s.walked(q);
}

// Reads the null lines of hits[from, from + count) from their rows' texts.
bool readLinesIn(Session &s, QList<SearchHit> &hits, qsizetype from, qsizetype count, const QStringList &words,
                 const bool (&chosen)[3])
{
    constexpr qsizetype kRowsAStatement = 200;
    QList<qsizetype> wanted;
    for (qsizetype i = std::max<qsizetype>(from, 0); i < std::min(from + count, hits.size()); ++i) {
        if (hits.at(i).line.isNull())
            wanted << i;
    }
    for (qsizetype at = 0; at < wanted.size(); at += kRowsAStatement) {
        const qsizetype n = std::min(kRowsAStatement, wanted.size() - at);
        QVariantList rows;
        QStringList marks;
        for (qsizetype i = 0; i < n; ++i) {
            rows << hits.at(wanted.at(at + i)).row;
            marks << QStringLiteral("?");
        }
        QSqlQuery q;
        if (!s.run(q,
                   s.withRowId(QStringLiteral("SELECT %ROW%, CodeName, CodeDesc, code FROM TABLE1 WHERE %ROW% IN (%1)")
                                   .arg(marks.join(QLatin1Char(',')))),
                   rows))
            return false;
        QHash<qint64, QString> lines;
        while (q.next()) {
            QStringList texts;
            for (int f = 0; f < 3; ++f) {
                if (chosen[f])
                    texts << q.value(1 + f).toString();
            }
            const QString line = firstLineWithAWord(texts, words);
            lines.insert(q.value(0).toLongLong(), q.value(1).toString() + QChar(0) + line);
        }
        if (!s.walked(q))
            return false;
        for (qsizetype i = 0; i < n; ++i) {
            SearchHit &hit = hits[wanted.at(at + i)];
            const QString kept = lines.value(hit.row);
            // A row gone, or given another heading meanwhile, has no line of its own to show.
            const qsizetype cut = kept.indexOf(QChar(0));
            hit.line = cut >= 0 && QStringView(kept).left(cut) == hit.heading ? kept.mid(cut + 1) : QLatin1String("");
        }
    }
    return true;
}

// Whether the query has more words than a search takes; the result then says so.
bool refusesWords(const text::QueryWords &words, SearchResult &result)
{
    if (words.distinct.size() <= kMostSearchWords)
        return false;
    result.outcome = Outcome::Failed;
    result.error = {Failure::Other, tooManyWords()};
    return true;
}

void choose(SearchFields in, bool (&chosen)[3])
{
    chosen[0] = in.testFlag(SearchField::Heading);
    chosen[1] = in.testFlag(SearchField::Description);
    chosen[2] = in.testFlag(SearchField::Code);
}

} // namespace

SearchResult SnippetLibrary::search(const QString &query, SearchFields in, qsizetype linesFor, qsizetype most) const
{
    SearchResult result;
    const text::QueryWords words = text::queryWords(query, kMostSearchWords);
    if (refusesWords(words, result))
        return result;
    bool chosen[3];
    choose(in, chosen);
    Session s(*this, false);
    if (!s.ok())
        return s.failed(std::move(result));
    if (words.distinct.isEmpty() || !(chosen[0] || chosen[1] || chosen[2]))
        return s.finish(std::move(result), Outcome::Done);

    std::vector<Found> found;
    result.total = -1;
    const bool ranked = s.sql().ranksRows()
                            ? rankInDatabase(s, query, chosen, words.distinct, most, &found, &result.total)
                            : rankHere(s, text::QueryMatch(words), words, chosen, &found);
    if (!ranked)
        return s.failed(std::move(result));
    // Ties keep table order, whatever order the rows were walked in.
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        return Backend::RankedRows::before(a.value, a.hit.row, b.value, b.hit.row);
    });
    if (result.total < 0)
        result.total = qsizetype(found.size());
    if (most >= 0 && qsizetype(found.size()) > most)
        found.erase(found.begin() + most, found.end());
    result.hits.reserve(qsizetype(found.size()));
    for (Found &f : found)
        result.hits.append(std::move(f.hit));
    if (!readLinesIn(s, result.hits, 0, linesFor < 0 ? result.hits.size() : linesFor, words.distinct, chosen))
        return s.failed(std::move(result));
    return s.finish(std::move(result), Outcome::Done);
}

HeadingSearch::HeadingSearch(const QStringList &headings) : m_headings(headings)
{
    m_ends.reserve(std::size_t(headings.size()));
    for (const QString &heading : headings) {
        m_text += heading.toUtf8();
        m_ends.push_back(m_text.size());
    }
}

SearchResult HeadingSearch::search(const QString &query, qsizetype most) const
{
    SearchResult result;
    const text::QueryWords words = text::queryWords(query, kMostSearchWords);
    if (refusesWords(words, result))
        return result;
    result.outcome = Outcome::Done;
    if (words.distinct.isEmpty())
        return result;
    const text::QueryMatch match(words);
    const bool chosen[3] = {true, false, false};
    Backend::RankedRows ranked;
    ranked.most = most;
    qsizetype begin = 0;
    for (std::size_t i = 0; i < m_ends.size(); ++i) {
        const std::string_view fields[3] = {{m_text.constData() + begin, std::size_t(m_ends[i] - begin)}, {}, {}};
        begin = m_ends[i];
        const std::int64_t value = match.rankRow(fields, chosen, true);
        if (value != 0 && ranked.wants(value, qint64(i)))
            ranked.add({qint64(i), value, {}, {}});
    }
    std::sort(ranked.rows.begin(), ranked.rows.end(), [](const Backend::RankedRow &a, const Backend::RankedRow &b) {
        return Backend::RankedRows::before(a.value, a.row, b.value, b.row);
    });
    result.total = ranked.total;
    result.hits.reserve(qsizetype(ranked.rows.size()));
    for (const Backend::RankedRow &row : ranked.rows) {
        const QString &heading = m_headings.at(row.row);
        result.hits.append(
            {heading, lineWithoutCode(row.value, heading, {}, words.distinct), text::rowrank::rank(row.value), -1});
    }
    return result;
}

Result SnippetLibrary::readLines(QList<SearchHit> &hits, qsizetype from, qsizetype count, const QString &query,
                                 SearchFields in) const
{
    Result result;
    bool chosen[3];
    choose(in, chosen);
    Session s(*this, false);
    if (!s.ok())
        return s.failed(std::move(result));
    if (!readLinesIn(s, hits, from, count, searchWords(query), chosen))
        return s.failed(std::move(result));
    return s.finish(std::move(result), Outcome::Done);
}

} // namespace quillbox::store
