#pragma once
// The literal line colouring, kept in the benchmark only as a yardstick: the caret's line is
// painted black, then the comment mark and each of the 108 keyword-table entries are looked
// for, one after the other, in the box's whole text from the line's start on, and every
// stand-alone occurrence on the line is selected, rewritten in its case and painted through
// the box's selection. It reads the whole text of the box over a hundred times per line and
// makes every change through SelStart, SelLength, SelText and SelColor.
//
// The main window's update lock around the work is left out: there is no such lock here.

#include <QString>

#include <cstdint>

namespace quillbox {

namespace colouring {
class RichTextBox;
}
using colouring::RichTextBox;

namespace bench {

class LiteralColouring {
public:
    QString CommentMark = QStringLiteral("'");

    // The state the routines share between them and keep from call to call.
    int SavedSelStart = 0; // the caret offset, put back after every step
    int CaretLine = 0;     // its line
    int ScanStart = 0;     // where the search starts: an offset walked back, a 1-based position searched from
    int ScanEnd = 0;       // a match must begin at or before this 1-based position
    int MatchPos = 0;      // 1-based position of the current match; 0 for none

    // Paints the caret's line black and records its bounds. A box with a selection is left alone.
    void ResetColors(RichTextBox &RichTB);
    // Paints each stand-alone occurrence of the word on the caret's line, rewritten in its
    // case; the comment mark paints from the mark to the line's end.
    void ColorizeWord(RichTextBox &RichTB, const QString &Word, std::uint32_t Color);
    // The caret's line: ResetColors, the comment mark, then every entry of the table.
    void RichTBSetcolors(RichTextBox &RichTB);

private:
    void walkBack(const RichTextBox &box);
    void walkForward(const RichTextBox &box);
};

} // namespace bench
} // namespace quillbox
