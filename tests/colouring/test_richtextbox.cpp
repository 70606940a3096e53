// The rich text box, shown and driven with real keys where it is about editing. How colours
// move with typing, pastes and setSelText is the random walk's (test_fuzz.cpp); here: CR LF
// offsets, input methods, bulk passes and undo, the screen, Find, the line messages, events.

#include "colouring/richtextbox.h"
#include "colouringtesting.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QScreen>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <climits>

using quillbox::RichTextBox;

namespace {

class RichTextBoxTest : public ::testing::Test {
protected:
    RichTextBoxTest()
    {
        box.resize(400, 300);
        box.show();
        QObject::connect(&box, &RichTextBox::Change, &box, [this] { ++changes; });
    }
    void select(int start, int length)
    {
        box.setSelStart(start);
        box.setSelLength(length);
    }
    RichTextBox box;
    int changes = 0;
};

TEST_F(RichTextBoxTest, OffsetsCountEachLineBreakAsTwo)
{
    // Lines "ab", "", "cd", "": the breaks stand at offsets 2-3, 4-5 and 8-9. Each case: start,
    // length, where the selection starts, what it holds, the line of the start.
    for (const auto &[start, length, selStart, selText, line] : {std::tuple{3, 0, 2, "", 0},
                                                                 {5, 0, 4, "", 1},
                                                                 {1000000, 0, 10, "", 3},
                                                                 {-7, 0, 0, "", 0},
                                                                 {1, 4, 1, "b\r\n", 0},
                                                                 {3, 2, 2, "\r\n", 0},
                                                                 {6, INT_MAX, 6, "cd\r\n", 2}}) {
        box.setText(QStringLiteral("ab\n\rcd\r\n")); // LF then CR: two breaks
        select(start, length);
        const int selLength = int(strlen(selText));
        EXPECT_EQ(box.SelText(), QString::fromLatin1(selText)) << start;
        EXPECT_EQ(box.SelectionEnd(), selStart + selLength) << start;
        EXPECT_EQ(box.LineFromChar(start), line) << start;
        QTest::keyClick(&box, Qt::Key_Bar);
        EXPECT_EQ(box.Text(), QStringLiteral("ab\r\n\r\ncd\r\n").replace(selStart, selLength, u'|')) << start;
    }
    EXPECT_EQ(box.firstCharacter(), QChar(u'a'));
    box.setText(QStringLiteral("\nx"));
    EXPECT_EQ(box.firstCharacter(), QChar(u'\r'));
}

TEST_F(RichTextBoxTest, AnInputMethodsTextMovesTheColoursAsTyping)
{
    // commit, in place of `length` characters from `from` (caret-relative); Dim navy, Long red.
    struct Case {
        int caret, length;
        const char *commit;
        int from, replaced;
        bool composeFirst;
        const char *line0, *line1;
        Runs runs0, runs1;
    };
    const Case cases[] = {
        {11, 0, "\u00e9", 0, 0, true, "Dim x As Lo\u00e9ng", "last", {{0, 3, kNavy}, {9, 2, kRed}, {12, 2, kRed}}, {}},
        {3, 0, "\u00ea", -1, 1, false, "Di\u00ea x As Long", "last", {{0, 2, kNavy}, {9, 4, kRed}}, {}},
        {5, 0, "p\nq", 0, 0, false, "Dim xp", "q As Long", {{0, 3, kNavy}}, {{5, 4, kRed}}},
        {2, 14, "q", 0, 0, false, "Diqast", "", {{0, 2, kNavy}}, {}}, // lines joined: the rest black
    };
    for (const Case &c : cases) {
        box.setText(QStringLiteral("Dim x As Long\r\nlast"));
        box.setLineColours(0, {{0, 3, kNavy}, {9, 4, kRed}});
        select(c.caret, c.length);
        changes = 0;
        QInputMethodEvent compose(QStringLiteral("e"), {}), done;
        if (c.composeFirst)
            QApplication::sendEvent(&box, &compose);
        done.setCommitString(QString::fromUtf8(c.commit), c.from, c.replaced);
        QApplication::sendEvent(&box, &done);
        EXPECT_EQ(changes, 1) << c.line0;
        EXPECT_EQ(box.GetLine(0), QString::fromUtf8(c.line0));
        EXPECT_EQ(box.GetLine(1), QString::fromUtf8(c.line1));
        EXPECT_EQ(box.lineColours(0), c.runs0) << c.line0;
        EXPECT_EQ(box.lineColours(1), c.runs1) << c.line0;
    }
}

TEST_F(RichTextBoxTest, ABulkPassIsOneUndoStepKeepsTheCaretAndColoursAreNoEdit)
{
    box.setText(QStringLiteral("dim a\r\nx = 1 ' note\r\nendif"));
    box.setLineColours(1, {{6, 6, kGreen}});
    box.setSelStart(box.LineIndex(2) + 5); // behind "endif"
    changes = 0;
    box.beginBulkColouring();
    box.replaceInLine(2, 0, 5, QStringLiteral("End If"));
    box.replaceInLine(2, 0, 3, QStringLiteral("End")); // the same text: no edit
    box.replaceInLine(1, 0, 0, QStringLiteral("'\r\n"));
    box.replaceInLine(0, 0, 3, QStringLiteral("Dim"));
    box.setLineColours(0, {{0, 3, kNavy}, {2, 9, kRed}}); // clipped, the later run winning
    box.endBulkColouring();
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(box.Text(), QStringLiteral("Dim a\r\n' x = 1 ' note\r\nEnd If"));
    EXPECT_EQ(box.SelStart(), box.LineIndex(2) + 6) << "the caret stays behind the rewritten word";
    EXPECT_EQ(box.lineColours(0), (Runs{{0, 2, kNavy}, {2, 3, kRed}}));
    EXPECT_EQ(box.lineColours(1), (Runs{{8, 6, kGreen}}));
    QTest::keyClicks(&box, QStringLiteral("!"));
    select(0, 1);
    box.setSelColor(kBlue);
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier); // the typing, not the colour
    EXPECT_EQ(box.lineColours(0), (Runs{{0, 1, kBlue}, {1, 1, kNavy}, {2, 3, kRed}}));
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier); // the whole pass
    EXPECT_EQ(box.Text(), QStringLiteral("dim a\r\nx = 1 ' note\r\nendif"));
    EXPECT_FALSE(box.document()->isUndoAvailable());
}

