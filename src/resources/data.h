#pragma once
// The help page and the sample snippets that ship inside the program. Qt Core only, so the
// store and the command line can use them without a window system.

#include <QList>
#include <QString>

namespace quillbox::resources {

// The user's help page, a complete HTML document.
QString helpPage();
// The name the help page is saved under in the library folder.
QString helpFileName();

struct SampleSnippet {
    QString heading;
    QString description; // every line a comment line, CR LF between lines
    QString code;        // CR LF between lines
};
// A handful of useful snippets for a new library.
QList<SampleSnippet> sampleSnippets();

} // namespace quillbox::resources
