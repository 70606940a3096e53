#include "transfer/placeholders.h"

#include "text/placeholders.h"

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

} // namespace

Converted blanksFromEditor(QStringView s, int nestingLimit)
{
    Converted result;
    QString &out = result.text;
    out.reserve(s.size() + s.size() / 8);
    qsizetype open = 0; // placeholders with a default, opened and not closed yet
    const qsizetype n = s.size();
    ForwardSearch choiceEnd(s), transformEnd(s);
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s[i];
        if (c == QLatin1Char('\\') && i + 1 < n && escapable(s[i + 1])) {
            // A literal '$' keeps its escape where "${" could start a blank.
            if (s[i + 1] == QLatin1Char('$') && i + 3 < n && s[i + 2] == QLatin1Char('{')
                && (isAsciiDigit(s[i + 3]) || s[i + 3].isLetter()))
                out += QLatin1Char('\\');
            out += s[i + 1];
            i += 2;
            continue;
        }
        if (c == QLatin1Char('}') && open > 0) {
            --open;
            out += c;
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
            skipNameOrNumber(); // $1, $NAME
            out += QLatin1String("${");
            out += s.mid(i + 1, k - i - 1);
            out += QLatin1Char('}');
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
        const QStringView name = s.mid(i + 2, k - i - 2);
        const auto blank = [&out](QStringView named, QChar then) {
            out += QLatin1String("${");
            out += named;
            out += then;
        };
        if (k < n && s[k] == QLatin1Char('}')) {
            blank(name, QLatin1Char('}'));
            ++result.found;
            i = k + 1;
            continue;
        }
        if (k < n && s[k] == QLatin1Char(':')) {
            if (open >= nestingLimit) {
                result.tooDeep = true;
                result.text.clear();
                return result;
            }
            // A default that is never closed stays plain text, in either syntax.
            ++open;
            ++result.found;
            blank(name, QLatin1Char(':'));
            i = k + 1;
            continue;
        }
        if (k < n && s[k] == QLatin1Char('|')) {
            // A choice becomes a blank whose default is its first option.
            const qsizetype end = choiceEnd.find(k + 1, [&](qsizetype at) {
                return s[at] == QLatin1Char('|') && at + 1 < n && s[at + 1] == QLatin1Char('}');
            });
            if (end < n) {
                blank(name, QLatin1Char(':'));
                bool first = true;
                for (qsizetype at = k + 1; at < end && first; ++at) {
                    if (s[at] == QLatin1Char('\\') && at + 1 < end)
                        out += s[++at];
                    else if (s[at] == QLatin1Char(','))
                        first = false;
                    else
                        out += s[at];
                }
                out += QLatin1Char('}');
                ++result.found;
                i = end + 2;
                continue;
            }
        } else if (k < n && s[k] == QLatin1Char('/')) {
            // A transform keeps the blank it transforms.
            const qsizetype end = transformEnd.find(k, [&](qsizetype at) { return s[at] == QLatin1Char('}'); });
            if (end < n) {
                blank(name, QLatin1Char('}'));
                ++result.found;
                i = end + 1;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return result;
}

QString editorFromBlanks(QStringView text)
{
    const text::Placeholders blanks(text);
    QString out;
    out.reserve(text.size() + text.size() / 8);
    blanks.visit(
        [&](QStringView plain) {
            // Every other '$' and '}' is escaped, and so is a backslash the editor would read
            // as an escape; "\${", a plain "${" here, is one there as it stands.
            for (qsizetype i = 0; i < plain.size(); ++i) {
                const QChar next = i + 1 < plain.size() ? plain[i + 1] : QChar();
                if (plain.mid(i).startsWith(u"\\${")) {
                    out += QLatin1String("\\${");
                    i += 2;
                    continue;
                }
                if (plain[i] == QLatin1Char('$') || plain[i] == QLatin1Char('}')
                    || (plain[i] == QLatin1Char('\\') && (escapable(next) || next.isNull())))
                    out += QLatin1Char('\\');
                out += plain[i];
            }
        },
        [&](const QString &name, bool hasDefault) {
            out += QLatin1String("${") + name + (hasDefault ? QLatin1String(":") : QLatin1String(""));
        },
        [&] { out += QLatin1Char('}'); });
    return out;
}

} // namespace quillbox::transfer
