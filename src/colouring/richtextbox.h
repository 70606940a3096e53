#pragma once
// A rich text box for source text: plain text with per-character colours, no word wrap,
// and an interface in the terms the colouring code works in. Offsets count from 0 and
// count every line break as the two characters CR LF, although the document stores one;
// Text() gives and takes CR LF text; colours are 0x00BBGGRR.
//
// Every operation other than reading or setting the whole text costs at most O(log n) in
// the size of the box, or the length of one line.

#include <QPlainTextEdit>

#include <cstdint>

namespace quillbox {

class RichTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    // Options of Find.
    static constexpr int rtfWholeWord = 2;
    static constexpr int rtfMatchCase = 4;

    explicit RichTextBox(QWidget *parent = nullptr);

    // The whole content, lines separated by CR LF. Setting it replaces everything; CR LF,
    // a lone CR, a lone LF and the Unicode line and paragraph separators all become one
    // line break.
    QString Text() const;
    void setText(const QString &text);

    // Caret and selection, as CR LF offsets.
    int SelStart() const;
    void setSelStart(int offset); // moves the caret; the selection becomes empty
    int SelLength() const;
    void setSelLength(int length); // selects from SelStart
    QString SelText() const;       // the selected characters, CR LF line breaks
    void setSelText(const QString &text); // replaces the selection; caret behind the new text

    // Colours the selection; with an empty selection, sets the colour of text typed at the caret.
    void setSelColor(std::uint32_t bgr);
    // The colour of the character at the offset (for inspection; 0x00BBGGRR).
    std::uint32_t colorAt(int offset) const;

    // The 0-based line of an offset; the offset behind the last character belongs to the last line.
    int GetLineFromChar(int offset) const;

    // The offset of the next match at or after start, or -1; a match is selected.
    int Find(const QString &text, int start, int options = 0);

    // The edit-control line operations.
    int LineCount() const;                // number of lines (an empty box has one)
    int LineIndex(int line) const;        // offset of the line's first character; -1 past the end; line -1 = the caret's line
    int LineFromChar(int offset) const;   // line of the offset; offset -1 = the caret's line
    int LineLength(int offset) const;     // length of the line holding the offset, without its break
    QString GetLine(int line) const;      // the text of the line, without its break
    int SelectionEnd() const;             // offset of the selection's end

    bool Enabled() const { return isEnabled(); }
    void setEnabledState(bool enabled) { setEnabled(enabled); }
    // The box's own visibility setting, whether or not its window is on screen.
    bool Visible() const { return !isHidden(); }
    void setVisibleState(bool visible) { setVisible(visible); }
    // Gives the box the focus; a box that is not visible is left alone.
    void SetFocus();

Q_SIGNALS:
    // Every change of the text, also those the program makes; never for a change of colour alone.
    void Change();
    // Before a key takes effect. keyCode is the virtual-key code; shift: 1 Shift, 2 Ctrl, 4 Alt.
    void KeyDown(int keyCode, int shift);
    // For a character key (Enter is 13, Ctrl+V is 22 and comes after the paste is in the box).
    // A handler may set *keyAscii to 0 to discard the character, or to another character.
    void KeyPress(int *keyAscii);
    // The mouse moved over the box, with or without a button held. X and Y in twips.
    void MouseMove(int button, int shift, int x, int y);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    // Pasting and dropping insert the plain text, with every line break made one break.
    void insertFromMimeData(const QMimeData *source) override;
    // The standard menu, whose Undo and Redo step over colour changes as Ctrl+Z does.
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    class Impl;
    int toOffset(int position) const;  // document position -> CR LF offset
    int toPosition(int offset) const;  // CR LF offset -> document position
    int m_colourDepth = 0;             // > 0 while only colours change
    int m_ownEditDepth = 0;            // > 0 while setText / setSelText edit; they raise Change themselves
    int m_userEditDepth = 0;           // > 0 while a key or a paste edits: any content change counts
    quint64 m_textChanges = 0;         // counts Change, so undo can tell a colour step from a text step
};

} // namespace quillbox
