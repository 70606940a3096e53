#include "richtextbox.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextBlockUserData>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include <algorithm>

namespace quillbox {

namespace {

const QString crlf = QStringLiteral("\r\n");

// What a line held when the box last saw its text change. A content change that leaves
// every line it touches as its stamp says is a change of colour alone (an undo or redo of
// a colour step), and raises no Change.
class LineStamp : public QTextBlockUserData {
public:
    LineStamp(size_t hash, qsizetype length) : hash(hash), length(length) {}
    size_t hash;
    qsizetype length;
};

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

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
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

// The virtual-key code of a key; the punctuation keys are those of a US keyboard.
int virtualKeyCode(const QKeyEvent *event)
{
    const int key = event->key();
    if (event->modifiers() & Qt::KeypadModifier) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return 96 + (key - Qt::Key_0);
        switch (key) {
        case Qt::Key_Asterisk: return 106;
        case Qt::Key_Plus: return 107;
        case Qt::Key_Minus: return 109;
        case Qt::Key_Period:
        case Qt::Key_Comma: return 110;
        case Qt::Key_Slash: return 111;
        default: break; // the keypad's Enter and arrows are the ordinary keys
        }
    }
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 112 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Clear: return 12;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Print: return 44;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Help: return 47;
    case Qt::Key_Meta: return 91;
    case Qt::Key_Menu: return 93;
    case Qt::Key_NumLock: return 144;
    case Qt::Key_ScrollLock: return 145;
    // the shifted digits
    case Qt::Key_ParenRight: return 48;
    case Qt::Key_Exclam: return 49;
    case Qt::Key_At: return 50;
    case Qt::Key_NumberSign: return 51;
    case Qt::Key_Dollar: return 52;
    case Qt::Key_Percent: return 53;
    case Qt::Key_AsciiCircum: return 54;
    case Qt::Key_Ampersand: return 55;
    case Qt::Key_Asterisk: return 56;
    case Qt::Key_ParenLeft: return 57;
    // punctuation, plain and shifted
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 186;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return 187;
    case Qt::Key_Comma:
    case Qt::Key_Less: return 188;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return 189;
    case Qt::Key_Period:
    case Qt::Key_Greater: return 190;
    case Qt::Key_Slash:
    case Qt::Key_Question: return 191;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return 192;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return 219;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return 220;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return 221;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return 222;
    default: return 0;
    }
}

// The character code KeyPress reports for a key, or 0 for a key that gives no character.
int characterCode(const QKeyEvent *event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool alt = event->modifiers() & Qt::AltModifier;
    const int key = event->key();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return alt ? 0 : 13;
    case Qt::Key_Backspace: return (ctrl || alt) ? 0 : 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return (ctrl || alt) ? 0 : 9;
    case Qt::Key_Escape: return 27;
    default: break;
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
           && (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier))
                  == Qt::ControlModifier;
}

std::uint32_t toBgr(const QTextCharFormat &format)
{
    const QBrush brush = format.foreground();
    if (brush.style() == Qt::NoBrush)
        return 0; // the default text colour
    const QColor colour = brush.color();
    return std::uint32_t(colour.red()) | (std::uint32_t(colour.green()) << 8)
           | (std::uint32_t(colour.blue()) << 16);
}

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

class RichTextBox::Impl {
public:
    // Stamps every line from the one holding `from` to the one holding `to`.
    static void stampLines(const QTextDocument *doc, int from, int to)
    {
        for (QTextBlock block = doc->findBlock(from); block.isValid() && block.position() <= to;
             block = block.next()) {
            const QString text = block.text();
            block.setUserData(new LineStamp(qHash(text), text.size()));
        }
    }

    // Whether any line from the one holding `from` to the one holding `to` differs from its stamp.
    static bool linesChanged(const QTextDocument *doc, int from, int to)
    {
        for (QTextBlock block = doc->findBlock(from); block.isValid() && block.position() <= to;
             block = block.next()) {
            const auto *stamp = static_cast<const LineStamp *>(block.userData());
            if (!stamp || stamp->length != block.length() - 1)
                return true;
            if (stamp->hash != qHash(block.text()))
                return true;
        }
        return false;
    }

