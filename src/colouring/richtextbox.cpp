#include "colouring/richtextbox.h"

#include "colouring/colourruns.h"

#include <QAbstractTextDocumentLayout>
#include <QAbstractUndoItem>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextBlockUserData>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace quillbox::colouring {

namespace {

using namespace colouring;
using Runs = ColourRuns;

const QString crlf = QStringLiteral("\r\n");

// The colours of one line, kept with its block. The block's layout carries them as extra
// formats only once the line is painted: `pending` says the layout does not show `runs` yet.
// A block without this data has never been coloured and its layout has no formats.
class LineColours final : public QTextBlockUserData {
public:
    Runs runs;        // non-black, in order, not overlapping, adjacent runs of one colour merged
    int shownEnd = 0; // where the formats on the layout end
    bool pending = false;
};

LineColours *coloursOf(const QTextBlock &block)
{
    return static_cast<LineColours *>(block.userData());
}

QTextCharFormat colourFormat(std::uint32_t bgr)
{
    QTextCharFormat format;
    format.setForeground(QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)));
    return format;
}

// Every kind of line break becomes '\n', which the document stores as one block break.
QString oneBreakPerLine(QString text)
{
    text.replace(crlf, QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

// The document's block breaks written as CR LF.
QString withCrLf(QString text)
{
    text.replace(QChar::ParagraphSeparator, crlf);
    return text;
}

int shiftBits(Qt::KeyboardModifiers modifiers)
{
    int bits = 0;
    if (modifiers & Qt::ShiftModifier)
        bits |= 1;
    if (modifiers & Qt::ControlModifier)
        bits |= 2;
    if (modifiers & Qt::AltModifier)
        bits |= 4;
    return bits;
}

int buttonBits(Qt::MouseButtons buttons)
{
    int bits = 0;
    if (buttons & Qt::LeftButton)
        bits |= 1;
    if (buttons & Qt::RightButton)
        bits |= 2;
    if (buttons & Qt::MiddleButton)
        bits |= 4;
    return bits;
}

// The character code KeyPress reports for a key, or 0 for a key that gives no character.
int characterCode(const QKeyEvent *event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool alt = event->modifiers() & Qt::AltModifier;
    const int key = event->key();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return alt ? 0 : 13;
    case Qt::Key_Backspace:
        return (ctrl || alt) ? 0 : 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return (ctrl || alt) ? 0 : 9;
    case Qt::Key_Escape:
        return 27;
    default:
        break;
    }
    if (ctrl && !alt)
        return (key >= Qt::Key_A && key <= Qt::Key_Z) ? key - Qt::Key_A + 1 : 0;
    if (alt && !ctrl)
        return 0;
    const QString text = event->text();
    if (text.isEmpty())
        return 0;
    char32_t code = text.at(0).unicode();
    if (text.at(0).isHighSurrogate() && text.size() > 1 && text.at(1).isLowSurrogate())
        code = QChar::surrogateToUcs4(text.at(0), text.at(1));
    return QChar::isPrint(code) ? int(code) : 0;
}

bool isPaste(const QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste))
        return true;
    return event->key() == Qt::Key_V
           && (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier)) == Qt::ControlModifier;
}

// -1 for a key that undoes, 1 for one that redoes, 0 for any other.
int historyKey(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    if (event->matches(QKeySequence::Undo) || (event->key() == Qt::Key_Z && mods == Qt::ControlModifier))
        return -1;
    if (event->matches(QKeySequence::Redo) || (event->key() == Qt::Key_Y && mods == Qt::ControlModifier)
        || (event->key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier)))
        return 1;
    return 0;
}

// Keys that only move the caret or the view, or only change the selection.
bool movesOnly(const QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
        return true;
    default:
        return false;
    }
}

// Keys pressed on their own only to change what another key does.
bool modifierOnly(const QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_CapsLock:
        return true;
    default:
        return false;
    }
}

// A selection in document positions.
struct Selection {
    int anchor = 0;
    int caret = 0;
};

// Where the caret stood before an undo step and after it.
struct StepCarets {
    Selection before, after;
};

// Rides in each undo step the box records: undoing the step names where the caret stood
// before it, redoing it where the caret stood after it.
class CaretMarker final : public QAbstractUndoItem {
public:
    CaretMarker(std::shared_ptr<const StepCarets> carets, std::weak_ptr<std::optional<Selection>> landing)
        : m_carets(std::move(carets)), m_landing(std::move(landing))
    {}
    void undo() override { land(m_carets->before); }
    void redo() override { land(m_carets->after); }

private:
    void land(const Selection &at) const
    {
        if (const auto landing = m_landing.lock())
            *landing = at;
    }
    std::shared_ptr<const StepCarets> m_carets;
    std::weak_ptr<std::optional<Selection>> m_landing; // gone with the box
};

class Guard {
public:
    explicit Guard(int &depth) : m_depth(depth) { ++m_depth; }
    ~Guard() { --m_depth; }
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;

private:
    int &m_depth;
};

} // namespace

