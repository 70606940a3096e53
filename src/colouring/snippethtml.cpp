#include "colouring/snippethtml.h"

#include "colouring/vbcolouring.h"

namespace quillbox::colouring {

namespace {

// Appends the text with the characters that mean something in HTML, and everything beyond
// ASCII, written as character references.
void appendEscaped(QString &html, QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        switch (c.unicode()) {
        case '<':
            html += QLatin1String("&lt;");
            continue;
        case '>':
            html += QLatin1String("&gt;");
            continue;
        case '&':
            html += QLatin1String("&amp;");
            continue;
        case '"':
            html += QLatin1String("&quot;");
            continue;
        case '\'':
            html += QLatin1String("&#39;");
            continue;
        default:
            break;
        }
        if (c.unicode() < 0x80) {
            html += c;
            continue;
        }
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            code = QChar::surrogateToUcs4(c, text[++i]);
        html += QStringLiteral("&#%1;").arg(quint32(code));
    }
}

QString cssColour(std::uint32_t bgr)
{
    return QStringLiteral("#%1%2%3")
        .arg(bgr & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
}

} // namespace

QString copyCodeText(const QString &composed)
{
    QStringList lines = boxLines(composed);
    LineColouring c;
    for (QString &line : lines) {
        colourLine(line, &c);
        line = applyRewrites(line, c.rewrites);
    }
    return lines.join(QStringLiteral("\r\n"));
}

QString htmlFragment(const QString &composed, const QString &lineBreak)
{
    QString html = QStringLiteral("<pre style=\"font-family: Consolas, 'Courier New', monospace; color: %1; "
                                  "background-color: #ffffff;\">")
                       .arg(cssColour(kBlack));
    const QStringList lines = boxLines(composed);
    LineColouring c;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        if (n > 0)
            html += lineBreak;
        colourLine(lines[n], &c);
        const QString line = applyRewrites(lines[n], c.rewrites);
        int at = 0;
        for (const ColourRun &run : std::as_const(c.runs)) {
            appendEscaped(html, QStringView(line).mid(at, run.start - at));
            html += QStringLiteral("<span style=\"color: %1;\">").arg(cssColour(run.bgr));
            appendEscaped(html, QStringView(line).mid(run.start, run.length));
            html += QLatin1String("</span>");
            at = endOf(run);
        }
        appendEscaped(html, QStringView(line).mid(at));
    }
    html += QLatin1String("</pre>");
    return html;
}

} // namespace quillbox::colouring
