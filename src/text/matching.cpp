#include "text/matching.h"

#include <QChar>

#include <algorithm>
#include <cstring>

namespace quillbox::text {

namespace {

using Byte = unsigned char;

char32_t foldChar(char32_t c)
{
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 32 : c;
    const char32_t f = QChar::toCaseFolded(c);
    return f < 0x80 ? c : f;
}

bool isWordChar(char32_t c)
{
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    return QChar::isLetterOrNumber(c);
}

bool isSpaceChar(char32_t c)
{
    return c < 0x80 ? c == ' ' || (c >= 9 && c <= 13) : QChar::isSpace(c);
}

// The character that begins at p, p moved past it; a broken sequence reads as U+FFFD, one
// byte long.
char32_t decode(const Byte *&p, const Byte *end)
{
    const Byte b = *p++;
    if (b < 0x80)
        return b;
    int more = b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : -1;
    if (more < 0 || end - p < more)
        return 0xFFFD;
    char32_t c = b & (0x3F >> more);
    for (int i = 0; i < more; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0xFFFD;
        c = (c << 6) | (p[i] & 0x3F);
    }
    // Overlong forms and surrogates are broken sequences too.
    if ((more == 2 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (more == 3 && (c < 0x10000 || c > 0x10FFFF)))
        return 0xFFFD;
    p += more;
    return c;
}

// The start of the character before p.
const Byte *previous(const Byte *begin, const Byte *p)
{
    const Byte *q = p - 1;
    for (int i = 0; i < 3 && q > begin && (*q & 0xC0) == 0x80; ++i)
        --q;
    return q;
}

char32_t charBefore(const Byte *begin, const Byte *p)
{
    const Byte *q = previous(begin, p);
    const Byte *start = q;
    const char32_t c = decode(start, p);
    // Continuation bytes that belong to no character read as one broken character.
    return start == p ? c : 0xFFFD;
}

std::u32string toLetters(QStringView text)
{
    std::u32string out;
    out.reserve(std::size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        out.push_back(c);
    }
    return out;
}

// The next place at or after `from` where the byte stands in either ASCII case.
class ByteFinder {
public:
    ByteFinder(Byte b, const Byte *from, const Byte *end)
        : m_lower(Byte(foldChar(b))), m_upper(m_lower >= 'a' && m_lower <= 'z' ? Byte(m_lower - 32) : m_lower),
          m_end(end)
    {
        m_nextLower = find(m_lower, from);
        m_nextUpper = m_upper == m_lower ? m_end : find(m_upper, from);
    }
    // The next place, which the following call goes past.
    const Byte *next()
    {
        const Byte *hit = std::min(m_nextLower, m_nextUpper);
        if (hit == m_end)
            return nullptr;
        if (hit == m_nextLower)
            m_nextLower = find(m_lower, hit + 1);
        else
            m_nextUpper = find(m_upper, hit + 1);
        return hit;
    }

private:
    const Byte *find(Byte b, const Byte *from) const
    {
        if (from >= m_end)
            return m_end;
        const void *hit = std::memchr(from, b, std::size_t(m_end - from));
        return hit ? static_cast<const Byte *>(hit) : m_end;
    }
    Byte m_lower, m_upper;
    const Byte *m_end;
    const Byte *m_nextLower = nullptr, *m_nextUpper = nullptr;
};

// How often a character stands in source code and English, most often first; one not named
// is rare.
int rarity(char32_t c)
{
    static const std::string_view common = " etaoinsrldhcum.()=,'\"pfgbywv_0123456789";
    const auto at = common.find(char(c));
    return at == std::string_view::npos ? 99 : int(at);
}

// Whether the folded letters stand at p; `end` is moved past them.
bool lettersAt(const std::u32string &letters, const Byte *p, const Byte *end, const Byte **after)
{
    for (char32_t want : letters) {
        if (p >= end || foldChar(decode(p, end)) != want)
            return false;
    }
    *after = p;
    return true;
}

} // namespace

QString searchFolded(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (char32_t c : toLetters(text)) {
        const char32_t kept = foldChar(c);
        if (QChar::requiresSurrogates(kept))
            out.append(QChar(QChar::highSurrogate(kept))).append(QChar(QChar::lowSurrogate(kept)));
        else
            out.append(QChar(char16_t(kept)));
    }
    return out;
}

QueryWords queryWords(QStringView query, int most)
{
    QueryWords words;
    qsizetype begin = 0;
    for (qsizetype i = 0; i <= query.size(); ++i) {
        if (i < query.size() && !query.at(i).isSpace())
            continue;
        const QString word = searchFolded(query.mid(begin, i - begin));
        begin = i + 1;
        if (word.isEmpty())
            continue;
        if (!words.distinct.contains(word))
            words.distinct.append(word);
        // One word past the most a search takes is enough to refuse it.
        if (words.distinct.size() > most)
            break;
        words.typed.append(word);
    }
    return words;
}

QueryMatch::QueryMatch(const QueryWords &words)
{
    for (const QString &w : words.distinct) {
        if (m_words.size() == 64)
            break;
        Word word;
        word.letters = toLetters(w);
        word.startsWord = isWordChar(word.letters.front());
        const bool ascii = std::all_of(word.letters.begin(), word.letters.end(), [](char32_t c) { return c < 0x80; });
        if (ascii)
            word.ascii.assign(word.letters.begin(), word.letters.end());
        for (std::size_t i = 0; i < word.letters.size(); ++i) {
            const char32_t c = word.letters[i];
            if (c < 0x80 && (word.anchor < 0 || rarity(c) > rarity(word.letters[std::size_t(word.anchor)])))
                word.anchor = int(i);
        }
        m_words.push_back(std::move(word));
    }
    m_all = m_words.size() >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << m_words.size()) - 1;
    for (const QString &w : words.typed) {
        m_typed.push_back(toLetters(w));
        for (char32_t c : m_typed.back())
            m_letters.push_back(c);
    }
}

// Whether the word stands in the text; *beginsWord tells whether it stands at the
// beginning of a word somewhere, which is looked for until found or the text ends.
bool QueryMatch::holds(const Word &word, std::string_view text, bool *beginsWord) const
{
    const Byte *begin = reinterpret_cast<const Byte *>(text.data());
    const Byte *end = begin + text.size();
    bool found = false;
    *beginsWord = false;
    const auto at = [&](const Byte *start) {
        found = true;
        if (!word.startsWord || start == begin || !isWordChar(charBefore(begin, start)))
            *beginsWord = true;
        return *beginsWord;
    };
    if (word.anchor >= 0) {
        // Looked for by its rarest ASCII letter, then read around it.
        const std::size_t anchor = std::size_t(word.anchor);
        const Byte *from = begin + std::min<std::size_t>(anchor, text.size());
        ByteFinder finder(Byte(word.letters[anchor]), from, end);
        while (const Byte *hit = finder.next()) {
            const Byte *start = hit;
            if (!word.ascii.empty()) {
                start = hit - anchor;
                if (std::size_t(end - start) < word.ascii.size())
                    break;
                bool same = true;
                for (std::size_t i = 0; same && i < word.ascii.size(); ++i)
                    same = Byte(foldChar(start[i])) == Byte(word.ascii[i]);
                if (!same)
                    continue;
            } else {
                std::size_t back = 0;
                while (back < anchor && start > begin) {
                    start = previous(begin, start);
                    ++back;
                }
                const Byte *after = nullptr;
                if (back < anchor || !lettersAt(word.letters, start, end, &after))
                    continue;
            }
            if (at(start))
                return true;
        }
        return found;
    }
    // A word without ASCII: only where a character beyond ASCII begins can it stand.
    const char32_t first = word.letters.front();
    for (const Byte *p = begin; p < end;) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const Byte *start = p;
        const char32_t c = decode(p, end);
        const Byte *after = nullptr;
        if (foldChar(c) == first && lettersAt(word.letters, start, end, &after) && at(start))
            return true;
    }
    return found;
}

