#include "colouring/boxcolouring.h"

#include "colouring/richtextbox.h"
#include "colouring/vbcolouring.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace quillbox::colouring {

namespace {

// The progress bar moves at most this often during a pass: often enough to be seen moving,
// seldom enough to cost nothing beside the colouring.
constexpr qint64 kProgressEveryMs = 40;

// Makes the line's rewrites, from the back so the offsets before stay valid, and paints it.
void apply(RichTextBox &box, int line, const LineColouring &c)
{
    for (auto it = c.rewrites.crbegin(); it != c.rewrites.crend(); ++it)
        box.replaceInLine(line, it->start, it->length, it->text);
    box.setLineColours(line, c.runs);
}

void colourLineOf(RichTextBox &box, int line)
{
    static thread_local LineColouring c;
    colourLine(box.GetLine(line), &c);
    apply(box, line, c);
}

} // namespace

BoxColouring::BoxColouring(PassObserver &window) : m_window(window)
{}

void BoxColouring::ResetColors(RichTextBox &RichTB)
{
    if (RichTB.SelLength() == 0)
        RichTB.setLineColours(RichTB.LineFromChar(-1), {});
}

void BoxColouring::ColorizeWord(RichTextBox &RichTB, const QString &Word, std::uint32_t Color)
{
    if (RichTB.SelLength() > 0)
        return;
    const int line = RichTB.LineFromChar(-1);
    LineColouring c = colourWord(RichTB.GetLine(line), Word);
    for (auto it = c.rewrites.crbegin(); it != c.rewrites.crend(); ++it)
        RichTB.replaceInLine(line, it->start, it->length, it->text);
    // The word's runs go last: they win over what the line shows.
    ColourRuns runs = RichTB.lineColours(line);
    for (const ColourRun &run : std::as_const(c.runs))
        runs.append({run.start, run.length, Color});
    RichTB.setLineColours(line, runs);
    RichTB.setSelColor(kBlack);
}

void BoxColouring::RichTBSetcolors(RichTextBox &RichTB)
{
    if (RichTB.SelLength() == 0) {
        colourLineOf(RichTB, RichTB.LineFromChar(-1));
        RichTB.setSelColor(kBlack);
    }
    RichTB.setEnabledState(true);
    RichTB.SetFocus();
}

void BoxColouring::startPass(int lines)
{
    m_window.passStarted(lines);
    // The note and the bar are drawn before the work starts; input waits for the end.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void BoxColouring::colourEveryLineShown(RichTextBox &box, int lines)
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    qint64 reported = clock.elapsed();
    for (int line = 0; line < lines; ++line) {
        colourLineOf(box, line);
        if (clock.elapsed() - reported >= kProgressEveryMs) {
            reported = clock.elapsed();
            m_window.passProgress(line);
        }
    }
    box.endBulkColouring();
    // The caret goes to the start of the last line; text typed next is black.
    box.setSelStart(box.LineIndex(lines - 1));
    box.setSelColor(kBlack);
    box.setEnabledState(true);
    box.SetFocus();
    m_window.passProgress(lines - 1);
    m_window.passFinished();
}

void BoxColouring::FormatRTB(RichTextBox &RichTBox)
{
    const int lines = RichTBox.LineCount();
    startPass(lines);
    RichTBox.beginBulkColouring();
    colourEveryLineShown(RichTBox, lines);
}

void BoxColouring::ColourEveryLine(RichTextBox &box)
{
    box.beginBulkColouring();
    for (int line = 0, lines = box.LineCount(); line < lines; ++line)
        colourLineOf(box, line);
    box.endBulkColouring();
    if (box.SelLength() == 0)
        box.setSelColor(kBlack); // text typed next is black; a selection keeps its colours
}

void BoxColouring::DescriptionPastePass(RichTextBox &Rich1)
{
    const bool cancelWasEnabled = m_window.cancelEnabled();
    const int lines = Rich1.LineCount();
    startPass(lines);
    m_window.setCancelEnabled(false);
    // The marks and the colours are one edit of the box.
    Rich1.beginBulkColouring();
    // Each line without the mark (spaces before it aside) gets one at its own start.
    for (int line = 0; line < lines; ++line) {
        const QString text = Rich1.GetLine(line);
        qsizetype first = 0;
        while (first < text.size() && text.at(first) == QLatin1Char(' '))
            ++first;
        if (first >= text.size() || text.at(first) != QChar(kCommentMark))
            Rich1.replaceInLine(line, 0, 0, CommentMark);
    }
    colourEveryLineShown(Rich1, lines);
    m_window.setCancelEnabled(cancelWasEnabled);
}

} // namespace quillbox::colouring
