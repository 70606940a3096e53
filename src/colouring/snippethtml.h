#pragma once
// A composed snippet outside the window: the text Copy Code puts on the clipboard, and the
// same text as coloured HTML. Both read the text line by line as the display box does and
// colour each line with the colouring core, so they give what the window gives.

#include "text/snippettext.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <initializer_list>

namespace quillbox::colouring {

using text::boxLines;

// The text Copy Code gives for a composed snippet: every line after its case rewrites, the
// lines joined by CR LF.
QString copyCodeText(const QString &composed);

// A self-contained HTML fragment: one <pre> holding the lines of copyCodeText in the box's
// colours, joined by `lineBreak`. Markup characters and everything beyond ASCII are written
// as character references, so the fragment reads the same in a page of any encoding.
QString htmlFragment(const QString &composed, const QString &lineBreak = QStringLiteral("\n"));

// How writeSnippetText gives out a composed snippet.
enum class TextForm {
    AsStored, // the lines as they are
    CopyCode, // the lines of copyCodeText
    Html,     // the fragment of htmlFragment
};

// Receives the text a piece at a time; the piece is valid during the call only. Every piece
// but the last ends just after a line break, so that no character pair is ever cut in two.
using TextWriter = std::function<void(QStringView piece)>;

// Gives out the composed snippet that `pieces` make when read one after another (a line may
// run from one piece into the next, and a CR ending one piece pairs with an LF opening the
// next), in `form`, its lines joined by `lineBreak`. Neither the composed text nor the
// result is ever held whole: the lines are read, coloured and handed to `write` in order,
// so a snippet of any size takes little more memory than its pieces.
void writeSnippetText(std::initializer_list<QStringView> pieces, TextForm form, QStringView lineBreak,
                      const TextWriter &write);

} // namespace quillbox::colouring