namespace {

// Puts the selection back on the characters it was on after an edit moved them, without
// scrolling the view.
void keepSelection(QPlainTextEdit *box, int anchor, int caret)
{
    QTextCursor after = box->textCursor();
    if (after.anchor() == anchor && after.position() == caret)
        return;
    after.setPosition(anchor);
    after.setPosition(caret, QTextCursor::KeepAnchor);
    const int x = box->horizontalScrollBar()->value();
    const int y = box->verticalScrollBar()->value();
    box->setTextCursor(after);
    box->horizontalScrollBar()->setValue(x);
    box->verticalScrollBar()->setValue(y);
}

} // namespace

class RichTextBox::Impl {
public:
    explicit Impl(RichTextBox &owner) : box(owner), blockCount(owner.document()->blockCount()) { steadyClock.start(); }

    RichTextBox &box;
    int settingText = 0;                     // > 0 while setText replaces everything
    int ownEditDepth = 0;                    // > 0 while setSelText / replaceInLine edit; they raise Change themselves
    bool textChanged = false;                // the document changed; Change goes out when it has settled
    int blockCount = 1;                      // the document's line count when it last changed
    std::uint32_t typingColour = kBlack;     // what typed, pasted and undone text is painted
    std::optional<std::uint32_t> editColour; // instead, during setSelText / replaceInLine
    int bulkDepth = 0;                       // > 0 between beginBulkColouring and endBulkColouring
    bool bulkRepaint = false;                // a colour changed during the bulk pass
    int coloursMoved = 0;                    // > 0 while colourLines edits: it sets the lines' colours itself
    // During an input method event, whose edits the document reports as changes of the whole
    // line: the line it edits and that line's text before it, to find the edit by.
    int inputLine = -1;
    QString inputLineText;
    bool inputAcrossLines = false; // the selection it replaces spans lines
    int keyDepth = 0;              // > 0 while a key is handled
    bool dropping = false;         // a drop is being taken: Pasted comes when it is done
    bool dropped = false;          // the drop brought text in
    int keyGoingDown = 0;          // > 0 while its KeyDown is raised
    int keySteps = -1;             // the undo stack's size before the key's first edit; -1 before it
    bool keyContinuesRun = false;  // the key's edits join the typing run's step
    bool keyTyped = false;         // the key types a character (or one its KeyPress put in its place)
    bool keyBlank = false;         // that character is a space or a tab
    qint64 keyTime = 0;
    int historyDepth = 0;  // > 0 while an undo or redo is carried out
    int historyFirst = -1; // the lines it changed
    int historyLast = -1;

    // The typing run: characters typed one after the other, which are one undo step. `end`
    // follows the text where the caret stood after its last key. (It is never destroyed
    // while the document tells of a change: the document may still hold it then.)
    struct {
        bool open = false;
        QTextCursor end;
        qint64 time = 0;    // of its last key
        bool words = false; // it holds more than spaces and tabs
    } run;
    QElapsedTimer steadyClock;
    std::function<qint64()> clock; // instead of steadyClock, when set

    // The carets of the newest step the box recorded, while no other step is recorded over
    // it: `topSteps` is the undo stack's size when it was last recorded into.
    std::shared_ptr<StepCarets> top;
    int topSteps = -1;
    // Where the markers of an undo or redo being carried out put the caret.
    std::shared_ptr<std::optional<Selection>> landing = std::make_shared<std::optional<Selection>>();

    qint64 now() const { return clock ? clock() : steadyClock.elapsed(); }
    void endRun() { run.open = false; }

    // A key starts: whether it goes on with the typing run. A typed character does, at the
    // caret where the run's last key left it, within the pause, and unless it is a space or a
    // tab behind other characters; any other key but a modifier ends the run.
    void keyStarts(const QKeyEvent *event)
    {
        keySteps = -1;
        keyContinuesRun = keyTyped = false;
        if (modifierOnly(event))
            return;
        const int code = characterCode(event);
        keyTyped = code == 9 || code >= 32;
        keyBlank = code == 9 || code == 32;
        keyTime = now();
        const QTextCursor caret = box.textCursor();
        keyContinuesRun = keyTyped && run.open && !caret.hasSelection() && caret.position() == run.end.position()
                          && keyTime - run.time < TypingPauseMs && !(keyBlank && run.words) && doc()->isUndoAvailable()
                          && !doc()->isRedoAvailable();
        if (!keyContinuesRun)
            endRun();
    }
    // The key has been handled: a character that was recorded opens or extends the run.
    void keyEnded()
    {
        const bool recorded = keyContinuesRun || (keySteps >= 0 && doc()->availableUndoSteps() > keySteps);
        if (!recorded)
            return;
        noteCaret();
        if (!keyTyped)
            return;
        if (!keyContinuesRun)
            run.words = false;
        run.words = run.words || !keyBlank;
        run.time = keyTime;
        if (run.end.isNull())
            run.end = QTextCursor(doc());
        run.end.setPosition(box.textCursor().position());
        run.open = true;
    }

    // An edit of the text under way: how it is recorded, and what stood before it.
    struct OpenEdit {
        enum { Unrecorded, Begun, Joined } how;
        int steps;          // the undo stack's size before
        Selection selected; // the box's selection before
    };

