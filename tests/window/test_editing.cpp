// Editing the description and code boxes with real keys, pastes and mouse moves: comment marks,
// colouring, the wait note during a pass, and the Modify button edits enable in modify mode.

#include "windowtesting.h"

#include "vbcolouring.h"

#include <QApplication>
#include <QCursor>
#include <QClipboard>
#include <QSignalBlocker>
#include <QSignalSpy>
#include <QTimer>

#include <functional>
#include <vector>

namespace quillbox::colouring {
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
constexpr std::uint32_t kBlack = colouring::kBlack, kGreen = colouring::kCommentGreen,
                        kNavy = colouring::kKeywordNavy;

using Keys = std::function<void(RichTextBox *)>;

QString q(const char *utf8) { return QString::fromUtf8(utf8); }

Keys typed(const char *utf8) { return [t = q(utf8)](RichTextBox *b) { QTest::keyClicks(b, t); }; }
Keys key(Qt::Key k) { return [k](RichTextBox *b) { QTest::keyClick(b, k); }; }
// One character, whatever it is (keyClicks only knows Latin-1).
Keys typedChar(const char *utf8)
{
    return [t = q(utf8)](RichTextBox *b) { QTest::sendKeyEvent(QTest::Click, b, Qt::Key_unknown, t, Qt::NoModifier); };
}
Keys selectAllThen(Keys then)
{
    return [then](RichTextBox *b) { QTest::keyClick(b, Qt::Key_A, Qt::ControlModifier), then(b); };
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
    while (out.size() < box->LineCount())
        out.append(box->lineColours(int(out.size())));
    return out;
}

struct EditingFixture : WindowWithLibrary {
    int moves = 0;

    void enterAdd()
    {
        form->mnuAdd->trigger();
        ASSERT_TRUE(form->AddMode && form->Rich1->isVisible() && form->Rich2->isVisible());
    }

    // Moves the mouse over the box, to a new place each time (a move to where it is may go unreported).
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

    // A drag along the first line, right of its text: the caret stays at its end, nothing selected.
    void drag(RichTextBox *box)
    {
        QSignalSpy spy(box, &RichTextBox::MouseMove);
        QWidget *viewport = box->viewport();
        const QPoint to(viewport->width() - 20, 7);
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(viewport->width() - 40, 6));
        QTest::mouseMove(viewport, to);
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, to);
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.at(0).at(0).toInt(), 1) << "reported with the left button";
    }
};

} // namespace

