#pragma once
// A snippet's text as every front end handles it: the window, the command line and the
// exchange formats apply the same rules through these.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>

namespace quillbox::text {

// One stored snippet; a null column reads as a null string.
struct Snippet {
    QVariant heading;
    QVariant description;
    QVariant code;
};

// Removes leading and trailing space characters (U+0020 only; tabs and line breaks stay).
QString trimSpaces(const QString &text);
// An entry is empty when nothing is left of it after trimSpaces.
bool isEmptyEntry(QStringView text);
// What may keep a text from being a new heading. A heading is one line of text: it holds
// something besides spaces, no line break (CR, LF, U+2028, U+2029) and no NUL.
enum class HeadingFault { None, Empty, LineBreak, Nul };
HeadingFault headingFault(QStringView heading);
// The fault in the words the window says it in.
QString headingFaultMessage(HeadingFault fault);
// What makes two headings the same under the taken rule: trimmed and upper-cased.
QString takenKey(const QString &heading);

// Whether the character ends a line as the boxes read text: CR, LF, U+2028 or U+2029 (a CR
// LF pair ends one line).
bool endsLine(QChar c);
// The lines of a text as the display box takes them: CR LF, CR, LF, U+2028 and U+2029 each
// end a line. An empty text is one empty line.
QStringList boxLines(const QString &text);
// Calls line(view) for every line of the text, as boxLines splits it, without copying.
template <typename Line>
void forEachLine(QStringView text, Line line)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!endsLine(text[i]))
            continue;
        line(text.mid(start, i - start));
        if (text[i] == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    line(text.mid(start));
}
// Every line break of the text written as the boxes store it, CR LF, in the text's own
// string: it grows once, by one character for each break that is not a CR LF pair, and is
// filled from its end, so a large text is never copied.
void toCrLf(QString &text);
inline QString withCrLf(QString text)
{
    toCrLf(text);
    return text;
}
// The text without the one line break that ends a text file (CR LF, CR, LF, U+2028 or
// U+2029); that break ends the last line and adds no empty line.
void chopFinalLineBreak(QString &text);

// The description as the window stores it: every line given the comment mark unless it has
// one (spaces before it aside), the lines joined by CR LF.
QString markedDescription(const QString &text);
// The description's lines without their comment marks (the first ' of a line that has only
// spaces before it).
QStringList unmarkedDescriptionLines(const QString &description);

// A snippet that comes in from another tool under the window's rules: the heading and the
// description trimmed, every description line marked, the lines of both joined by CR LF.
Snippet windowSnippet(const QString &heading, const QString &descriptionLines, const QString &code);

} // namespace quillbox::text
