#pragma once
// A composed snippet outside the window: the text Copy Code puts on the clipboard, and the
// same text as coloured HTML. Both read the text line by line as the display box does and
// colour each line with the colouring core, so they give what the window gives.

#include "text/snippettext.h"

#include <QString>
#include <QStringList>

namespace quillbox::colouring {

using text::boxLines;

// The text Copy Code gives for a composed snippet: every line after its case rewrites, the
// lines joined by CR LF.
QString copyCodeText(const QString &composed);

// A self-contained HTML fragment: one <pre> holding the lines of copyCodeText in the box's
// colours, joined by `lineBreak`. Markup characters and everything beyond ASCII are written
// as character references, so the fragment reads the same in a page of any encoding.
QString htmlFragment(const QString &composed, const QString &lineBreak = QStringLiteral("\n"));

} // namespace quillbox::colouring