    static void textChanged(RichTextBox &box)
    {
        ++box.m_textChanges;
        Q_EMIT box.Change();
    }

    static void contentsChange(RichTextBox &box, int position, int removed, int added)
    {
        if (box.m_colourDepth > 0 || box.m_ownEditDepth > 0)
            return;
        const QTextDocument *doc = box.document();
        const bool changed = removed != added || box.m_userEditDepth > 0
                             || linesChanged(doc, position, position + added);
        stampLines(doc, position, position + added);
        if (changed)
            textChanged(box);
    }

    // Undo or redo up to and including the next step that changes text, so that colour
    // steps are never undone on their own.
    static void stepHistory(RichTextBox &box, bool redo)
    {
        const QTextDocument *doc = box.document();
        const quint64 before = box.m_textChanges;
        while (redo ? doc->isRedoAvailable() : doc->isUndoAvailable()) {
            if (redo)
                box.redo();
            else
                box.undo();
            if (box.m_textChanges != before)
                break;
        }
    }

    // The format of the character at a document position; at a line's end, the format
    // typing there would take.
    static QTextCharFormat formatAt(const QTextDocument *doc, int position)
    {
        const QTextBlock block = doc->findBlock(position);
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.contains(position))
                return fragment.charFormat();
        }
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock);
        return cursor.charFormat();
    }

    static int maxOffset(const QTextDocument *doc)
    {
        return doc->characterCount() - 1 + doc->blockCount() - 1;
    }

    static int caretLine(const RichTextBox &box) { return box.textCursor().blockNumber(); }

    // Passes a key to the editor, as a key that edits.
    static void editorKey(RichTextBox &box, QKeyEvent *event)
    {
        const Guard guard(box.m_userEditDepth);
        box.QPlainTextEdit::keyPressEvent(event);
    }

    static void typeKey(RichTextBox &box, Qt::Key key, const QString &text, QKeyEvent *original)
    {
        QKeyEvent typed(QEvent::KeyPress, key, Qt::NoModifier, text);
        editorKey(box, &typed);
        original->setAccepted(typed.isAccepted());
    }

    // What the key does when KeyPress left it alone.
    static void defaultAction(RichTextBox &box, QKeyEvent *event)
    {
        if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
            stepHistory(box, event->matches(QKeySequence::Redo));
            event->accept();
        } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            typeKey(box, Qt::Key_Return, QStringLiteral("\r"), event); // a plain break, never a soft one
        } else {
            editorKey(box, event);
        }
    }

    // Types the character a KeyPress handler put in place of the key's own.
    static void typeCharacter(RichTextBox &box, int code, QKeyEvent *event)
    {
        switch (code) {
        case 8: typeKey(box, Qt::Key_Backspace, QStringLiteral("\b"), event); return;
        case 9: typeKey(box, Qt::Key_Tab, QStringLiteral("\t"), event); return;
        case 13: typeKey(box, Qt::Key_Return, QStringLiteral("\r"), event); return;
        default: break;
        }
        event->accept();
        if (code < 32 || code > 0x10FFFF || !QChar::isPrint(char32_t(code)))
            return; // another control character: nothing to type
        const char32_t character = char32_t(code);
        typeKey(box, Qt::Key_unknown, QString::fromUcs4(&character, 1), event);
    }
};

RichTextBox::RichTextBox(QWidget *parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    viewport()->setMouseTracking(true);
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int removed, int added) {
                Impl::contentsChange(*this, position, removed, added);
            });
    Impl::stampLines(document(), 0, 0);
}

int RichTextBox::toOffset(int position) const
{
    const QTextDocument *doc = document();
    position = std::clamp(position, 0, doc->characterCount() - 1);
    return position + doc->findBlock(position).blockNumber();
}