TEST_F(EditingFixture, TypingIntoTheDescriptionKeepsItsCommentMark)
{
    open();
    // start null: as the mode left it ("'"); without a mark: set with its Change held back. caret -1: at the end.
    struct Case { const char *name; QString start; int caret; Keys keys; QString text; int caretAfter; };
    const Case cases[] = {
        {"letter into the emptied description", {}, -1, typed("a"), q("'a"), 2},
        {"letter before the mark", {}, 0, typed("a"), q("'a'"), 3},
        {"space before the mark", q("'abc"), 0, key(Qt::Key_Space), q("' 'abc"), 6},
        {"non-ASCII letter", q("'ab"), -1, typedChar("é"), q("'abé"), 4},
        // Without the mark a printable key starts the text over; space, tab and others do nothing.
        {"letter when the mark is missing", q("abc\r\ndef"), 1, typed("x"), q("'x"), 2},
        {"space when the mark is missing", q("abc"), -1, key(Qt::Key_Space), q("abc"), 3},
        {"non-ASCII letter when the mark is missing", q("abc"), -1, typedChar("é"), q("abc"), 3},
        // Spaces before the mark count as the mark: the key goes in, the Change puts a mark in front.
        {"letter after spaces and the mark", q("  'abc"), -1, typed("x"), q("'  'abcx"), 8},
        // Enter adds a comment line at the end, wherever the caret is.
        {"Enter in the middle", q("'abc"), 2, key(Qt::Key_Return), q("'abc\r\n'"), 7},
        {"Enter on the keypad", q("'a\r\n'b"), 0, key(Qt::Key_Enter), q("'a\r\n'b\r\n'"), 9},
        {"Enter when the mark is missing", q("abc"), 1, key(Qt::Key_Return), q("'abc\r\n'"), 7},
        // Emptied, the description holds its mark at once.
        {"select all and Delete", q("'abc\r\n'def"), 3, selectAllThen(key(Qt::Key_Delete)), q("'"), 1},
        {"Backspace over the only mark", {}, -1, key(Qt::Key_Backspace), q("'"), 1},
        {"select all and type", q("'abc\r\n'def"), 3, selectAllThen(typed("z")), q("'z"), 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        enterAdd();
        RichTextBox *box = form->Rich1;
        if (!c.start.isNull()) {
            const QSignalBlocker hold(c.start.startsWith(QLatin1Char('\'')) ? nullptr : box);
            box->setText(c.start);
        }
        box->setSelStart(c.caret < 0 ? int(box->Text().size()) : c.caret);
        form->Label5->setVisible(true);

        c.keys(box);

        EXPECT_EQ(box->Text(), c.text);
        EXPECT_EQ(box->SelStart(), c.caretAfter);
        EXPECT_FALSE(form->Label5->isVisible()) << "every key press hides the note";
        EXPECT_FALSE(form->Command4->isEnabled()) << "never in add mode";
        hover(box);
        EXPECT_EQ(box->Text(), c.text) << "a comment has nothing to rewrite";
        EXPECT_EQ(box->SelStart(), c.caretAfter);
        const int line = box->GetLineFromChar(box->SelStart());
        EXPECT_EQ(box->lineColours(line), commentLines(c.text).at(line));
    }
}

TEST_F(EditingFixture, TypedTextIsBlackUntilItsLineIsColouredAgain)
{
    open();
    enterAdd();
    RichTextBox *box = form->Rich1;
    ASSERT_EQ(box->lineColours(0), Runs({{0, 1, kGreen}})) << "the emptied description's mark is coloured at once";

    // Each key colours the line as it was before the key: the last character is still black.
    QTest::keyClicks(box, QStringLiteral("ab"));
    EXPECT_EQ(box->lineColours(0), Runs({{0, 2, kGreen}}));
    QTest::keyClick(box, Qt::Key_Left); // a key without a character colours the line all the same
    EXPECT_EQ(box->lineColours(0), Runs({{0, 3, kGreen}}));
    QTest::keyClick(box, 'c');
    EXPECT_EQ(box->Text(), q("'acb"));
    EXPECT_EQ(box->lineColours(0), Runs({{0, 2, kGreen}, {3, 1, kGreen}})) << "typed into green, still black";
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

// A paste marks each description line (at its own start, never where its text is found
// elsewhere) or colours every code line, with the wait note and bar up and Cancel/Add waiting.
TEST_F(EditingFixture, PastingMarksOrColoursEveryLineBehindTheWaitNote)
{
    open();
    const QString w300(300, QLatin1Char('w'));
    struct Case {
        const char *name;
        bool code;
        QString start; // null: as the mode left the box
        int caret, selection; // caret -1: at the end
        QString pasted, text;
        bool buttonEnabled; // Cancel (description) or Add (code) before the paste
        QList<Runs> colours; // description: each line green from its mark
    };
    const Case cases[] = {
        {"three lines", false, {}, -1, 0, q("one\ntwo\nthree"), q("'one\r\n'two\r\n'three"), true, {}},
        {"trailing break, Cancel disabled", false, {}, -1, 0, q("one\r\ntwo\r\n"), q("'one\r\n'two\r\n'"), false, {}},
        // Spaces before a mark count as the mark, a tab does not; keywords stay as they are.
        {"repeated, empty and long lines", false, {}, -1, 0,
         q("dup\r\ndup\r\n\r\n\r\n") + w300 + q("\r\n  'kept\r\n\t'tab\r\ndim x 'z\r\nendif\r\ndup"),
         q("'dup\r\n'dup\r\n'\r\n'\r\n'") + w300 + q("\r\n  'kept\r\n'\t'tab\r\n'dim x 'z\r\n'endif\r\n'dup"),
         true, {}},
        {"x, then y = x", false, {}, -1, 0, q("x\r\ny = x\r\nb\r\nab"), q("'x\r\n'y = x\r\n'b\r\n'ab"), true, {}},
        // Before the mark: the change puts a mark in front at once, the pass marks the rest.
        {"before the mark", false, {}, 0, 0, q("abc\r\ndef"), q("'abc\r\n'def'"), true, {}},
        {"over a selection across lines", false, q("'abc\r\n'def"), 2, 7, q("Q\nR"), q("'aQ\r\n'Rf"), true, {}},
        {"other breaks, non-ASCII", false, {}, -1, 0, q("a\rb\u2028grüße\r\n中文"),
         q("'a\r\n'b\r\n'grüße\r\n'中文"), true, {}},
        {"code: keywords, comments and plain text", true, {}, -1, 0,
         q("dim x as long\r\n' a comment\r\nif x then x = 1 'set\r\nendif\r\ndebug.print x"),
         q("Dim x As Long\r\n' a comment\r\nIf x Then x = 1 'set\r\nEnd If\r\nDebug.print x"), true,
         {{{0, 3, kNavy}, {6, 2, kNavy}, {9, 4, kNavy}}, {{0, 11, kGreen}},
          {{0, 2, kNavy}, {5, 4, kNavy}, {16, 4, kGreen}}, {{0, 6, kNavy}}, {{0, 11, kNavy}}}},
        {"code: punctuated keywords, Add disabled", true, {}, -1, 0,
         q("private sub a (byval x as long)\nwithevents obj\r\nx = 1: endif\rMsgBox \"it's\""),
         q("Private Sub a (ByVal x As Long)\r\nWithevents obj\r\nx = 1: End If\r\nMsgBox \"it's\""), false,
         {{{0, 7, kNavy}, {8, 3, kNavy}, {14, 6, kNavy}, {23, 2, kNavy}, {26, 5, kNavy}},
          {{0, 10, kNavy}}, {{7, 6, kNavy}}, {{10, 3, kGreen}}}},
        // The lines already there are coloured as well.
        {"code: after lines already typed", true, q("dim a\r\n"), -1, 0, q("dim b\r\nloop 'again"),
         q("Dim a\r\nDim b\r\nLoop 'again"), true, {{{0, 3, kNavy}}, {{0, 3, kNavy}}, {{0, 4, kNavy}, {5, 6, kGreen}}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        enterAdd();
        RichTextBox *box = c.code ? form->Rich2 : form->Rich1;
        QPushButton *waits = c.code ? form->Command3 : form->Command2;
        if (!c.start.isNull())
            box->setText(c.start);
        box->setSelStart(c.caret < 0 ? int(box->Text().size()) : c.caret);
        box->setSelLength(c.selection);
        waits->setEnabled(c.buttonEnabled);

        // What the user sees while the lines change, and once the paste went in.
        std::vector<std::pair<bool, bool>> barAndButton;
        const QMetaObject::Connection watch = QObject::connect(box, &RichTextBox::Change, form, [&] {
            if (form->Label5->isVisible())
                barAndButton.emplace_back(form->ProgressBar1->isVisible(), waits->isEnabled());
        });
        int seenDuringPass = 0; // the pass lets the note be drawn (the code box's with Add disabled)
        QTimer::singleShot(0, form, [&] {
            seenDuringPass += form->Label5->isVisible() && form->ProgressBar1->isVisible()
                              && (!c.code || (box->LineCount() == c.colours.size() && !waits->isEnabled()));
        });

        pasteInto(box, c.pasted);
        QObject::disconnect(watch);

        EXPECT_EQ(seenDuringPass, 1);
        EXPECT_EQ(box->Text(), c.text);
        EXPECT_EQ(coloursOf(box), c.code ? c.colours : commentLines(c.text));
        EXPECT_FALSE(barAndButton.empty()) << "some line changed while the note was up";
        for (const auto &[bar, button] : barAndButton) {
            EXPECT_TRUE(bar);
            EXPECT_FALSE(button) << "the button waits during the pass";
        }
        EXPECT_FALSE(form->Label5->isVisible() || form->ProgressBar1->isVisible());
        EXPECT_EQ(waits->isEnabled(), c.buttonEnabled) << "the button as it was";
        EXPECT_EQ(box->SelStart(), box->LineIndex(box->LineCount() - 1)) << "caret at the start of the last line";
        EXPECT_EQ(box->SelLength(), 0);
        EXPECT_FALSE(form->Command4->isEnabled());
        EXPECT_EQ(QApplication::focusWidget(), box);
        EXPECT_EQ((c.code ? form->Rich1 : form->Rich2)->Text(), c.code ? q("'") : QString()) << "the other box";
    }
    // colorAt agrees with the runs, across the CR LF offsets.
    const RichTextBox *box = form->Rich2;
    EXPECT_EQ(box->colorAt(box->LineIndex(0)), kNavy);      // "Dim"
    EXPECT_EQ(box->colorAt(box->LineIndex(2) + 4), kBlack); // the space before the comment
    EXPECT_EQ(box->colorAt(box->LineIndex(2) + 5), kGreen); // the mark
}

TEST_F(EditingFixture, TypingCodeColoursEachLineAsTheCaretLeavesAWord)
{
    open();
    struct Case { const char *name; Keys finish; QString text; };
    const Case cases[] = {
        {"space", key(Qt::Key_Space), q("Dim x As Long ")},
        {"Enter", key(Qt::Key_Return), q("Dim x As Long\r\n")},
        {"mouse move", [this](RichTextBox *b) { hover(b); }, q("Dim x As Long")},
        {"a drag", [this](RichTextBox *b) { drag(b); }, q("Dim x As Long")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        enterAdd();
        RichTextBox *box = form->Rich2;
        QTest::keyClicks(box, QStringLiteral("dim x as long"));
        // Each key coloured the line as it stood: the last word is not done yet.
        EXPECT_EQ(box->Text(), q("Dim x As long"));
        EXPECT_EQ(box->lineColours(0), Runs({{0, 3, kNavy}, {6, 2, kNavy}}));

        c.finish(box);

        EXPECT_EQ(box->Text(), c.text);
        EXPECT_EQ(box->SelStart(), c.text.size());
        EXPECT_EQ(coloursOf(box).first(), Runs({{0, 3, kNavy}, {6, 2, kNavy}, {9, 4, kNavy}}));
        EXPECT_EQ(box->lineColours(box->LineCount() - 1).isEmpty(), box->LineCount() > 1);

        QTest::keyClick(box, 'z');
        EXPECT_EQ(box->Text(), c.text + QLatin1Char('z'));
        EXPECT_EQ(box->colorAt(box->SelStart() - 1), kBlack) << "typed next is black, even behind a keyword";
    }
}

// Enter in the code box breaks a line; every line it does not touch keeps its colours, also on an
// empty line and over a selection holding a break (the line keeps its colours up to the edit).
TEST_F(EditingFixture, EnterKeepsTheColoursOfTheLinesItDoesNotTouch)
{
    open();
    struct Case { const char *name; int caret, selection; QString text; QList<Runs> colours; };
    const Runs dim = {{0, 3, kNavy}}, loop = {{0, 4, kNavy}};
    // "Dim a" / "" / "Dim b" / "Loop": the lines start at offsets 0, 7, 9 and 16.
    const Case cases[] = {
        {"at the end of a line", 5, 0, q("Dim a\r\n\r\n\r\nDim b\r\nLoop"), {dim, {}, {}, dim, loop}},
        {"in the middle of a line", 12, 0, q("Dim a\r\n\r\nDim\r\n b\r\nLoop"), {dim, {}, dim, {}, loop}},
        {"over a word", 9, 3, q("Dim a\r\n\r\n\r\n b\r\nLoop"), {dim, {}, {}, {}, loop}},
        {"on an empty line", 7, 0, q("Dim a\r\n\r\n\r\nDim b\r\nLoop"), {dim, {}, {}, dim, loop}},
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
    struct Case { QString text; int caret; QString rewritten; int caretAfter; };
    const Case cases[] = {
        {q("endif"), 5, q("End If"), 6},
        {q("endif x"), 6, q("End If x"), 7},
        {q("endif x"), 3, q("End If x"), 3}, // inside the word: where it was
        {q("x\r\nendif endif y"), 14, q("x\r\nEnd If End If y"), 16},
        {q("byval endif"), 11, q("ByVal End If"), 12},
        {q("if a then\r\nendif\r\ndim b"), 16, q("if a then\r\nEnd If\r\ndim b"), 17}, // only the caret's line
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString() + " @" + std::to_string(c.caret));
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
        EXPECT_EQ(box->Text(), QString(c.rewritten).insert(c.caretAfter, QLatin1Char('z')));
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
        Keys act;
        int selLengthAfter;
        QString textOnceDeselected; // once the selection is gone and the mouse moves again
    };
    const Keys hoverIt = [this](RichTextBox *b) { hover(b); };
    const Keys shiftRight = [](RichTextBox *b) { QTest::keyClick(b, Qt::Key_Right, Qt::ShiftModifier); };
    const Case cases[] = {
        {"code, mouse move", false, q("dim x\r\nendif"), 2, 5, hoverIt, 5, q("Dim x\r\nendif")},
        {"code, Shift+Right", false, q("dim x\r\nendif"), 0, 3, shiftRight, 4, q("Dim x\r\nendif")},
        {"description, mouse move", true, q("'abc\r\n'def"), 1, 2, hoverIt, 2, q("'abc\r\n'def")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        enterAdd();
        RichTextBox *box = c.description ? form->Rich1 : form->Rich2;
        box->setText(c.text);
        ASSERT_EQ(coloursOf(box), QList<Runs>(box->LineCount())) << "set text is black";
        box->setSelStart(c.selStart);
        box->setSelLength(c.selLength);

        c.act(box);

        EXPECT_EQ(box->Text(), c.text);
        EXPECT_EQ(coloursOf(box), QList<Runs>(box->LineCount()));
        EXPECT_EQ(box->SelStart(), c.selStart);
        EXPECT_EQ(box->SelLength(), c.selLengthAfter);

        // Without the selection the same move colours the caret's line.
        box->setSelStart(c.selStart);
        hover(box);
        EXPECT_EQ(box->Text(), c.textOnceDeselected);
        EXPECT_EQ(coloursOf(box), QList<Runs>({{{0, c.description ? 4 : 3, c.description ? kGreen : kNavy}}, {}}));
    }
}

TEST_F(EditingFixture, AHiddenBoxIsColouredWithoutTakingTheFocus)
{
    open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    for (const auto &c : {std::pair{true, true}, {false, true}, {true, false}, {false, false}}) {
        const auto [visible, enabled] = c;
        SCOPED_TRACE(std::string(visible ? "visible" : "hidden") + (enabled ? "" : ", disabled"));
        enterAdd();
        RichTextBox *box = form->Rich2;
        box->setText(QStringLiteral("dim x\r\nendif"));
        box->setSelStart(3);
        form->Text1->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), form->Text1);
        box->setVisible(visible);
        box->setEnabled(enabled);
        if (enabled)
            QTest::keyClick(box, Qt::Key_End);
        else // a disabled box takes no keys: its key event comes the way the box raises it
            Q_EMIT box->KeyDown(35, 0);

        EXPECT_EQ(box->Text(), q("Dim x\r\nendif"));
        EXPECT_EQ(coloursOf(box), QList<Runs>({{{0, 3, kNavy}}, {}}));
        EXPECT_TRUE(box->isEnabled()) << "the box ends enabled";
        EXPECT_EQ(box->isHidden(), !visible) << "and as visible as it was";
        EXPECT_EQ(QApplication::focusWidget(), visible ? static_cast<QWidget *>(box) : form->Text1);
        box->setVisible(true);
    }
}

TEST_F(EditingFixture, EditsEnableModifyInModifyModeOnly)
{
    open({{QStringLiteral("Swap"), QStringLiteral("' Exchanges"), QStringLiteral("t = a")}});
    struct Case { const char *name; bool description; QString start; int caret; Keys act; bool edits; };
    const Keys mouse = [this](RichTextBox *b) { hover(b); };
    const Case cases[] = {
        {"letter in the description", true, {}, -1, typed("a"), true},
        {"Enter in the description", true, {}, -1, key(Qt::Key_Return), true},
        {"paste into the description", true, {}, -1, [](RichTextBox *b) { pasteInto(b, q("p\nq")); }, true},
        {"select all and Delete in the description", true, q("'ab"), -1, selectAllThen(key(Qt::Key_Delete)), true},
        {"Delete in the code", false, q("xy"), 0, key(Qt::Key_Delete), true},
        {"paste into the code", false, {}, -1, [](RichTextBox *b) { pasteInto(b, q("dim p")); }, true},
        {"mouse over a keyword to rewrite", false, q("dim x"), -1, mouse, true},
        // Colouring alone changes no text.
        {"mouse over the code", false, q("Dim x 'c"), -1, mouse, false},
        {"caret keys in the code", false, q("Dim x"), -1, selectAllThen(key(Qt::Key_Left)), false},
        {"caret keys in the description", true, q("'a\r\n'b"), -1, key(Qt::Key_Up), false},
    };
    for (const bool modify : {true, false}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name) + (modify ? " in modify mode" : " in add mode"));
            (modify ? form->mnuModify : form->mnuAdd)->trigger();
            ASSERT_EQ(form->ModifyMode, modify);
            RichTextBox *box = c.description ? form->Rich1 : form->Rich2;
            ASSERT_TRUE(box->isVisible());
            if (!c.start.isNull())
                box->setText(c.start);
            box->setSelStart(c.caret < 0 ? int(box->Text().size()) : c.caret);
            // Setting the text is itself a change: start from a disabled button.
            form->Command4->setEnabled(false);
            const QString before = box->Text();

            c.act(box);

            EXPECT_EQ(box->Text() != before, c.edits) << box->Text().toStdString();
            EXPECT_EQ(form->Command4->isEnabled(), modify && c.edits);
            EXPECT_EQ(form->Command4->isVisible(), modify);
        }
    }
}
