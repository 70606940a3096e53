// Editing the description and code boxes with real keys, pastes and mouse moves: the
// description's comment marks, the colouring of the caret's line and of a pasted box, the
// wait note while a box is worked on, and the Modify button that edits enable in modify mode.

#include "windowtesting.h"

#include "vbcolouring.h"

#include <QApplication>
#include <QCursor>
#include <QClipboard>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSignalSpy>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace quillbox::colouring {
// Readable runs in test failures.
inline void PrintTo(const ColourRun &run, std::ostream *os)
{
    *os << "{" << run.start << ", " << run.length << ", 0x" << std::hex << run.bgr << std::dec << "}";
}
} // namespace quillbox::colouring

using namespace quillbox;
using namespace quillbox::test;
using colouring::ColourRun;

namespace {

using Runs = QList<ColourRun>;
constexpr std::uint32_t kBlack = colouring::kBlack;
constexpr std::uint32_t kGreen = colouring::kCommentGreen;
constexpr std::uint32_t kNavy = colouring::kKeywordNavy;

using Keys = std::function<void(RichTextBox *)>;

QString q(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

std::string s(const QString &text)
{
    return text.toStdString();
}

// Types one character, whatever it is (keyClicks only knows Latin-1).
void typeCharacter(QWidget *w, const QString &character)
{
    QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, character, Qt::NoModifier);
}

Keys typed(const char *utf8)
{
    const QString text = q(utf8);
    return [text](RichTextBox *b) { QTest::keyClicks(b, text); };
}

Keys key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
{
    return [k, m](RichTextBox *b) { QTest::keyClick(b, k, m); };
}

Keys both(Keys first, Keys second)
{
    return [first, second](RichTextBox *b) {
        first(b);
        second(b);
    };
}

void pasteInto(RichTextBox *box, const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
}

// Each line of a description green from its first comment mark to its end.
QList<Runs> commentLines(const QString &text)
{
    QList<Runs> out;
    for (const QString &line : text.split(QStringLiteral("\r\n"))) {
        const qsizetype mark = line.indexOf(QLatin1Char('\''));
        out.append(mark < 0 ? Runs() : Runs{{int(mark), int(line.size() - mark), kGreen}});
    }
    return out;
}

QList<Runs> coloursOf(const RichTextBox *box)
{
    QList<Runs> out;
    for (int line = 0; line < box->LineCount(); ++line)
        out.append(box->lineColours(line));
    return out;
}

struct EditingFixture : WindowWithLibrary {
    int moves = 0;

    void enterAdd()
    {
        form->mnuAdd->trigger();
        ASSERT_TRUE(form->AddMode);
        ASSERT_TRUE(form->Rich1->isVisible() && form->Rich2->isVisible());
    }

    // Moves the mouse over the box, to a new place each time (a move to where the mouse
    // already is may not be reported at all).
    void hover(RichTextBox *box)
    {
        QSignalSpy spy(box, &RichTextBox::MouseMove);
        QPoint at;
        do {
            ++moves;
            at = QPoint(10 + (moves % 9) * 7, 6 + (moves % 3) * 3);
        } while (box->viewport()->mapToGlobal(at) == QCursor::pos());
        QTest::mouseMove(box->viewport(), at);
        EXPECT_EQ(spy.count(), 1) << "the mouse move reached the box";
    }

    // A drag along the first line, right of its text: pressed there, moved with the left
    // button held, released. The caret stays at the end of the line and nothing is selected.
    void drag(RichTextBox *box)
    {
        QSignalSpy spy(box, &RichTextBox::MouseMove);
        QWidget *viewport = box->viewport();
        const QPoint from(viewport->width() - 40, 6);
        const QPoint to(viewport->width() - 20, 7);
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(viewport, to);
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, to);
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.at(0).at(0).toInt(), 1) << "reported with the left button";
    }

    // Sets a box's text without its Change being handled (the description then may lack its mark).
    static void setTextQuietly(RichTextBox *box, const QString &text)
    {
        const QSignalBlocker hold(box);
        box->setText(text);
    }
};

} // namespace

// ---------------------------------------------------------------------------------------
// The description box

