#pragma once
// The editor's snippet syntax: tab stops ($1, ${1}, ${1:default}), choices (${1|a,b|}),
// variables ($NAME, ${NAME:default}) and transforms (${1/re/format/}); a backslash escapes
// the '$', '}' or backslash after it.

#include <QString>
#include <QStringView>

namespace quillbox::transfer {

struct Expanded {
    QString text;         // what the placeholders stand for: a default, a choice's first option
    qsizetype found = 0;  // placeholders met
    bool tooDeep = false; // defaults nested deeper than the limit; text is then not set
};

// The text with every placeholder replaced by what it stands for. One pass with a stack of
// its own: linear in the text, constant in the call stack. A "${1:" that is never closed is
// plain text, as is a '$' that starts no placeholder.
Expanded expandPlaceholders(QStringView text, int nestingLimit);

// A line of code as the editor's snippet syntax writes it: a '$' that would start a
// placeholder, and a backslash that would escape, are escaped.
QString escapePlaceholders(QStringView line);

} // namespace quillbox::transfer
