// The rich text box: CR LF offsets, line breaks, colours (per line, moving with edits, never
// on the undo stack, shown on screen), Find, line operations, replaceInLine, bulk passes, and
// the Change / KeyDown / KeyPress / MouseMove events, driven with real keys and mouse.

#include "richtextbox.h"
#include "testsupport.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using quillbox::RichTextBox;
using quillbox::colouring::ColourRun;
using Runs = QList<ColourRun>;

namespace quillbox::colouring {
void PrintTo(const ColourRun &run, std::ostream *os)
{
    *os << "{" << run.start << ", " << run.length << ", 0x" << std::hex << run.bgr << std::dec << "}";
}
} // namespace quillbox::colouring

namespace {

constexpr std::uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kNavy = 0x800000; // 0x00BBGGRR

QString q(const char *utf8) { return QString::fromUtf8(utf8); }
std::string s(const QString &text) { return text.toStdString(); }

using Action = std::function<void(RichTextBox &)>;
Action key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
{
    return [k, m](RichTextBox &b) { QTest::keyClick(&b, k, m); };
}
void select(RichTextBox &box, int start, int length)
{
    box.setSelStart(start);
    box.setSelLength(length);
}
// An input method commits `typed` in place of `length` characters from `from` (caret-relative).
Action commit(const char *typed, int from = 0, int length = 0, bool composeFirst = false)
{
    return [=](RichTextBox &b) {
        QInputMethodEvent compose(QStringLiteral("e"), {});
        if (composeFirst)
            QApplication::sendEvent(&b, &compose);
        QInputMethodEvent done;
        done.setCommitString(q(typed), from, length);
        QApplication::sendEvent(&b, &done);
    };
}
void composeThenGiveUp(RichTextBox &box)
{
    QInputMethodEvent compose(QStringLiteral("xy"), {});
    QApplication::sendEvent(&box, &compose);
    QInputMethodEvent cancel;
    QApplication::sendEvent(&box, &cancel);
}
// The colour of each character of a line, from colorAt, and as the runs say it should be.
std::vector<std::uint32_t> colourOfEach(const RichTextBox &box, int line)
{
    std::vector<std::uint32_t> result;
    for (int i = 0; i < box.GetLine(line).size(); ++i)
        result.push_back(box.colorAt(box.LineIndex(line) + i));
    return result;
}
std::vector<std::uint32_t> painted(const Runs &runs, int length)
{
    std::vector<std::uint32_t> result(size_t(length), 0);
    for (const ColourRun &run : runs)
        std::fill_n(result.begin() + run.start, run.length, run.bgr);
    return result;
}

// A shown box that counts its Change events.
class RichTextBoxTest : public ::testing::Test {
protected:
    RichTextBoxTest()
    {
        box.resize(400, 300);
        box.show();
        QObject::connect(&box, &RichTextBox::Change, &box, [this] { ++changes; });
    }
    RichTextBox box;
    int changes = 0;
};

TEST_F(RichTextBoxTest, OffsetsCountEachLineBreakAsTwo)
{
    // Lines "ab", "", "cd", "": the breaks stand at offsets 2-3, 4-5 and 8-9.
    const QString text = q("ab\r\n\r\ncd\r\n");
    struct Case { int start, length, selStart; const char *selText; int line; };
    const Case cases[] = {
        {3, 0, 2, "", 0},        // between CR and LF: the line's end
        {4, 0, 4, "", 1},        // an empty line
        {5, 0, 4, "", 1},        // between its CR and LF
        {10, 0, 10, "", 3},      // behind the trailing break
        {1000000, 0, 10, "", 3}, // beyond the end
        {-7, 0, 0, "", 0},
        {0, 3, 0, "ab", 0},      // ends between CR and LF
        {1, 4, 1, "b\r\n", 0},
        {3, 2, 2, "\r\n", 0},    // starts between CR and LF
        {6, INT_MAX, 6, "cd\r\n", 2}, // clamped at the end, without overflow
        {4, -3, 4, "", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + "+" + std::to_string(c.length));
        box.setText(text);
        select(box, c.start, c.length);
        const int length = int(strlen(c.selText));
        EXPECT_EQ(box.SelStart(), c.selStart);
        EXPECT_EQ(s(box.SelText()), c.selText);
        EXPECT_EQ(box.SelLength(), length);
        EXPECT_EQ(box.SelectionEnd(), c.selStart + length);
        EXPECT_EQ(box.GetLineFromChar(c.start), c.line);
        EXPECT_EQ(box.LineFromChar(c.start), c.line);
        box.setSelText(QStringLiteral("|")); // replaces the selection; the caret lands behind
        EXPECT_EQ(box.Text(), text.left(c.selStart) + u'|' + text.mid(c.selStart + length));
        EXPECT_EQ(box.SelStart(), c.selStart + 1);
        EXPECT_EQ(box.SelLength(), 0);
    }
}

TEST_F(RichTextBoxTest, EveryKindOfLineBreakBecomesOneAndFirstCharacterSeesIt)
{
    struct Case { const char *input, *text; int lines; };
    const Case cases[] = {
        {"", "", 1},
        {"a\r\nb", "a\r\nb", 2},
        {"a\nb", "a\r\nb", 2},
        {"a\rb", "a\r\nb", 2},
        {"\nx", "\r\nx", 2},
        {"a\u2028b", "a\r\nb", 2},
        {"a\u2029b", "a\r\nb", 2},
        {"a\r\r\nb", "a\r\n\r\nb", 3}, // a lone CR, then CR LF
        {"a\n\rb", "a\r\n\r\nb", 3},   // LF then CR are two breaks
        {"tab\tthere \u00e9\u00a0\u00fc", "tab\tthere \u00e9\u00a0\u00fc", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        box.setText(q(c.input));
        EXPECT_EQ(s(box.Text()), c.text);
        EXPECT_EQ(box.LineCount(), c.lines);
        EXPECT_EQ(box.firstCharacter(), box.Text().isEmpty() ? QChar() : box.Text().at(0)); // the CR of an empty line
        box.setText(QStringLiteral("[]"));
        box.setSelStart(1);
        box.setSelText(q(c.input));
        EXPECT_EQ(s(box.Text()), "[" + std::string(c.text) + "]");
        EXPECT_EQ(box.SelStart(), 1 + q(c.text).size());
    }
    // The first character is read afresh after edits.
    QTest::keyClick(&box, Qt::Key_Home);
    QTest::keyClick(&box, 'a');
    EXPECT_EQ(box.firstCharacter(), QChar(u'a'));
    select(box, 0, INT_MAX);
    QTest::keyClick(&box, Qt::Key_Delete);
    EXPECT_TRUE(box.firstCharacter().isNull());
}

TEST_F(RichTextBoxTest, SetSelColorColoursOnlyTheSelectedCharacters)
{
    box.setText(QStringLiteral("Dim x As Long\r\nx = 1"));
    struct Paint { int start, length; std::uint32_t colour; };
    // The third crosses the line break; the last makes a character black again.
    for (const Paint &p : {Paint{0, 3, kBlue}, Paint{9, 4, kRed}, Paint{11, 5, kGreen}, Paint{17, 1, 0x123456},
                           Paint{0, 1, 0}}) {
        select(box, p.start, p.length);
        box.setSelColor(p.colour);
        EXPECT_EQ(box.SelStart(), p.start);
        EXPECT_EQ(box.SelLength(), p.length);
    }
    EXPECT_EQ(box.lineColours(0), (Runs{{1, 2, kBlue}, {9, 2, kRed}, {11, 2, kGreen}}));
    EXPECT_EQ(box.lineColours(1), (Runs{{0, 1, kGreen}, {2, 1, 0x123456}}));
    EXPECT_EQ(box.colorAt(13), 0u); // a line break has no colour

    // setText makes everything black, the typing colour too.
    box.setSelStart(0);
    box.setSelColor(kRed);
    box.setText(QStringLiteral("Dim y"));
    EXPECT_EQ(box.lineColours(0), Runs());
    box.setSelStart(5);
    QTest::keyClick(&box, 'z');
    EXPECT_EQ(box.lineColours(0), Runs());
}

TEST_F(RichTextBoxTest, SetLineColoursKeepsTheRunsInOrderClippedAndMerged)
{
    box.setText(QStringLiteral("first\r\nDim x As Long ' note\r\nlast"));
    box.setLineColours(0, {{0, 5, kGreen}});
    box.setLineColours(2, {{0, 4, kBlue}});
    struct Case { const char *name; Runs given, kept; }; // for line 1, 20 characters
    const Case cases[] = {
        {"none", {}, {}},
        {"already clean", {{0, 3, kNavy}, {6, 2, kNavy}, {14, 6, kGreen}}, {{0, 3, kNavy}, {6, 2, kNavy}, {14, 6, kGreen}}},
        {"touching runs of one colour merge", {{0, 3, kNavy}, {3, 2, kNavy}, {5, 1, kRed}}, {{0, 5, kNavy}, {5, 1, kRed}}},
        {"black runs are no runs", {{0, 3, 0}, {4, 1, kRed}}, {{4, 1, kRed}}},
        {"clipped to the line", {{-3, 5, kRed}, {15, 50, kGreen}}, {{0, 2, kRed}, {15, 5, kGreen}}},
        {"empty, negative and past the end", {{2, 0, kRed}, {3, -1, kRed}, {20, 3, kRed}}, {}},
        {"a later run paints over an earlier one", {{0, 10, kGreen}, {4, 1, kRed}}, {{0, 4, kGreen}, {4, 1, kRed}, {5, 5, kGreen}}},
        {"out of order", {{10, 2, kRed}, {0, 2, kBlue}}, {{0, 2, kBlue}, {10, 2, kRed}}},
        {"the top byte is no colour", {{0, 2, 0xFF0000FF}, {2, 1, 0x01000000}}, {{0, 2, kRed}}},
        {"huge length", {{1, INT_MAX, kRed}}, {{1, 19, kRed}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        box.setLineColours(1, {{0, 20, kGreen}}); // replaced entirely, not painted over
        box.setLineColours(1, c.given);
        EXPECT_EQ(box.lineColours(1), c.kept);
        EXPECT_EQ(colourOfEach(box, 1), painted(c.kept, 20));
    }
    box.setLineColours(3, {{0, 1, kRed}}); // no such lines
    box.setLineColours(-1, {{0, 1, kRed}});
    EXPECT_EQ(box.lineColours(0), (Runs{{0, 5, kGreen}}));
    EXPECT_EQ(box.lineColours(2), (Runs{{0, 4, kBlue}}));
}

TEST_F(RichTextBoxTest, ColoursMoveWithTheTextOfAnEdit)
{
    // Line 1 starts at offset 7; in it, Dim is navy and Long red.
    struct Line { const char *text; Runs runs; };
    struct Case { const char *name; int caret, length; Action act; std::vector<Line> lines; };
    const Line first{"first", {{0, 5, kGreen}}}, last{"last", {{0, 4, kBlue}}};
    const Line xp{"Dim xp", {{0, 3, kNavy}}}, qAs{"q As Long", {{5, 4, kRed}}}; // "p", a break, "q" behind the x
    const Action paste = [](RichTextBox &b) {
        QGuiApplication::clipboard()->setText(QStringLiteral("p\nq"));
        QTest::keyClick(&b, Qt::Key_V, Qt::ControlModifier);
    };
    const Action typeAfterColouringElsewhere = [](RichTextBox &b) {
        b.setSelStart(0);
        b.setSelColor(kGreen); // the typing colour, wherever the caret goes
        b.setSelStart(12);
        QTest::keyClick(&b, 'y');
    };
    const Action colourThenSelText = [](RichTextBox &b) {
        b.setSelColor(kBlue);
        b.setSelText(QStringLiteral("yz"));
    };
    const Action selTextReDim = [](RichTextBox &b) { b.setSelText(QStringLiteral("ReDim")); };
    const Action replaceLong = [](RichTextBox &b) { b.replaceInLine(1, 9, 4, QStringLiteral("LONG")); };
    const Action replaceAtEnd = [](RichTextBox &b) {
        b.setSelColor(kGreen);
        b.replaceInLine(1, 13, 0, QStringLiteral("!"));
    };
    const std::vector<Case> cases = {
        {"typing before the runs", 7, 0, key(Qt::Key_Z), {first, {"zDim x As Long", {{1, 3, kNavy}, {10, 4, kRed}}}, last}},
        {"typing inside a run", 18, 0, key(Qt::Key_Q), {first, {"Dim x As Loqng", {{0, 3, kNavy}, {9, 2, kRed}, {12, 2, kRed}}}, last}},
        {"typing behind the last run", 20, 0, key(Qt::Key_S), {first, {"Dim x As Longs", {{0, 3, kNavy}, {9, 4, kRed}}}, last}},
        {"Backspace inside a run", 10, 0, key(Qt::Key_Backspace), {first, {"Di x As Long", {{0, 2, kNavy}, {8, 4, kRed}}}, last}},
        {"typing over a selection", 11, 4, key(Qt::Key_Q), {first, {"Dim q Long", {{0, 3, kNavy}, {6, 4, kRed}}}, last}},
        {"Enter at the line's start", 7, 0, key(Qt::Key_Return), {first, {"", {}}, {"Dim x As Long", {{0, 3, kNavy}, {9, 4, kRed}}}, last}},
        {"Enter inside a run", 18, 0, key(Qt::Key_Return),
         {first, {"Dim x As Lo", {{0, 3, kNavy}, {9, 2, kRed}}}, {"ng", {{0, 2, kRed}}}, last}},
        {"pasting two lines", 12, 0, paste, {first, xp, qAs, last}},
        {"typing in the typing colour", 12, 0, typeAfterColouringElsewhere,
         {first, {"Dim xy As Long", {{0, 3, kNavy}, {5, 1, kGreen}, {10, 4, kRed}}}, last}},
        {"setSelText at the caret takes the typing colour", 12, 0, colourThenSelText,
         {first, {"Dim xyz As Long", {{0, 3, kNavy}, {5, 2, kBlue}, {11, 4, kRed}}}, last}},
        {"setSelText replacing takes the first replaced colour", 7, 5, selTextReDim,
         {first, {"ReDim As Long", {{0, 5, kNavy}, {9, 4, kRed}}}, last}},
        {"replaceInLine takes the first replaced colour", 0, 0, replaceLong,
         {first, {"Dim x As LONG", {{0, 3, kNavy}, {9, 4, kRed}}}, last}},
        {"replaceInLine at a point takes the typing colour", 0, 0, replaceAtEnd,
         {first, {"Dim x As Long!", {{0, 3, kNavy}, {9, 4, kRed}, {13, 1, kGreen}}}, last}},
        {"an input method's text inside a run", 18, 0, commit("\u00e9", 0, 0, true),
         {first, {"Dim x As Lo\u00e9ng", {{0, 3, kNavy}, {9, 2, kRed}, {12, 2, kRed}}}, last}},
        {"an input method replacing the character before", 10, 0, commit("\u00ea", -1, 1),
         {first, {"Di\u00ea x As Long", {{0, 2, kNavy}, {9, 4, kRed}}}, last}},
        {"an input method's text with a line break", 12, 0, commit("p\nq"), {first, xp, qAs, last}},
        // Joining lines keeps the first line's colours up to the edit; the rest is black.
        {"Backspace at the line's start", 7, 0, key(Qt::Key_Backspace), {{"firstDim x As Long", {{0, 5, kGreen}}}, last}},
        {"typing over a selection across lines", 2, 9, key(Qt::Key_Q), {{"fiqx As Long", {{0, 2, kGreen}}}, last}},
        {"typing over lines from a line's start", 7, 17, key(Qt::Key_Q), {first, {"qst", {}}}},
        {"an input method's text over lines", 2, 9, commit("q"), {{"fiqx As Long", {{0, 2, kGreen}}}, last}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        box.setText(QStringLiteral("first\r\nDim x As Long\r\nlast"));
        box.setLineColours(0, {{0, 5, kGreen}});
        box.setLineColours(1, {{0, 3, kNavy}, {9, 4, kRed}});
        box.setLineColours(2, {{0, 4, kBlue}});
        select(box, c.caret, c.length);
        changes = 0;
        c.act(box);
        EXPECT_EQ(changes, 1);
        ASSERT_EQ(box.LineCount(), int(c.lines.size()));
        for (int i = 0; i < box.LineCount(); ++i) {
            EXPECT_EQ(s(box.GetLine(i)), c.lines[size_t(i)].text) << "line " << i;
            EXPECT_EQ(box.lineColours(i), c.lines[size_t(i)].runs) << "line " << i;
        }
    }
}

TEST_F(RichTextBoxTest, UndoAndRedoStepThroughTextOnlyAndColoursStay)
{
    box.setText(QStringLiteral("Dim x As Long"));
    box.setSelStart(5);
    QTest::keyClicks(&box, QStringLiteral("yz"));
    box.setLineColours(0, {{0, 3, kNavy}, {11, 4, kRed}});
    select(box, 0, 1);
    box.setSelColor(kGreen);
    const Runs coloured{{0, 1, kGreen}, {1, 2, kNavy}, {11, 4, kRed}};
    ASSERT_EQ(box.lineColours(0), coloured);
    changes = 0;

    // The colouring left nothing of its own to undo: one undo takes the typing back.
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(s(box.Text()), "Dim x As Long");
    EXPECT_EQ(box.lineColours(0), (Runs{{0, 1, kGreen}, {1, 2, kNavy}, {9, 4, kRed}}));
    EXPECT_FALSE(box.document()->isUndoAvailable());
    // Redone text takes the typing colour (black); the rest stays where it stands.
    QTest::keyClick(&box, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(s(box.Text()), "Dim xyz As Long");
    EXPECT_EQ(box.lineColours(0), coloured);
    EXPECT_EQ(changes, 2);
}

TEST_F(RichTextBoxTest, ReplaceInLineIsOneEditAndKeepsTheCaret)
{
    const QString text = QStringLiteral("dim x as long\r\nnext line");
    struct Case { const char *name; int line, start, length; const char *replacement; int selStart, selLength;
                  const char *line0; int selStartAfter, selLengthAfter; }; // line0: line 0 after
    const Case cases[] = {
        {"the same text", 0, 0, 3, "dim", 13, 0, "dim x as long", 13, 0},
        {"longer, ending at the caret", 0, 9, 4, "Longer", 13, 0, "dim x as Longer", 15, 0},
        {"caret inside the rewrite", 0, 0, 3, "Dim", 1, 0, "Dim x as long", 1, 0},
        {"caret inside, the text shrinks", 0, 0, 3, "D", 2, 0, "D x as long", 1, 0},
        {"insertion at the caret", 0, 0, 0, "' ", 0, 0, "' dim x as long", 0, 0},
        {"selection around the rewrite", 0, 4, 1, "yy", 2, 6, "dim yy as long", 2, 7},
        {"clipped to the line, a break made a space", 0, 10, 100, "N\r\nG", 0, 0, "dim x as lN G", 0, 0},
        {"a line that does not exist", 2, 0, 0, "x", 3, 0, "dim x as long", 3, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        box.setText(text);
        select(box, c.selStart, c.selLength);
        const int undoSteps = box.document()->availableUndoSteps();
        changes = 0;
        box.replaceInLine(c.line, c.start, c.length, q(c.replacement));
        EXPECT_EQ(s(box.Text()), std::string(c.line0) + "\r\nnext line");
        EXPECT_EQ(box.SelStart(), c.selStartAfter);
        EXPECT_EQ(box.SelLength(), c.selLengthAfter);
        const bool changed = std::string(c.line0) != "dim x as long";
        EXPECT_EQ(changes, changed ? 1 : 0);
        box.undo(); // one step takes the whole rewrite back
        EXPECT_EQ(box.Text(), text);
        EXPECT_EQ(box.document()->availableUndoSteps(), undoSteps);
    }
}

TEST_F(RichTextBoxTest, ABulkPassMakesItsRewritesOneEdit)
{
    box.setText(QStringLiteral("dim a\r\nx = 1 ' note\r\nendif"));
    box.setLineColours(0, {{0, 3, kNavy}});
    box.setLineColours(1, {{6, 6, kGreen}});
    box.setLineColours(2, {{0, 5, kNavy}});
    box.setSelStart(box.LineIndex(2) + 5); // behind "endif"
    changes = 0;

    box.beginBulkColouring();
    box.replaceInLine(2, 0, 5, QStringLiteral("End If"));
    box.replaceInLine(1, 0, 0, QStringLiteral("' "));
    box.replaceInLine(0, 0, 3, QStringLiteral("Dim"));
    EXPECT_EQ(changes, 3); // one for each, at once
    EXPECT_EQ(s(box.Text()), "Dim a\r\n' x = 1 ' note\r\nEnd If");
    EXPECT_EQ(box.SelStart(), box.LineIndex(2) + 6);
    box.setSelText(QStringLiteral("!")); // another edit ends the grouping
    box.replaceInLine(2, 0, 3, QStringLiteral("END"));
    box.endBulkColouring();
    EXPECT_EQ(changes, 5);
    EXPECT_EQ(s(box.Text()), "Dim a\r\n' x = 1 ' note\r\nEND If!");
    EXPECT_EQ(box.lineColours(0), (Runs{{0, 3, kNavy}}));
    EXPECT_EQ(box.lineColours(1), (Runs{{8, 6, kGreen}}));
    EXPECT_EQ(box.lineColours(2), (Runs{{0, 6, kNavy}}));

    // Edits after the pass move the colours as ever.
    box.setSelStart(box.LineIndex(1) + 2);
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.lineColours(2), (Runs{{6, 6, kGreen}}));
    box.undo();

    // Undo takes back the edits after the setSelText, the setSelText, then the first three.
    for (const char *step : {"Dim a\r\n' x = 1 ' note\r\nEnd If!", "Dim a\r\n' x = 1 ' note\r\nEnd If",
                             "dim a\r\nx = 1 ' note\r\nendif"}) {
        box.undo();
        EXPECT_EQ(s(box.Text()), step);
    }
    EXPECT_FALSE(box.document()->isUndoAvailable());
}

TEST_F(RichTextBoxTest, ColoursAreWhatTheScreenShows)
{
    QFont font(QStringLiteral("Monospace"));
    font.setPixelSize(28);
    box.setFont(font);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    box.setText((QStringLiteral("WWWWWW\r\n").repeated(200)).chopped(2));

    // Plainly red pixels of the line in what the window shows once pending paints are done.
    const auto redPixels = [this](int line) {
        const QRect row = box.cursorRect(QTextCursor(box.document()->findBlockByNumber(line)));
        QCoreApplication::processEvents();
        const QPoint origin = box.viewport()->mapTo(box.window(), QPoint(0, 0));
        const QImage image = QGuiApplication::primaryScreen()
                                 ->grabWindow(box.window()->winId(), origin.x(), origin.y(),
                                              box.viewport()->width(), box.viewport()->height())
                                 .toImage();
        int count = 0;
        for (int y = std::max(0, row.top()); y <= std::min(image.height() - 1, row.bottom()); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += c.red() > 180 && c.green() < 90 && c.blue() < 90;
            }
        return count;
    };
    box.setLineColours(1, {{0, 3, kRed}});
    EXPECT_GT(redPixels(1), 0);
    EXPECT_EQ(redPixels(0), 0);
    box.setLineColours(1, {});
    EXPECT_EQ(redPixels(1), 0);
    // Composing on a red line, then giving up, leaves it red.
    box.setLineColours(1, {{0, 3, kRed}});
    box.setSelStart(box.LineIndex(1) + 4);
    composeThenGiveUp(box);
    EXPECT_GT(redPixels(1), 0);
    box.setLineColours(1, {});

    // A line coloured off screen in a bulk pass shows its colour when scrolled to.
    box.beginBulkColouring();
    for (int line = 0; line < 200; line += 2)
        box.setLineColours(line, {{0, 6, kRed}});
    box.endBulkColouring();
    EXPECT_GT(redPixels(0), 0);
    EXPECT_EQ(redPixels(1), 0);
    box.setSelStart(box.LineIndex(180));
    box.ensureCursorVisible();
    EXPECT_GT(redPixels(180), 0);
    EXPECT_EQ(redPixels(181), 0);

    // Joined with the next line, the line keeps its colour on screen.
    box.setSelStart(box.LineIndex(181));
    QTest::keyClick(&box, Qt::Key_Backspace);
    box.setSelStart(box.LineIndex(180));
    QTest::keyClick(&box, Qt::Key_Delete);
    EXPECT_EQ(s(box.GetLine(180)), "WWWWWWWWWWW");
    EXPECT_GT(redPixels(180), 0);
    // Cut back to less than the red run, it still shows red and nothing past its text.
    select(box, box.LineIndex(180) + 2, 9);
    QTest::keyClick(&box, Qt::Key_Backspace);
    EXPECT_EQ(box.lineColours(180), (Runs{{0, 2, kRed}}));
    EXPECT_GT(redPixels(180), 0);
    box.setLineColours(180, {});
    EXPECT_EQ(redPixels(180), 0);

    // Text typed where a deleted run stood is black on screen.
    box.setText(QStringLiteral("WWWWWWWW"));
    box.setLineColours(0, {{5, 3, kRed}});
    EXPECT_GT(redPixels(0), 0);
    select(box, 2, 6);
    QTest::keyClick(&box, Qt::Key_Backspace);
    QTest::keyClicks(&box, QStringLiteral("WWWWWW"));
    EXPECT_EQ(redPixels(0), 0);
}

TEST_F(RichTextBoxTest, LineOperationsAndBulkPassesOnAHundredThousandLines)
{
    constexpr int count = 100000;
    QStringList lines;
    std::vector<int> starts;
    for (int i = 0, offset = 0; i < count; offset += int(lines.last().size()) + 2, ++i) {
        lines << (i % 100 == 7 ? QString() : QStringLiteral("dim line%1 as long ' %1").arg(i));
        starts.push_back(offset);
    }
    box.setText(lines.join(QStringLiteral("\r\n")));
    ASSERT_EQ(box.LineCount(), count);
    for (int line : {0, 1, 7, 50007, 99998, 99999}) {
        SCOPED_TRACE(line);
        const int start = starts[size_t(line)];
        const int length = int(lines[line].size());
        EXPECT_EQ(box.LineIndex(line), start);
        EXPECT_EQ(box.LineFromChar(start), line);
        EXPECT_EQ(box.GetLineFromChar(start + length), line);
        EXPECT_EQ(box.LineFromChar(start + length + 1), line); // between CR and LF, or beyond the end
        EXPECT_EQ(box.LineFromChar(start - 1), std::max(line - 1, 0));
        EXPECT_EQ(box.LineLength(start + length), length);
        EXPECT_EQ(s(box.GetLine(line)), s(lines[line]));
        box.setSelStart(start + length / 2); // -1 stands for the caret's line
        EXPECT_EQ(box.LineIndex(-1), start);
        EXPECT_EQ(box.LineFromChar(-1), line);
        EXPECT_EQ(box.LineLength(-1), length);
    }
    EXPECT_EQ(box.LineIndex(count), -1);

    box.beginBulkColouring();
    box.beginBulkColouring(); // nested
    for (int i = 0; i < count; ++i)
        box.setLineColours(i, {{0, 3, kNavy}, {int(lines[i].indexOf(QLatin1Char('\''))), 8, kGreen}});
    box.endBulkColouring();
    box.endBulkColouring();
    box.endBulkColouring(); // one too many is harmless
    EXPECT_EQ(box.lineColours(0), (Runs{{0, 3, kNavy}, {18, 3, kGreen}}));

    // A pass that rewrites every line, as colouring a pasted box may.
    changes = 0;
    box.beginBulkColouring();
    for (int i = 0; i < count; ++i) {
        box.replaceInLine(i, 0, 3, QStringLiteral("Dim"));
        box.replaceInLine(i, 0, 0, QStringLiteral(" "));
    }
    box.endBulkColouring();
    EXPECT_EQ(changes, 2 * count);
    EXPECT_EQ(s(box.GetLine(0)), " Dim line0 as long ' 0");
    EXPECT_EQ(box.lineColours(0), (Runs{{1, 3, kNavy}, {19, 3, kGreen}}));
    box.replaceInLine(99999, 0, 1, QString());
    EXPECT_EQ(s(box.GetLine(99999)), "Dim line99999 as long ' 99999");
    EXPECT_EQ(colourOfEach(box, 99999), painted({{0, 3, kNavy}, {22, 7, kGreen}}, 29));
    box.undo();
    box.undo(); // the whole pass
    EXPECT_EQ(s(box.GetLine(99999)), "dim line99999 as long ' 99999");
    EXPECT_EQ(s(box.GetLine(0)), "dim line0 as long ' 0");
}

TEST_F(RichTextBoxTest, FindHonoursStartWholeWordAndCase)
{
    // Line 1 starts at 19, line 2 at 44.
    box.setText(QStringLiteral("Dim total As Long\r\nTotal = total_x + Total\r\nsubtotal = TOTAL"));
    const int wholeWord = RichTextBox::rtfWholeWord, matchCase = RichTextBox::rtfMatchCase;
    struct Case { const char *needle; int start, options, found; };
    const Case cases[] = {
        {"total", 5, 0, 19}, // any case
        {"total", 5, matchCase, 27},
        {"total", 20, wholeWord, 37}, // total_x is no whole word
        {"total", 20, wholeWord | matchCase, -1},
        {"total", 38, 0, 47}, // inside subtotal
        {"total", 38, wholeWord, 55},
        {"TOTAL", 0, wholeWord | matchCase, 55}, // at the very end
        {"Dim", 0, wholeWord, 0},                // at the very start
        {"x", 0, wholeWord, -1},                 // after an underscore
        {"total", 4, 0, 4},                      // a match at the start offset
        {"long\r\ntotal", 0, 0, 13},             // across a line break
        {"Long\ntotal", 0, matchCase, -1},
        {"\r\nsub", 0, 0, 42},
        {"\r\nsub", 43, 0, -1}, // from between that CR and LF
        {"", 0, 0, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.needle) + " from " + std::to_string(c.start));
        select(box, 1, 2);
        const QString needle = q(c.needle);
        EXPECT_EQ(box.Find(needle, c.start, c.options), c.found);
        // A match is selected; otherwise the selection stays.
        EXPECT_EQ(s(box.SelText()), c.found >= 0 ? s(box.Text().mid(c.found, needle.size())) : "im");
        EXPECT_EQ(box.SelStart(), c.found >= 0 ? c.found : 1);
    }
}

TEST_F(RichTextBoxTest, ChangeIsRaisedOnceForEveryChangeOfText)
{
    const auto selText = [](const char *text) { return [text](RichTextBox &b) { b.setSelText(q(text)); }; };
    const Action colour = [](RichTextBox &b) {
        b.setSelColor(kRed);
        b.beginBulkColouring();
        b.setLineColours(0, {{4, 3, kRed}});
        b.endBulkColouring();
    };
    const Action fontAndTabs = [](RichTextBox &b) {
        b.setFont(QFont(QStringLiteral("Monospace"), 15));
        b.setTabStopDistance(33);
    };
    struct Case { const char *name; int start, length; Action act; int changes; }; // on "abc def"
    const Case cases[] = {
        {"setText of the same text", 0, 0, [](RichTextBox &b) { b.setText(QStringLiteral("abc def")); }, 1},
        {"setSelText at the caret", 3, 0, selText("\r\n"), 1},
        {"empty setSelText at the caret", 3, 0, selText(""), 0},
        {"empty setSelText over a selection", 0, 2, selText(""), 1},
        {"setSelText of the selected text", 0, 3, selText("abc"), 1},
        {"typing over a selection", 0, 3, key(Qt::Key_Q), 1},
        {"typing the selected letter over it", 1, 1, key(Qt::Key_B), 1},
        {"Delete at the end", 7, 0, key(Qt::Key_Delete), 0},
        {"colouring a selection and a line in bulk", 0, 3, colour, 0},
        {"composing with an input method, then giving up", 3, 0, composeThenGiveUp, 0},
        {"an input method committing text", 3, 0, commit("\u00e9"), 1},
        {"font and tab width", 3, 0, fontAndTabs, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        box.setText(QStringLiteral("abc def"));
        select(box, c.start, c.length);
        changes = 0;
        c.act(box);
        EXPECT_EQ(changes, c.changes);
    }
}

TEST(RichTextBoxKeys, KeyDownThenKeyPressThenTheEditAndKeyPressCanChangeTheCharacter)
{
    auto *pasted = new QMimeData; // rich text pastes as plain text, every line break one break
    pasted->setHtml(QStringLiteral("<p><span style=\"color:#ff0000\">one</span></p><p>two</p>"));
    pasted->setText(q("<\u2028\r>"));
    QGuiApplication::clipboard()->setMimeData(pasted);
    // answer: what the KeyPress handler answers, -1 leaving the key alone; text: from "ab" typed, caret at 1.
    struct Case { Qt::Key key; Qt::KeyboardModifiers modifiers; int answer; std::vector<std::string> events; const char *text; };
    const Qt::KeyboardModifiers none = Qt::NoModifier, shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
    const std::vector<Case> cases = {
        {Qt::Key_A, none, -1, {"down 65 0", "press 97", "change"}, "aab"},
        {Qt::Key_5, none, -1, {"down 53 0", "press 53", "change"}, "a5b"},
        {Qt::Key_Return, shift, -1, {"down 16 1", "down 13 1", "press 13", "change"}, "a\r\nb"}, // a plain break
        {Qt::Key_Return, ctrl, -1, {"down 17 2", "down 13 2", "press 13", "change"}, "a\r\nb"},
        {Qt::Key_Enter, Qt::KeypadModifier, -1, {"down 13 0", "press 13", "change"}, "a\r\nb"},
        {Qt::Key_Backspace, none, -1, {"down 8 0", "press 8", "change"}, "b"},
        {Qt::Key_Tab, none, -1, {"down 9 0", "press 9", "change"}, "a\tb"},
        {Qt::Key_Escape, none, -1, {"down 27 0", "press 27"}, "ab"},
        {Qt::Key_C, ctrl, -1, {"down 17 2", "down 67 2", "press 3"}, "ab"},
        {Qt::Key_A, ctrl | shift, -1, {"down 16 1", "down 17 3", "down 65 3", "press 1"}, "ab"},
        {Qt::Key_Left, none, -1, {"down 37 0"}, "ab"},
        {Qt::Key_Delete, none, -1, {"down 46 0", "change"}, "a"},
        {Qt::Key_F5, Qt::AltModifier, -1, {"down 18 4", "down 116 4"}, "ab"},
        {Qt::Key_Return, none, 0, {"down 13 0", "press 13"}, "ab"},
        {Qt::Key_Z, ctrl, 0, {"down 17 2", "down 90 2", "press 26"}, "ab"},
        {Qt::Key_Return, none, 'x', {"down 13 0", "press 13", "change"}, "axb"},
        {Qt::Key_Q, none, 13, {"down 81 0", "press 113", "change"}, "a\r\nb"},
        {Qt::Key_Q, none, 8, {"down 81 0", "press 113", "change"}, "b"},
        {Qt::Key_Q, none, 9, {"down 81 0", "press 113", "change"}, "a\tb"},
        {Qt::Key_Q, none, 0x1F600, {"down 81 0", "press 113", "change"}, "a\U0001F600b"},
        // A paste is in the box when its 22 arrives, too late to refuse.
        {Qt::Key_V, ctrl, 0, {"down 17 2", "down 86 2", "change", "press 22"}, "a<\r\n\r\n>b"},
        {Qt::Key_Insert, shift, 0, {"down 16 1", "down 45 1", "change", "press 22"}, "a<\r\n\r\n>b"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QKeySequence(c.key | c.modifiers).toString().toStdString() + " answered " + std::to_string(c.answer));
        RichTextBox box;
        box.show();
        QTest::keyClicks(&box, QStringLiteral("ab"));
        box.setSelStart(1);
        std::vector<std::string> events;
        QObject::connect(&box, &RichTextBox::KeyDown, &box, [&](int code, int shiftBits) {
            events.push_back("down " + std::to_string(code) + " " + std::to_string(shiftBits));
        });
        QObject::connect(&box, &RichTextBox::KeyPress, &box, [&](int *ascii) {
            events.push_back("press " + std::to_string(*ascii));
            if (c.answer >= 0)
                *ascii = c.answer;
        });
        QObject::connect(&box, &RichTextBox::Change, &box, [&] { events.push_back("change"); });
        QTest::keyClick(&box, c.key, c.modifiers);
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(s(box.Text()), c.text);
    }
}

TEST(RichTextBoxMouse, MouseMoveReportsTwipsAndButtons)
{
    RichTextBox box;
    box.resize(300, 200);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    std::vector<std::vector<int>> moves; // button, x, y
    int shift = 0;
    QObject::connect(&box, &RichTextBox::MouseMove, &box, [&](int button, int shiftBits, int x, int y) {
        moves.push_back({button, x, y});
        shift = shiftBits;
    });
    QWidget *viewport = box.viewport();
    const QPoint origin = viewport->pos(); // the viewport sits inside the frame

    QTest::mouseMove(viewport, QPoint(30, 17)); // no button held
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(40, 20));
    QMouseEvent drag(QEvent::MouseMove, QPointF(50, 21), viewport->mapToGlobal(QPointF(50, 21)), Qt::NoButton,
                     Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(viewport, &drag);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(50, 21));
    EXPECT_EQ(moves, (std::vector<std::vector<int>>{{0, (30 + origin.x()) * 15, (17 + origin.y()) * 15},
                                                    {1, (50 + origin.x()) * 15, (21 + origin.y()) * 15}}));
    EXPECT_EQ(shift, 1);
}

TEST(RichTextBoxFocus, SetFocusLeavesAHiddenBoxAlone)
{
    QWidget window; // not on screen: Visible is the box's own setting
    auto *other = new QPlainTextEdit(&window);
    auto *box = new RichTextBox(&window);
    other->setFocus();
    EXPECT_TRUE(box->Visible());
    box->setVisibleState(false);
    EXPECT_FALSE(box->Visible());
    box->SetFocus();
    EXPECT_EQ(window.focusWidget(), other);
    box->setVisibleState(true);
    box->SetFocus();
    EXPECT_EQ(window.focusWidget(), box);
}

} // namespace