    // Opens the edit block of an edit of the text. Within a key, all its edits are one step,
    // and a typed character's join the typing run's. Elsewhere, and while a key goes down,
    // the user's own edit (a paste from the menu, a drop) is a step of its own, and an edit
    // the program makes joins the step before it, or is recorded in none when there is none.
    OpenEdit openEdit(QTextCursor &cursor, bool users)
    {
        QTextDocument *document = doc();
        const QTextCursor caret = box.textCursor();
        OpenEdit open{OpenEdit::Joined, document->availableUndoSteps(), {caret.anchor(), caret.position()}};
        if (keyDepth > 0 && keyGoingDown == 0) {
            if (keyContinuesRun || (keySteps >= 0 && open.steps > keySteps)) {
                cursor.joinPreviousEditBlock();
            } else {
                keySteps = open.steps;
                open.how = OpenEdit::Begun;
                cursor.beginEditBlock();
            }
        } else if (users) {
            open.how = OpenEdit::Begun;
            cursor.beginEditBlock();
        } else if (document->isUndoAvailable()) {
            cursor.joinPreviousEditBlock();
        } else {
            // The history is empty: what the edit records is cleared again behind it.
            open.how = OpenEdit::Unrecorded;
            cursor.beginEditBlock();
        }
        return open;
    }
    void closeEdit(QTextCursor &cursor, const OpenEdit &open)
    {
        cursor.endEditBlock(); // the handlers of Change may edit in turn before this returns
        QTextDocument *document = doc();
        switch (open.how) {
        case OpenEdit::Unrecorded:
            document->clearUndoRedoStacks();
            top.reset();
            endRun();
            break;
        case OpenEdit::Begun:
            if (document->availableUndoSteps() > open.steps) {
                // A new step: it carries where the caret stood before it and after it.
                const QTextCursor after = box.textCursor();
                top = std::make_shared<StepCarets>(StepCarets{open.selected, {after.anchor(), after.position()}});
                QTextCursor marker(document);
                marker.joinPreviousEditBlock();
                document->appendUndoItem(new CaretMarker(top, landing));
                marker.endEditBlock();
                topSteps = document->availableUndoSteps();
            }
            break;
        case OpenEdit::Joined:
            if (top && open.steps == topSteps)
                topSteps = document->availableUndoSteps();
            break;
        }
    }
    // The caret of the newest step, once an edit of it has put the caret where it stays.
    void noteCaret()
    {
        if (top && doc()->availableUndoSteps() == topSteps) {
            const QTextCursor caret = box.textCursor();
            top->after = {caret.anchor(), caret.position()};
        }
    }

    // Undoes or redoes one step, puts the caret back where it stood before that step (after
    // it, on a redo), then has the lines it changed coloured again.
    void stepHistory(bool undo)
    {
        endRun();
        const Guard walking(historyDepth);
        historyFirst = historyLast = -1;
        landing->reset();
        undo ? box.undo() : box.redo();
        top.reset();
        if (const std::optional<Selection> at = std::exchange(*landing, std::nullopt)) {
            const int last = doc()->characterCount() - 1;
            QTextCursor caret(doc());
            caret.setPosition(std::clamp(at->anchor, 0, last));
            caret.setPosition(std::clamp(at->caret, 0, last), QTextCursor::KeepAnchor);
            box.setTextCursor(caret);
            box.ensureCursorVisible();
        }
        if (historyFirst >= 0)
            Q_EMIT box.historyStepped(historyFirst, std::min(historyLast, doc()->blockCount() - 1));
    }

    // Runs one of the editor's own edits as an edit of the box.
    template <typename Edit>
    void boxEdit(Edit edit)
    {
        QTextCursor cursor(doc());
        const OpenEdit open = openEdit(cursor, true);
        edit();
        closeEdit(cursor, open);
    }

    QTextDocument *doc() const { return box.document(); }

    // Document position -> CR LF offset.
    int toOffset(int position) const
    {
        position = std::clamp(position, 0, doc()->characterCount() - 1);
        return position + doc()->findBlock(position).blockNumber();
    }

    // CR LF offset -> document position.
    int toPosition(int offset) const
    {
        if (offset <= 0)
            return 0;
        // The last line whose first offset (position + line number) is at or before the offset.
        int low = 0;
        int high = doc()->blockCount() - 1;
        while (low < high) {
            const int middle = low + (high - low + 1) / 2;
            if (doc()->findBlockByNumber(middle).position() + middle <= offset)
                low = middle;
            else
                high = middle - 1;
        }
        const QTextBlock block = doc()->findBlockByNumber(low);
        const int intoLine = offset - (block.position() + low);
        // Past the line's end: between CR and LF, or beyond the last line, is the line's end.
        return block.position() + std::min(intoLine, block.length() - 1);
    }

    int maxOffset() const { return doc()->characterCount() - 1 + doc()->blockCount() - 1; }
    int caretLine() const { return box.textCursor().blockNumber(); }
    QTextBlock line(int number) const { return number < 0 ? QTextBlock() : doc()->findBlockByNumber(number); }

