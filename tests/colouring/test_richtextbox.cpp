// The rich text box: CR LF offsets, line breaks, selection, colours, Find, line operations,
// and the Change / KeyDown / KeyPress / MouseMove events, driven with real keys and mouse.

#include "richtextbox.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

using quillbox::RichTextBox;

namespace {

constexpr std::uint32_t kRed = 0x0000FF;   // 0x00BBGGRR
constexpr std::uint32_t kGreen = 0x00FF00;
constexpr std::uint32_t kBlue = 0xFF0000;

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
        {11, 10, 3, "ab\r\n\r\ncd\r\n|"},    // beyond the end
        {1000000, 10, 3, "ab\r\n\r\ncd\r\n|"},
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
    };
    std::vector<std::uint32_t> expected(box.Text().size(), 0);
    changes = 0;
    for (const Paint &p : paints) {
        box.setSelStart(p.start);
        box.setSelLength(p.length);
        box.setSelColor(p.colour);
        for (int i = p.start; i < p.start + p.length; ++i)
            expected[size_t(i)] = p.colour;
        EXPECT_EQ(box.SelStart(), p.start);
        EXPECT_EQ(box.SelLength(), p.length);
    }
    // The break's own colour (offsets 13 and 14) is not a character's; leave it out.
    std::vector<std::uint32_t> actual = colours();
    actual[13] = actual[14] = expected[13] = expected[14] = 0;
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(s(box.Text()), "Dim x As Long\r\nx = 1");
    EXPECT_EQ(changes, 0);

    // Red is the low byte: the document holds the Qt colours.
    QTextCursor cursor(box.document());
    cursor.setPosition(1);
    EXPECT_EQ(cursor.charFormat().foreground().color(), QColor(Qt::blue));
    cursor.setPosition(10);
    EXPECT_EQ(cursor.charFormat().foreground().color(), QColor(Qt::red));

    // Setting the text gives default (black) text again.
    box.setText(QStringLiteral("Dim y"));
    EXPECT_EQ(colours(), std::vector<std::uint32_t>(5, 0));
}

TEST_F(RichTextBoxTest, ColourAtTheCaretIsTheColourOfTypedText)
{
    box.setText(QStringLiteral("ab"));
    box.setSelStart(2);
    changes = 0;
    box.setSelColor(kGreen);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(s(box.Text()), "ab");
    QTest::keyClick(&box, 'z');
    QTest::keyClick(&box, 'w');
    EXPECT_EQ(s(box.Text()), "abzw");
    EXPECT_EQ(colours(), (std::vector<std::uint32_t>{0, 0, kGreen, kGreen}));
    EXPECT_EQ(changes, 2);

    // Text set through SelText at a coloured caret takes the colour too.
    box.setSelStart(0);
    box.setSelColor(kRed);
    box.setSelText(QStringLiteral("Hi"));
    EXPECT_EQ(s(box.Text()), "Hiabzw");
    EXPECT_EQ(colours(), (std::vector<std::uint32_t>{kRed, kRed, 0, 0, kGreen, kGreen}));

    // Replacing a coloured selection keeps the colour of its first character.
    box.setSelStart(4);
    box.setSelLength(2);
    box.setSelText(QStringLiteral("Q"));
    EXPECT_EQ(s(box.Text()), "HiabQ");
    EXPECT_EQ(box.colorAt(4), kGreen);
}

TEST_F(RichTextBoxTest, UndoingColourRaisesNoChange)
{
    box.setText(QStringLiteral("Dim x"));
    box.setSelStart(0);
    box.setSelLength(3);
    box.setSelColor(kRed);
    changes = 0;

    // One history step at a time, the colour goes and comes back without a Change.
    box.undo();
    EXPECT_EQ(box.colorAt(0), 0u);
    EXPECT_EQ(s(box.Text()), "Dim x");
    box.redo();
    EXPECT_EQ(box.colorAt(0), kRed);
    EXPECT_EQ(changes, 0);

    // Ctrl+Z takes back a colour step and the typing before it in one go.
    box.setSelStart(5);
    QTest::keyClick(&box, 'y');
    EXPECT_EQ(changes, 1);
    box.setSelStart(5);
    box.setSelLength(1);
    box.setSelColor(kGreen);
    EXPECT_EQ(changes, 1);
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(s(box.Text()), "Dim x");
    EXPECT_EQ(box.colorAt(0), kRed);
    EXPECT_EQ(changes, 2);
    QTest::keyClick(&box, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(s(box.Text()), "Dim xy");
    EXPECT_EQ(changes, 3);
}

TEST_F(RichTextBoxTest, ContextMenuUndoStepsOverColour)
{
    box.setText(QStringLiteral("ab"));
    box.setSelStart(2);
    QTest::keyClick(&box, 'c');
    box.setSelStart(0);
    box.setSelLength(3);
    box.setSelColor(kBlue);
    changes = 0;

    // The offscreen platform cannot raise the popup nor grab the keyboard for it.
    qbx::test::ExpectedWarning noRaise(QStringLiteral("does not support raise"));
    qbx::test::ExpectedWarning noGrab(QStringLiteral("does not support grabbing"));
    const QPoint at(5, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, box.viewport()->mapToGlobal(at));
    QApplication::sendEvent(box.viewport(), &event);
    auto *menu = box.findChild<QMenu *>();
    ASSERT_NE(menu, nullptr);
    QAction *undo = menu->findChild<QAction *>(QStringLiteral("edit-undo"));
    if (!undo)
        for (QAction *action : menu->actions())
            if (action->objectName() == QLatin1String("edit-undo"))
                undo = action;
    ASSERT_NE(undo, nullptr);
    undo->trigger();
    menu->close();
    EXPECT_EQ(s(box.Text()), "ab");
    EXPECT_EQ(changes, 1);
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
        {"undo and redo of colour", select(0, 3),
         [](RichTextBox &b) {
             b.setSelColor(kRed);
             b.undo();
             b.redo();
         },
         0},
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
