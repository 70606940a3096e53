// The colouring, in three parts. The line colouring: each tests/data/colouring/*.bas against
// the .ref beside it (one line per source line: the colour runs, start to end, then the line
// after its case rewrites; regenerate.sh there rewrites them). The rich text box, shown and
// driven with real keys where it is about editing: Find, CR LF offsets and the line messages,
// input methods, bulk passes and undo, the screen, the key events and focus. And a seeded
// random walk over a shown box for how colours move with typing, pastes and setSelText, and
// for the colouring passes the window runs.

#include "colouring/boxcolouring.h"
#include "colouring/richtextbox.h"
#include "colouring/vbcolouring.h"
#include "support/testsupport.h"

#include <QClipboard>
#include <QDir>
#include <QHash>
#include <QInputMethodEvent>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <random>

using namespace quillbox;
using namespace quillbox::colouring;

namespace {

// The colours, 0x00BBGGRR, written out here rather than taken from the code under test: the
// runs of the references are named by them, so a keyword colour given as RGB instead of BGR
// shows as a number.
constexpr std::uint32_t kRed = 0x0000FF, kGreen = 0x008000, kBlue = 0xFF0000, kNavy = 0x800000;
using Runs = ColourRuns;

// The lines of a file that ends with a line break.
QStringList linesOf(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll()).chopped(1).split(u'\n');
}

// QUILLBOX_REGENERATE=1 writes the references first (regenerate.sh).
TEST(ColouringGolden, EverySourceFileIsColouredAsItsReferenceSays)
{
    const QDir dir(QStringLiteral(QUILLBOX_COLOURING_DATA));
    const QStringList sources = dir.entryList({QStringLiteral("*.bas")}, QDir::Files, QDir::Name);
    ASSERT_GE(sources.size(), 6);
    const QHash<std::uint32_t, QString> names = {{kNavy, QStringLiteral("navy")}, {kGreen, QStringLiteral("green")}};
    for (const QString &name : sources) {
        QStringList got;
        for (const QString &line : linesOf(dir.filePath(name))) {
            const LineColouring c = colourLine(line);
            QStringList runs;
            for (const ColourRun &r : c.runs)
                runs << names.value(r.bgr, QString::number(r.bgr, 16))
                            + QStringLiteral(" %1-%2").arg(r.start).arg(endOf(r));
            for (const CaseRewrite &r : c.rewrites)
                EXPECT_NE(line.mid(r.start, r.length), r.text) << "a rewrite that changes nothing";
            got << runs.join(u' ') + QStringLiteral(" | ") + applyRewrites(line, c.rewrites);
        }
        const QString refPath = dir.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".ref"));
        if (qEnvironmentVariableIsSet("QUILLBOX_REGENERATE")) {
            QFile ref(refPath); // written, and closed before it is read below
            ASSERT_TRUE(ref.open(QIODevice::WriteOnly | QIODevice::Truncate));
            ref.write((got.join(u'\n') + u'\n').toUtf8());
        }
        // As std::string, for gtest's line by line difference.
        EXPECT_EQ(got.join(u'\n').toStdString(), linesOf(refPath).join(u'\n').toStdString()) << name.toStdString();
    }
}

// A shown box whose events are written down; its KeyPress handler answers `answer` (-1
// leaves the key alone).
class RichTextBoxTest : public ::testing::Test {
protected:
    RichTextBoxTest()
    {
        box.resize(400, 300);
        box.show();
        QObject::connect(&box, &RichTextBox::Change, &box, [this] { events << QStringLiteral("change"); });
        QObject::connect(&box, &RichTextBox::KeyDown, &box,
                         [this](int shift) { events << QStringLiteral("down %1").arg(shift); });
        QObject::connect(&box, &RichTextBox::KeyPress, &box, [this](int *ascii) {
            events << QStringLiteral("press %1").arg(*ascii);
            *ascii = answer >= 0 ? answer : *ascii;
        });
    }
    void select(int start, int length)
    {
        box.setSelStart(start);
        box.setSelLength(length);
    }
    RichTextBox box;
    QStringList events;
    int answer = -1;
};