// 0 when the field holds the query's words and nothing else, 1 when it begins with them (the
// last one may go on), 3 otherwise.
int QueryMatch::leading(std::string_view text) const
{
    const Byte *p = reinterpret_cast<const Byte *>(text.data());
    const Byte *end = p + text.size();
    const auto skipSpace = [&] {
        while (p < end) {
            const Byte *q = p;
            if (!isSpaceChar(decode(q, end)))
                break;
            p = q;
        }
    };
    for (std::size_t i = 0; i < m_typed.size(); ++i) {
        skipSpace();
        const Byte *after = nullptr;
        if (!lettersAt(m_typed[i], p, end, &after))
            return 3;
        p = after;
        const Byte *q = p;
        const bool wordEnds = p == end || isSpaceChar(decode(q, end));
        if (i + 1 < m_typed.size() && !wordEnds)
            return 3;
        if (i + 1 == m_typed.size() && !wordEnds)
            return 1;
    }
    skipSpace();
    return p == end ? 0 : 1;
}

QueryMatch::Field QueryMatch::field(std::string_view text, std::uint64_t required) const
{
    Field out;
    bool everyBegins = true;
    // The required words first: when one is missing, nothing else matters.
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < m_words.size(); ++i) {
            const std::uint64_t bit = std::uint64_t(1) << i;
            if (bool(required & bit) != (pass == 0))
                continue;
            bool begins = false;
            if (holds(m_words[i], text, &begins))
                out.held |= bit;
            else if (required & bit) {
                out.missing = true;
                return out;
            }
            everyBegins = everyBegins && begins;
        }
    }
    if (out.held == m_all)
        out.kind = std::min(leading(text), everyBegins ? 2 : 3);
    return out;
}