    // Lays the line out with its runs. Inside an edit the document passes the line on to its
    // layout; elsewhere the caller must do so (see showNow).
    static void showRuns(QTextBlock block, LineColours *colours)
    {
        QList<QTextLayout::FormatRange> ranges;
        ranges.reserve(colours->runs.size());
        for (const ColourRun &run : std::as_const(colours->runs))
            ranges.append(QTextLayout::FormatRange{run.start, run.length, colourFormat(run.bgr)});
        block.layout()->setFormats(ranges);
        colours->shownEnd = colours->runs.isEmpty() ? 0 : endOf(colours->runs.constLast());
        colours->pending = false;
    }

    // Shows the runs at once and has the document layout take the line again, without the
    // layout's own signals: they would repaint the whole view; the caller repaints what it must.
    void showNow(const QTextBlock &block, LineColours *colours)
    {
        const QSignalBlocker quiet(doc()->documentLayout());
        showRuns(block, colours);
        doc()->markContentsDirty(block.position(), block.length());
    }

    // Whether the line may be on screen; an estimate that errs on the side of yes.
    bool mayBeOnScreen(const QTextBlock &block) const
    {
        if (!box.isVisible())
            return false;
        const int first = box.firstVisibleBlock().blockNumber();
        const qreal lineHeight = std::max<qreal>(1, QFontMetricsF(box.font()).height() * 0.75);
        const int rows = int(box.viewport()->height() / lineHeight) + 2;
        const int number = block.blockNumber();
        return number >= first && number <= first + rows;
    }

    // Has the line painted with its new colours: now, or at the end of a bulk pass.
    void repaintLine(const QTextBlock &block)
    {
        if (bulkDepth > 0) {
            bulkRepaint = true;
            return;
        }
        if (!mayBeOnScreen(block))
            return; // painted with its colours when it comes into view
        const QRectF area = box.blockBoundingGeometry(block).translated(box.contentOffset());
        const int top = int(std::floor(area.top()));
        const int bottom = int(std::ceil(area.bottom()));
        box.viewport()->update(QRect(0, top, box.viewport()->width(), bottom - top + 1));
    }

    // The line's layout shows no colours; they are shown again when it is painted.
    static void forgetShown(QTextBlock block)
    {
        if (LineColours *colours = coloursOf(block)) {
            block.layout()->clearFormats();
            colours->shownEnd = 0;
            colours->pending = true;
        }
    }

    // Gives the line new runs (already in the kept form). `inEdit`: the document is telling
    // of an edit, and will lay out and repaint the line itself.
    void setRuns(QTextBlock block, Runs runs, bool inEdit)
    {
        LineColours *colours = coloursOf(block);
        if (!colours) {
            if (runs.isEmpty())
                return;
            colours = new LineColours;
            block.setUserData(colours);
        } else if (colours->runs == runs) {
            return;
        }
        colours->runs = std::move(runs);
        colours->pending = true;
        if (inEdit) {
            // Formats reaching past a shortened line must not meet the layout; the others
            // only wait for the paint.
            if (colours->shownEnd > block.length() - 1)
                showRuns(block, colours);
        } else {
            repaintLine(block);
        }
    }

    std::uint32_t colourAtPosition(int position) const
    {
        const QTextBlock block = doc()->findBlock(position);
        const LineColours *colours = coloursOf(block);
        return colours ? colourIn(colours->runs, position - block.position()) : kBlack;
    }

    // The document changed at `position`: `removed` characters went, `added` came. Moves the
    // colours of the lines it touched along with the text.
    void contentsChange(int position, int removed, int added)
    {
        const int oldBlockCount = std::exchange(blockCount, doc()->blockCount());
        if (keyDepth == 0 && ownEditDepth == 0 && coloursMoved == 0)
            endRun(); // an undo, a drop, a paste from the menu, an input method's text, a new text
        if (historyDepth > 0) {
            const int first = doc()->findBlock(position).blockNumber();
            const int last = doc()->findBlock(position + added).blockNumber();
            historyFirst = historyFirst < 0 ? first : std::min(historyFirst, first);
            historyLast = std::max(historyLast, last < 0 ? blockCount - 1 : last);
        }
        if (settingText > 0 || coloursMoved > 0 || (removed == 0 && added == 0))
            return;
        if (inputLine >= 0 && !narrowInputEdit(position, removed, added, oldBlockCount))
            return; // composing only
        if (ownEditDepth == 0)
            textChanged = true;

        const QTextBlock first = doc()->findBlock(position);
        if (!first.isValid())
            return;
        QTextBlock last = doc()->findBlock(position + added);
        if (!last.isValid())
            last = doc()->lastBlock();
        const int linesAdded = last.blockNumber() - first.blockNumber();
        const int linesRemoved = oldBlockCount - blockCount + linesAdded;
        const std::uint32_t bgr = editColour.value_or(typingColour);
        const LineColours *colours = coloursOf(first);
        if (!colours && bgr == kBlack && linesAdded == 0)
            return; // an uncoloured line stays black

        // When lines were removed, the line holding the edit may carry the colours of any of
        // them: only what stands before the edit is its own.
        const Runs joined = spliceRuns(colours ? colours->runs : Runs(), position - first.position(), removed, added,
                                       bgr, linesRemoved == 0);
        // Deal the runs out to the lines from `first` to `last`, in offsets from `first`.
        for (QTextBlock block = first;; block = block.next()) {
            const int from = block.position() - first.position();
            setRuns(block, runsWithin(joined, from, from + block.length() - 1), true);
            if (block == last)
                break;
        }
    }

