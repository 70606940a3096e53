#include "transfer/placeholders.h"

#include <vector>

namespace quillbox::transfer {

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
bool startsName(QChar c)
{
    const QChar lower = c.toLower();
    return (lower >= QLatin1Char('a') && lower <= QLatin1Char('z')) || c == QLatin1Char('_');
}
bool escapable(QChar c)
{
    return c == QLatin1Char('$') || c == QLatin1Char('}') || c == QLatin1Char('\\');
}

// The first place at or after `from` where `closes` holds, reading backslash pairs as one
// character. Asked for ever later places, it never reads a character twice: a search from a
// later place resumes where the last one ended.
class ForwardSearch {
public:
    explicit ForwardSearch(QStringView text) : m_text(text) {}
    template <typename Closes>
    qsizetype find(qsizetype from, Closes closes)
    {
        if (m_found >= from)
            return m_found;
        qsizetype k = std::max(from, m_scanned);
        const qsizetype n = m_text.size();
        while (k < n && !closes(k))
            k += m_text[k] == QLatin1Char('\\') ? 2 : 1;
        m_scanned = k;
        m_found = k < n ? k : n;
        return m_found;
    }

private:
    QStringView m_text;
    qsizetype m_scanned = 0;
    qsizetype m_found = -1;
};

// A placeholder with a default, opened and not closed yet.
struct Open {
    qsizetype textAt;  // where its default begins in the text made so far
    qsizetype opener;  // where "${" stands in the input
    qsizetype content; // where its default begins in the input
};

} // namespace

Expanded expandPlaceholders(QStringView s, int nestingLimit)
{
    Expanded result;
    QString &out = result.text;
    out.reserve(s.size());
    std::vector<Open> open;
    const qsizetype n = s.size();
    ForwardSearch choiceEnd(s), transformEnd(s);
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s[i];
        if (c == QLatin1Char('\\') && i + 1 < n && escapable(s[i + 1])) {
            out += s[i + 1];
            i += 2;
            continue;
        }
        if (c == QLatin1Char('}') && !open.empty()) {
            open.pop_back();
            ++result.found;
            ++i;
            continue;
        }
        if (c != QLatin1Char('$')) {
            out += c;
            ++i;
            continue;
        }
        qsizetype k = i + 1;
        const auto skipNameOrNumber = [&] {
            if (isAsciiDigit(s[k]))
                while (k < n && isAsciiDigit(s[k]))
                    ++k;
            else
                while (k < n && (startsName(s[k]) || isAsciiDigit(s[k])))
                    ++k;
        };
        if (k < n && (isAsciiDigit(s[k]) || startsName(s[k]))) {
            skipNameOrNumber(); // $1, $NAME: they stand for nothing
            ++result.found;
            i = k;
            continue;
        }
        if (!(k + 1 < n && s[k] == QLatin1Char('{') && (isAsciiDigit(s[k + 1]) || startsName(s[k + 1])))) {
            out += c; // a plain '$'
            ++i;
            continue;
        }
        ++k;
        skipNameOrNumber();
        if (k < n && s[k] == QLatin1Char('}')) {
            ++result.found;
            i = k + 1;
            continue;
        }
        if (k < n && s[k] == QLatin1Char(':')) {
            if (int(open.size()) >= nestingLimit) {
                result.tooDeep = true;
                result.text.clear();
                return result;
            }
            open.push_back({out.size(), i, k + 1});
            i = k + 1;
            continue;
        }
        if (k < n && s[k] == QLatin1Char('|')) {
            // A choice stands for its first option.
            const qsizetype end = choiceEnd.find(k + 1, [&](qsizetype at) {
                return s[at] == QLatin1Char('|') && at + 1 < n && s[at + 1] == QLatin1Char('}');
            });
            if (end < n) {
                bool first = true;
                for (qsizetype at = k + 1; at < end && first; ++at) {
                    if (s[at] == QLatin1Char('\\') && at + 1 < end)
                        out += s[++at];
                    else if (s[at] == QLatin1Char(','))
                        first = false;
                    else
                        out += s[at];
                }
                ++result.found;
                i = end + 2;
                continue;
            }
        } else if (k < n && s[k] == QLatin1Char('/')) {
            // A transform of a variable stands for nothing here.
            const qsizetype end = transformEnd.find(k, [&](qsizetype at) { return s[at] == QLatin1Char('}'); });
            if (end < n) {
                ++result.found;
                i = end + 1;
                continue;
            }
        }
        out += c;
        ++i;
    }
    if (open.empty())
        return result;
    // Placeholders never closed are plain text: their openers go back where they stood.
    QString text;
    text.reserve(out.size() + qsizetype(open.size()) * 8);
    qsizetype at = 0;
    for (const Open &o : open) {
        text += QStringView(out).mid(at, o.textAt - at);
        text += s.mid(o.opener, o.content - o.opener);
        at = o.textAt;
    }
    text += QStringView(out).mid(at);
    result.text = std::move(text);
    return result;
}

QString escapePlaceholders(QStringView line)
{
    QString text;
    text.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar next = i + 1 < line.size() ? line[i + 1] : QChar();
        if ((line[i] == QLatin1Char('$') && (isAsciiDigit(next) || startsName(next) || next == QLatin1Char('{')))
            || (line[i] == QLatin1Char('\\') && escapable(next)))
            text += QLatin1Char('\\');
        text += line[i];
    }
    return text;
}

} // namespace quillbox::transfer