TEST_F(RichTextBoxTest, TheLineMessages)
{
    // Every kind of line break becomes one, read back as CR LF. Lines start at 0, 19 and 44.
    box.setText(QString::fromUtf8("Dim total As Long\rTotal = total_x + Total\u2028subtotal = TOTAL"));
    EXPECT_EQ(box.Text(), QStringLiteral("Dim total As Long\r\nTotal = total_x + Total\r\nsubtotal = TOTAL"));
    for (const auto &[line, start, length, lineBreak] :
         {std::tuple{0, 0, 17, "\r\n"}, {1, 19, 23, "\r\n"}, {2, 44, 16, ""}}) {
        EXPECT_EQ(box.LineIndex(line), start);
        EXPECT_EQ(box.LineFromChar(start + length + 1), line);
        select(start + length + 1, 2); // from between CR and LF: from the line's end
        EXPECT_EQ(box.SelText(), QString::fromLatin1(lineBreak)) << line;
        box.setSelStart(start + 3); // -1 is the caret's line
        EXPECT_EQ(box.LineIndex(-1), start);
        EXPECT_EQ(box.LineLength(-1), length);
    }
    EXPECT_EQ(box.LineIndex(3), -1);
    select(-7, 1000); // clipped to the text
    EXPECT_EQ(box.SelText(), box.Text());
    box.setText(QStringLiteral("\nx"));
    EXPECT_EQ(box.firstCharacter(), QChar(u'\r'));
}

TEST_F(RichTextBoxTest, AnInputMethodsTextMovesTheColoursAsTyping)
{
    // commit, in place of `replaced` characters from `from` (caret-relative), at the caret or
    // over the selection; composing first raises no Change of its own. Dim navy, Long red.
    for (const auto &[caret, length, commit, from, replaced, composeFirst, text, runs0, runs1] :
         {std::tuple{11, 0, "\u00e9", 0, 0, true, "Dim x As Lo\u00e9ng\r\nlast",
                     Runs{{0, 3, kNavy}, {9, 2, kRed}, {12, 2, kRed}}, Runs{}},
          {3, 0, "\u00ea", -1, 1, false, "Di\u00ea x As Long\r\nlast", {{0, 2, kNavy}, {9, 4, kRed}}, {}},
          {5, 0, "p\nq", 0, 0, false, "Dim xp\r\nq As Long\r\nlast", {{0, 3, kNavy}}, {{5, 4, kRed}}},
          {2, 14, "q", 0, 0, false, "Diqast", {{0, 2, kNavy}}, {}}}) { // lines joined: the rest black
        box.setText(QStringLiteral("Dim x As Long\r\nlast"));
        box.setLineColours(0, {{0, 3, kNavy}, {9, 4, kRed}});
        select(caret, length);
        events.clear();
        QInputMethodEvent compose(QStringLiteral("e"), {}), done;
        if (composeFirst)
            QCoreApplication::sendEvent(&box, &compose);
        done.setCommitString(QString::fromUtf8(commit), from, replaced);
        QCoreApplication::sendEvent(&box, &done);
        EXPECT_EQ(events, QStringList{QStringLiteral("change")}) << text;
        EXPECT_EQ(box.Text(), QString::fromUtf8(text));
        EXPECT_EQ(box.lineColours(0), runs0) << text;
        EXPECT_EQ(box.lineColours(1), runs1) << text;
    }
}