std::int64_t QueryMatch::rankRow(const std::string_view (&fields)[3], const bool (&chosen)[3], bool fuzzy) const
{
    using namespace rowrank;
    if (m_words.empty())
        return 0;
    int last = -1;
    for (int f = 0; f < 3; ++f) {
        if (chosen[f])
            last = f;
    }
    std::uint64_t seen = 0;
    std::int64_t flags = 0;
    for (int f = 0; f <= last; ++f) {
        if (!chosen[f])
            continue;
        // The last field must hold every word the others did not.
        const Field found = field(fields[f], f == last ? m_all & ~seen : 0);
        if (found.missing)
            break;
        if (found.held && f < 2)
            flags |= f == 0 ? kHeadingHoldsAWord : kDescriptionHoldsAWord;
        if (found.held == m_all)
            return (std::int64_t(f * 4 + found.kind + 1) << kRankShift) | flags;
        seen |= found.held;
    }
    if (seen == m_all)
        return (std::int64_t(13) << kRankShift) | flags;
    if (fuzzy && chosen[0]) {
        const int score = fuzzyScore(fields[0]);
        if (score >= 0)
            return (std::int64_t(14) << kRankShift)
                   | (std::int64_t(0xFFFFFF - std::min(score, 0xFFFFFF)) << kOrderShift);
    }
    return 0;
}

int QueryMatch::fuzzyScore(std::string_view heading) const
{
    // Only so much of a heading is read.
    constexpr int kMostLetters = 1024;
    if (m_letters.empty())
        return -1;
    const Byte *begin = reinterpret_cast<const Byte *>(heading.data());
    const Byte *end = begin + heading.size();
    // The letters in order, each as early as it comes; then, from where the last one stood,
    // back to the latest place each earlier one could stand, which makes the shortest stretch.
    std::vector<char32_t> text;
    std::vector<bool> starts;
    char32_t before = ' ';
    for (const Byte *p = begin; p < end && int(text.size()) < kMostLetters;) {
        const char32_t c = decode(p, end);
        text.push_back(foldChar(c));
        // A word begins after other characters, and at a capital after a small letter.
        starts.push_back((!isWordChar(before) && isWordChar(c)) || (QChar::isUpper(c) && QChar::isLower(before)));
        before = c;
    }
    std::size_t j = 0, last = 0;
    for (std::size_t i = 0; i < text.size() && j < m_letters.size(); ++i) {
        if (text[i] == m_letters[j]) {
            ++j;
            last = i;
        }
    }
    if (j < m_letters.size())
        return -1;
    int score = 0;
    std::size_t i = last + 1, previousAt = 0;
    for (std::size_t k = m_letters.size(); k-- > 0;) {
        do
            --i;
        while (text[i] != m_letters[k]);
        score += starts[i] ? 16 : 0;
        if (k + 1 < m_letters.size() && previousAt == i + 1)
            score += 8;
        previousAt = i;
    }
    const int span = int(last - i + 1);
    return std::max(0, 1000 + score - span - int(i) / 4);
}

} // namespace quillbox::text
