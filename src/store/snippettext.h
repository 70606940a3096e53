#pragma once
// A stored snippet given back as one block of source text: the heading as a comment line,
// an empty line, the description's comment lines, an empty line, then the code.

#include "text/snippettext.h"

#include <QString>
#include <QVariant>

namespace quillbox::store {

// The three pieces in the order the display box receives them; a null column is empty.
// Every line of the heading is a comment line: a heading another program stored with a line
// break in it never makes live code.
inline QString displayHeading(const QVariant &name)
{
    QString lines;
    text::forEachLine(name.toString(), [&lines](QStringView line) {
        lines += lines.isEmpty() ? QStringLiteral("'") : QStringLiteral("\r\n'");
        lines += line;
    });
    return lines;
}
inline QString displayDescription(const QVariant &desc)
{
    return QStringLiteral("\r\n\r\n") + desc.toString();
}
inline QString displayCode(const QVariant &code)
{
    return QStringLiteral("\r\n\r\n") + code.toString();
}

inline QString composeDisplay(const QVariant &name, const QVariant &desc, const QVariant &code)
{
    return displayHeading(name) + displayDescription(desc) + displayCode(code);
}

} // namespace quillbox::store