// Rewrites are recorded in no step after a text just set; otherwise a pass's rewrites are one
// edit joining the step of the key before it. Colouring while a step waits to be redone
// rewrites nothing and paints the text as it stands.
TEST_F(RichTextBoxTest, RewritesJoinTheStepBeforeThemKeepTheCaretAndColoursAreNoEdit)
{
    box.setText(QStringLiteral("dim a\r\nx = 1 ' note\r\nendif"));
    box.setLineColours(1, {{6, 6, kGreen}});
    box.setSelStart(box.LineIndex(2) + 5); // behind "endif"
    events.clear();
    box.replaceInLine(2, 0, 5, QStringLiteral("End If"));
    box.replaceInLine(2, 0, 3, QStringLiteral("End")); // the same text: no edit
    box.replaceInLine(1, 0, 0, QStringLiteral("'\r\n"));
    box.replaceInLine(0, 0, 3, QStringLiteral("Dim"));
    // Clipped to the line, without the top byte, the later run winning.
    box.setLineColours(0, {{-2, 5, kNavy}, {2, 9, 0xFF0000FF}});
    EXPECT_EQ(events.size(), 3);
    const QString rewritten = QStringLiteral("Dim a\r\n' x = 1 ' note\r\nEnd If");
    EXPECT_EQ(box.Text(), rewritten);
    EXPECT_EQ(box.SelStart(), box.LineIndex(2) + 6) << "the caret stays behind the rewritten word";
    EXPECT_EQ(box.lineColours(0), (Runs{{0, 2, kNavy}, {2, 3, kRed}}));
    EXPECT_EQ(box.lineColours(1), (Runs{{8, 6, kGreen}}));
    select(4, 4);           // over a line break, which stays black
    box.setSelColor(kBlue); // no edit either
    EXPECT_EQ(box.colourAt(5), kBlack);
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(box.Text(), rewritten);

    box.moveCursor(QTextCursor::End);
    box.setTypingClock([] { return qint64(0); }); // no pause: the runs " endif" and " x"
    QTest::keyClicks(&box, QStringLiteral(" endif x"));
    const auto colourAsSource = [](int, QStringView text, LineColouring *out) { colourLine(text, out); };
    events.clear();
    box.colourLines(0, 2, colourAsSource);
    EXPECT_EQ(events, QStringList{"change"});
    EXPECT_EQ(box.GetLine(2), QStringLiteral("End If End If x"));
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier); // the last run and the pass
    EXPECT_EQ(box.Text(), rewritten + QStringLiteral(" endif"));
    box.colourLines(2, 2, colourAsSource);
    EXPECT_EQ(box.Text(), rewritten + QStringLiteral(" endif")) << "the step ahead stays to be redone";
    EXPECT_EQ(box.lineColours(2), (Runs{{0, 3, kNavy}, {4, 2, kNavy}, {7, 5, kNavy}}));
    QTest::keyClick(&box, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(box.GetLine(2), QStringLiteral("End If End If x"));
}

TEST_F(RichTextBoxTest, TheScreenShowsTheColours)
{
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    box.setText(QStringLiteral("WWWWWW\r\n").repeated(200));
    const auto redPixels = [this](int line) { // on screen, in the line's row of the box
        const QRect row = box.cursorRect(QTextCursor(box.document()->findBlockByNumber(line)));
        QCoreApplication::processEvents();
        const QImage image = box.screen()
                                 ->grabWindow(box.winId(), 0, row.top() + box.viewport()->y(), -1, row.height())
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        const auto *pixels = reinterpret_cast<const QRgb *>(image.constBits());
        return std::count_if(pixels, pixels + image.width() * image.height(),
                             [](QRgb c) { return qRed(c) > 180 && qGreen(c) < 90 && qBlue(c) < 90; });
    };
    EXPECT_EQ(redPixels(0), 0); // settled before the pass
    box.beginBulkColouring();   // lines coloured off screen show their colour when scrolled to
    for (int line = 0; line < 200; line += 2)
        box.setLineColours(line, {{0, 6, kRed}});
    box.endBulkColouring();
    EXPECT_GT(redPixels(0), 0);
    EXPECT_EQ(redPixels(1), 0);
    box.setSelStart(box.LineIndex(180)); // scrolled to
    EXPECT_GT(redPixels(180), 0);
    box.setLineColours(180, {}); // on screen: at once
    EXPECT_EQ(redPixels(180), 0);
}

