// The rich text box: CR LF offsets, line breaks, selection, colours (per line, moving with
// edits, never on the undo stack, shown on screen), Find, line operations, replaceInLine,
// and the Change / KeyDown / KeyPress / MouseMove events, driven with real keys and mouse.

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

#include <climits>
#include <functional>
#include <string>
#include <vector>

using quillbox::RichTextBox;
using quillbox::colouring::ColourRun;
using Runs = QList<ColourRun>;

namespace quillbox::colouring {
// Readable runs in test failures.
void PrintTo(const ColourRun &run, std::ostream *os)
{
    *os << "{" << run.start << ", " << run.length << ", 0x" << std::hex << run.bgr << std::dec << "}";
}
} // namespace quillbox::colouring

namespace {

constexpr std::uint32_t kRed = 0x0000FF;   // 0x00BBGGRR
constexpr std::uint32_t kGreen = 0x00FF00;
constexpr std::uint32_t kBlue = 0xFF0000;
constexpr std::uint32_t kNavy = 0x800000;

QString q(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

std::string s(const QString &text)
{
    return text.toStdString();
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

    // The colour of every character of the text, from colorAt.
    std::vector<std::uint32_t> colours()
    {
        std::vector<std::uint32_t> result;
        const int length = int(box.Text().size());
        for (int offset = 0; offset < length; ++offset)
            result.push_back(box.colorAt(offset));
        return result;
    }

    RichTextBox box;
    int changes = 0;
};

TEST_F(RichTextBoxTest, CaretOffsetsCountEachLineBreakAsTwo)
{
    // Lines "ab", "", "cd", "": offsets 2-3, 4-5 and 8-9 are the CR LF pairs.
    const QString text = q("ab\r\n\r\ncd\r\n");
    struct Case {
        int offset;
        int selStart; // where the caret lands
        int line;
        const char *afterInsert; // the text after typing "|" there
    };
    const Case cases[] = {
        {0, 0, 0, "|ab\r\n\r\ncd\r\n"},
        {1, 1, 0, "a|b\r\n\r\ncd\r\n"},
        {2, 2, 0, "ab|\r\n\r\ncd\r\n"},
        {3, 2, 0, "ab|\r\n\r\ncd\r\n"},      // between CR and LF: the line's end
        {4, 4, 1, "ab\r\n|\r\ncd\r\n"},      // an empty line
        {5, 4, 1, "ab\r\n|\r\ncd\r\n"},      // between the empty line's CR and LF
        {6, 6, 2, "ab\r\n\r\n|cd\r\n"},
        {8, 8, 2, "ab\r\n\r\ncd|\r\n"},
        {9, 8, 2, "ab\r\n\r\ncd|\r\n"},
        {10, 10, 3, "ab\r\n\r\ncd\r\n|"},    // behind the trailing break
        {1000000, 10, 3, "ab\r\n\r\ncd\r\n|"}, // beyond the end
        {-7, 0, 0, "|ab\r\n\r\ncd\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.offset);
        box.setText(text);
        box.setSelStart(c.offset);
        EXPECT_EQ(box.SelStart(), c.selStart);
        EXPECT_EQ(box.SelLength(), 0);
        EXPECT_EQ(box.GetLineFromChar(c.offset), c.line);
        EXPECT_EQ(box.LineFromChar(c.offset), c.line);
        box.setSelText(QStringLiteral("|"));
        EXPECT_EQ(s(box.Text()), c.afterInsert);
        EXPECT_EQ(box.SelStart(), c.selStart + 1);
    }
}

TEST_F(RichTextBoxTest, SelectionLengthCountsEachLineBreakAsTwo)
{
    const QString text = q("ab\r\n\r\ncd\r\n");
    struct Case {
        int start;
        int length;
        const char *selText;
        int selLength;
        int selectionEnd;
    };
    const Case cases[] = {
        {0, 2, "ab", 2, 2},
        {0, 3, "ab", 2, 2},            // ends between CR and LF: at the line's end
        {0, 4, "ab\r\n", 4, 4},
        {1, 4, "b\r\n", 3, 4},
        {2, 4, "\r\n\r\n", 4, 6},
        {3, 2, "\r\n", 2, 4},          // starts between CR and LF: from the line's end
        {6, 100, "cd\r\n", 4, 10},     // clamped at the end
        {0, INT_MAX, "ab\r\n\r\ncd\r\n", 10, 10},
        {4, 0, "", 0, 4},
        {4, -3, "", 0, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + "+" + std::to_string(c.length));
        box.setText(text);
        box.setSelStart(c.start);
        box.setSelLength(c.length);
        EXPECT_EQ(s(box.SelText()), c.selText);
        EXPECT_EQ(box.SelLength(), c.selLength);
        EXPECT_EQ(box.SelectionEnd(), c.selectionEnd);
        EXPECT_EQ(box.SelStart(), box.SelectionEnd() - c.selLength);
    }
}

TEST_F(RichTextBoxTest, EveryKindOfLineBreakBecomesOne)
{
    struct Case {
        const char *input;
        const char *text;
        int lines;
    };
    const Case cases[] = {
        {"", "", 1},
        {"one", "one", 1},
        {"a\r\nb", "a\r\nb", 2},
        {"a\nb", "a\r\nb", 2},
        {"a\rb", "a\r\nb", 2},
        {"a\u2028b", "a\r\nb", 2},
        {"a\u2029b", "a\r\nb", 2},
        {"a\r\r\nb", "a\r\n\r\nb", 3},  // a lone CR, then CR LF
        {"a\n\rb", "a\r\n\r\nb", 3},    // LF then CR are two breaks
        {"a\r\n", "a\r\n", 2},
        {"\r\n\r\n", "\r\n\r\n", 3},
        {"x\u2029\u2028\r\ny", "x\r\n\r\n\r\ny", 4},
        {"tab\tthere \u00e9\u00a0\u00fc", "tab\tthere \u00e9\u00a0\u00fc", 1}, // no-break space kept
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        changes = 0;
        box.setText(q(c.input));
        EXPECT_EQ(s(box.Text()), c.text);
        EXPECT_EQ(box.LineCount(), c.lines);
        EXPECT_EQ(changes, 1);

        // Inserted through the selection, the same breaks are made.
        box.setText(QStringLiteral("[]"));
        box.setSelStart(1);
        box.setSelText(q(c.input));
        EXPECT_EQ(s(box.Text()), "[" + std::string(c.text) + "]");
        EXPECT_EQ(box.LineCount(), c.lines);
    }
}

TEST_F(RichTextBoxTest, SelTextReplacesTheSelectionAndLeavesTheCaretBehind)
{
    struct Case {
        const char *text;
        int start;
        int length;
        const char *replacement;
        const char *result;
        int caret;
    };
    const Case cases[] = {
        {"Dim a As Long", 4, 1, "count", "Dim count As Long", 9},
        {"one\r\ntwo", 3, 2, " ", "one two", 4},             // replaces the break
        {"one\r\ntwo", 3, 0, "\n", "one\r\n\r\ntwo", 5},
        {"one\r\ntwo", 0, 8, "", "", 0},                     // deletes everything
        {"abc", 1, 1, "x\ry\r\nz", "ax\r\ny\r\nzc", 8},
        {"abc", 3, 0, "d", "abcd", 4},
        {"abc", 0, 3, "abc", "abc", 3},                      // identical text
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.result);
        box.setText(q(c.text));
        box.setSelStart(c.start);
        box.setSelLength(c.length);
        changes = 0;
        box.setSelText(q(c.replacement));
        EXPECT_EQ(s(box.Text()), c.result);
        EXPECT_EQ(box.SelStart(), c.caret);
        EXPECT_EQ(box.SelLength(), 0);
        EXPECT_EQ(changes, 1);
    }
}

TEST_F(RichTextBoxTest, ColouringASelectionChangesOnlyItsCharacters)
{
    box.setText(QStringLiteral("Dim x As Long\r\nx = 1"));
    struct Paint {
        int start;
        int length;
        std::uint32_t colour;
    };
    const Paint paints[] = {
        {0, 3, kBlue},      // Dim
        {9, 4, kRed},       // Long
        {11, 5, kGreen},    // "ng", the break and "x": across the line break
        {17, 1, 0x123456},
        {0, 1, 0},          // black again
    };
    std::vector<std::uint32_t> expected(box.Text().size(), 0);
    changes = 0;
    const int undoSteps = box.document()->availableUndoSteps();
    for (const Paint &p : paints) {
        box.setSelStart(p.start);
        box.setSelLength(p.length);
        box.setSelColor(p.colour);
        for (int i = p.start; i < p.start + p.length; ++i)
            expected[size_t(i)] = p.colour;
        EXPECT_EQ(box.SelStart(), p.start);
        EXPECT_EQ(box.SelLength(), p.length);
    }
    // A line break has no colour of its own (offsets 13 and 14).
    expected[13] = expected[14] = 0;
    EXPECT_EQ(colours(), expected);
    EXPECT_EQ(box.lineColours(0), (Runs{{1, 2, kBlue}, {9, 2, kRed}, {11, 2, kGreen}}));
    EXPECT_EQ(box.lineColours(1), (Runs{{0, 1, kGreen}, {2, 1, 0x123456}}));
    EXPECT_EQ(s(box.Text()), "Dim x As Long\r\nx = 1");
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(box.document()->availableUndoSteps(), undoSteps); // colours are no edits

    // Setting the text makes everything black, text typed afterwards too.
    box.setSelStart(0);
    box.setSelColor(kRed);
    box.setText(QStringLiteral("Dim y"));
    EXPECT_EQ(colours(), std::vector<std::uint32_t>(5, 0));
    box.setSelStart(5);
    QTest::keyClick(&box, 'z');
    EXPECT_EQ(box.colorAt(5), 0u);
}

TEST_F(RichTextBoxTest, SetLineColoursKeepsTheRunsInOrderClippedAndMerged)
{
    box.setText(QStringLiteral("first\r\nDim x As Long ' note\r\nlast"));
    box.setLineColours(0, {{0, 5, kGreen}});
    box.setLineColours(2, {{0, 4, kBlue}});
    struct Case {
        const char *name;
        Runs given;
        Runs kept; // for line 1, "Dim x As Long ' note" (20 characters)
    };
    const Case cases[] = {
        {"none", {}, {}},
        {"already clean", {{0, 3, kNavy}, {6, 2, kNavy}, {9, 4, kNavy}, {14, 6, kGreen}},
         {{0, 3, kNavy}, {6, 2, kNavy}, {9, 4, kNavy}, {14, 6, kGreen}}},
        {"touching runs of one colour merge", {{0, 3, kNavy}, {3, 2, kNavy}, {5, 1, kRed}}, {{0, 5, kNavy}, {5, 1, kRed}}},
        {"black runs are no runs", {{0, 3, 0}, {4, 1, kRed}}, {{4, 1, kRed}}},
        {"clipped at the end", {{15, 50, kGreen}}, {{15, 5, kGreen}}},
        {"clipped at the start", {{-3, 5, kRed}}, {{0, 2, kRed}}},
        {"past the end", {{20, 3, kRed}, {25, 1, kRed}}, {}},
        {"empty and negative lengths", {{2, 0, kRed}, {3, -1, kRed}}, {}},
        {"a later run paints over an earlier one", {{0, 10, kGreen}, {4, 1, kRed}},
         {{0, 4, kGreen}, {4, 1, kRed}, {5, 5, kGreen}}},
        {"out of order", {{10, 2, kRed}, {0, 2, kBlue}}, {{0, 2, kBlue}, {10, 2, kRed}}},
        {"the top byte is no colour", {{0, 2, 0xFF0000FF}, {2, 1, 0x01000000}}, {{0, 2, kRed}}},
        {"huge length", {{1, INT_MAX, kRed}}, {{1, 19, kRed}}},
    };
    changes = 0;
    const int undoSteps = box.document()->availableUndoSteps();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        box.setLineColours(1, {{0, 20, kGreen}}); // replaced entirely, not painted over
        box.setLineColours(1, c.given);
        EXPECT_EQ(box.lineColours(1), c.kept);
        const int start = box.LineIndex(1);
        for (int i = 0; i < 20; ++i) {
            std::uint32_t colour = 0;
            for (const ColourRun &run : c.kept)
                if (i >= run.start && i < run.start + run.length)
                    colour = run.bgr;
            EXPECT_EQ(box.colorAt(start + i), colour) << "at " << i;
        }
    }
    EXPECT_EQ(box.lineColours(0), (Runs{{0, 5, kGreen}}));
    EXPECT_EQ(box.lineColours(2), (Runs{{0, 4, kBlue}}));
    // Lines that do not exist are left alone.
    box.setLineColours(3, {{0, 1, kRed}});
    box.setLineColours(-1, {{0, 1, kRed}});
    EXPECT_EQ(box.lineColours(3), Runs());
    EXPECT_EQ(box.lineColours(-1), Runs());
    EXPECT_EQ(s(box.Text()), "first\r\nDim x As Long ' note\r\nlast");
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(box.document()->availableUndoSteps(), undoSteps);
}

TEST_F(RichTextBoxTest, ColoursMoveWithTheTextOfAnEdit)
{
    // Line 1 starts at offset 7; in it, Dim is kNavy and Long red.
    const QString text = QStringLiteral("first\r\nDim x As Long\r\nlast");
    using Action = std::function<void(RichTextBox &)>;
    const auto keys = [](const char *typed) {
        return [typed](RichTextBox &b) { QTest::keyClicks(&b, QString::fromLatin1(typed)); };
    };
    const auto key = [](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        return [k, m](RichTextBox &b) { QTest::keyClick(&b, k, m); };
    };
    // Text an input method commits, replacing `length` characters from `from` (caret-relative),
    // maybe after composing for a while.
    const auto commit = [](const char *typed, int from = 0, int length = 0, bool composeFirst = false) {
        return [=](RichTextBox &b) {
            if (composeFirst) {
                QInputMethodEvent compose(QStringLiteral("e"), {});
                QApplication::sendEvent(&b, &compose);
            }
            QInputMethodEvent done;
            done.setCommitString(q(typed), from, length);
            QApplication::sendEvent(&b, &done);
        };
    };
    struct Line {
        const char *text;
        Runs runs;
    };
    struct Case {
        const char *name;
        int caret;  // offset in the whole text
        int length; // selected from there
        Action act;
        std::vector<Line> lines;
    };
    const Line first{"first", {{0, 5, kGreen}}};
    const Line last{"last", {{0, 4, kBlue}}};
    const std::vector<Case> cases = {
        {"typing between runs", 12, 0, keys("y"), {first, {"Dim xy As Long", {{0, 3, kNavy}, {10, 4, kRed}}}, last}},
        {"typing inside a run", 18, 0, keys("q"), {first, {"Dim x As Loqng", {{0, 3, kNavy}, {9, 2, kRed}, {12, 2, kRed}}}, last}},
        {"typing before the runs", 7, 0, keys("z"), {first, {"zDim x As Long", {{1, 3, kNavy}, {10, 4, kRed}}}, last}},
        {"typing behind the last run", 20, 0, keys("s"), {first, {"Dim x As Longs", {{0, 3, kNavy}, {9, 4, kRed}}}, last}},
        {"Backspace inside a run", 10, 0, key(Qt::Key_Backspace), {first, {"Di x As Long", {{0, 2, kNavy}, {8, 4, kRed}}}, last}},
        {"Delete at the line's start", 7, 0, key(Qt::Key_Delete), {first, {"im x As Long", {{0, 2, kNavy}, {8, 4, kRed}}}, last}},
        {"Delete of the last coloured character", 19, 0, key(Qt::Key_Delete), {first, {"Dim x As Lon", {{0, 3, kNavy}, {9, 3, kRed}}}, last}},
        {"typing over a selection", 11, 4, keys("q"), {first, {"Dim q Long", {{0, 3, kNavy}, {6, 4, kRed}}}, last}},
        {"Enter in the middle", 11, 0, key(Qt::Key_Return), {first, {"Dim ", {{0, 3, kNavy}}}, {"x As Long", {{5, 4, kRed}}}, last}},
        {"Enter at the line's start", 7, 0, key(Qt::Key_Return), {first, {"", {}}, {"Dim x As Long", {{0, 3, kNavy}, {9, 4, kRed}}}, last}},
        {"Enter at the line's end", 20, 0, key(Qt::Key_Return), {first, {"Dim x As Long", {{0, 3, kNavy}, {9, 4, kRed}}}, {"", {}}, last}},
        {"Enter inside a run", 18, 0, key(Qt::Key_Return), {first, {"Dim x As Lo", {{0, 3, kNavy}, {9, 2, kRed}}}, {"ng", {{0, 2, kRed}}}, last}},
        {"pasting two lines", 12, 0,
         [](RichTextBox &b) {
             QGuiApplication::clipboard()->setText(QStringLiteral("p\nq"));
             QTest::keyClick(&b, Qt::Key_V, Qt::ControlModifier);
         },
         {first, {"Dim xp", {{0, 3, kNavy}}}, {"q As Long", {{5, 4, kRed}}}, last}},
        {"typing in the typing colour, set elsewhere", 12, 0,
         [](RichTextBox &b) {
             b.setSelStart(0);
             b.setSelColor(kGreen); // stays the typing colour wherever the caret goes
             b.setSelStart(12);
             QTest::keyClick(&b, 'y');
         },
         {first, {"Dim xy As Long", {{0, 3, kNavy}, {5, 1, kGreen}, {10, 4, kRed}}}, last}},
        {"setSelText at the caret takes the typing colour", 12, 0,
         [](RichTextBox &b) {
             b.setSelColor(kBlue);
             b.setSelText(QStringLiteral("yz"));
         },
         {first, {"Dim xyz As Long", {{0, 3, kNavy}, {5, 2, kBlue}, {11, 4, kRed}}}, last}},
        {"setSelText replacing takes the first replaced colour", 7, 5,
         [](RichTextBox &b) { b.setSelText(QStringLiteral("ReDim")); },
         {first, {"ReDim As Long", {{0, 5, kNavy}, {9, 4, kRed}}}, last}},
        {"an input method's text inside a run", 18, 0, commit("\u00e9", 0, 0, true), {first, {"Dim x As Lo\u00e9ng", {{0, 3, kNavy}, {9, 2, kRed}, {12, 2, kRed}}}, last}},
        {"an input method replacing the character before", 10, 0, commit("\u00ea", -1, 1), {first, {"Di\u00ea x As Long", {{0, 2, kNavy}, {9, 4, kRed}}}, last}},
        {"an input method's text over a selection", 11, 4, commit("q"), {first, {"Dim q Long", {{0, 3, kNavy}, {6, 4, kRed}}}, last}},
        // Joining lines keeps the first line's colours up to the edit; the rest is black.
        {"Backspace at the line's start", 7, 0, key(Qt::Key_Backspace), {{"firstDim x As Long", {{0, 5, kGreen}}}, last}},
        {"typing over a selection across lines", 2, 9, keys("q"), {{"fiqx As Long", {{0, 2, kGreen}}}, last}},
        {"typing over a selection from a line's start across lines", 7, 17, keys("q"), {first, {"qst", {}}}},
        {"an input method's text over lines", 2, 9, commit("q"), {{"fiqx As Long", {{0, 2, kGreen}}}, last}},
        {"an input method's text with a line break", 12, 0, commit("p\nq"),
         {first, {"Dim xp", {{0, 3, kNavy}}}, {"q As Long", {{5, 4, kRed}}}, last}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        box.setText(text);
        box.setLineColours(0, {{0, 5, kGreen}});
        box.setLineColours(1, {{0, 3, kNavy}, {9, 4, kRed}});
        box.setLineColours(2, {{0, 4, kBlue}});
        box.setSelStart(c.caret);
        box.setSelLength(c.length);
        changes = 0;
        c.act(box);
        EXPECT_EQ(changes, 1);
        ASSERT_EQ(box.LineCount(), int(c.lines.size()));
        for (int i = 0; i < box.LineCount(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(s(box.GetLine(i)), c.lines[size_t(i)].text);
            EXPECT_EQ(box.lineColours(i), c.lines[size_t(i)].runs);
        }
    }
}

TEST_F(RichTextBoxTest, UndoAndRedoStepThroughTextOnlyAndColoursStay)
{
    box.setText(QStringLiteral("Dim x As Long"));
    box.setSelStart(5);
    QTest::keyClicks(&box, QStringLiteral("yz"));
    EXPECT_EQ(s(box.Text()), "Dim xyz As Long");
    // Colouring after the typing leaves nothing of its own to undo.
    box.setLineColours(0, {{0, 3, kNavy}, {11, 4, kRed}});
    box.setSelStart(0);
    box.setSelLength(1);
    box.setSelColor(kGreen);
    const Runs coloured{{0, 1, kGreen}, {1, 2, kNavy}, {11, 4, kRed}};
    ASSERT_EQ(box.lineColours(0), coloured);
    changes = 0;

    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(s(box.Text()), "Dim x As Long");
    EXPECT_EQ(box.lineColours(0), (Runs{{0, 1, kGreen}, {1, 2, kNavy}, {9, 4, kRed}}));
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(box.document()->isUndoAvailable());

    // Redone text takes the typing colour (black); the rest stays where it stands.
    QTest::keyClick(&box, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(s(box.Text()), "Dim xyz As Long");
    EXPECT_EQ(box.lineColours(0), coloured);
    EXPECT_EQ(changes, 2);
    box.undo();
    box.redo();
    EXPECT_EQ(box.lineColours(0), coloured);
    EXPECT_EQ(changes, 4);
}

TEST_F(RichTextBoxTest, ReplaceInLineIsOneEditAndKeepsTheCaret)
{
    // Line 0 "dim x as long" (13 characters); line 1 starts at offset 15.
    const QString text = QStringLiteral("dim x as long\r\nnext line");
    struct Case {
        const char *name;
        int line;
        int start;
        int length;
        const char *replacement;
        int selStart; // before
        int selLength;
        const char *result;
        int changes;
        int selStartAfter;
        int selLengthAfter;
    };
    const Case cases[] = {
        {"rewrite before the caret", 0, 0, 3, "Dim", 13, 0, "Dim x as long\r\nnext line", 1, 13, 0},
        {"the same text", 0, 0, 3, "dim", 13, 0, "dim x as long\r\nnext line", 0, 13, 0},
        {"longer, ending at the caret", 0, 9, 4, "Longer", 13, 0, "dim x as Longer\r\nnext line", 1, 15, 0},
        {"caret inside the rewrite", 0, 0, 3, "Dim", 1, 0, "Dim x as long\r\nnext line", 1, 1, 0},
        {"caret inside, the text shrinks", 0, 0, 3, "D", 2, 0, "D x as long\r\nnext line", 1, 1, 0},
        {"insertion at the caret", 0, 0, 0, "' ", 0, 0, "' dim x as long\r\nnext line", 1, 0, 0},
        {"caret on a later line", 0, 0, 3, "Dimension", 17, 0, "Dimension x as long\r\nnext line", 1, 23, 0},
        {"caret before the rewrite", 0, 9, 4, "L", 2, 0, "dim x as L\r\nnext line", 1, 2, 0},
        {"selection around the rewrite", 0, 4, 1, "yy", 2, 6, "dim yy as long\r\nnext line", 1, 2, 7},
        {"deletion", 0, 3, 2, "", 13, 0, "dim as long\r\nnext line", 1, 11, 0},
        {"clipped to the line", 0, 10, 100, "NG", 0, 0, "dim x as lNG\r\nnext line", 1, 0, 0},
        {"on the last line", 1, 0, 4, "Next", 3, 0, "dim x as long\r\nNext line", 1, 3, 0},
        {"a line that does not exist", 2, 0, 0, "x", 3, 0, "dim x as long\r\nnext line", 0, 3, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        box.setText(text);
        box.setSelStart(c.selStart);
        box.setSelLength(c.selLength);
        const int undoSteps = box.document()->availableUndoSteps();
        changes = 0;
        box.replaceInLine(c.line, c.start, c.length, q(c.replacement));
        EXPECT_EQ(s(box.Text()), c.result);
        EXPECT_EQ(changes, c.changes);
        EXPECT_EQ(box.SelStart(), c.selStartAfter);
        EXPECT_EQ(box.SelLength(), c.selLengthAfter);
        if (c.changes == 0) {
            EXPECT_EQ(box.document()->availableUndoSteps(), undoSteps);
            continue;
        }
        box.undo(); // one step takes the whole rewrite back
        EXPECT_EQ(box.Text(), text);
        EXPECT_EQ(changes, 2);
    }

    // The new text takes the colour of the first character it replaces; at a point, the
    // typing colour.
    box.setText(text);
    box.setLineColours(0, {{0, 3, kGreen}, {9, 4, kNavy}});
    box.replaceInLine(0, 0, 3, QStringLiteral("Dim"));
    box.replaceInLine(0, 9, 4, QStringLiteral("Long"));
    box.setSelColor(kRed);
    box.replaceInLine(0, 13, 0, QStringLiteral("!"));
    EXPECT_EQ(s(box.GetLine(0)), "Dim x as Long!");
    EXPECT_EQ(box.lineColours(0), (Runs{{0, 3, kGreen}, {9, 4, kNavy}, {13, 1, kRed}}));
}

TEST_F(RichTextBoxTest, ABulkPassMakesItsRewritesOneEdit)
{
    const QString text = QStringLiteral("dim a\r\nx = 1 ' note\r\nendif");
    box.setText(text);
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
    const char *const steps[] = {"Dim a\r\n' x = 1 ' note\r\nEnd If!", "Dim a\r\n' x = 1 ' note\r\nEnd If", "dim a\r\nx = 1 ' note\r\nendif"};
    for (const char *step : steps) {
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
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines << QStringLiteral("WWWWWW");
    box.setText(lines.join(QStringLiteral("\r\n")));

    // Pixels of the line on screen that are plainly red.
    const auto redPixels = [this](int line) {
        QTextCursor cursor(box.document()->findBlockByNumber(line));
        const QRect row = box.cursorRect(cursor);
        // What the window shows once pending paints are done, not a fresh rendering.
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
    // Composing text with an input method on a red line, then giving up, leaves it red.
    box.setLineColours(1, {{0, 3, kRed}});
    box.setSelStart(box.LineIndex(1) + 4);
    {
        QInputMethodEvent compose(QStringLiteral("xy"), {});
        QApplication::sendEvent(&box, &compose);
        QInputMethodEvent cancel;
        QApplication::sendEvent(&box, &cancel);
    }
    EXPECT_EQ(s(box.GetLine(1)), "WWWWWW");
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

    // An edit in a coloured line keeps the colour on screen; typed text is black.
    box.setSelStart(box.LineIndex(181));
    QTest::keyClick(&box, Qt::Key_Backspace); // joins lines 180 and 181
    box.setSelStart(box.LineIndex(180));
    QTest::keyClick(&box, Qt::Key_Delete);
    EXPECT_EQ(s(box.GetLine(180)), "WWWWWWWWWWW");
    EXPECT_GT(redPixels(180), 0);
    // Cut back to less than the red run, the line still shows red and nothing past its text.
    box.setSelStart(box.LineIndex(180) + 2);
    box.setSelLength(9);
    QTest::keyClick(&box, Qt::Key_Backspace);
    EXPECT_EQ(s(box.GetLine(180)), "WW");
    EXPECT_EQ(box.lineColours(180), (Runs{{0, 2, kRed}}));
    EXPECT_GT(redPixels(180), 0);
    box.setLineColours(180, {});
    EXPECT_EQ(redPixels(180), 0);

    // Text typed where a deleted run stood is black on screen.
    box.setText(QStringLiteral("WWWWWWWW"));
    box.setLineColours(0, {{5, 3, kRed}});
    EXPECT_GT(redPixels(0), 0);
    box.setSelStart(2);
    box.setSelLength(6);
    QTest::keyClick(&box, Qt::Key_Backspace);
    QTest::keyClicks(&box, QStringLiteral("WWWWWW"));
    EXPECT_EQ(redPixels(0), 0);
}

TEST_F(RichTextBoxTest, AHundredThousandLines)
{
    QStringList lines;
    for (int i = 0; i < 100000; ++i)
        lines << QStringLiteral("dim line%1 as long ' %1").arg(i);
    box.setText(lines.join(QStringLiteral("\r\n")));
    ASSERT_EQ(box.LineCount(), 100000);

    box.beginBulkColouring();
    box.beginBulkColouring(); // nested
    for (int i = 0; i < 100000; ++i)
        box.setLineColours(i, {{0, 3, kNavy}, {int(lines[i].indexOf(QLatin1Char('\''))), 8, kGreen}});
    box.endBulkColouring();
    box.endBulkColouring();
    box.endBulkColouring(); // one too many is harmless
    // The comment runs were given 8 long and are clipped at the line's end.
    EXPECT_EQ(box.lineColours(0), (Runs{{0, 3, kNavy}, {18, 3, kGreen}}));
    EXPECT_EQ(box.lineColours(99999), (Runs{{0, 3, kNavy}, {22, 7, kGreen}}));

    // A pass that rewrites every line, as colouring a pasted box may.
    changes = 0;
    box.beginBulkColouring();
    for (int i = 0; i < 100000; ++i) {
        box.replaceInLine(i, 0, 3, QStringLiteral("Dim"));
        box.replaceInLine(i, 0, 0, QStringLiteral(" "));
    }
    box.endBulkColouring();
    EXPECT_EQ(changes, 200000);
    EXPECT_EQ(s(box.GetLine(0)), " Dim line0 as long ' 0");
    EXPECT_EQ(box.lineColours(0), (Runs{{1, 3, kNavy}, {19, 3, kGreen}}));
    box.setLineColours(99998, {{4, 6, kRed}});
    EXPECT_EQ(box.lineColours(99998), (Runs{{4, 6, kRed}}));
    const int last = box.LineIndex(99999);
    box.replaceInLine(99999, 0, 1, QString());
    EXPECT_EQ(s(box.GetLine(99999)), "Dim line99999 as long ' 99999");
    EXPECT_EQ(box.colorAt(last), kNavy);
    EXPECT_EQ(box.colorAt(last + 3), 0u);
    EXPECT_EQ(box.colorAt(last + 22), kGreen);
    EXPECT_EQ(box.colorAt(last + 21), 0u);
    EXPECT_EQ(box.colorAt(box.LineIndex(99998) + 4), kRed);
    EXPECT_EQ(changes, 200001);
    box.undo();
    box.undo(); // the whole pass
    EXPECT_EQ(s(box.GetLine(99999)), "dim line99999 as long ' 99999");
    EXPECT_EQ(s(box.GetLine(0)), "dim line0 as long ' 0");
}

TEST_F(RichTextBoxTest, FindHonoursStartWholeWordAndCase)
{
    // Line 1 starts at 19, line 2 at 44; the text ends at 60.
    box.setText(QStringLiteral("Dim total As Long\r\nTotal = total_x + Total\r\nsubtotal = TOTAL"));
    const int wholeWord = RichTextBox::rtfWholeWord;
    const int matchCase = RichTextBox::rtfMatchCase;
    struct Case {
        const char *needle;
        int start;
        int options;
        int found;
    };
    const Case cases[] = {
        {"total", 0, 0, 4},
        {"total", 5, 0, 19},                      // any case
        {"total", 5, matchCase, 27},
        {"total", 5, wholeWord, 19},
        {"total", 20, wholeWord, 37},             // total_x is no whole word
        {"total", 20, wholeWord | matchCase, -1},
        {"Total", 20, wholeWord | matchCase, 37},
        {"total", 38, 0, 47},                     // inside subtotal
        {"total", 38, wholeWord, 55},
        {"TOTAL", 0, wholeWord | matchCase, 55},  // at the very end
        {"Dim", 0, wholeWord, 0},                 // at the very start
        {"x", 0, wholeWord, -1},                  // after an underscore
        {"total", 4, 0, 4},                       // a match at the start offset
        {"long\r\ntotal", 0, 0, 13},              // across a line break
        {"Long\ntotal", 0, matchCase, -1},
        {"Long\r\nTotal", 14, 0, -1},
        {"\r\nsub", 0, 0, 42},
        {"\r\nsub", 43, 0, -1},                   // from between that CR and LF
        {"missing", 0, 0, -1},
        {"", 0, 0, -1},
        {"total", 61, 0, -1},
        {"total", -5, 0, 4},
    };
    changes = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.needle) + " from " + std::to_string(c.start));
        box.setSelStart(1);
        box.setSelLength(2);
        const QString needle = q(c.needle);
        EXPECT_EQ(box.Find(needle, c.start, c.options), c.found);
        if (c.found >= 0) {
            EXPECT_EQ(box.SelStart(), c.found);
            EXPECT_EQ(box.SelLength(), needle.size());
            EXPECT_EQ(box.SelText().compare(needle, Qt::CaseInsensitive), 0);
        } else {
            EXPECT_EQ(box.SelStart(), 1);
            EXPECT_EQ(box.SelLength(), 2);
        }
    }
    EXPECT_EQ(changes, 0);
}

TEST_F(RichTextBoxTest, LineOperationsOnAThousandLines)
{
    std::vector<QString> lines;
    std::vector<int> starts;
    QString text;
    for (int i = 0; i < 1000; ++i) {
        lines.push_back(i % 100 == 7 ? QString() : QStringLiteral("line %1 %2").arg(i).arg(QString(i % 13, QLatin1Char('x'))));
        starts.push_back(int(text.size()));
        text += lines.back();
        if (i < 999)
            text += QStringLiteral("\r\n");
    }
    box.setText(text);
    ASSERT_EQ(box.Text(), text);
    EXPECT_EQ(box.LineCount(), 1000);

    for (int line : {0, 1, 7, 500, 807, 998, 999}) {
        SCOPED_TRACE(line);
        const int start = starts[size_t(line)];
        const int length = int(lines[size_t(line)].size());
        EXPECT_EQ(box.LineIndex(line), start);
        EXPECT_EQ(box.LineFromChar(start), line);
        EXPECT_EQ(box.GetLineFromChar(start + length), line); // the line's end
        if (line < 999) {
            EXPECT_EQ(box.LineFromChar(start + length + 1), line); // between CR and LF
        }
        if (line > 0) {
            EXPECT_EQ(box.LineFromChar(start - 1), line - 1);
        }
        EXPECT_EQ(box.LineLength(start), length);
        EXPECT_EQ(box.LineLength(start + length), length);
        EXPECT_EQ(s(box.GetLine(line)), s(lines[size_t(line)]));

        // -1 stands for the caret's line.
        box.setSelStart(start + length / 2);
        EXPECT_EQ(box.LineIndex(-1), start);
        EXPECT_EQ(box.LineFromChar(-1), line);
        EXPECT_EQ(box.LineLength(-1), length);
    }
    EXPECT_EQ(box.LineIndex(1000), -1);
    EXPECT_EQ(box.LineIndex(-2), -1);
    EXPECT_EQ(box.GetLine(1000), QString());
    EXPECT_EQ(box.GetLineFromChar(int(text.size())), 999);
    EXPECT_EQ(box.GetLineFromChar(int(text.size()) + 50), 999);

    box.setSelStart(starts[10]);
    box.setSelLength(starts[12] - starts[10]);
    EXPECT_EQ(box.SelectionEnd(), starts[12]);
    EXPECT_EQ(box.LineFromChar(box.SelectionEnd()), 12);
}

TEST_F(RichTextBoxTest, EmptyBoxHasOneLine)
{
    EXPECT_EQ(box.LineCount(), 1);
    EXPECT_EQ(box.LineIndex(0), 0);
    EXPECT_EQ(box.LineIndex(1), -1);
    EXPECT_EQ(box.LineLength(0), 0);
    EXPECT_EQ(box.GetLineFromChar(0), 0);
    EXPECT_EQ(box.Text(), QString());
    EXPECT_EQ(box.Find(QStringLiteral("a"), 0), -1);
    EXPECT_EQ(box.lineColours(0), Runs());
    EXPECT_TRUE(box.firstCharacter().isNull());
}

TEST_F(RichTextBoxTest, FirstCharacterIsTheTextsFirst)
{
    const char *const texts[] = {"", "Dim", "'note", "\r\nx", "\n", " x", "\u00e9t\u00e9"};
    for (const char *text : texts) {
        SCOPED_TRACE(text);
        box.setText(q(text));
        const QString whole = box.Text(); // first line empty: the CR of its break
        EXPECT_EQ(box.firstCharacter(), whole.isEmpty() ? QChar() : whole.at(0));
    }
    box.setText(QStringLiteral("b"));
    box.setSelStart(0);
    QTest::keyClick(&box, 'a');
    EXPECT_EQ(box.firstCharacter(), QChar(u'a'));
    box.setSelStart(0);
    box.setSelLength(2);
    QTest::keyClick(&box, Qt::Key_Delete);
    EXPECT_TRUE(box.firstCharacter().isNull());
}

TEST(RichTextBoxChange, RaisedOnceForEveryChangeOfText)
{
    using Action = std::function<void(RichTextBox &)>;
    const auto key = [](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        return [k, m](RichTextBox &b) { QTest::keyClick(&b, k, m); };
    };
    const auto select = [](int start, int length) {
        return [start, length](RichTextBox &b) {
            b.setSelStart(start);
            b.setSelLength(length);
        };
    };
    struct Case {
        const char *name;
        Action prepare; // on "abc def", caret at 3
        Action act;
        int changes;
    };
    const Action nothing = [](RichTextBox &) {};
    const std::vector<Case> cases = {
        {"setText", nothing, [](RichTextBox &b) { b.setText(QStringLiteral("x")); }, 1},
        {"setText of the same text", nothing, [](RichTextBox &b) { b.setText(QStringLiteral("abc def")); }, 1},
        {"setSelText at the caret", nothing, [](RichTextBox &b) { b.setSelText(QStringLiteral("\r\n")); }, 1},
        {"empty setSelText at the caret", nothing, [](RichTextBox &b) { b.setSelText(QString()); }, 0},
        {"empty setSelText over a selection", select(0, 2), [](RichTextBox &b) { b.setSelText(QString()); }, 1},
        {"typing a letter", nothing, key(Qt::Key_Q), 1},
        {"typing over a selection", select(0, 3), key(Qt::Key_Q), 1},
        {"typing the selected letter over it", select(1, 1), key(Qt::Key_B), 1},
        {"Enter", nothing, key(Qt::Key_Return), 1},
        {"Backspace", nothing, key(Qt::Key_Backspace), 1},
        {"Delete at the end", [](RichTextBox &b) { b.setSelStart(7); }, key(Qt::Key_Delete), 0},
        {"Ctrl+X", select(0, 3), key(Qt::Key_X, Qt::ControlModifier), 1},
        {"Ctrl+V", [](RichTextBox &) { QGuiApplication::clipboard()->setText(QStringLiteral("p")); },
         key(Qt::Key_V, Qt::ControlModifier), 1},
        {"typing, then Ctrl+Z", nothing,
         [](RichTextBox &b) {
             QTest::keyClick(&b, 'q');
             QTest::keyClick(&b, Qt::Key_Z, Qt::ControlModifier);
         },
         2},
        {"colouring a selection", select(0, 3), [](RichTextBox &b) { b.setSelColor(kRed); }, 0},
        {"colouring at the caret", nothing, [](RichTextBox &b) { b.setSelColor(kRed); }, 0},
        {"colouring a line, in bulk too", nothing,
         [](RichTextBox &b) {
             b.setLineColours(0, {{0, 3, kRed}});
             b.beginBulkColouring();
             b.setLineColours(0, {{4, 3, kRed}});
             b.endBulkColouring();
         },
         0},
        {"colouring, then Ctrl+Z undoes the typing before", key(Qt::Key_Q),
         [](RichTextBox &b) {
             b.setLineColours(0, {{0, 3, kRed}});
             QTest::keyClick(&b, Qt::Key_Z, Qt::ControlModifier);
         },
         1},
        {"replaceInLine", nothing, [](RichTextBox &b) { b.replaceInLine(0, 0, 3, QStringLiteral("ABC")); }, 1},
        {"composing with an input method, then giving up", nothing,
         [](RichTextBox &b) {
             b.setLineColours(0, {{0, 3, kRed}});
             QInputMethodEvent compose(QStringLiteral("xy"), {});
             QApplication::sendEvent(&b, &compose);
             QInputMethodEvent cancel;
             QApplication::sendEvent(&b, &cancel);
             EXPECT_EQ(b.lineColours(0), (Runs{{0, 3, kRed}}));
         },
         0},
        {"an input method committing text", nothing,
         [](RichTextBox &b) {
             QInputMethodEvent commit;
             commit.setCommitString(QStringLiteral("\u00e9"));
             QApplication::sendEvent(&b, &commit);
         },
         1},
        {"replaceInLine with the same text", nothing,
         [](RichTextBox &b) { b.replaceInLine(0, 4, 3, QStringLiteral("def")); }, 0},
        {"moving the caret and selecting", nothing, key(Qt::Key_Home, Qt::ShiftModifier), 0},
        {"Find", nothing, [](RichTextBox &b) { b.Find(QStringLiteral("def"), 0); }, 0},
        {"font and tab width", nothing,
         [](RichTextBox &b) {
             b.setFont(QFont(QStringLiteral("Monospace"), 15));
             b.setTabStopDistance(33);
         },
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RichTextBox box;
        box.show();
        box.setText(QStringLiteral("abc def"));
        box.setSelStart(3);
        c.prepare(box);
        int changes = 0;
        QObject::connect(&box, &RichTextBox::Change, &box, [&changes] { ++changes; });
        c.act(box);
        EXPECT_EQ(changes, c.changes);
    }
}

// Records the key events of a box, in order, as text.
struct KeyLog {
    explicit KeyLog(RichTextBox &box)
    {
        QObject::connect(&box, &RichTextBox::KeyDown, &box, [this](int code, int shift) {
            events.push_back("down " + std::to_string(code) + " " + std::to_string(shift));
        });
        QObject::connect(&box, &RichTextBox::KeyPress, &box, [this](int *ascii) {
            events.push_back("press " + std::to_string(*ascii));
            if (answer >= 0)
                *ascii = answer;
        });
        QObject::connect(&box, &RichTextBox::Change, &box, [this] { events.push_back("change"); });
    }
    std::vector<std::string> events;
    int answer = -1; // what KeyPress handlers answer; -1 leaves the key alone
};

TEST(RichTextBoxKeys, KeyDownComesFirstThenKeyPressThenTheEdit)
{
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::vector<std::string> events;
    };
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const std::vector<Case> cases = {
        {Qt::Key_A, none, {"down 65 0", "press 97", "change"}},
        {Qt::Key_5, none, {"down 53 0", "press 53", "change"}},
        {Qt::Key_Space, none, {"down 32 0", "press 32", "change"}},
        {Qt::Key_Return, none, {"down 13 0", "press 13", "change"}},
        {Qt::Key_Return, Qt::ShiftModifier, {"down 16 1", "down 13 1", "press 13", "change"}},
        {Qt::Key_Enter, Qt::KeypadModifier, {"down 13 0", "press 13", "change"}},
        {Qt::Key_Backspace, none, {"down 8 0", "press 8", "change"}},
        {Qt::Key_Tab, none, {"down 9 0", "press 9", "change"}},
        {Qt::Key_Escape, none, {"down 27 0", "press 27"}},
        {Qt::Key_C, Qt::ControlModifier, {"down 17 2", "down 67 2", "press 3"}},
        {Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier, {"down 16 1", "down 17 3", "down 65 3", "press 1"}},
        {Qt::Key_Left, none, {"down 37 0"}},
        {Qt::Key_Home, Qt::ShiftModifier, {"down 16 1", "down 36 1"}},
        {Qt::Key_PageDown, none, {"down 34 0"}},
        {Qt::Key_Delete, none, {"down 46 0", "change"}},
        {Qt::Key_Insert, none, {"down 45 0"}},
        {Qt::Key_F1, none, {"down 112 0"}},
        {Qt::Key_F5, Qt::AltModifier, {"down 18 4", "down 116 4"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QKeySequence(c.key | c.modifiers).toString().toStdString());
        RichTextBox box;
        box.show();
        box.setText(QStringLiteral("xy"));
        box.setSelStart(1);
        KeyLog log(box);
        QTest::keyClick(&box, c.key, c.modifiers);
        EXPECT_EQ(log.events, c.events);
    }
}

TEST(RichTextBoxKeys, KeyPressCanDiscardOrReplaceTheCharacter)
{
    struct Case {
        const char *name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int answer;
        const char *text; // from "ab" with the caret at 1
        int lines;
    };
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Case cases[] = {
        {"Enter discarded", Qt::Key_Return, none, 0, "ab", 1},
        {"letter discarded", Qt::Key_Q, none, 0, "ab", 1},
        {"Backspace discarded", Qt::Key_Backspace, none, 0, "ab", 1},
        {"letter replaced", Qt::Key_Q, none, 'B', "aBb", 1},
        {"Enter replaced by a letter", Qt::Key_Return, none, 'x', "axb", 1},
        {"letter replaced by Enter", Qt::Key_Q, none, 13, "a\r\nb", 2},
        {"letter replaced by Backspace", Qt::Key_Q, none, 8, "b", 1},
        {"letter replaced by Tab", Qt::Key_Q, none, 9, "a\tb", 1},
        {"letter replaced beyond the BMP", Qt::Key_Q, none, 0x1F600, "a\U0001F600b", 1},
        {"Enter", Qt::Key_Return, none, -1, "a\r\nb", 2},
        {"Shift+Enter is a plain break", Qt::Key_Return, Qt::ShiftModifier, -1, "a\r\nb", 2},
        {"Ctrl+Enter is a plain break", Qt::Key_Return, Qt::ControlModifier, -1, "a\r\nb", 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RichTextBox box;
        box.show();
        box.setText(QStringLiteral("ab"));
        box.setSelStart(1);
        KeyLog log(box);
        log.answer = c.answer;
        QTest::keyClick(&box, c.key, c.modifiers);
        EXPECT_EQ(s(box.Text()), c.text);
        EXPECT_EQ(box.LineCount(), c.lines);
        EXPECT_FALSE(box.document()->toRawText().contains(QChar::LineSeparator));
        const bool changed = std::string(c.text) != "ab";
        EXPECT_EQ(log.events.back() == "change", changed);
    }

    // Ctrl+Z discarded leaves the typing in place.
    RichTextBox box;
    box.show();
    QTest::keyClick(&box, 'k');
    KeyLog log(box);
    log.answer = 0;
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(s(box.Text()), "k");
    EXPECT_EQ(log.events, (std::vector<std::string>{"down 17 2", "down 90 2", "press 26"}));
}

TEST(RichTextBoxKeys, PasteIsInTheBoxWhenKeyPressArrives)
{
    struct Case {
        const char *name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int keyDown;
        int shift;
    };
    const Case cases[] = {
        {"Ctrl+V", Qt::Key_V, Qt::ControlModifier, 86, 2},
        {"Shift+Insert", Qt::Key_Insert, Qt::ShiftModifier, 45, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QGuiApplication::clipboard()->setText(QStringLiteral("one\ntwo"));
        RichTextBox box;
        box.show();
        box.setText(QStringLiteral("[]"));
        box.setSelStart(1);
        std::vector<std::string> seen;
        int changes = 0;
        QObject::connect(&box, &RichTextBox::Change, &box, [&] { ++changes; });
        QObject::connect(&box, &RichTextBox::KeyDown, &box, [&](int code, int shift) {
            if (code == 16 || code == 17)
                return; // Shift or Ctrl going down first
            EXPECT_EQ(code, c.keyDown);
            EXPECT_EQ(shift, c.shift);
            seen.push_back("down: " + s(box.Text()));
        });
        QObject::connect(&box, &RichTextBox::KeyPress, &box, [&](int *ascii) {
            seen.push_back("press " + std::to_string(*ascii) + ": " + s(box.Text()));
            *ascii = 0; // too late to refuse a paste
        });
        QTest::keyClick(&box, c.key, c.modifiers);
        EXPECT_EQ(seen, (std::vector<std::string>{"down: []", "press 22: [one\r\ntwo]"}));
        EXPECT_EQ(s(box.Text()), "[one\r\ntwo]");
        EXPECT_EQ(box.SelStart(), 9);
        EXPECT_EQ(changes, 1);
    }
}

TEST(RichTextBoxKeys, PastingRichTextInsertsPlainText)
{
    auto *data = new QMimeData;
    data->setHtml(QStringLiteral("<p><span style=\"color:#ff0000\">red</span></p><p>line</p>"));
    data->setText(q("red\u2028line\rend"));
    QGuiApplication::clipboard()->setMimeData(data);

    RichTextBox box;
    box.show();
    QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(s(box.Text()), "red\r\nline\r\nend");
    EXPECT_EQ(box.LineCount(), 3);
    EXPECT_EQ(box.colorAt(0), 0u);
}

TEST(RichTextBoxMouse, MouseMoveReportsTwipsAndButtons)
{
    RichTextBox box;
    box.resize(300, 200);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_TRUE(box.viewport()->hasMouseTracking());
    struct Move {
        int button;
        int shift;
        int x;
        int y;
    };
    std::vector<Move> moves;
    QObject::connect(&box, &RichTextBox::MouseMove, &box, [&](int button, int shift, int x, int y) {
        moves.push_back({button, shift, x, y});
    });
    QWidget *viewport = box.viewport();
    const QPoint origin = viewport->pos(); // the viewport sits inside the frame

    QTest::mouseMove(viewport, QPoint(30, 17));
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].button, 0);
    EXPECT_EQ(moves[0].x, (30 + origin.x()) * 15);
    EXPECT_EQ(moves[0].y, (17 + origin.y()) * 15);

    // With the left button held.
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(40, 20));
    QMouseEvent drag(QEvent::MouseMove, QPointF(50, 21), viewport->mapToGlobal(QPointF(50, 21)),
                     Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(viewport, &drag);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(50, 21));
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[1].button, 1);
    EXPECT_EQ(moves[1].shift, 1);
    EXPECT_EQ(moves[1].x, (50 + origin.x()) * 15);
}

TEST(RichTextBoxFocus, SetFocusLeavesAHiddenBoxAlone)
{
    QWidget window;
    auto *other = new QPlainTextEdit(&window);
    auto *box = new RichTextBox(&window);
    other->setFocus();
    // The window is not on screen; the box's own setting is what Visible reports.
    EXPECT_TRUE(box->Visible());
    EXPECT_FALSE(box->isVisible());

    box->setVisibleState(false);
    EXPECT_FALSE(box->Visible());
    box->SetFocus();
    EXPECT_EQ(window.focusWidget(), other);

    box->setVisibleState(true);
    EXPECT_TRUE(box->Visible());
    box->SetFocus();
    EXPECT_EQ(window.focusWidget(), box);
}

} // namespace
