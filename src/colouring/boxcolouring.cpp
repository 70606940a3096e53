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

void colourAsSource(int, QStringView text, LineColouring *out)
{
    colourLine(text, out);
}

void colourLineOf(RichTextBox &box, int line)
{
    box.colourLines(line, line, colourAsSource);
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
    if (RichTB.walkingHistory())
        c.runs = runsWithoutRewrites(c.runs, std::exchange(c.rewrites, {}));
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

void BoxColouring::colourEveryLineShown(RichTextBox &box, int lines, const RichTextBox::LineColourer &colour)
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    qint64 reported = clock.elapsed();
    box.colourLines(0, lines - 1, [&](int line, QStringView text, LineColouring *out) {
        colour(line, text, out);
        if (clock.elapsed() - reported >= kProgressEveryMs) {
            reported = clock.elapsed();
            m_window.passProgress(line);
        }
    });
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
    colourEveryLineShown(RichTBox, lines, colourAsSource);
}

void BoxColouring::ColourEveryLine(RichTextBox &box)
{
    box.colourLines(0, box.LineCount() - 1, colourAsSource);
    if (box.SelLength() == 0)
        box.setSelColor(kBlack); // text typed next is black; a selection keeps its colours
}

void BoxColouring::followHistory(RichTextBox &box)
{
    QObject::connect(&box, &RichTextBox::historyStepped, &box,
                     [&box](int first, int last) { box.colourLines(first, last, colourAsSource); });
}

void BoxColouring::DescriptionPastePass(RichTextBox &Rich1)
{
    const bool cancelWasEnabled = m_window.cancelEnabled();
    const int lines = Rich1.LineCount();
    startPass(lines);
    m_window.setCancelEnabled(false);
    // Each line without the mark (spaces before it aside) gets one at its own start; the
    // marks and the colours are one edit of the box.
    colourEveryLineShown(Rich1, lines, [](int, QStringView text, LineColouring *out) {
        qsizetype first = 0;
        while (first < text.size() && text.at(first) == QLatin1Char(' '))
            ++first;
        if (first < text.size() && text.at(first) == QChar(kCommentMark)) {
            colourLine(text, out);
            return;
        }
        // A marked line is a comment from the mark on: nothing in it is rewritten.
        colourLine(QString(CommentMark + text.toString()), out);
        out->rewrites = {{0, 0, CommentMark}};
    });
    m_window.setCancelEnabled(cancelWasEnabled);
}

} // namespace quillbox::colouring
