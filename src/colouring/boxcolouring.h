#pragma once
// Colouring the window's boxes: the caret's line (on every key and mouse move), a whole box
// behind the wait note and the progress bar, and the description box's paste pass, which
// first makes every line a comment line.

#include <QString>

#include <cstdint>

class QProgressBar;
class QWidget;

namespace quillbox {

class RichTextBox;

namespace colouring {

class BoxColouring {
public:
    // The note and the progress bar shown while a whole box is worked on.
    BoxColouring(QWidget *note, QProgressBar *progress);

    // The comment mark, assigned on every colouring of a line.
    QString CommentMark = QStringLiteral("'");

    // What the last line colouring worked on.
    int SavedSelStart = 0; // the caret offset, put back afterwards
    int CaretLine = 0;     // its line

    // What the last whole-box pass worked on.
    int LineCount = 0;
    int LineNumber = 0;
    int LineStart = 0;
    QString LineText; // the line's text (description paste pass)

    // Paints the caret's line black and records the caret and its line. A box with a
    // selection is left alone.
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
    // text was just set). The caret stays where it is.
    void ColourEveryLine(RichTextBox &box);
    // The description box after a paste: each line that does not begin with the comment
    // mark (spaces aside), empty lines included, gets one at its start; then every line is
    // coloured. The cancel button is disabled meanwhile.
    void DescriptionPastePass(RichTextBox &Rich1, QWidget *cancel);

private:
    void showWaitNote(int lines);
    void progressTo(int line);
    void hideWaitNote();
    void colourLineOf(RichTextBox &box, int line);
    // The colour pass of a whole-box pass already begun: ends the bulk edit and the note.
    void colourEveryLineShown(RichTextBox &box);
    void finishLine(RichTextBox &box);

    QWidget *m_note;
    QProgressBar *m_progress;
    qint64 m_lastProgress = 0;
};

} // namespace colouring
} // namespace quillbox
