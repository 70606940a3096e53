#include "colouring/snippethtml.h"

#include "colouring/vbcolouring.h"

#include <utility>
#include <vector>

namespace quillbox::colouring {

namespace {

// How much text gathers before it is handed to the writer.
constexpr qsizetype kPieceSize = 16 * 1024;

// Whether the character is written as it is in the HTML: ASCII other than markup.
bool plainInHtml(char16_t c)
{
    return c < 0x80 && c != u'<' && c != u'>' && c != u'&' && c != u'"' && c != u'\'';
}

// Appends the text with the characters that mean something in HTML, and everything beyond
// ASCII, written as character references.
void appendEscaped(QString &html, QStringView text)
{
    qsizetype i = 0;
    while (i < text.size()) {
        // A stretch that needs nothing goes in at once.
        const qsizetype plain = i;
        while (i < text.size() && plainInHtml(text[i].unicode()))
            ++i;
        if (i > plain)
            html += text.mid(plain, i - plain);
        if (i >= text.size())
            break;
        const QChar c = text[i];
        switch (c.unicode()) {
        case '<':
            html += QLatin1String("&lt;");
            break;
        case '>':
            html += QLatin1String("&gt;");
            break;
        case '&':
            html += QLatin1String("&amp;");
            break;
        case '"':
            html += QLatin1String("&quot;");
            break;
        case '\'':
            html += QLatin1String("&#39;");
            break;
        default: {
            char32_t code = c.unicode();
            if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                code = QChar::surrogateToUcs4(c, text[++i]);
            html += QLatin1String("&#");
            html += QString::number(quint32(code));
            html += QLatin1Char(';');
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
void appendHtmlLine(QString &html, QStringView line, const QList<ColourRun> &runs, SpanTags &tags)
{
    int at = 0;
    for (const ColourRun &run : runs) {
        appendEscaped(html, line.mid(at, run.start - at));
        html += tags.open(run.bgr);
        appendEscaped(html, line.mid(run.start, run.length));
        html += QLatin1String("</span>");
        at = endOf(run);
    }
    appendEscaped(html, line.mid(at));
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
        for (qsizetype i = start; i < piece.size(); ++i) {
            if (!text::endsLine(piece[i]))
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
    QString text;
    text.reserve(kPieceSize + 1024);
    if (form == TextForm::Html)
        text += QStringLiteral("<pre style=\"font-family: Consolas, 'Courier New', monospace; color: %1; "
                               "background-color: #ffffff;\">")
                    .arg(cssColour(kBlack));
    // One colouring for all the lines, read in order, so that its buffers serve every line.
    LineColouring c;
    SpanTags tags;
    bool first = true;
    forEachLineOfPieces(pieces, [&](QStringView line) {
        if (!first) {
            text += lineBreak;
            // Handed over just after a line break, so that no surrogate pair is cut.
            if (text.size() >= kPieceSize) {
                write(text);
                text.resize(0);
            }
        }
        first = false;
        if (form == TextForm::AsStored) {
            text += line;
            return;
        }
        colourLine(line, &c);
        if (form == TextForm::CopyCode) {
            if (c.rewrites.isEmpty())
                text += line;
            else
                text += applyRewrites(line, c.rewrites);
            return;
        }
        if (c.rewrites.isEmpty())
            appendHtmlLine(text, line, c.runs, tags);
        else
            appendHtmlLine(text, applyRewrites(line, c.rewrites), c.runs, tags);
    });
    if (form == TextForm::Html)
        text += QLatin1String("</pre>");
    write(text);
}

QString copyCodeText(const QString &composed)
{
    QString text;
    writeSnippetText({composed}, TextForm::CopyCode, u"\r\n", [&text](const QString &piece) { text += piece; });
    return text;
}

QString htmlFragment(const QString &composed, const QString &lineBreak)
{
    QString html;
    writeSnippetText({composed}, TextForm::Html, lineBreak, [&html](const QString &piece) { html += piece; });
    return html;
}

} // namespace quillbox::colouring
