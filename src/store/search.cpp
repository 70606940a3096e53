// Searching the snippets for the words of a query.
//
// The database does the heavy part: it reads every row and keeps those that hold each word,
// its ASCII letters in either case (a LIKE, which folds ASCII letters only). For a word of
// plain ASCII that is the whole answer, since no other character folds to an ASCII letter
// under the rule used here. A word with other characters may stand in a column in another
// case (ÉCOLE for école): the database lets a row through when each of the word's ASCII
// stretches is there and the column has characters beyond ASCII, and the row is checked here
// again. Only the rows let through leave the database, and a snippet's code only when the
// line to show is to be found in it.

#include "store/session.h"
#include "store/snippets.h"

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

// The text with every character replaced by its simple case folding, except that a character
// beyond ASCII keeps its own form where that would be an ASCII letter (the long s, the Kelvin
// sign): a LIKE finds ASCII letters in either case, and nothing else for them.
QString folded(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        const char32_t f = QChar::toCaseFolded(c);
        const char32_t kept = c >= 0x80 && f < 0x80 ? c : f;
        if (QChar::requiresSurrogates(kept))
            out.append(QChar(QChar::highSurrogate(kept))).append(QChar(QChar::lowSurrogate(kept)));
        else
            out.append(QChar(char16_t(kept)));
    }
    return out;
}

} // namespace

QStringList searchWords(const QString &query)
{
    QStringList words;
    qsizetype begin = 0;
    for (qsizetype i = 0; i <= query.size(); ++i) {
        if (i < query.size() && !query.at(i).isSpace())
            continue;
        const QString word = folded(QStringView(query).mid(begin, i - begin));
        if (!word.isEmpty() && !words.contains(word))
            words.append(word);
        // One word past the most a search takes is enough to refuse it.
        if (words.size() > kMostSearchWords)
            break;
        begin = i + 1;
    }
    return words;
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

bool holdsEveryWord(const QStringList &texts, const QStringList &words)
{
    QStringList foldedTexts;
    for (const QString &text : texts)
        foldedTexts << folded(text);
    return std::all_of(words.begin(), words.end(), [&](const QString &word) {
        return std::any_of(foldedTexts.begin(), foldedTexts.end(),
                           [&](const QString &text) { return text.contains(word); });
    });
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
            const QString foldedLine = ascii ? QString() : folded(line);
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

} // namespace

SearchResult SnippetLibrary::search(const QString &query, SearchFields in, qsizetype linesFor) const
{
    Q_UNUSED(linesFor);
    SearchResult result;
    const QStringList words = searchWords(query);
    if (words.size() > kMostSearchWords) {
        result.outcome = Outcome::Failed;
        result.error = {Failure::Other, tooManyWords()};
        return result;
    }
    QStringList chosen;
    for (const Column &c : kColumns) {
        if (in.testFlag(c.field))
            chosen << QLatin1String(c.name);
    }
    Session s(*this, false);
    if (!s.ok())
        return s.failed(std::move(result));
    if (words.isEmpty() || chosen.isEmpty())
        return s.finish(std::move(result), Outcome::Done);

    QStringList beyondAscii;
    std::copy_if(words.begin(), words.end(), std::back_inserter(beyondAscii),
                 [](const QString &word) { return !isAscii(word); });
    QVariantList literalValues;
    const Backend &sql = s.sql();
    const QString literal = everyWord(sql, words, chosen, literally, &literalValues);
    // Whether the row is a match as it stands, or is to be checked here again.
    const QString exact = beyondAscii.isEmpty() ? sql.always() : QLatin1Char('(') + literal + QLatin1Char(')');
    const QVariantList exactValues = beyondAscii.isEmpty() ? QVariantList() : literalValues;
    QVariantList values = exactValues;
    QStringList shipped;
    for (const QString &column : chosen) {
        if (column != QLatin1String("code")) {
            shipped << column;
            continue;
        }
        // The code is long: it leaves the database only when the line to show is to be found
        // in it, or the row is to be checked here again.
        QStringList shown;
        for (const QString &word : words) {
            for (const QString &other : chosen) {
                if (other != column)
                    shown << like(sql, other, word, &values);
            }
        }
        if (shown.isEmpty()) {
            shipped << column;
            continue;
        }
        values += exactValues;
        shipped << QStringLiteral("CASE WHEN NOT (%1) OR NOT %2 THEN code END")
                       .arg(shown.join(QLatin1String(" OR ")), exact);
    }
    values += literalValues;
    const QString loose = beyondAscii.isEmpty()
                              ? QString()
                              : QStringLiteral(" OR (%1)").arg(everyWord(sql, words, chosen, loosely, &values));
    const QString statement =
        QStringLiteral("SELECT CodeName, %1, %2 FROM TABLE1 WHERE CodeName IS NOT NULL AND (%3%4) ORDER BY %ROW%")
            .arg(exact, shipped.join(QLatin1String(", ")), literal, loose);
    QSqlQuery q;
    if (!s.run(q, s.withRowId(statement), values))
        return s.failed(std::move(result));
    while (q.next()) {
        QStringList texts;
        for (int i = 0; i < chosen.size(); ++i)
            texts << q.value(2 + i).toString();
        // A row the LIKEs alone did not find was let through on what the database could tell;
        // the words decide here.
        if (!q.value(1).toBool() && !holdsEveryWord(texts, words))
            continue;
        result.hits.append({q.value(0).toString(), firstLineWithAWord(texts, words)});
    }
    if (!s.walked(q))
        return s.failed(std::move(result));
    return s.finish(std::move(result), Outcome::Done);
}

Result SnippetLibrary::readLines(QList<SearchHit> &, qsizetype, qsizetype, const QString &, SearchFields) const
{
    // Every line is read by search for now.
    return {};
}

} // namespace quillbox::store