int RichTextBox::toPosition(int offset) const
{
    const QTextDocument *doc = document();
    if (offset <= 0)
        return 0;
    // The last line whose first offset (position + line number) is at or before the offset.
    int low = 0;
    int high = doc->blockCount() - 1;
    while (low < high) {
        const int middle = low + (high - low + 1) / 2;
        if (doc->findBlockByNumber(middle).position() + middle <= offset)
            low = middle;
        else
            high = middle - 1;
    }
    const QTextBlock block = doc->findBlockByNumber(low);
    const int intoLine = offset - (block.position() + low);
    // Past the line's end: between CR and LF, or beyond the last line, is the line's end.
    return block.position() + std::min(intoLine, block.length() - 1);
}

QString RichTextBox::Text() const
{
    return withCrLf(document()->toRawText());
}

void RichTextBox::setText(const QString &text)
{
    {
        const Guard guard(m_ownEditDepth);
        // The new text takes the default format, not whatever the caret was last given.
        QTextCursor cursor = textCursor();
        cursor.clearSelection();
        cursor.setCharFormat(QTextCharFormat());
        setTextCursor(cursor);
        setPlainText(oneBreakPerLine(text));
    }
    Impl::stampLines(document(), 0, document()->characterCount());
    Impl::textChanged(*this);
}

int RichTextBox::SelStart() const
{
    return toOffset(textCursor().selectionStart());
}

void RichTextBox::setSelStart(int offset)
{
    QTextCursor cursor = textCursor();
    cursor.setPosition(toPosition(offset));
    setTextCursor(cursor);
}

int RichTextBox::SelLength() const
{
    const QTextCursor cursor = textCursor();
    return toOffset(cursor.selectionEnd()) - toOffset(cursor.selectionStart());
}

void RichTextBox::setSelLength(int length)
{
    QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    const int startOffset = toOffset(start);
    const int room = Impl::maxOffset(document()) - startOffset;
    cursor.setPosition(start);
    cursor.setPosition(toPosition(startOffset + std::clamp(length, 0, room)), QTextCursor::KeepAnchor);
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
    const int start = cursor.selectionStart();
    const bool replacing = cursor.hasSelection();
    if (!replacing && insert.isEmpty())
        return;
    {
        const Guard guard(m_ownEditDepth);
        cursor.beginEditBlock();
        if (replacing) // the new text takes the format of the first character it replaces
            cursor.insertText(insert, Impl::formatAt(document(), start));
        else // and at a caret, the format typing would take
            cursor.insertText(insert);
        cursor.endEditBlock();
        setTextCursor(cursor);
    }
    Impl::stampLines(document(), start, cursor.position());
    Impl::textChanged(*this);
}

void RichTextBox::setSelColor(std::uint32_t bgr)
{
    QTextCharFormat format;
    format.setForeground(QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)));
    const Guard guard(m_colourDepth);
    // With a selection this colours its characters; at a caret it sets what typing gives.
    mergeCurrentCharFormat(format);
}

std::uint32_t RichTextBox::colorAt(int offset) const
{
    return toBgr(Impl::formatAt(document(), toPosition(offset)));
}

int RichTextBox::GetLineFromChar(int offset) const
{
    return document()->findBlock(toPosition(offset)).blockNumber();
}

