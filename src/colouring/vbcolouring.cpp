#include "colouring/vbcolouring.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace quillbox::colouring {

const char *const kKeywordConstants[9] = {
    "Or|Do|And|Random|Append|Binary|Exit|Then|GoTo|Case|Select|End|ReDim|",
    "For|Each|Loop|While|Until|Next|True|False|Sub|Function|As|Private|Dim|Open|Access|",
    "Else|ElseIf|Public|Close|Open|If|ByVal|(ByVal|Set|Nothing|Option|Explicit|Declare|",
    "Long|Long,|Long)|Lib|LBound|UBound|With|Call|Integer|Integer,|Integer)|Read|Lock|",
    "Byte|Byte)|Byte,|Double|Double)|Double,|Boolean|Boolean)|Boolean,|Any|Any,|Any)|",
    "Currency|Currency,|Currency)|Date|Date,|Date)|New|New,|New)|Object|Object,|Object)|",
    "Single|Single,|Single)|String|String,|String)|Variant|Variant,|Variant)|Alias|Const|",
    "Public|Not|Enum|Static|Friend|ByRef|(ByRef|ParamArray|Type|WithEvents|Resume|Is|Set|",
    "Debug.Assert|Debug.Print|False:|Else:|Global|EndIf",
};

QStringList keywordTable()
{
    QString joined;
    for (const char *constant : kKeywordConstants)
        joined += QString::fromLatin1(constant);
    return joined.split(QLatin1Char('|'));
}

namespace {

constexpr char16_t toLowerAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

// Folding for the hash: ASCII letters to lower case; other characters as they are. A
// keyword's characters are all ASCII, so a token with any other character is no keyword.
constexpr std::uint32_t fold(char16_t c)
{
    return c | ((c >= u'A' && c <= u'Z') ? 0x20u : 0u);
}

constexpr std::uint32_t mix(std::uint32_t h, std::uint32_t c)
{
    return (h ^ c) * 0x01000193u;
}

constexpr int kMaxKeyword = 12;

struct Keyword {
    std::array<char16_t, kMaxKeyword> lower{};
    int length = 0;
    QString written; // how a stand-alone occurrence is written back
};

// The distinct entries of the table in an open-addressed hash table on their folded text.
class KeywordSet {
public:
    KeywordSet()
    {
        m_slots.fill(-1);
        for (const QString &entry : keywordTable()) {
            Keyword k;
            k.length = int(entry.size());
            Q_ASSERT(k.length <= kMaxKeyword);
            std::uint32_t h = 0x811C9DC5u;
            for (int i = 0; i < k.length; ++i) {
                k.lower[std::size_t(i)] = toLowerAscii(entry.at(i).unicode());
                h = mix(h, fold(entry.at(i).unicode()));
            }
            k.written = caseRewrite(entry);
            std::size_t slot = h & kMask;
            bool duplicate = false;
            while (m_slots[slot] >= 0) {
                const Keyword &other = m_keywords[std::size_t(m_slots[slot])];
                if (other.length == k.length && other.lower == k.lower) {
                    duplicate = true; // "Open", "Public" and "Set" are listed twice
                    break;
                }
                slot = (slot + 1) & kMask;
            }
            if (duplicate)
                continue;
            m_slots[slot] = std::int16_t(m_keywords.size());
            m_hashes[slot] = h;
            m_keywords.push_back(std::move(k));
        }
    }

    // The keyword a token (ASCII, length 1..12, with hash h) is, or null.
    const Keyword *find(const char16_t *token, int length, std::uint32_t h) const
    {
        for (std::size_t slot = h & kMask; m_slots[slot] >= 0; slot = (slot + 1) & kMask) {
            if (m_hashes[slot] != h)
                continue;
            const Keyword &k = m_keywords[std::size_t(m_slots[slot])];
            if (k.length != length)
                continue;
            int i = 0;
            while (i < length && toLowerAscii(token[i]) == k.lower[std::size_t(i)])
                ++i;
            if (i == length)
                return &k;
        }
        return nullptr;
    }

private:
    static constexpr std::size_t kSlots = 512;
    static constexpr std::size_t kMask = kSlots - 1;
    std::array<std::int16_t, kSlots> m_slots{};
    std::array<std::uint32_t, kSlots> m_hashes{};
    std::vector<Keyword> m_keywords;
};

const KeywordSet &keywords()
{
    static const KeywordSet set;
    return set;
}

} // namespace

QString caseRewrite(QStringView keyword)
{
    // Lower case with the first letter upper, then the eight special forms.
    QString c = keyword.toString().toLower();
    if (!c.isEmpty())
        c[0] = c.at(0).toUpper();
    static const struct {
        const char *upper;
        const char *written;
    } specials[] = {
        {"(BYVAL", "(ByVal"}, {"BYVAL", "ByVal"}, {"BYREF", "ByRef"}, {"(BYREF", "(ByRef"},
        {"ELSEIF", "ElseIf"}, {"REDIM", "ReDim"}, {"GOTO", "GoTo"},   {"ENDIF", "End If"},
    };
    const QString upper = c.toUpper().trimmed();
    for (const auto &s : specials)
        if (upper == QLatin1String(s.upper))
            return QString::fromLatin1(s.written);
    return c;
}