TEST_F(EditingFixture, TypingIntoTheDescriptionKeepsItsCommentMark)
{
    open();
    struct Case {
        const char *name;
        QString start;     // null: the description as the mode left it ("'")
        bool holdChange;   // the start text is set without its Change being handled
        int caret;         // -1: at the end
        Keys keys;
        QString text;      // afterwards
        int caretAfter;
        Runs caretLineAfterMove; // the caret's line once the mouse passes over the box
    };
    const Case cases[] = {
        {"letter into the emptied description", {}, false, -1, typed("a"), q("'a"), 2, {{0, 2, kGreen}}},
        {"words into the emptied description", {}, false, -1, typed("dim x as long"), q("'dim x as long"), 14,
         {{0, 14, kGreen}}},
        {"letter before the mark", {}, false, 0, typed("a"), q("'a'"), 3, {{0, 3, kGreen}}},
        {"space before the mark", {}, false, 0, key(Qt::Key_Space), q("' '"), 3, {{0, 3, kGreen}}},
        {"space before the mark of a longer text", q("'abc"), false, 0, key(Qt::Key_Space), q("' 'abc"), 6,
         {{0, 6, kGreen}}},
        {"non-ASCII letter", q("'ab"), false, -1, [](RichTextBox *b) { typeCharacter(b, q("é")); }, q("'abé"), 4,
         {{0, 4, kGreen}}},
        // Text without the mark (its Change held back): a printable key starts the text over.
        {"letter when the mark is missing", q("abc"), true, -1, typed("x"), q("'x"), 2, {{0, 2, kGreen}}},
        {"tilde when the mark is missing", q("abc"), true, 1, typed("~"), q("'~"), 2, {{0, 2, kGreen}}},
        {"digit when the mark is missing", q("abc\r\ndef"), true, -1, typed("7"), q("'7"), 2, {{0, 2, kGreen}}},
        {"space when the mark is missing", q("abc"), true, -1, key(Qt::Key_Space), q("abc"), 3, {}},
        {"tab when the mark is missing", q("abc"), true, -1, key(Qt::Key_Tab), q("abc"), 3, {}},
        {"non-ASCII letter when the mark is missing", q("abc"), true, -1,
         [](RichTextBox *b) { typeCharacter(b, q("é")); }, q("abc"), 3, {}},
        // Spaces before the mark count as the mark: the key goes in, and the Change puts a
        // mark in front.
        {"letter after spaces and the mark", q("  'abc"), true, -1, typed("x"), q("'  'abcx"), 8,
         {{0, 8, kGreen}}},
        // Enter adds a comment line at the end, wherever the caret is.
        {"Enter in the middle", q("'abc"), false, 2, key(Qt::Key_Return), q("'abc\r\n'"), 7, {{0, 1, kGreen}}},
        {"Enter on the keypad", q("'abc"), false, 4, key(Qt::Key_Enter), q("'abc\r\n'"), 7, {{0, 1, kGreen}}},
        {"Enter twice on the first line", q("'a\r\n'b"), false, 0, both(key(Qt::Key_Return), key(Qt::Key_Return)),
         q("'a\r\n'b\r\n'\r\n'"), 12, {{0, 1, kGreen}}},
        {"Enter when the mark is missing", q("abc"), true, 1, key(Qt::Key_Return), q("'abc\r\n'"), 7,
         {{0, 1, kGreen}}},
        // Emptied, the description holds its mark at once.
        {"select all and Delete", q("'abc\r\n'def"), false, 3,
         both(key(Qt::Key_A, Qt::ControlModifier), key(Qt::Key_Delete)), q("'"), 1, {{0, 1, kGreen}}},
        {"select all and Backspace", q("'abc\r\n'def"), false, 3,
         both(key(Qt::Key_A, Qt::ControlModifier), key(Qt::Key_Backspace)), q("'"), 1, {{0, 1, kGreen}}},
        {"Backspace over the only mark", {}, false, -1, key(Qt::Key_Backspace), q("'"), 1, {{0, 1, kGreen}}},
        {"select all and type", q("'abc\r\n'def"), false, 3, both(key(Qt::Key_A, Qt::ControlModifier), typed("z")),
         q("'z"), 2, {{0, 2, kGreen}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        enterAdd();
        RichTextBox *box = form->Rich1;
        if (c.holdChange)
            setTextQuietly(box, c.start);
        else if (!c.start.isNull())
            box->setText(c.start);
        box->setSelStart(c.caret < 0 ? int(box->Text().size()) : c.caret);
        form->Label5->setVisible(true);

        c.keys(box);

        EXPECT_EQ(box->Text(), c.text);
        EXPECT_EQ(box->SelStart(), c.caretAfter);
        EXPECT_EQ(box->SelLength(), 0);
        EXPECT_FALSE(form->Label5->isVisible()) << "every key press hides the note";
        EXPECT_FALSE(form->Command4->isEnabled()) << "never in add mode";
        hover(box);
        EXPECT_EQ(box->Text(), c.text) << "a comment has nothing to rewrite";
        EXPECT_EQ(box->SelStart(), c.caretAfter);
        EXPECT_EQ(box->lineColours(box->GetLineFromChar(box->SelStart())), c.caretLineAfterMove);
    }
}

TEST_F(EditingFixture, TypedTextIsBlackUntilItsLineIsColouredAgain)
{
    open();
    enterAdd();
    RichTextBox *box = form->Rich1;
    ASSERT_EQ(box->Text(), q("'"));
    EXPECT_EQ(box->colorAt(0), kGreen) << "the emptied description's mark is coloured at once";

    QTest::keyClicks(box, QStringLiteral("ab"));
    // Each key colours the line as it was before the key: the last character is still black.
    EXPECT_EQ(box->Text(), q("'ab"));
    EXPECT_EQ(box->colorAt(0), kGreen);
    EXPECT_EQ(box->colorAt(1), kGreen);
    EXPECT_EQ(box->colorAt(2), kBlack);

    QTest::keyClick(box, Qt::Key_Left); // a key without a character colours the line all the same
    EXPECT_EQ(box->lineColours(0), Runs({{0, 3, kGreen}}));
    EXPECT_EQ(box->SelStart(), 2);
    QTest::keyClick(box, 'c');
    EXPECT_EQ(box->Text(), q("'acb"));
    EXPECT_EQ(box->colorAt(2), kBlack) << "typed in the middle of a green line, still black";
    EXPECT_EQ(box->colorAt(3), kGreen);
}

TEST_F(EditingFixture, EnterInTheDescriptionKeepsEveryLineGreen)
{
    open();
    enterAdd();
    RichTextBox *box = form->Rich1;
    for (const char *line : {" Swaps two values.", " Call it with two variables.", " Any type will do."}) {
        QTest::keyClicks(box, q(line));
        QTest::keyClick(box, Qt::Key_Return);
    }
    EXPECT_EQ(box->Text(), q("' Swaps two values.\r\n' Call it with two variables.\r\n' Any type will do.\r\n'"));
    // Enter sets the whole text, which comes back black; every line is coloured again.
    EXPECT_EQ(coloursOf(box), commentLines(box->Text()));
    EXPECT_EQ(box->SelStart(), box->Text().size());
}

TEST_F(EditingFixture, PastingIntoTheDescriptionMarksAndColoursEveryLine)
{
    open();
    const QString w300(300, QLatin1Char('w'));
    struct Case {
        const char *name;
        QString start;     // null: "'"
        int caret;         // -1: at the end
        int selection;     // characters selected from the caret
        QString pasted;
        QString text;
        bool cancelEnabled;
    };
    const Case cases[] = {
        {"three lines", {}, -1, 0, q("one\ntwo\nthree"), q("'one\r\n'two\r\n'three"), true},
        {"three lines with Cancel disabled", {}, -1, 0, q("one\r\ntwo\r\nthree"), q("'one\r\n'two\r\n'three"), false},
        {"trailing line break", {}, -1, 0, q("one\r\ntwo\r\n"), q("'one\r\n'two\r\n'"), true},
        {"repeated, empty and long lines", {}, -1, 0,
         q("dup\r\ndup\r\n\r\n\r\n") + w300 + q("\r\n  'kept\r\n'marked\r\ndup"),
         q("'dup\r\n'dup\r\n'\r\n'\r\n'") + w300 + q("\r\n  'kept\r\n'marked\r\n'dup"), true},
        // Each line is marked at its own start, never where its text is found elsewhere.
        {"x, then y = x", {}, -1, 0, q("x\r\ny = x"), q("'x\r\n'y = x"), true},
        {"a line found inside an earlier one", {}, -1, 0, q("b\r\nab\r\nb"), q("'b\r\n'ab\r\n'b"), true},
        {"a line ending in an earlier line's text", q("'x = 1"), -1, 0, q("\r\n= 1\r\n1"),
         q("'x = 1\r\n'= 1\r\n'1"), true},
        {"a mark later in the line", {}, -1, 0, q("x\r\ny 'z"), q("'x\r\n'y 'z"), true},
        {"a tab before the mark is no space", {}, -1, 0, q("x\r\n\t'tab"), q("'x\r\n'\t'tab"), true},
        {"keywords stay as they are in a comment", {}, -1, 0, q("dim x\r\nendif"), q("'dim x\r\n'endif"), true},
        {"into the middle of a line", q("'abc"), 2, 0, q("X\nY"), q("'aX\r\n'Ybc"), true},
        // Before the mark: the change puts a mark in front at once, the pass marks the rest.
        {"before the mark", {}, 0, 0, q("abc\r\ndef"), q("'abc\r\n'def'"), true},
        {"over a selection across lines", q("'abc\r\n'def"), 2, 7, q("Q\nR"), q("'aQ\r\n'Rf"), true},
        {"other line breaks", {}, -1, 0, q("a\rb\u2028c"), q("'a\r\n'b\r\n'c"), true},
        {"non-ASCII text", {}, -1, 0, q("grüße\r\n中文"), q("'grüße\r\n'中文"), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        enterAdd();
        RichTextBox *box = form->Rich1;
        if (!c.start.isNull())
            box->setText(c.start);
        box->setSelStart(c.caret < 0 ? int(box->Text().size()) : c.caret);
        box->setSelLength(c.selection);
        form->Command2->setEnabled(c.cancelEnabled);

        // What the user sees while the marks go in (each mark is a change of the text).
        struct Seen {
            bool note, bar, cancel;
        };
        std::vector<Seen> duringPass;
        const QMetaObject::Connection watch = QObject::connect(box, &RichTextBox::Change, form, [&] {
            if (form->Label5->isVisible())
                duringPass.push_back({true, form->ProgressBar1->isVisible(), form->Command2->isEnabled()});
        });
        int timerFired = 0;
        bool noteSeen = false, barSeen = false;
        QTimer::singleShot(0, form, [&] {
            ++timerFired;
            noteSeen = form->Label5->isVisible();
            barSeen = form->ProgressBar1->isVisible();
        });

        pasteInto(box, c.pasted);
        QObject::disconnect(watch);

        EXPECT_EQ(box->Text(), c.text);
        EXPECT_EQ(coloursOf(box), commentLines(c.text));
        EXPECT_EQ(timerFired, 1) << "the pass lets the note be drawn";
        EXPECT_TRUE(noteSeen);
        EXPECT_TRUE(barSeen);
        EXPECT_FALSE(duringPass.empty()) << "some line was marked while the note was up";
        for (const Seen &seen : duringPass) {
            EXPECT_TRUE(seen.bar);
            EXPECT_FALSE(seen.cancel) << "Cancel waits while the marks go in";
        }
        EXPECT_FALSE(form->Label5->isVisible());
        EXPECT_FALSE(form->ProgressBar1->isVisible());
        EXPECT_EQ(form->Command2->isEnabled(), c.cancelEnabled) << "Cancel as it was";
        EXPECT_EQ(box->SelStart(), box->LineIndex(box->LineCount() - 1)) << "caret at the start of the last line";
        EXPECT_EQ(box->SelLength(), 0);
        EXPECT_TRUE(form->AddMode);
        EXPECT_FALSE(form->Command4->isEnabled());
        EXPECT_EQ(QApplication::focusWidget(), box);
    }
    // The long line is read and kept in full.
    form->mnuAdd->trigger();
    pasteInto(form->Rich1, w300);
    EXPECT_EQ(form->Rich1->GetLine(0), q("'") + w300);
    EXPECT_EQ(form->Rich1->lineColours(0), Runs({{0, 301, kGreen}}));
}

// ---------------------------------------------------------------------------------------
// The code box

TEST_F(EditingFixture, PastingIntoTheCodeBoxColoursEveryLineBehindTheWaitNote)
{
    open();
    struct Case {
        const char *name;
        QString start;
        bool addEnabled; // the Add button before the paste
        QString pasted;
        QString text;
        QList<Runs> colours;
    };
    const Case cases[] = {
        {"keywords, comments and plain text", {}, true,
         q("dim x as long\r\n' a comment\r\nif x then x = 1 'set\r\nendif\r\ndebug.print x"),
         q("Dim x As Long\r\n' a comment\r\nIf x Then x = 1 'set\r\nEnd If\r\nDebug.print x"),
         {{{0, 3, kNavy}, {6, 2, kNavy}, {9, 4, kNavy}},
          {{0, 11, kGreen}},
          {{0, 2, kNavy}, {5, 4, kNavy}, {16, 4, kGreen}},
          {{0, 6, kNavy}},
          {{0, 11, kNavy}}}},
        {"punctuated keywords, with Add disabled", {}, false,
         q("private sub a (byval x as long)\nwithevents obj\r\nx = 1: endif\rMsgBox \"it's\""),
         q("Private Sub a (ByVal x As Long)\r\nWithevents obj\r\nx = 1: End If\r\nMsgBox \"it's\""),
         {{{0, 7, kNavy}, {8, 3, kNavy}, {14, 6, kNavy}, {23, 2, kNavy}, {26, 5, kNavy}},
          {{0, 10, kNavy}},
          {{7, 6, kNavy}},
          {{10, 3, kGreen}}}},
        // The lines already there are coloured as well.
        {"after lines already typed", q("dim a\r\n"), true, q("dim b\r\nloop 'again"),
         q("Dim a\r\nDim b\r\nLoop 'again"), {{{0, 3, kNavy}}, {{0, 3, kNavy}}, {{0, 4, kNavy}, {5, 6, kGreen}}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        enterAdd();
        RichTextBox *box = form->Rich2;
        box->setText(c.start);
        box->setSelStart(int(c.start.size()));
        form->Command3->setEnabled(c.addEnabled);

        int timerFired = 0;
        bool noteSeen = false, barSeen = false, addSeen = true, pastedSeen = false;
        QTimer::singleShot(0, form, [&] {
            ++timerFired;
            noteSeen = form->Label5->isVisible();
            barSeen = form->ProgressBar1->isVisible();
            addSeen = form->Command3->isEnabled();
            pastedSeen = box->LineCount() == c.colours.size();
        });

        pasteInto(box, c.pasted);

        EXPECT_EQ(timerFired, 1);
        EXPECT_TRUE(pastedSeen) << "the note is up after the paste went in";
        EXPECT_TRUE(noteSeen) << "the note is shown during the pass";
        EXPECT_TRUE(barSeen) << "the bar is shown during the pass";
        EXPECT_FALSE(addSeen) << "Add waits during the pass";

        EXPECT_EQ(box->Text(), c.text);
        EXPECT_EQ(coloursOf(box), c.colours);
        EXPECT_FALSE(form->Label5->isVisible());
        EXPECT_FALSE(form->ProgressBar1->isVisible());
        EXPECT_EQ(form->Command3->isEnabled(), c.addEnabled) << "Add as it was";
        EXPECT_EQ(box->SelStart(), box->LineIndex(box->LineCount() - 1));
        EXPECT_EQ(box->SelLength(), 0);
        EXPECT_EQ(QApplication::focusWidget(), box);
        EXPECT_EQ(form->Rich1->Text(), q("'")) << "the description is not touched";
    }
    // colorAt agrees with the runs, across the CR LF offsets.
    const RichTextBox *box = form->Rich2;
    EXPECT_EQ(box->colorAt(box->LineIndex(0)), kNavy);     // "Dim"
    EXPECT_EQ(box->colorAt(box->LineIndex(0) + 4), kBlack); // "a"
    EXPECT_EQ(box->colorAt(box->LineIndex(2) + 4), kBlack); // the space before the comment
    EXPECT_EQ(box->colorAt(box->LineIndex(2) + 5), kGreen); // the mark
    EXPECT_EQ(box->colorAt(box->LineIndex(2) + 10), kGreen);
}

TEST_F(EditingFixture, TypingCodeColoursEachLineAsTheCaretLeavesAWord)
{
    open();
    struct Case {
        const char *name;
        Keys finish;
        bool byMouse;
        QString text;
        int caret;
    };
    const Case cases[] = {
        {"space", key(Qt::Key_Space), false, q("Dim x As Long "), 14},
        {"Enter", key(Qt::Key_Return), false, q("Dim x As Long\r\n"), 15},
        {"mouse move", {}, true, q("Dim x As Long"), 13},
    };
    for (const bool withButton : {false, true}) {
        for (const Case &c : cases) {
            if (withButton && !c.byMouse)
                continue;
            SCOPED_TRACE(std::string(c.name) + (withButton ? ", a drag" : ""));
            enterAdd();
            RichTextBox *box = form->Rich2;
            QTest::keyClicks(box, QStringLiteral("dim x as long"));
            // Each key coloured the line as it stood: the last word is not done yet.
            EXPECT_EQ(box->Text(), q("Dim x As long"));
            EXPECT_EQ(box->lineColours(0), Runs({{0, 3, kNavy}, {6, 2, kNavy}}));

            if (!c.byMouse)
                c.finish(box);
            else if (withButton)
                drag(box);
            else
                hover(box);

            EXPECT_EQ(box->Text(), c.text);
            EXPECT_EQ(box->SelStart(), c.caret);
            EXPECT_EQ(box->lineColours(0), Runs({{0, 3, kNavy}, {6, 2, kNavy}, {9, 4, kNavy}}));
            if (box->LineCount() > 1) {
                EXPECT_EQ(box->lineColours(1), Runs());
            }

            // Text typed next is black, even right behind a keyword.
            QTest::keyClick(box, 'z');
            const int z = box->SelStart() - 1;
            ASSERT_EQ(box->Text().at(z), QLatin1Char('z'));
            EXPECT_EQ(box->colorAt(z), kBlack);
            EXPECT_EQ(box->colorAt(0), kNavy);
        }
    }
}

// Enter in the code box breaks a line; every line it does not touch keeps its colours (also
// on an empty line and over a selection holding a line break, where the editor's own Enter
// reports a change of formats over the line).
TEST_F(EditingFixture, EnterKeepsTheColoursOfTheLinesItDoesNotTouch)
{
    open();
    struct Case {
        const char *name;
        int caret;
        int selection;
        QString text;
        QList<Runs> colours;
    };
    const Runs dim = {{0, 3, kNavy}};
    const Runs loop = {{0, 4, kNavy}};
    // "Dim a" / "" / "Dim b" / "Loop": the lines start at offsets 0, 7, 9 and 16.
    const Case cases[] = {
        {"at the end of a line", 5, 0, q("Dim a\r\n\r\n\r\nDim b\r\nLoop"), {dim, {}, {}, dim, loop}},
        {"in the middle of a line", 12, 0, q("Dim a\r\n\r\nDim\r\n b\r\nLoop"), {dim, {}, dim, {}, loop}},
        {"at the start of a line", 9, 0, q("Dim a\r\n\r\n\r\nDim b\r\nLoop"), {dim, {}, {}, dim, loop}},
        {"over a word", 9, 3, q("Dim a\r\n\r\n\r\n b\r\nLoop"), {dim, {}, {}, {}, loop}},
        // Fails at present (product bug above): "Dim b" below turns black.
        {"on an empty line", 7, 0, q("Dim a\r\n\r\n\r\nDim b\r\nLoop"), {dim, {}, {}, dim, loop}},
        // Fails at present (product bug above): "Dim a" turns black. The break is replaced by
        // a break: the line keeps its colours up to the edit, and what the edit joined is black.
        {"over a line break", 5, 2, q("Dim a\r\n\r\nDim b\r\nLoop"), {dim, {}, dim, loop}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        enterAdd();
        RichTextBox *box = form->Rich2;
        pasteInto(box, q("dim a\r\n\r\ndim b\r\nloop"));
        ASSERT_EQ(box->Text(), q("Dim a\r\n\r\nDim b\r\nLoop"));
        ASSERT_EQ(coloursOf(box), QList<Runs>({dim, {}, dim, loop}));
        box->setSelStart(c.caret);
        box->setSelLength(c.selection);

        QTest::keyClick(box, Qt::Key_Return);

        EXPECT_EQ(box->Text(), c.text);
        EXPECT_EQ(coloursOf(box), c.colours);
    }
}

TEST_F(EditingFixture, CaretStaysAfterTheSameCharacterWhenAKeywordIsRewritten)
{
    open();
    struct Case {
        QString text;
        int caret;
        QString rewritten;
        int caretAfter;
    };
    const Case cases[] = {
        {q("endif"), 5, q("End If"), 6},
        {q("endif x"), 5, q("End If x"), 6},
        {q("endif x"), 7, q("End If x"), 8},
        {q("endif x"), 6, q("End If x"), 7},
        {q("endif x"), 3, q("End If x"), 3}, // inside the word: where it was
        {q("endif x"), 0, q("End If x"), 0},
        {q("x\r\nendif endif y"), 14, q("x\r\nEnd If End If y"), 16},
        {q("x\r\nendif endif y"), 9, q("x\r\nEnd If End If y"), 10},
        {q("byval endif"), 11, q("ByVal End If"), 12},
        {q("dim a 'endif"), 12, q("Dim a 'endif"), 12},
        {q("if a then\r\nendif\r\ndim b"), 16, q("if a then\r\nEnd If\r\ndim b"), 17}, // only the caret's line
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(s(c.text) + " @" + std::to_string(c.caret));
        enterAdd();
        RichTextBox *box = form->Rich2;
        box->setText(c.text);
        box->setSelStart(c.caret);
        hover(box);
        EXPECT_EQ(box->Text(), c.rewritten);
        EXPECT_EQ(box->SelStart(), c.caretAfter);
        EXPECT_EQ(box->SelLength(), 0);

        // The next key lands behind the same character.
        QTest::keyClick(box, 'z');
        QString expected = c.rewritten;
        expected.insert(c.caretAfter, QLatin1Char('z'));
        EXPECT_EQ(box->Text(), expected);
        EXPECT_EQ(box->colorAt(c.caretAfter), kBlack);
    }
}

TEST_F(EditingFixture, BoxWithASelectionIsLeftAsItIs)
{
    open();
    struct Case {
        const char *name;
        bool description;
        QString text;
        int selStart, selLength;
        std::function<void(EditingFixture *, RichTextBox *)> act;
        int selLengthAfter;
        QString textOnceDeselected; // after the selection is gone and the mouse moves again
        QList<Runs> coloursOnceDeselected;
    };
    const auto hoverIt = [](EditingFixture *f, RichTextBox *b) { f->hover(b); };
    const auto shiftRight = [](EditingFixture *, RichTextBox *b) {
        QTest::keyClick(b, Qt::Key_Right, Qt::ShiftModifier);
    };
    const Case cases[] = {
        {"code, mouse move", false, q("dim x\r\nendif"), 2, 5, hoverIt, 5, q("Dim x\r\nendif"),
         {{{0, 3, kNavy}}, {}}},
        {"code, selection across lines", false, q("dim x\r\nendif"), 4, 5, hoverIt, 5, q("Dim x\r\nendif"),
         {{{0, 3, kNavy}}, {}}},
        {"code, Shift+Right", false, q("dim x\r\nendif"), 0, 3, shiftRight, 4, q("Dim x\r\nendif"),
         {{{0, 3, kNavy}}, {}}},
        {"description, mouse move", true, q("'abc\r\n'def"), 1, 2, hoverIt, 2, q("'abc\r\n'def"),
         {{{0, 4, kGreen}}, {}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        enterAdd();
        RichTextBox *box = c.description ? form->Rich1 : form->Rich2;
        box->setText(c.text);
        ASSERT_EQ(coloursOf(box), QList<Runs>(box->LineCount())) << "set text is black";
        box->setSelStart(c.selStart);
        box->setSelLength(c.selLength);

        c.act(this, box);

        EXPECT_EQ(box->Text(), c.text);
        EXPECT_EQ(coloursOf(box), QList<Runs>(box->LineCount()));
        EXPECT_EQ(box->SelStart(), c.selStart);
        EXPECT_EQ(box->SelLength(), c.selLengthAfter);

        // Without the selection the same move colours the caret's line.
        box->setSelStart(c.selStart);
        hover(box);
        EXPECT_EQ(box->Text(), c.textOnceDeselected);
        EXPECT_EQ(coloursOf(box), c.coloursOnceDeselected);
    }
}

TEST_F(EditingFixture, AHiddenBoxIsColouredWithoutTakingTheFocus)
{
    open();
    struct Case {
        const char *name;
        bool visible;
        bool enabled;
    };
    const Case cases[] = {
        {"visible", true, true},
        {"hidden", false, true},
        {"visible and disabled", true, false},
        {"hidden and disabled", false, false},
    };
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        enterAdd();
        RichTextBox *box = form->Rich2;
        box->setText(QStringLiteral("dim x\r\nendif"));
        box->setSelStart(3);
        form->Text1->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), form->Text1);
        box->setVisible(c.visible);
        box->setEnabled(c.enabled);

        if (c.enabled) {
            QTest::keyClick(box, Qt::Key_End);
        } else {
            // A disabled box takes no keys: its key event comes the way the box raises it.
            Q_EMIT box->KeyDown(35, 0);
        }

        EXPECT_EQ(box->Text(), q("Dim x\r\nendif"));
        EXPECT_EQ(coloursOf(box), QList<Runs>({{{0, 3, kNavy}}, {}}));
        EXPECT_TRUE(box->isEnabled()) << "the box ends enabled";
        EXPECT_EQ(box->isHidden(), !c.visible) << "and as visible as it was";
        EXPECT_EQ(QApplication::focusWidget(), c.visible ? static_cast<QWidget *>(box) : form->Text1);
        box->setVisible(true);
    }
}

// ---------------------------------------------------------------------------------------
// The Modify button

TEST_F(EditingFixture, EditsEnableModifyInModifyModeOnly)
{
    open({{QStringLiteral("Swap"), QStringLiteral("' Exchanges"), QStringLiteral("t = a")}});
    struct Case {
        const char *name;
        bool description;
        QString start; // null: as the mode left the box
        int caret;     // -1: at the end
        Keys act;      // null: the mouse moves over the box
        bool edits;
    };
    const Case cases[] = {
        {"letter in the description", true, {}, -1, typed("a"), true},
        {"Enter in the description", true, {}, -1, key(Qt::Key_Return), true},
        {"Backspace in the description", true, q("'ab"), -1, key(Qt::Key_Backspace), true},
        {"paste into the description", true, {}, -1, [](RichTextBox *b) { pasteInto(b, q("p\nq")); }, true},
        {"select all and Delete in the description", true, q("'ab"), -1,
         both(key(Qt::Key_A, Qt::ControlModifier), key(Qt::Key_Delete)), true},
        {"letter in the code", false, {}, -1, typed("a"), true},
        {"Enter in the code", false, q("x"), -1, key(Qt::Key_Return), true},
        {"Delete in the code", false, q("xy"), 0, key(Qt::Key_Delete), true},
        {"paste into the code", false, {}, -1, [](RichTextBox *b) { pasteInto(b, q("dim p")); }, true},
        {"mouse over a keyword to rewrite", false, q("dim x"), -1, {}, true},
        // Colouring alone changes no text.
        {"mouse over the code", false, q("Dim x 'c"), -1, {}, false},
        {"mouse over the description", true, q("'abc"), -1, {}, false},
        {"caret keys in the code", false, q("Dim x"), -1, both(key(Qt::Key_Left), key(Qt::Key_Home)), false},
        {"caret keys in the description", true, q("'a\r\n'b"), -1, key(Qt::Key_Up), false},
    };
    for (const bool modify : {true, false}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name) + (modify ? " in modify mode" : " in add mode"));
            if (modify)
                form->mnuModify->trigger();
            else
                form->mnuAdd->trigger();
            ASSERT_EQ(form->ModifyMode, modify);
            RichTextBox *box = c.description ? form->Rich1 : form->Rich2;
            ASSERT_TRUE(box->isVisible());
            if (!c.start.isNull())
                box->setText(c.start);
            box->setSelStart(c.caret < 0 ? int(box->Text().size()) : c.caret);
            // Setting the text is itself a change: start from a disabled button.
            form->Command4->setEnabled(false);
            const QString before = box->Text();

            if (c.act)
                c.act(box);
            else
                hover(box);

            EXPECT_EQ(box->Text() != before, c.edits) << "the action edits the text: " << s(box->Text());
            EXPECT_EQ(form->Command4->isEnabled(), modify && c.edits);
            EXPECT_EQ(form->Command4->isVisible(), modify);
        }
    }
}