TEST_F(RichTextBoxTest, KeyDownKeyPressThenTheEditWhichKeyPressMayChange)
{
    QGuiApplication::clipboard()->setText(QString::fromUtf8("<\u2028\r>"));
    // The key, what the KeyPress handler answers, the events, and the text made from "ab"
    // with the caret at 1.
    for (const auto &[key, modifiers, reply, expected, text] :
         {std::tuple{Qt::Key_A, Qt::KeyboardModifiers(), -1, "down 0, press 97, change", "aab"},
          {Qt::Key_Return, Qt::ShiftModifier, -1, "down 1, down 1, press 13, change", "a\r\nb"},
          {Qt::Key_Delete, Qt::NoModifier, -1, "down 0, change", "a"},
          {Qt::Key_Return, Qt::NoModifier, 0, "down 0, press 13", "ab"},
          {Qt::Key_7, Qt::KeypadModifier, -1, "down 0, press 55, change", "a7b"},
          {Qt::Key_Q, Qt::NoModifier, 0x1F600, "down 0, press 113, change", "a\U0001F600b"},
          {Qt::Key_V, Qt::ControlModifier, 0, "down 2, down 2, change, press 22", "a<\r\n\r\n>b"}}) {
        box.setText(QStringLiteral("ab"));
        box.setSelStart(1);
        events.clear();
        answer = reply;
        QTest::keyClick(&box, key, modifiers);
        EXPECT_EQ(events.join(QStringLiteral(", ")), QString::fromLatin1(expected)) << text;
        EXPECT_EQ(box.Text(), QString::fromUtf8(text));
    }
}

TEST(RichTextBoxFocus, SetFocusLeavesAHiddenBoxAlone)
{
    QWidget window; // not on screen: the box's own visibility counts
    auto *box = new RichTextBox(&window);
    for (const bool visible : {false, true}) {
        box->setVisibleState(visible);
        box->SetFocus();
        EXPECT_EQ(window.focusWidget() == box, visible);
    }
}

// What a whole-box pass told the window: during it, its lines and the last line reported;
// after it {0, 0} if the bar reached the last line and Cancel was off only while pasting.
struct Window : PassObserver {
    void passStarted(int lines) override { pass = {lines, -1}; }
    void passProgress(int line) override { pass.second = line; }
    void passFinished() override { pass = {0, pass.second + 1 == pass.first && cancel != pasting ? 0 : -1}; }
    bool cancelEnabled() const override { return cancel; }
    void setCancelEnabled(bool enabled) override { cancel = enabled; }
    std::pair<int, int> pass;
    bool cancel = true, pasting = false;
};

