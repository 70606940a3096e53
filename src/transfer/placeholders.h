#pragma once
// The editor's snippet syntax: tab stops ($1, ${1}, ${1:default}), choices (${1|a,b|}),
// variables ($NAME, ${NAME:default}) and transforms (${1/re/format/}); a backslash escapes
// the '$', '}' or backslash after it.

#include <QString>
#include <QStringView>

namespace quillbox::transfer {

struct Converted {
    QString text;         // the text with the snippet's own blanks (see text/placeholders.h)
    qsizetype found = 0;  // placeholders met
    bool tooDeep = false; // defaults nested deeper than the limit; text is then not set
};

// The editor's text with its tab stops and variables as blanks: $1 and ${1} become ${1},
// ${1:x} stays, a choice ${1|a,b|} becomes ${1:a}, $NAME becomes ${NAME}, a transform keeps
// the blank it transforms, and an escaped '$' is a plain '$'. One pass: linear in the text,
// constant in the call stack. A "${1:" that is never closed is plain text in both.
Converted blanksFromEditor(QStringView text, int nestingLimit);

// The text with blanks in the editor's syntax: each blank a tab stop or a variable, and
// every other '$', '}' and escaping backslash escaped.
QString editorFromBlanks(QStringView text);

} // namespace quillbox::transfer
