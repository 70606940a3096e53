#pragma once
// A rich text box for source text: plain text with per-character colours, no word wrap.
//
// Offsets count from 0 and count every line break as the two characters CR LF, although
// the document stores one; Text() gives and takes CR LF text; colours are 0x00BBGGRR.
//
// The colours are not part of the document: each line keeps its own list of colour runs,
// and only the lines on screen are ever laid out with them. Colouring is therefore never
// a change of the text: it raises no Change and leaves no step on the undo stack; undo
// and redo step through text edits only.
//
// Undo (Ctrl+Z, or Undo in the context menu) and redo (Ctrl+Y, Ctrl+Shift+Z, Redo) step
// through the user's edits. Everything one key does to the text (its own edit and what the
// handlers of its events change) is one step, and characters typed one after the other are
// one step together, a typing run. A space or a tab after other characters begins a new run
// (so "dim x" is the steps "dim" and " x"). The run ends at any key other than a typed
// character or a lone modifier (Enter, Backspace, an arrow: each edit of such a key is a step
// of its own), at a pause of TypingPauseMs between two keys, when the caret is no longer
// where the run's last key left it, and at any other edit of the user's or an undo.
// An edit the program makes outside a key or while a key goes down (setSelText,
// replaceInLine, the colouring's rewrites, such as those of the line a key leaves) joins the
// step before it, or is recorded in none when there is none (a text just set); a case
// rewrite is thus undone with the word typed, never on its own. Undo puts the caret (and the
// selection) back where it stood before the step; redo where it stood after it. While the
// user walks back through the steps, the colouring paints but rewrites nothing, so that the
// steps ahead stay to be redone; after each undo and redo, historyStepped names the lines to
// colour again.
//
// When the text changes, text the edit does not touch keeps its colour where it stands
// (the rest of an edited line moves with the edit). Inserted text takes the typing colour
// (the colour last given to setSelColor at an empty selection; black after setText),
// except that text replacing a selection (setSelText) or a stretch of a line
// (replaceInLine) takes the colour of the first character it replaces. An edit that joins
// lines keeps the colours of the first line up to the edit and leaves the rest black.
//
// Every operation other than reading or setting the whole text costs at most O(log n) in
// the size of the box plus the length and colour runs of the lines it touches.

#include "colouring/colourruns.h"
#include "colouring/vbcolouring.h"

#include <QPlainTextEdit>

#include <cstdint>
#include <functional>
#include <memory>

namespace quillbox::colouring {

class RichTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit RichTextBox(QWidget *parent = nullptr);
    ~RichTextBox() override;

    // ---- The box's fixed operation set, under the names the handlers know ----

    // The whole content, lines separated by CR LF. Setting it replaces everything; CR LF,
    // a lone CR, a lone LF and the Unicode line and paragraph separators all become one
    // line break.
    QString Text() const;
    void setText(const QString &text);

    // Caret and selection, as CR LF offsets.
    int SelStart() const;
    void setSelStart(int offset); // moves the caret; the selection becomes empty
    int SelLength() const;
    void setSelLength(int length);        // selects from SelStart
    QString SelText() const;              // the selected characters, CR LF line breaks
    void setSelText(const QString &text); // replaces the selection; caret behind the new text

    // Colours the selection (over any number of lines); with an empty selection, sets the
    // typing colour, which text typed, pasted or set at the caret takes from then on.
    void setSelColor(std::uint32_t bgr);

    // The 0-based line of an offset; the offset behind the last character belongs to the last line.
    int GetLineFromChar(int offset) const;