// A seeded random walk over a shown box: keys typed (Enter, Tab, Backspace, Delete and Ctrl+V
// among them), selections, and the colouring passes, each step checked against a model of the
// text (one '\n' a break), the caret, and each character's colour: what the colouring gave
// its line when it was last coloured; typed and pasted text, breaks and the rest of a joined
// line are black. Typed text is made red before each pass that must set it back to black.
TEST(RichTextBoxFuzz, RandomEditsAndColouringsKeepTextColoursAndCaret)
{
    const QStringList keywords = keywordTable() << QStringLiteral("endif") << QStringLiteral("'");
    const QString keyChars = QString::fromUtf8("'x=é中 \t\n\b\x7f\x16"),
                  pasted = QStringLiteral("x = 1 ' Dim\nendif (byval\n");
    const QHash<QChar, Qt::Key> keys{
        {u'\n', Qt::Key_Return}, {u'\b', Qt::Key_Backspace}, {u'\x7f', Qt::Key_Delete}, {u'\x16', Qt::Key_V}};
    using Pass = void (BoxColouring::*)(RichTextBox &);
    const Pass passes[] = {
        &BoxColouring::ResetColors, &BoxColouring::RichTBSetcolors,      nullptr,
        &BoxColouring::FormatRTB,   &BoxColouring::DescriptionPastePass, &BoxColouring::ColourEveryLine};
    QGuiApplication::clipboard()->setText(QString::fromUtf8("x = 1 ' Dim\r\nendif (byval\u2028"));
    for (const unsigned seed : {20240601u, 7u, 991u}) {
        Window window;
        BoxColouring colouring(window);
        RichTextBox box;
        box.show();
        std::mt19937 rng(seed);
        QString text;
        std::vector<std::uint32_t> colour;
        int anchor = 0, position = 0;
        const auto random = [&rng](int high) { return int(rng() % unsigned(high + 1)); };
        const auto lineEnd = [&text](int p) { return int((text + u'\n').indexOf(u'\n', p)); };
        const auto line = [&](int start) { return text.mid(start, lineEnd(start) - start); };
        const auto paint = [&](int a, int b, std::uint32_t bgr) { std::fill_n(colour.begin() + a, b - a, bgr); };
        const auto replace = [&](int a, int b, const QString &insert) { // the caret moves as in the box
            const int end = a + int(insert.size());
            const bool joins = QStringView(text).mid(a, b - a).contains(u'\n');
            text.replace(a, b - a, insert);
            colour.insert(colour.erase(colour.begin() + a, colour.begin() + b), size_t(insert.size()), kBlack);
            paint(end, joins ? lineEnd(end) : end, kBlack);
            const auto moved = [&](int p) { return p <= a && p < b ? p : p >= b ? p + end - b : std::min(p, end); };
            std::tie(anchor, position) = std::pair(moved(anchor), moved(position));
        };
        for (int n = 0; n < 3000 && !HasFailure(); ++n) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", step " << n);
            const int size = int(text.size()), pick = size > 1500 ? 0 : random(11) - 5;
            const auto offset = [&text](int p) { return p + int(QStringView(text).left(p).count(u'\n')); };
            if (size > 1500 || random(3) == 0) { // a selection or the caret, through the CR LF offsets
                const int a = random(size);
                std::tie(anchor, position) = std::minmax(a, rng() % 2 ? a : random(size));
                box.setSelStart(offset(anchor));
                box.setSelLength(offset(position) - offset(anchor));
            }
            QString t = size > 1500 ? QStringLiteral("\b") : QString(); // the keys
            for (int i = pick < 0 && size <= 1500 ? random(3) : 0; i > 0; --i)
                t += rng() % 2 ? keywords.at(random(109)) : QString(keyChars[random(10)]);
            for (const QChar c : rng() % 3 ? t : t.toUpper()) {
                QTest::sendKeyEvent(QTest::Click, &box, keys.value(c), c,
                                    c == u'\x16' ? Qt::ControlModifier : Qt::NoModifier);
                const bool back = c == u'\b', removes = back || c == u'\x7f';
                if (removes && anchor == position)
                    (back ? anchor : position) = std::clamp(position + (back ? -1 : 1), 0, int(text.size()));
                replace(anchor, position, removes ? QString() : c == u'\x16' ? pasted : QString(c));
                anchor = position;
            }
            // ResetColors, RichTBSetcolors, ColorizeWord on the caret's line; FormatRTB, the paste pass,
            // ColourEveryLine
            const int kind = std::min(pick, 5), start = int(text.left(position).lastIndexOf(u'\n')) + 1;
            const QString word = keywords.at(random(109));
            window.pasting = kind == 4;
            if (kind > 0 && anchor == position)
                box.setSelColor(kRed);
            kind < 0 ? void() : kind == 2 ? colouring.ColorizeWord(box, word, kRed) : (colouring.*passes[kind])(box);
            for (int s = kind > 2 ? 0 : start;
                 kind >= 0 && s <= text.size() && (kind > 2 || (s == start && anchor == position));
                 s = lineEnd(s) + 1) {
                if (window.pasting && !line(s).contains(QRegularExpression(QStringLiteral("^ *'"))))
                    replace(s, s, BoxColouring::CommentMark);
                const LineColouring c = kind == 2 ? colourWord(line(s), word)
                                        : kind    ? colourLine(line(s))
                                                  : LineColouring();
                for (auto it = c.rewrites.crbegin(); it != c.rewrites.crend(); ++it)
                    replace(s + it->start, s + it->start + it->length, it->text);
                paint(s, kind == 2 ? s : lineEnd(s), kBlack);
                for (const ColourRun &run : c.runs)
                    paint(s + run.start, s + endOf(run), kind == 2 ? kRed : run.bgr);
            }
            if (kind == 3 || kind == 4)
                anchor = position = int(text.lastIndexOf(u'\n')) + 1;
            ASSERT_EQ(box.Text(), QString(text).replace(u'\n', QStringLiteral("\r\n")));
            ASSERT_EQ(std::pair(box.textCursor().anchor(), box.textCursor().position()), std::pair(anchor, position));
            for (int p = 0, breaks = 0; p < text.size(); breaks += text[p++] == u'\n')
                ASSERT_EQ(box.colourAt(p + breaks), colour[size_t(p)]) << "at " << p;
            ASSERT_TRUE(window.pass == std::pair(0, 0) && window.cancel)
                << "the bar short, the note left or Cancel wrong";
        }
    }
}

} // namespace