TEST_F(RichTextBoxTest, TheScreenShowsTheColours)
{
    QFont font(QStringLiteral("Monospace"));
    font.setPixelSize(28);
    box.setFont(font);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    box.setText(QStringLiteral("WWWWWW\r\n").repeated(200));
    const auto redPixels = [this](int line) {
        const QRect row = box.cursorRect(QTextCursor(box.document()->findBlockByNumber(line)));
        QCoreApplication::processEvents();
        const QImage image = QGuiApplication::primaryScreen()->grabWindow(box.winId()).toImage();
        int count = 0;
        for (int y = std::max(0, row.top()); y <= std::min(box.viewport()->height() - 1, row.bottom()); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y + box.viewport()->y());
                count += c.red() > 180 && c.green() < 90 && c.blue() < 90;
            }
        return count;
    };
    EXPECT_EQ(redPixels(0), 0);
    box.beginBulkColouring(); // lines coloured off screen show their colour when scrolled to
    for (int line = 0; line < 200; line += 2)
        box.setLineColours(line, {{0, 6, kRed}});
    box.endBulkColouring();
    EXPECT_GT(redPixels(0), 0);
    EXPECT_EQ(redPixels(1), 0);
    select(box.LineIndex(180) + 2, 7); // joined, cut shorter than its run
    QTest::keyClick(&box, Qt::Key_Backspace);
    EXPECT_EQ(box.lineColours(180), (Runs{{0, 2, kRed}}));
    EXPECT_GT(redPixels(180), 0);
    EXPECT_GT(redPixels(178), 0);
    EXPECT_EQ(redPixels(179), 0);
    box.setLineColours(180, {});
    EXPECT_EQ(redPixels(180), 0);
}

