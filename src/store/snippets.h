#pragma once
// The operations on the snippet library: the heading list, one snippet by its picked
// heading, add, modify (a rename included) and delete. The window and the command line
// both go through these, and nothing else touches the library.
//
// Every call opens the library, works in one transaction, and closes it again before it
// returns; nothing is kept between calls. A read sees one state of the library; a write
// checks and writes while it holds the library (the file, or the server's lock), so that a heading another program
// stored meanwhile is refused, and a row it removed meanwhile is reported, with nothing written.

#include "store/location.h"
#include "store/storeerror.h"
#include "text/snippettext.h"

#include <QFlags>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

namespace quillbox::store {

using text::isEmptyEntry;
using text::Snippet;
using text::takenKey;
using text::trimSpaces;

// The two ways a row is matched by its heading. A null CodeName never matches.
// Picked heading: both sides trimmed, compared with case significant.
bool headingMatchesPicked(const QVariant &codeName, const QString &picked);
// A new heading is taken: both sides trimmed and upper-cased (Unicode-aware).
bool headingMatchesTaken(const QVariant &codeName, const QString &entered);

// How an operation ended. Failed always comes with a StoreError that says why.
enum class Outcome {
    Done,
    Taken,    // the new heading is another snippet's already; nothing was written
    Vanished, // no snippet has the picked heading (any more); nothing was written
    Changed,  // a column the user changed was changed by someone else since the pick too;
              // nothing was written
    Empty,    // the library holds no snippet with a heading
    Failed,   // the library could not be used
};

struct Result {
    Outcome outcome = Outcome::Done;
    StoreError error; // set exactly when outcome is Failed
    bool done() const { return outcome == Outcome::Done; }
};

// A Failed result (BadEntry) when the heading cannot be a new heading (see text::headingFault).
std::optional<Result> refusedHeading(const QString &heading);

struct HeadingsResult : Result {
    QStringList headings; // table order; rows without a heading are left out
};

struct SnippetResult : Result {
    Snippet snippet;
};

// The columns a search looks in.
enum class SearchField { Heading = 1, Description = 2, Code = 4 };
Q_DECLARE_FLAGS(SearchFields, SearchField)
Q_DECLARE_OPERATORS_FOR_FLAGS(SearchFields)
inline constexpr SearchFields allSearchFields = SearchField::Heading | SearchField::Description | SearchField::Code;

// The words of a query as a search takes them: split at white space, case folded, each once.
QStringList searchWords(const QString &query);
// A search takes at most this many words; more are refused with tooManyWords().
inline constexpr int kMostSearchWords = 64;
inline QString tooManyWords()
{
    return QStringLiteral("A search takes at most %1 words.").arg(kMostSearchWords);
}

// Where and how well a hit holds the query, best first; ties keep table order.
// A hit is in the first of heading, description and code that holds every word; within it,
// the field equal to the query (its words, in order, case folded), then a field that begins
// with the query, then one where every word begins a word, then one that holds the words
// anywhere. After those come snippets whose words are spread over several fields, and last
// the headings that hold the query's letters in order but not its words (a typing mistake:
// "swpval" finds "Swap two values"), best first.
enum class HitField { Heading = 0, Description = 1, Code = 2 };
enum class HitKind { Equal = 0, Begins = 1, WordsBegin = 2, Anywhere = 3 };
inline constexpr int kSpreadRank = 13;
inline constexpr int kFuzzyRank = 14;
// 1 (the heading equals the query) to 12 (the code holds the words somewhere).
inline constexpr int hitRank(HitField field, HitKind kind)
{
    return int(field) * 4 + int(kind) + 1;
}

struct SearchHit {
    QString heading;
    // The first line, space trimmed away, that holds a word of the query (heading, then
    // description, then code). Null when it has not been read (see SnippetLibrary::search).
    QString line;
    int rank = 0;    // hitRank(), kSpreadRank or kFuzzyRank
    qint64 row = -1; // the row's identity when it was found, to read its line later
};

struct SearchResult : Result {
    QList<SearchHit> hits; // ranked; Done with none when nothing matches
    qsizetype total = 0;   // the snippets that matched, of which hits holds the best
};

// Every hit's line, read: the default of search's `linesFor`.
inline constexpr qsizetype kEveryLine = -1;

// The library, in a file or in a database on a server. The object holds only where it is and
// how it is reached.
class SnippetLibrary {
public:
    explicit SnippetLibrary(Location location, LibraryOptions options = {});
    // The library named by a location's text (see Location).
    explicit SnippetLibrary(const QString &location, LibraryOptions options = {});
    const Location &location() const { return m_location; }
    const LibraryOptions &options() const { return m_options; }

