#include "colouring/boxcolouring.h"

#include "colouring/richtextbox.h"
#include "colouring/vbcolouring.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTextBlock>

#include <algorithm>

namespace quillbox::colouring {

namespace {

// The progress bar moves at most this often during a pass: often enough to be seen moving,
// seldom enough to cost nothing beside the colouring.
constexpr qint64 kProgressEveryMs = 40;

QElapsedTimer &clock()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer;
}

// Makes the line's rewrites, from the back so the offsets before stay valid, and paints it.
void apply(RichTextBox &box, int line, const LineColouring &c)
{
    for (auto it = c.rewrites.crbegin(); it != c.rewrites.crend(); ++it)
        box.replaceInLine(line, it->start, it->length, it->text);
    box.setLineColours(line, c.runs);
}

// The runs of `over` laid on top of `under`.
QList<ColourRun> overlay(const QList<ColourRun> &under, const QList<ColourRun> &over)
{
    QList<ColourRun> out;
    for (const ColourRun &u : under) {
        // What of u is left outside every run of over.
        int from = u.start;
        const int end = u.start + u.length;
        for (const ColourRun &o : over) {
            if (o.start + o.length <= from || o.start >= end)
                continue;
            if (o.start > from)
                out.append({from, o.start - from, u.bgr});
            from = std::max(from, o.start + o.length);
        }
        if (from < end)
            out.append({from, end - from, u.bgr});
    }
    out.append(over);
    std::sort(out.begin(), out.end(), [](const ColourRun &a, const ColourRun &b) { return a.start < b.start; });
    return out;
}

} // namespace

BoxColouring::BoxColouring(QWidget *note, QProgressBar *progress) : m_note(note), m_progress(progress) {}

void BoxColouring::ResetColors(RichTextBox &RichTB)
{
    if (RichTB.SelLength() > 0)
        return;
    SavedSelStart = RichTB.SelStart();
    CaretLine = RichTB.LineFromChar(-1); // the caret's own line, without a search by offset
    RichTB.setLineColours(CaretLine, {});
}

void BoxColouring::finishLine(RichTextBox &box)
{
    // Text typed next is black.
    box.setSelColor(kBlack);
}

void BoxColouring::ColorizeWord(RichTextBox &RichTB, const QString &Word, std::uint32_t Color)
{
    if (RichTB.SelLength() > 0)
        return;
    const int line = RichTB.LineFromChar(-1);
    LineColouring c = colourWord(RichTB.GetLine(line), Word);
    for (ColourRun &run : c.runs)
        run.bgr = Color;
    for (auto it = c.rewrites.crbegin(); it != c.rewrites.crend(); ++it)
        RichTB.replaceInLine(line, it->start, it->length, it->text);
    RichTB.setLineColours(line, overlay(RichTB.lineColours(line), c.runs));
    finishLine(RichTB);
}

void BoxColouring::colourLineOf(RichTextBox &box, int line)
{
    static thread_local LineColouring c;
    colourLine(box.GetLine(line), &c);
    apply(box, line, c);
}

void BoxColouring::RichTBSetcolors(RichTextBox &RichTB)
{
    CommentMark = QStringLiteral("'");
    if (RichTB.SelLength() == 0) {
        SavedSelStart = RichTB.SelStart();
        CaretLine = RichTB.LineFromChar(-1); // the caret's own line, without a search by offset
        colourLineOf(RichTB, CaretLine);
        finishLine(RichTB);
    }
    RichTB.setEnabled(true);
    RichTB.SetFocus();
}

void BoxColouring::showWaitNote(int lines)
{
    m_note->setVisible(true);
    m_progress->setVisible(true);
    // Let the note and the bar be drawn before the work starts; input waits for the end.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    LineCount = lines;
    m_progress->setRange(0, std::max(0, LineCount - 1));
    m_progress->setValue(0);
    m_lastProgress = clock().elapsed();
}

void BoxColouring::progressTo(int line)
{
    const qint64 now = clock().elapsed();
    if (now - m_lastProgress < kProgressEveryMs)
        return;
    m_lastProgress = now;
    m_progress->setValue(line);
    m_progress->repaint();
}

void BoxColouring::hideWaitNote()
{
    m_progress->setValue(m_progress->maximum());
    m_note->setVisible(false);
    m_progress->setVisible(false);
}

void BoxColouring::colourEveryLineShown(RichTextBox &box)
{
    // Every line coloured behind the note, the caret left at the start of the last line.
    for (LineNumber = 0; LineNumber < LineCount; ++LineNumber) {
        LineStart = box.LineIndex(LineNumber);
        colourLineOf(box, LineNumber);
        progressTo(LineNumber);
    }
    box.endBulkColouring();
    box.setSelStart(box.LineIndex(LineCount - 1));
    finishLine(box);
    box.setEnabled(true);
    box.SetFocus();
    hideWaitNote();
}

void BoxColouring::FormatRTB(RichTextBox &RichTBox)
{
    CommentMark = QStringLiteral("'");
    showWaitNote(RichTBox.LineCount());
    RichTBox.beginBulkColouring();
    colourEveryLineShown(RichTBox);
}

void BoxColouring::ColourEveryLine(RichTextBox &box)
{
    box.beginBulkColouring();
    for (int line = 0, lines = box.LineCount(); line < lines; ++line)
        colourLineOf(box, line);
    box.endBulkColouring();
    finishLine(box);
}

void BoxColouring::DescriptionPastePass(RichTextBox &Rich1, QWidget *cancel)
{
    const bool cancelWasEnabled = cancel->isEnabled();
    showWaitNote(Rich1.LineCount());
    cancel->setEnabled(false);
    // The marks and the colours are one edit of the box.
    Rich1.beginBulkColouring();
    // Each line without the mark (spaces before it aside) gets one at its own start.
    for (LineNumber = 0; LineNumber < LineCount; ++LineNumber) {
        LineStart = Rich1.LineIndex(LineNumber);
        LineText = Rich1.GetLine(LineNumber);
        qsizetype first = 0;
        while (first < LineText.size() && LineText.at(first) == QLatin1Char(' '))
            ++first;
        if (first >= LineText.size() || LineText.at(first) != QLatin1Char('\''))
            Rich1.replaceInLine(LineNumber, 0, 0, CommentMark);
    }
    colourEveryLineShown(Rich1);
    cancel->setEnabled(cancelWasEnabled);
}

} // namespace quillbox::colouring