TEST_F(RichTextBoxTest, FindAndTheLineMessages)
{
    // Lines start at 0, 19 and 44.
    box.setText(QStringLiteral("Dim total As Long\r\nTotal = total_x + Total\r\nsubtotal = TOTAL"));
    const int wholeWord = RichTextBox::rtfWholeWord, matchCase = RichTextBox::rtfMatchCase;
    for (const auto &[needle, start, options, found] : {std::tuple{"total", 5, 0, 19},
                                                        {"total", 5, matchCase, 27},
                                                        {"total", 20, wholeWord, 37},
                                                        {"total", 38, 0, 47},
                                                        {"x", 0, wholeWord, -1},
                                                        {"TOTAL", 0, wholeWord | matchCase, 55},
                                                        {"long\r\ntotal", 0, 0, 13},
                                                        {"\r\nsub", 43, 0, -1},
                                                        {"long\r\nTot", 0, wholeWord, -1}}) {
        select(1, 2);
        EXPECT_EQ(box.Find(QString::fromLatin1(needle), start, options), found) << needle << " " << start;
        EXPECT_EQ(box.SelStart(), found >= 0 ? found : 1) << "a match is selected";
    }
    for (const auto &[line, start, length] : {std::tuple{0, 0, 17}, {1, 19, 23}, {2, 44, 16}}) {
        EXPECT_EQ(box.LineIndex(line), start);
        EXPECT_EQ(box.GetLineFromChar(start + length + 1), line); // between CR and LF
        box.setSelStart(start + 3);                               // -1 is the caret's line
        EXPECT_EQ(box.LineIndex(-1), start);
        EXPECT_EQ(box.LineLength(-1), length);
    }
    EXPECT_EQ(box.LineIndex(3), -1);
}

TEST(RichTextBoxKeys, KeyDownKeyPressThenTheEditWhichKeyPressMayChange)
{
    QGuiApplication::clipboard()->setText(QString::fromUtf8("<\u2028\r>"));
    // The key, what the KeyPress handler answers (-1 leaves the key alone), the events, and
    // the text made from "ab" with the caret at 1.
    for (const auto &[key, modifiers, answer, expected, text] :
         {std::tuple{Qt::Key_A, Qt::KeyboardModifiers(), -1, "down 65 0, press 97, change", "aab"},
          {Qt::Key_Return, Qt::ShiftModifier, -1, "down 16 1, down 13 1, press 13, change", "a\r\nb"},
          {Qt::Key_Delete, Qt::NoModifier, -1, "down 46 0, change", "a"},
          {Qt::Key_Return, Qt::NoModifier, 0, "down 13 0, press 13", "ab"},
          {Qt::Key_7, Qt::KeypadModifier, -1, "down 103 0, press 55, change", "a7b"},
          {Qt::Key_Q, Qt::NoModifier, 0x1F600, "down 81 0, press 113, change", "a\U0001F600b"},
          {Qt::Key_V, Qt::ControlModifier, 0, "down 17 2, down 86 2, change, press 22", "a<\r\n\r\n>b"}}) {
        RichTextBox box;
        box.show();
        QTest::keyClicks(&box, QStringLiteral("ab"));
        box.setSelStart(1);
        QStringList events;
        QObject::connect(&box, &RichTextBox::KeyDown, &box,
                         [&](int code, int shift) { events << QStringLiteral("down %1 %2").arg(code).arg(shift); });
        QObject::connect(&box, &RichTextBox::KeyPress, &box, [&](int *ascii) {
            events << QStringLiteral("press %1").arg(*ascii);
            *ascii = answer >= 0 ? answer : *ascii;
        });
        QObject::connect(&box, &RichTextBox::Change, &box, [&] { events << QStringLiteral("change"); });
        QTest::keyClick(&box, key, modifiers);
        EXPECT_EQ(events.join(QStringLiteral(", ")), QString::fromLatin1(expected)) << text;
        EXPECT_EQ(box.Text(), QString::fromUtf8(text));
    }
}

TEST(RichTextBoxFocus, SetFocusLeavesAHiddenBoxAlone)
{
    QWidget window; // not on screen: the box's own visibility counts
    auto *other = new QPlainTextEdit(&window);
    auto *box = new RichTextBox(&window);
    for (const bool visible : {false, true}) {
        other->setFocus();
        box->setVisibleState(visible);
        box->SetFocus();
        EXPECT_EQ(window.focusWidget() == box, visible);
    }
}

} // namespace