    // Every heading, in table order. Empty when there is none.
    HeadingsResult headings() const;
    // The first snippet, in table order, whose heading matches the picked one. Vanished
    // when there is none.
    SnippetResult find(const QString &picked) const;
    // Stores a new snippet: the heading and description trimmed, the code as given.
    // Taken when another snippet's heading matches the new one.
    Result add(const QString &heading, const QString &description, const QString &code) const;
    // The same with the code as UTF-8 text (valid UTF-8), which the file stores without
    // making a text of it first.
    Result addUtf8(const QString &heading, const QString &description, const QByteArray &codeUtf8) const;
    // Rewrites the snippet picked by its heading, possibly under a new heading. Keeping the
    // heading, in any case, is no rename; a rename to a heading another snippet has is Taken.
    // `was` is the snippet as it was picked (as find gave it): only the columns whose new
    // value differs from it are written, so a column someone else changed meanwhile and the
    // user did not keeps the other's value; when both changed the same column to different
    // values, nothing is written (Changed).
    Result modify(const QString &picked, const Snippet &was, const QString &heading, const QString &description,
                  const QString &code) const;
    // The same, picked and written in one step: the snippet as it is now counts as picked.
    Result modify(const QString &picked, const QString &heading, const QString &description, const QString &code) const;
    // Removes the snippet picked by its heading.
    Result remove(const QString &picked) const;
    // Every snippet with a heading that holds each word of the query (split at white space,
    // in any order) somewhere in the chosen columns. Characters are compared by their Unicode
    // simple case folding (QChar::toCaseFolded): "É" finds "é" and "Σ" finds "ς", but "ß" and
    // "ss" stay apart; a character beyond ASCII that folds to an ASCII letter (the long s, the
    // Kelvin sign) is found only as itself. A query without words, or no column chosen, finds
    // nothing.
    // The hits are ranked (see HitField). The line of a hit whose words are in its code is read
    // for the first `linesFor` hits only (all with kEveryLine); the others' lines stay null until
    // readLines asks for them, so a long list costs no more than the screen that shows it.
    // With `most` at 0 or more, only the best `most` hits are kept (total still counts all).
    SearchResult search(const QString &query, SearchFields in = allSearchFields, qsizetype linesFor = kEveryLine,
                        qsizetype most = -1) const;
    // Reads the null lines of hits[from, from + count) for the same query and fields. A snippet
    // gone or changed meanwhile keeps an empty line.
    Result readLines(QList<SearchHit> &hits, qsizetype from, qsizetype count, const QString &query,
                     SearchFields in = allSearchFields) const;

private:
    Result insert(const QString &heading, const QString &description, const QVariant &code) const;
    Result rewrite(const QString &picked, const Snippet *was, const QString &heading, const QString &description,
                   const QString &code) const;

    Location m_location;
    LibraryOptions m_options;
};

// A library's headings held in memory, as headings() listed them, searched as search() searches
// the headings alone: for a list that narrows at every key without asking the library again.
class HeadingSearch {
public:
    explicit HeadingSearch(const QStringList &headings);
    // What search(query, SearchField::Heading, linesFor, most) gives for these headings, every
    // hit's line read.
    SearchResult search(const QString &query, qsizetype most = -1) const;

private:
    QStringList m_headings;
    QByteArray m_text;             // the headings in UTF-8, one after another
    std::vector<qsizetype> m_ends; // where each ends in m_text
};

} // namespace quillbox::store