namespace {

// Reads a line once: calls onKeyword(start, length, keyword) for every stand-alone keyword
// before the comment, in order, and returns where the comment begins (or -1).
template <typename OnKeyword>
int scanLine(QStringView line, OnKeyword onKeyword)
{
    const KeywordSet &set = keywords();
    const char16_t *text = line.utf16();
    const int n = int(line.size());
    int i = 0;
    while (i < n) {
        // Spaces separate the words.
        while (i < n && text[i] == u' ')
            ++i;
        if (i >= n)
            break;
        // One word: up to the next space, or the comment mark, which ends everything.
        const int start = i;
        std::uint32_t h = 0x811C9DC5u;
        bool ascii = true;
        while (i < n) {
            const char16_t c = text[i];
            if (c == u' ' || c == kCommentMark)
                break;
            ascii &= c < 0x80;
            h = mix(h, fold(c));
            ++i;
        }
        // A word touching the mark is no keyword; from the mark on, the line is a comment.
        if (i < n && text[i] == kCommentMark)
            return i;
        const int length = i - start;
        if (ascii && length <= kMaxKeyword)
            if (const Keyword *k = set.find(text + start, length, h))
                onKeyword(start, length, *k);
    }
    return -1;
}

// Adds a keyword's run, and its rewrite where the text changes; `shift` follows the length
// the rewrites so far have added.
void addKeyword(QStringView line, int start, int length, const Keyword &k, int *shift, LineColouring *out)
{
    const QString &written = k.written;
    if (line.mid(start, length) != written)
        out->rewrites.append({start, length, written});
    out->runs.append({start + *shift, int(written.size()), kKeywordNavy});
    *shift += int(written.size()) - length;
}

} // namespace

void colourLine(QStringView line, LineColouring *out)
{
    out->runs.clear();
    out->rewrites.clear();
    int shift = 0;
    const int comment = scanLine(
        line, [&](int start, int length, const Keyword &k) { addKeyword(line, start, length, k, &shift, out); });
    if (comment >= 0)
        out->runs.append({comment + shift, int(line.size()) - comment, kCommentGreen});
}

LineColouring colourWord(QStringView line, QStringView word)
{
    LineColouring out;
    int shift = 0;
    if (word.size() == 1 && word.at(0) == QChar(kCommentMark)) {
        const int comment = scanLine(line, [](int, int, const Keyword &) {});
        if (comment >= 0)
            out.runs.append({comment, int(line.size()) - comment, kCommentGreen});
        return out;
    }
    scanLine(line, [&](int start, int length, const Keyword &k) {
        if (line.mid(start, length).compare(word, Qt::CaseInsensitive) == 0)
            addKeyword(line, start, length, k, &shift, &out);
    });
    return out;
}

LineColouring colourLine(QStringView line)
{
    LineColouring out;
    colourLine(line, &out);
    return out;
}

QString applyRewrites(QStringView line, const QList<CaseRewrite> &rewrites)
{
    QString out;
    out.reserve(line.size() + rewrites.size());
    qsizetype at = 0;
    for (const CaseRewrite &r : rewrites) {
        out += line.mid(at, r.start - at);
        out += r.text;
        at = r.start + r.length;
    }
    out += line.mid(at);
    return out;
}

int offsetAfterRewrites(int offset, const QList<CaseRewrite> &rewrites)
{
    // From the back, so that the offsets of the rewrites before stay those of the line.
    for (auto it = rewrites.crbegin(); it != rewrites.crend(); ++it) {
        const int end = it->start + it->length;
        if (offset <= it->start)
            continue;
        const int newEnd = it->start + int(it->text.size());
        offset = offset >= end ? offset + newEnd - end : std::min(offset, newEnd);
    }
    return offset;
}

ColourRuns runsWithoutRewrites(const ColourRuns &runs, const QList<CaseRewrite> &rewrites)
{
    if (rewrites.isEmpty())
        return runs;
    // An offset after the rewrites back to the line: inside a rewrite's new text it falls on
    // the stretch that text replaces.
    const auto back = [&rewrites](int offset) {
        int shift = 0;
        for (const CaseRewrite &r : rewrites) {
            const int newStart = r.start + shift;
            if (offset <= newStart)
                break;
            const int newEnd = newStart + int(r.text.size());
            if (offset < newEnd)
                return r.start + std::min(offset - newStart, r.length);
            shift += int(r.text.size()) - r.length;
        }
        return offset - shift;
    };
    ColourRuns out;
    for (const ColourRun &run : runs) {
        const int start = back(run.start);
        appendRun(out, start, back(endOf(run)) - start, run.bgr);
    }
    return out;
}

} // namespace quillbox::colouring