    void textSettled()
    {
        if (std::exchange(textChanged, false))
            Q_EMIT box.Change();
    }

    // Whether the line's layout does not show its runs: they changed, or an input method
    // put its own formats on the layout while composing and left none behind.
    static bool needsShowing(const QTextBlock &block, const LineColours *colours)
    {
        const QTextLayout *layout = block.layout();
        if (!layout->preeditAreaText().isEmpty())
            return false; // composing: the input method's formats stay until it is done
        return colours->pending || layout->formats().size() != colours->runs.size();
    }

    // During an input method event the document reports the whole line as changed, for the
    // input method's formats on it. Narrows the report down to what differs from the text
    // before the event; false when nothing does (composing only).
    bool narrowInputEdit(int &position, int &removed, int &added, int oldBlockCount)
    {
        const QTextBlock block = doc()->findBlockByNumber(std::exchange(inputLine, -1));
        const QString before = std::exchange(inputLineText, QString());
        const int newLines = blockCount - oldBlockCount;
        if (!block.isValid())
            return true;
        if (!inputAcrossLines && newLines >= 0) {
            // The line became the lines from `block` on.
            QString after = block.text();
            QTextBlock next = block;
            for (int i = 0; i < newLines && (next = next.next()).isValid(); ++i)
                after += QLatin1Char('\n') + next.text();
            if (after == before)
                return false;
            const qsizetype shorter = std::min(before.size(), after.size());
            qsizetype head = 0;
            while (head < shorter && before.at(head) == after.at(head))
                ++head;
            qsizetype tail = 0;
            while (tail < shorter - head && before.at(before.size() - 1 - tail) == after.at(after.size() - 1 - tail))
                ++tail;
            position = block.position() + int(head);
            removed = int(before.size() - head - tail);
            added = int(after.size() - head - tail);
            return true;
        }
        // Lines went: what stands before the first difference is untouched, and the report
        // runs on to just past the edited line's break.
        const QString after = block.text();
        qsizetype head = 0;
        while (head < std::min(before.size(), after.size()) && before.at(head) == after.at(head))
            ++head;
        const int skip = std::clamp(block.position() + int(head) - position, 0, std::min(removed, added));
        position += skip;
        removed -= skip;
        added -= skip;
        if (added > 0 && removed > 0 && doc()->findBlock(position + added).position() == position + added) {
            --added;
            --removed;
        }
        return true;
    }

    // Before a paint: the lines it covers take their latest colours.
    void showPending(const QRect &dirty)
    {
        QPointF offset = box.contentOffset();
        const int height = box.viewport()->height();
        for (QTextBlock block = box.firstVisibleBlock(); block.isValid(); block = block.next()) {
            const QRectF rect = box.blockBoundingRect(block).translated(offset);
            LineColours *colours = coloursOf(block);
            if (colours && block.isVisible() && rect.bottom() >= dirty.top() && rect.top() <= dirty.bottom()
                && needsShowing(block, colours))
                showNow(block, colours);
            offset.ry() += rect.height();
            if (offset.y() > height)
                break;
        }
    }

    // Inserts text at the cursor as one edit, every line break made one break.
    void insertAtCursor(const QString &text)
    {
        QTextCursor cursor = box.textCursor();
        const OpenEdit open = openEdit(cursor, true);
        cursor.insertText(oneBreakPerLine(text));
        closeEdit(cursor, open);
        box.setTextCursor(cursor);
        box.ensureCursorVisible();
        noteCaret();
    }

    void typeKey(Qt::Key key, const QString &text, QKeyEvent *original)
    {
        QKeyEvent typed(QEvent::KeyPress, key, Qt::NoModifier, text);
        boxEdit([&] { box.QPlainTextEdit::keyPressEvent(&typed); });
        original->setAccepted(typed.isAccepted());
    }

    // Enter: a plain line break (never a soft one), inserted as pasted text is. The editor's
    // own Enter first reports a change of format over the line, which would read as an
    // edit and cost the line its colours.
    void typeBreak(QKeyEvent *event)
    {
        if (box.isReadOnly())
            return event->ignore(); // as the editor does with every key that would type
        insertAtCursor(QStringLiteral("\n"));
        event->accept();
    }

    // What the key does when KeyPress left it alone.
    void defaultAction(QKeyEvent *event)
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            typeBreak(event);
        else if (movesOnly(event))
            box.QPlainTextEdit::keyPressEvent(event); // the layout must be current for it
        else
            boxEdit([&] { box.QPlainTextEdit::keyPressEvent(event); });
    }

    // Types the character a KeyPress handler put in place of the key's own.
    void typeCharacter(int code, QKeyEvent *event)
    {
        switch (code) {
        case 8:
            typeKey(Qt::Key_Backspace, QStringLiteral("\b"), event);
            return;
        case 9:
            typeKey(Qt::Key_Tab, QStringLiteral("\t"), event);
            return;
        case 13:
            typeBreak(event);
            return;
        default:
            break;
        }
        event->accept();
        if (code < 32 || code > 0x10FFFF || !QChar::isPrint(char32_t(code)))
            return; // another control character: nothing to type
        const char32_t character = char32_t(code);
        typeKey(Qt::Key_unknown, QString::fromUcs4(&character, 1), event);
    }
};

