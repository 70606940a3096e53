#include "text/snippettext.h"

#include <algorithm>

namespace quillbox::text {

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

bool isEmptyEntry(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == QLatin1Char(' '); });
}

HeadingFault headingFault(QStringView heading)
{
    if (isEmptyEntry(heading))
        return HeadingFault::Empty;
    for (const QChar c : heading) {
        if (endsLine(c))
            return HeadingFault::LineBreak;
        if (c.unicode() == 0)
            return HeadingFault::Nul;
    }
    return HeadingFault::None;
}

QString headingFaultMessage(HeadingFault fault)
{
    switch (fault) {
    case HeadingFault::Empty:
        return QStringLiteral("Please Enter a heading for the code");
    case HeadingFault::LineBreak:
        return QStringLiteral("A heading is one line: it cannot hold a line break.");
    case HeadingFault::Nul:
        return QStringLiteral("A heading cannot hold a NUL character.");
    case HeadingFault::None:
        break;
    }
    return {};
}

QString takenKey(const QString &heading)
{
    return trimSpaces(heading).toUpper();
}

bool endsLine(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar::LineSeparator
           || c == QChar::ParagraphSeparator;
}

QStringList boxLines(const QString &text)
{
    QStringList lines;
    forEachLine(text, [&](QStringView line) { lines.append(line.toString()); });
    return lines;
}

void toCrLf(QString &text)
{
    qsizetype grows = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!endsLine(text[i]))
            continue;
        if (text[i] == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        else
            ++grows;
    }
    if (grows == 0)
        return;
    qsizetype from = text.size();
    text.resize(from + grows);
    QChar *chars = text.data();
    // Everything before `from` is still as it was; once `to` meets it, nothing is left to move.
    qsizetype to = text.size();
    while (from < to) {
        const QChar c = chars[--from];
        if (!endsLine(c)) {
            chars[--to] = c;
            continue;
        }
        chars[--to] = QLatin1Char('\n');
        chars[--to] = QLatin1Char('\r');
        if (c == QLatin1Char('\n') && from > 0 && chars[from - 1] == QLatin1Char('\r'))
            --from;
    }
}

void chopFinalLineBreak(QString &text)
{
    if (text.isEmpty() || !endsLine(text.back()))
        return;
    text.chop(text.endsWith(QLatin1String("\r\n")) ? 2 : 1);
}

QString markedDescription(const QString &text)
{
    QStringList lines = boxLines(text);
    for (QString &line : lines) {
        qsizetype first = 0;
        while (first < line.size() && line[first] == QLatin1Char(' '))
            ++first;
        if (first >= line.size() || line[first] != QLatin1Char('\''))
            line.prepend(QLatin1Char('\''));
    }
    return lines.join(QStringLiteral("\r\n"));
}

QStringList unmarkedDescriptionLines(const QString &description)
{
    QStringList lines = boxLines(description);
    for (QString &line : lines) {
        const qsizetype mark = line.indexOf(QLatin1Char('\''));
        if (mark >= 0 && isEmptyEntry(QStringView(line).left(mark)))
            line.remove(0, mark + 1);
    }
    return lines;
}

Snippet windowSnippet(const QString &heading, const QString &descriptionLines, const QString &code)
{
    return {trimSpaces(heading), trimSpaces(markedDescription(descriptionLines)), withCrLf(code)};
}

} // namespace quillbox::text