int RichTextBox::Find(const QString &text, int start, int options)
{
    const QTextDocument *doc = document();
    if (text.isEmpty() || start > Impl::maxOffset(doc))
        return -1;
    start = std::max(start, 0);
    const QStringList parts = oneBreakPerLine(text).split(QLatin1Char('\n'));
    const Qt::CaseSensitivity cs = (options & rtfMatchCase) ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const bool wholeWord = options & rtfWholeWord;
    const int startPosition = toPosition(start);

    // Whether the rest of the needle (parts 1..) follows the line `block`; if so, where it ends.
    const auto restMatches = [&](QTextBlock block, int *end) {
        for (qsizetype i = 1; i < parts.size(); ++i) {
            block = block.next();
            if (!block.isValid())
                return false;
            const QString line = block.text();
            const QString &part = parts.at(i);
            const bool last = i == parts.size() - 1;
            if (last ? !line.startsWith(part, cs) : line.compare(part, cs) != 0)
                return false;
            if (last) {
                if (wholeWord && part.size() < line.size() && isWordChar(line.at(part.size())))
                    return false;
                *end = block.position() + int(part.size());
            }
        }
        return true;
    };

    const QString &first = parts.constFirst();
    for (QTextBlock block = doc->findBlock(startPosition); block.isValid(); block = block.next()) {
        const QString line = block.text();
        qsizetype from = std::max(0, startPosition - block.position());
        if (parts.size() > 1) // the first part must end the line
            from = std::max(from, line.size() - first.size());
        for (qsizetype at = line.indexOf(first, from, cs); at >= 0; at = line.indexOf(first, at + 1, cs)) {
            if (parts.size() > 1 && at + first.size() != line.size())
                break;
            const int position = block.position() + int(at);
            if (toOffset(position) < start)
                continue;
            if (wholeWord && at > 0 && isWordChar(line.at(at - 1)))
                continue;
            int end = position + int(first.size());
            if (parts.size() == 1) {
                if (wholeWord && at + first.size() < line.size() && isWordChar(line.at(at + first.size())))
                    continue;
            } else if (!restMatches(block, &end)) {
                break;
            }
            QTextCursor cursor = textCursor();
            cursor.setPosition(position);
            cursor.setPosition(end, QTextCursor::KeepAnchor);
            setTextCursor(cursor);
            return toOffset(position);
        }
    }
    return -1;
}

int RichTextBox::LineCount() const
{
    return document()->blockCount();
}

int RichTextBox::LineIndex(int line) const
{
    if (line == -1)
        line = Impl::caretLine(*this);
    const QTextBlock block = document()->findBlockByNumber(line);
    if (line < 0 || !block.isValid())
        return -1;
    return block.position() + line;
}

int RichTextBox::LineFromChar(int offset) const
{
    if (offset == -1)
        return Impl::caretLine(*this);
    return GetLineFromChar(offset);
}

int RichTextBox::LineLength(int offset) const
{
    const QTextBlock block = offset == -1 ? textCursor().block()
                                          : document()->findBlock(toPosition(offset));
    return block.length() - 1;
}

QString RichTextBox::GetLine(int line) const
{
    if (line < 0)
        return {};
    const QTextBlock block = document()->findBlockByNumber(line);
    return block.isValid() ? block.text() : QString();
}

int RichTextBox::SelectionEnd() const
{
    return toOffset(textCursor().selectionEnd());
}

void RichTextBox::SetFocus()
{
    if (!isHidden())
        setFocus();
}

void RichTextBox::keyPressEvent(QKeyEvent *event)
{
    Q_EMIT KeyDown(virtualKeyCode(event), shiftBits(event->modifiers()));
    if (isPaste(event)) {
        // The handler of Ctrl+V sees the pasted text already in the box.
        Impl::editorKey(*this, event);
        int code = 22;
        Q_EMIT KeyPress(&code);
        return;
    }
    const int code = characterCode(event);
    if (code == 0) {
        Impl::defaultAction(*this, event);
        return;
    }
    int answer = code;
    Q_EMIT KeyPress(&answer);
    if (answer == 0)
        event->accept(); // discarded
    else if (answer == code)
        Impl::defaultAction(*this, event);
    else
        Impl::typeCharacter(*this, answer, event);
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
    const Guard guard(m_userEditDepth);
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.insertText(oneBreakPerLine(source->text()));
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

void RichTextBox::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu(event->pos());
    if (!menu)
        return;
    for (QAction *action : menu->actions()) {
        const bool redo = action->objectName() == QLatin1String("edit-redo");
        if (!redo && action->objectName() != QLatin1String("edit-undo"))
            continue;
        disconnect(action, &QAction::triggered, nullptr, nullptr);
        connect(action, &QAction::triggered, this, [this, redo] { Impl::stepHistory(*this, redo); });
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace quillbox