RichTextBox::RichTextBox(QWidget *parent) : QPlainTextEdit(parent), d(std::make_unique<Impl>(*this))
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    viewport()->setMouseTracking(true);
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int removed, int added) { d->contentsChange(position, removed, added); });
    // Change goes out once the document and its layout agree on the new text.
    connect(document(), &QTextDocument::contentsChanged, this, [this] { d->textSettled(); });
}

RichTextBox::~RichTextBox()
{
    // The document outlives this body: its signals must not reach the state that goes with it.
    disconnect(document(), nullptr, this, nullptr);
}

QString RichTextBox::Text() const
{
    return withCrLf(document()->toRawText());
}

void RichTextBox::setText(const QString &text)
{
    {
        const Guard guard(d->settingText);
        setPlainText(oneBreakPerLine(text)); // new lines: no colours on any of them
    }
    d->blockCount = document()->blockCount();
    d->typingColour = kBlack;
    d->textChanged = false;
    Q_EMIT Change();
}

int RichTextBox::SelStart() const
{
    return d->toOffset(textCursor().selectionStart());
}

void RichTextBox::setSelStart(int offset)
{
    QTextCursor cursor = textCursor();
    cursor.setPosition(d->toPosition(offset));
    setTextCursor(cursor);
}

int RichTextBox::SelLength() const
{
    const QTextCursor cursor = textCursor();
    return d->toOffset(cursor.selectionEnd()) - d->toOffset(cursor.selectionStart());
}

