#pragma once
// How well a snippet holds the words of a search, read straight from its texts as UTF-8, so
// that the database can ask it of every row as it walks the table without a text being
// copied or converted. Characters are compared by their Unicode simple case folding, except
// that a character beyond ASCII keeps its own form where that would be an ASCII letter (the
// long s, the Kelvin sign).
//
// A row's rank: the first of its fields (heading, description, code) that holds every word
// decides; within it, the field equal to the query, then one that begins with the query,
// then one where every word begins a word, then one that holds the words anywhere. Words
// spread over several fields come after; a heading that holds the query's letters in order,
// but not its words, last, the closest first.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::text {

// The text folded as the search compares it.
QString searchFolded(QStringView text);

// The query's words: split at white space and folded. `distinct` holds each once, up to
// one past `most` (so that too many can be told); `typed` keeps them in order as typed.
struct QueryWords {
    QStringList distinct;
    QStringList typed;
};
QueryWords queryWords(QStringView query, int most);

// A row's rank as a number that sorts best first: 0 for no match. The flags tell which of
// the heading and description hold a word, so that the line to show is found without the
// code where they do.
namespace rowrank {
inline constexpr int kRankShift = 40;
inline constexpr int kOrderShift = 8;
inline constexpr std::int64_t kHeadingHoldsAWord = 1;
inline constexpr std::int64_t kDescriptionHoldsAWord = 2;
inline constexpr int rank(std::int64_t value)
{
    return int(value >> kRankShift);
}
// What the hits are sorted by: the rank, and for a heading's letters how close they are.
inline constexpr std::int64_t order(std::int64_t value)
{
    return value >> kOrderShift;
}
} // namespace rowrank

class QueryMatch {
public:
    explicit QueryMatch(const QueryWords &words);

    bool isEmpty() const { return m_words.empty(); }

    // The rank of a row whose fields (heading, description, code) are given as UTF-8; a
    // field not looked in is null. `fuzzy`: whether a heading holding the query's letters in
    // order counts.
    std::int64_t rankRow(const std::string_view (&fields)[3], const bool (&chosen)[3], bool fuzzy) const;

    // How close a heading comes to holding the query's letters in order: -1 when it does not.
    int fuzzyScore(std::string_view heading) const;

private:
    struct Word {
        std::u32string letters; // folded
        std::string ascii;      // the same as bytes, when every letter is ASCII
        int anchor = -1;        // the rarest ASCII letter, which occurrences are looked for by
        bool startsWord = true; // the first letter is a letter, digit or underscore
    };
    struct Field {
        std::uint64_t held = 0;
        int kind = 3;
        bool missing = false; // a required word is not there
    };
    Field field(std::string_view text, std::uint64_t required) const;
    bool holds(const Word &word, std::string_view text, bool *beginsWord) const;
    int leading(std::string_view text) const;

    std::vector<Word> m_words;
    std::vector<std::u32string> m_typed;
    std::u32string m_letters;
    std::uint64_t m_all = 0;
};

} // namespace quillbox::text
