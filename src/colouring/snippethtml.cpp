#include "colouring/snippethtml.h"

#include "colouring/vbcolouring.h"

#include <string>
#include <utility>
#include <vector>

namespace quillbox::colouring {

namespace {

// The text being made, handed to the writer a piece at a time.
using Text = std::u16string;

// How much text gathers before it is handed to the writer.
constexpr std::size_t kPieceSize = 16 * 1024;

void append(Text &text, QStringView s)
{
    text.append(s.utf16(), std::size_t(s.size()));
}

// Whether the character is written as it is in the HTML: ASCII other than markup.
bool plainInHtml(char16_t c)
{
    return c < 0x80 && c != u'<' && c != u'>' && c != u'&' && c != u'"' && c != u'\'';
}

// Appends the text with the characters that mean something in HTML, and everything beyond
// ASCII, written as character references.
void appendEscaped(Text &html, QStringView text)
{
    const char16_t *chars = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        // A stretch that needs nothing goes in at once.
        const qsizetype plain = i;
        while (i < n && plainInHtml(chars[i]))
            ++i;
        html.append(chars + plain, std::size_t(i - plain));
        if (i >= n)
            break;
        switch (chars[i]) {
        case u'<':
            html += u"&lt;";
            break;
        case u'>':
            html += u"&gt;";
            break;
        case u'&':
            html += u"&amp;";
            break;
        case u'"':
            html += u"&quot;";
            break;
        case u'\'':
            html += u"&#39;";
            break;
        default: {
            char32_t code = chars[i];
            if (QChar::isHighSurrogate(code) && i + 1 < n && QChar::isLowSurrogate(chars[i + 1])) {
                code = QChar::surrogateToUcs4(chars[i], chars[i + 1]);
                ++i;
            }
            // The code point in decimal.
            char16_t digits[10];
            int count = 0;
            do {
                digits[count++] = char16_t(u'0' + code % 10);
                code /= 10;
            } while (code != 0);
            html += u"&#";
            while (count > 0)
                html += digits[--count];
            html += u';';
            break;
        }
        }
        ++i;
    }
}

QString cssColour(std::uint32_t bgr)
{
    return QStringLiteral("#%1%2%3")
        .arg(bgr & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
}

// The opening tag of a coloured run, made once for each colour a snippet uses.
class SpanTags {
public:
    const QString &open(std::uint32_t bgr)
    {
        for (const auto &[colour, tag] : m_tags)
            if (colour == bgr)
                return tag;
        m_tags.emplace_back(bgr, QStringLiteral("<span style=\"color: %1;\">").arg(cssColour(bgr)));
        return m_tags.back().second;
    }

private:
    std::vector<std::pair<std::uint32_t, QString>> m_tags;
};

// Appends one coloured line: `line` is the line after its rewrites, `runs` its colours.
void appendHtmlLine(Text &html, QStringView line, const QList<ColourRun> &runs, SpanTags &tags)
{
    int at = 0;
    for (const ColourRun &run : runs) {
        appendEscaped(html, line.mid(at, run.start - at));
        append(html, tags.open(run.bgr));
        appendEscaped(html, line.mid(run.start, run.length));
        html += u"</span>";
        at = endOf(run);
    }
    appendEscaped(html, line.mid(at));
}

// A quick test that lets most characters of a line through before text::endsLine decides:
// every character that ends a line is CR or below, or U+2028 or above.
inline bool mayEndLine(char16_t c)
{
    return c <= u'\r' || c >= u'\u2028';
}

// Calls line(view) for every line of the text the pieces make one after another, as
// text::forEachLine splits it. Only a line that runs from one piece into the next is put
// together in a string of its own; every other line is a view of its piece.
template <typename Line>
void forEachLineOfPieces(std::initializer_list<QStringView> pieces, Line line)
{
    QString carried;      // the start of the line the pieces so far end in
    bool crEnded = false; // the last character so far is a CR, which pairs with an LF next
    for (const QStringView piece : pieces) {
        if (piece.isEmpty())
            continue;
        qsizetype start = crEnded && piece.front() == QLatin1Char('\n') ? 1 : 0;
        crEnded = false;
        const char16_t *chars = piece.utf16();
        for (qsizetype i = start; i < piece.size(); ++i) {
            if (!mayEndLine(chars[i]) || !text::endsLine(piece[i]))
                continue;
            if (carried.isEmpty()) {
                line(piece.mid(start, i - start));
            } else {
                carried += piece.mid(start, i - start);
                line(QStringView(carried));
                carried.resize(0);
            }
            if (piece[i] == QLatin1Char('\r')) {
                if (i + 1 == piece.size())
                    crEnded = true;
                else if (piece[i + 1] == QLatin1Char('\n'))
                    ++i;
            }
            start = i + 1;
        }
        carried += piece.mid(start);
    }
    line(QStringView(carried));
}

} // namespace

void writeSnippetText(std::initializer_list<QStringView> pieces, TextForm form, QStringView lineBreak,
                      const TextWriter &write)
{
    Text text;
    text.reserve(kPieceSize + 1024);
    if (form == TextForm::Html)
        append(text, QStringLiteral("<pre style=\"font-family: Consolas, 'Courier New', monospace; color: %1; "
                                    "background-color: #ffffff;\">")
                         .arg(cssColour(kBlack)));
    // One colouring for all the lines, read in order, so that its buffers serve every line.
    LineColouring c;
    SpanTags tags;
    bool first = true;
    forEachLineOfPieces(pieces, [&](QStringView line) {
        if (!first) {
            append(text, lineBreak);
            // Handed over just after a line break, so that no surrogate pair is cut.
            if (text.size() >= kPieceSize) {
                write(QStringView(text));
                text.clear();
            }
        }
        first = false;
        if (form == TextForm::AsStored) {
            append(text, line);
            return;
        }
        colourLine(line, &c);
        if (form == TextForm::CopyCode) {
            if (c.rewrites.isEmpty())
                append(text, line);
            else
                append(text, applyRewrites(line, c.rewrites));
            return;
        }
        if (c.rewrites.isEmpty())
            appendHtmlLine(text, line, c.runs, tags);
        else
            appendHtmlLine(text, applyRewrites(line, c.rewrites), c.runs, tags);
    });
    if (form == TextForm::Html)
        text += u"</pre>";
    write(QStringView(text));
}

QString copyCodeText(const QString &composed)
{
    QString text;
    writeSnippetText({composed}, TextForm::CopyCode, u"\r\n", [&text](QStringView piece) { text += piece; });
    return text;
}

QString htmlFragment(const QString &composed, const QString &lineBreak)
{
    QString html;
    writeSnippetText({composed}, TextForm::Html, lineBreak, [&html](QStringView piece) { html += piece; });
    return html;
}

} // namespace quillbox::colouring