void RichTextBox::setSelLength(int length)
{
    QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    const int startOffset = d->toOffset(start);
    const int room = d->maxOffset() - startOffset;
    cursor.setPosition(start);
    cursor.setPosition(d->toPosition(startOffset + std::clamp(length, 0, room)), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

QString RichTextBox::SelText() const
{
    return withCrLf(textCursor().selectedText());
}

void RichTextBox::setSelText(const QString &text)
{
    const QString insert = oneBreakPerLine(text);
    QTextCursor cursor = textCursor();
    const bool replacing = cursor.hasSelection();
    if (!replacing && insert.isEmpty())
        return;
    {
        const Guard guard(d->ownEditDepth);
        // Replacing, the new text takes the colour of the first character it replaces.
        d->editColour = replacing ? d->colourAtPosition(cursor.selectionStart()) : d->typingColour;
        const auto open = d->openEdit(cursor, false);
        cursor.insertText(insert);
        d->closeEdit(cursor, open);
        d->editColour.reset();
        setTextCursor(cursor);
        d->noteCaret();
    }
    Q_EMIT Change();
}

void RichTextBox::setSelColor(std::uint32_t bgr)
{
    bgr &= kColourBits;
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        d->typingColour = bgr;
        return;
    }
    const int from = cursor.selectionStart();
    const int to = cursor.selectionEnd();
    QTextBlock block = document()->findBlock(from);
    const bool manyLines = block.position() + block.length() <= to;
    if (manyLines)
        beginBulkColouring();
    for (; block.isValid() && block.position() < to; block = block.next()) {
        const int start = std::max(from, block.position()) - block.position();
        const int end = std::min(to - block.position(), block.length() - 1);
        if (end <= start)
            continue; // only the line's break is selected
        const LineColours *colours = coloursOf(block);
        d->setRuns(block, paintOver(colours ? colours->runs : Runs(), start, end, bgr), false);
    }
    if (manyLines)
        endBulkColouring();
}

int RichTextBox::GetLineFromChar(int offset) const
{
    return document()->findBlock(d->toPosition(offset)).blockNumber();
}

int RichTextBox::LineCount() const
{
    return document()->blockCount();
}

int RichTextBox::LineIndex(int line) const
{
    const QTextBlock block = d->line(line == -1 ? d->caretLine() : line);
    return block.isValid() ? block.position() + block.blockNumber() : -1;
}

int RichTextBox::LineFromChar(int offset) const
{
    return offset == -1 ? d->caretLine() : GetLineFromChar(offset);
}

int RichTextBox::LineLength(int offset) const
{
    const QTextBlock block = offset == -1 ? textCursor().block() : document()->findBlock(d->toPosition(offset));
    return block.length() - 1;
}

QString RichTextBox::GetLine(int line) const
{
    const QTextBlock block = d->line(line);
    return block.isValid() ? block.text() : QString();
}

void RichTextBox::SetFocus()
{
    if (!isHidden())
        setFocus();
}

std::uint32_t RichTextBox::colourAt(int offset) const
{
    return d->colourAtPosition(d->toPosition(offset));
}

void RichTextBox::setLineColours(int line, const QList<colouring::ColourRun> &runs)
{
    const QTextBlock block = d->line(line);
    if (block.isValid())
        d->setRuns(block, cleanRuns(runs, block.length() - 1), false);
}

QList<colouring::ColourRun> RichTextBox::lineColours(int line) const
{
    const LineColours *colours = coloursOf(d->line(line));
    return colours ? colours->runs : Runs();
}

void RichTextBox::beginBulkColouring()
{
    ++d->bulkDepth;
}

void RichTextBox::endBulkColouring()
{
    if (d->bulkDepth == 0 || --d->bulkDepth > 0)
        return;
    // The lines on screen take their colours when this paint comes.
    if (std::exchange(d->bulkRepaint, false))
        viewport()->update();
}

void RichTextBox::replaceInLine(int line, int start, int length, const QString &text)
{
    QTextDocument *doc = document();
    const QTextBlock block = d->line(line);
    if (!block.isValid())
        return;
    const QString lineText = block.text();
    start = std::clamp(start, 0, int(lineText.size()));
    length = std::clamp(length, 0, int(lineText.size()) - start);
    QString insert = oneBreakPerLine(text);
    insert.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (QStringView(lineText).mid(start, length) == insert)
        return;

    const int from = block.position() + start;
    const int to = from + length;
    const int newEnd = from + int(insert.size());
    const auto moved = [&](int position) {
        if (position <= from)
            return position;
        return position >= to ? position + newEnd - to : std::min(position, newEnd);
    };
    const QTextCursor before = textCursor();
    const int anchor = moved(before.anchor());
    const int caret = moved(before.position());
    const std::uint32_t bgr = length > 0 ? d->colourAtPosition(from) : d->typingColour;
    {
        const Guard guard(d->ownEditDepth);
        d->editColour = bgr;
        QTextCursor edit(doc);
        const auto open = d->openEdit(edit, false);
        edit.setPosition(from);
        edit.setPosition(to, QTextCursor::KeepAnchor);
        edit.insertText(insert);
        d->closeEdit(edit, open);
        d->editColour.reset();
    }
    keepSelection(this, anchor, caret);
    d->noteCaret();
    Q_EMIT Change();
}

void RichTextBox::setTypingClock(std::function<qint64()> milliseconds)
{
    d->clock = std::move(milliseconds);
}

bool RichTextBox::walkingHistory() const
{
    return d->historyDepth > 0 || document()->isRedoAvailable();
}

void RichTextBox::colourLines(int first, int last, const LineColourer &colour)
{
    QTextDocument *doc = document();
    first = std::max(first, 0);
    last = std::min(last, doc->blockCount() - 1);
    if (first > last)
        return;
    const bool rewrite = !walkingHistory();
    // The anchor and the caret: where each stands, and when a rewritten line holds it, that
    // line and the column it moves to (the document moves the others as this box would).
    const QTextCursor before = textCursor();
    struct End {
        int position, line = -1, column = 0;
    } ends[2] = {{before.anchor()}, {before.position()}};

    struct LineEdit {
        int from, to;           // document positions before any of the edits
        qsizetype text, length; // the new text in `texts`
    };
    std::vector<LineEdit> edits;
    QString texts; // the new texts one behind the other: no memory of its own for each
    std::vector<Runs> runs;
    runs.reserve(std::size_t(last - first + 1));
    LineColouring c;
    const QTextBlock firstBlock = doc->findBlockByNumber(first); // rewrites never add or remove lines
    QTextBlock block = firstBlock;
    // Many lines are read from the whole text in one go: reading them one by one costs a
    // search of the document's pieces each.
    const bool whole = last - first >= 64 && (last - first + 1) * 4 >= doc->blockCount();
    const QString all = whole ? doc->toRawText() : QString();
    qsizetype at = whole ? block.position() : 0;
    QString single;
    for (int line = first; line <= last; ++line, block = block.next()) {
        QStringView text;
        const int lineStart = int(at); // in the whole text: the line's document position
        if (whole) {
            qsizetype end = all.indexOf(QChar::ParagraphSeparator, at);
            if (end < 0)
                end = all.size();
            text = QStringView(all).mid(at, end - at);
            at = end + 1;
        } else {
            single = block.text();
            text = single;
        }
        colour(line, text, &c);
        if (c.rewrites.isEmpty()) {
            runs.push_back(c.runs);
            continue;
        }
        if (!rewrite) {
            runs.push_back(runsWithoutRewrites(c.runs, c.rewrites));
            continue;
        }
        runs.push_back(c.runs);
        // One edit over the line's rewritten stretch.
        const int from = c.rewrites.constFirst().start;
        const int to = c.rewrites.constLast().start + c.rewrites.constLast().length;
        const qsizetype start = texts.size();
        int column = from;
        for (const CaseRewrite &r : std::as_const(c.rewrites)) {
            texts += text.mid(column, r.start - column);
            texts += r.text;
            column = r.start + r.length;
        }
        const int position = whole ? lineStart : block.position();
        edits.push_back({position + from, position + to, start, texts.size() - start});
        if (texts.size() - start < to - from)
            d->forgetShown(block); // formats reaching past a shortened line must not meet its layout
        for (End &end : ends)
            if (end.position >= position && end.position <= position + text.size())
                end = {end.position, line, offsetAfterRewrites(end.position - position, c.rewrites)};
    }

    if (!edits.empty()) {
        QTextCursor edit(doc);
        {
            // The colours are set below; what the document reports of the edit moves none.
            const Guard moved(d->coloursMoved);
            const auto open = d->openEdit(edit, false);
            for (auto it = edits.crbegin(); it != edits.crend(); ++it) { // from the back: the positions before hold
                edit.setPosition(it->from);
                edit.setPosition(it->to, QTextCursor::KeepAnchor);
                edit.insertText(texts.mid(it->text, it->length));
            }
            d->closeEdit(edit, open);
        }
        const QTextCursor after = textCursor();
        const auto at = [doc](const End &end, int moved) {
            return end.line < 0 ? moved : doc->findBlockByNumber(end.line).position() + end.column;
        };
        keepSelection(this, at(ends[0], after.anchor()), at(ends[1], after.position()));
        d->noteCaret();
    }

    beginBulkColouring();
    block = firstBlock;
    for (const Runs &lineRuns : runs) {
        d->setRuns(block, cleanRuns(lineRuns, block.length() - 1), false);
        block = block.next();
    }
    endBulkColouring();
    if (!edits.empty())
        Q_EMIT Change();
}

QChar RichTextBox::firstCharacter() const
{
    const QTextDocument *doc = document();
    if (doc->characterCount() <= 1)
        return {};
    const QChar first = doc->characterAt(0);
    return first == QChar::ParagraphSeparator ? QChar(u'\r') : first;
}

void RichTextBox::keyPressEvent(QKeyEvent *event)
{
    const int history = historyKey(event);
    if (history != 0) {
        // The step is taken when the key goes down; KeyPress follows with the key's character.
        Q_EMIT KeyDown(shiftBits(event->modifiers()));
        if (!isReadOnly())
            d->stepHistory(history < 0);
        int code = characterCode(event);
        if (code != 0)
            Q_EMIT KeyPress(&code);
        event->accept();
        return;
    }
    const Guard key(d->keyDepth);
    const bool outermost = d->keyDepth == 1;
    if (outermost)
        d->keyStarts(event);
    const auto handle = [&] {
        {
            const Guard down(d->keyGoingDown);
            Q_EMIT KeyDown(shiftBits(event->modifiers()));
        }
        if (isPaste(event)) {
            // The handler of Ctrl+V sees the pasted text already in the box.
            d->boxEdit([&] { QPlainTextEdit::keyPressEvent(event); });
            int code = 22;
            Q_EMIT KeyPress(&code);
            return;
        }
        const int code = characterCode(event);
        if (code == 0) {
            d->defaultAction(event);
            return;
        }
        int answer = code;
        Q_EMIT KeyPress(&answer);
        if (answer == 0)
            event->accept(); // discarded
        else if (answer == code)
            d->defaultAction(event);
        else
            d->typeCharacter(answer, event);
    };
    handle();
    if (outermost)
        d->keyEnded();
}

void RichTextBox::contextMenuEvent(QContextMenuEvent *event)
{
    // The menu's Undo and Redo step as the keys do, so that the box is coloured at once.
    QMenu *menu = createStandardContextMenu(event->pos());
    for (QAction *action : menu->actions()) {
        const bool undo = action->objectName() == QLatin1String("edit-undo");
        if (undo || action->objectName() == QLatin1String("edit-redo")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, [this, undo] { d->stepHistory(undo); });
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}

void RichTextBox::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint at = viewport()->mapTo(this, event->position().toPoint());
    Q_EMIT MouseMove(buttonBits(event->buttons()), shiftBits(event->modifiers()), at.x() * 15, at.y() * 15);
    QPlainTextEdit::mouseMoveEvent(event);
}

void RichTextBox::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText())
        return;
    d->insertAtCursor(source->text());
    if (d->dropping)
        d->dropped = true;
    else if (d->keyDepth == 0)
        Q_EMIT Pasted();
}

// The editor takes a drop as one edit that ends after the text is in; the box's own pass
// over it comes after that edit, as after any other paste.
void RichTextBox::dropEvent(QDropEvent *event)
{
    d->dropping = true;
    d->dropped = false;
    QPlainTextEdit::dropEvent(event);
    d->dropping = false;
    if (d->dropped)
        Q_EMIT Pasted();
}

void RichTextBox::inputMethodEvent(QInputMethodEvent *event)
{
    // The event edits the line where the selection starts.
    const QTextCursor cursor = textCursor();
    const QTextBlock block = document()->findBlock(cursor.selectionStart());
    d->inputLine = block.blockNumber();
    d->inputLineText = block.text();
    d->inputAcrossLines = cursor.selectionEnd() > block.position() + block.length() - 1;
    QPlainTextEdit::inputMethodEvent(event);
    d->inputLine = -1;
    d->inputLineText.clear();
}

void RichTextBox::paintEvent(QPaintEvent *event)
{
    d->showPending(event->rect());
    QPlainTextEdit::paintEvent(event);
}

} // namespace quillbox::colouring
