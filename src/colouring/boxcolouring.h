#pragma once
// Colouring the window's boxes: the caret's line (on every key and mouse move), a whole box
// behind the wait note and the progress bar, and the description box's paste pass, which
// first makes every line a comment line.

#include "colouring/passobserver.h"
#include "colouring/richtextbox.h"

#include <QString>
#include <QtGlobal>

#include <cstdint>

namespace quillbox::colouring {

class BoxColouring {
public:
    // The window that shows the whole-box passes.
    explicit BoxColouring(PassObserver &window);

    // The comment mark.
    static inline const QString CommentMark = QStringLiteral("'");

    // Paints the caret's line black. A box with a selection is left alone.
    void ResetColors(RichTextBox &RichTB);
    // Colours one word on the caret's line: the comment mark paints from the mark to the
    // line's end; a keyword is rewritten in its case and painted where it stands alone
    // before the comment. The caret stays, and text typed next is black.
    void ColorizeWord(RichTextBox &RichTB, const QString &Word, std::uint32_t Color);
    // Colours the caret's line as source code: black, the comment green, the keywords navy
    // (as ResetColors, ColorizeWord with the mark and with every keyword would, in one
    // reading of the line). Leaves the box enabled and, when visible, focused.
    void RichTBSetcolors(RichTextBox &RichTB);
    // Colours every line of the box, with the note and the progress bar shown meanwhile.
    // The caret ends at the start of the last line.
    void FormatRTB(RichTextBox &RichTBox);
    // Colours every line of the box at once, without the note (for a small box whose whole
    // text was just set). The caret stays where it is; without a selection, text typed next
    // is black.
    void ColourEveryLine(RichTextBox &box);
    // Has the box's lines coloured again after each undo and redo, as source code.
    static void followHistory(RichTextBox &box);
    // The description box after a paste: each line that does not begin with the comment
    // mark (spaces aside), empty lines included, gets one at its start; then every line is
    // coloured, as FormatRTB does. The Cancel command is disabled meanwhile.
    void DescriptionPastePass(RichTextBox &Rich1);

private:
    // Shows the note and the bar, and has them drawn.
    void startPass(int lines);
    // The colour pass of a whole-box pass begun with startPass, each line coloured by `colour`.
    void colourEveryLineShown(RichTextBox &box, int lines, const RichTextBox::LineColourer &colour);

    PassObserver &m_window;
};

} // namespace quillbox::colouring