    // The line messages.
    int LineCount() const;         // number of lines (an empty box has one)
    int LineIndex(int line) const; // offset of the line's first character; -1 past the end; line -1 = the caret's line
    int LineFromChar(int offset) const; // line of the offset; offset -1 = the caret's line
    int LineLength(int offset) const;   // length of the line holding the offset, without its break
    QString GetLine(int line) const;    // the text of the line, without its break

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
    // Before a key takes effect. shift: 1 Shift, 2 Ctrl, 4 Alt.
    void KeyDown(int shift);
    // For a character key (Enter is 13, Ctrl+V is 22 and comes after the paste is in the box).
    // A handler may set *keyAscii to 0 to discard the character, or to another character.
    void KeyPress(int *keyAscii);
    // Text came in by another way than a key (the context menu's Paste, a middle click, a
    // drop), and is in the box by now. A pasting key (Ctrl+V, Shift+Insert) is KeyPress 22.
    void Pasted();
    // The mouse moved over the box, with or without a button held. X and Y in twips.
    void MouseMove(int button, int shift, int x, int y);
    // An undo or redo changed the lines from `first` to `last` (0-based); they hold the
    // colours of the text they had before until they are coloured again.
    void historyStepped(int first, int last);

public:
    // ---- Our additions, for the colouring ----

    // The colour of the character at the offset; black at a line break and at the end.
    std::uint32_t colourAt(int offset) const;

    // The colours of one line (0-based), in offsets within the line. Setting them makes the
    // line exactly these runs, black wherever no run covers it; runs are clipped to the
    // line, and where they overlap, the later one wins. Lines past the end are ignored.
    void setLineColours(int line, const QList<colouring::ColourRun> &runs);
    // The line's non-black runs, in order, adjacent runs of one colour merged.
    QList<colouring::ColourRun> lineColours(int line) const;

    // Between these, setLineColours and setSelColor only record the colours; the box is
    // repainted once, at the last endBulkColouring. Pairs nest and must balance.
    void beginBulkColouring();
    void endBulkColouring();

    // Replaces `length` characters at `start` within the line with `text` as a case rewrite
    // (recorded as the class comment says), raising Change once; text equal to what stands there changes nothing and
    // raises nothing. The caret and selection stay on the same characters: an end before or at `start` stays, an end
    // behind the replaced characters moves with the length change, and an end inside them stays, at most at the end of
    // the new text. Offsets are clipped to the line; line breaks in `text` become spaces.
    void replaceInLine(int line, int start, int length, const QString &text);

    // Colours the lines from `first` to `last` in one walk. `colour` gives each line's runs
    // and case rewrites (as the colouring core does, with no line break in a rewrite's
    // text), knowing the line's number and text;
    // the rewrites of all the lines are then made as one edit raising one Change, the caret
    // and selection staying on their characters, and each line shows its runs. While the
    // user walks the undo history, nothing is rewritten and the runs fall on the text as it
    // stands. Costs one reading of each line and one edit per rewritten line.
    using LineColourer = std::function<void(int line, QStringView text, colouring::LineColouring *out)>;
    void colourLines(int first, int last, const LineColourer &colour);

    // Typed characters are one undo step until a pause of this long between two keys.
    static constexpr qint64 TypingPauseMs = 1000;
    // The clock the pauses are read from, in ms; a steady clock unless this sets another.
    void setTypingClock(std::function<qint64()> milliseconds);

    // Whether the user is walking the undo history: a step was undone and not redone, and no
    // edit has been made since; or an undo or redo is being carried out.
    bool walkingHistory() const;

    // The first character of the text ('\r' when the first line is empty and a break
    // follows), or a null QChar for an empty box; it does not copy the text.
    QChar firstCharacter() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // The standard menu, its Undo and Redo stepping as the keys do.
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    // Pasting and dropping insert the plain text, with every line break made one break.
    void insertFromMimeData(const QMimeData *source) override;
    void dropEvent(QDropEvent *event) override;
    // Lines about to be painted are laid out with their latest colours first.
    void paintEvent(QPaintEvent *event) override;
    // Composing raises no Change; committed text moves the colours like typing.
    void inputMethodEvent(QInputMethodEvent *event) override;

private:
    class Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillbox::colouring
