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
                         [this](int code, int shift) { events << QStringLiteral("down %1 %2").arg(code).arg(shift); });
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

TEST_F(RichTextBoxTest, FindOffsetsAndTheLineMessages)
{
    // Every kind of line break becomes one, read back as CR LF. Lines start at 0, 19 and 44.
    box.setText(QString::fromUtf8("Dim total As Long\rTotal = total_x + Total\u2028subtotal = TOTAL"));
    EXPECT_EQ(box.Text(), QStringLiteral("Dim total As Long\r\nTotal = total_x + Total\r\nsubtotal = TOTAL"));
    const int wholeWord = RichTextBox::rtfWholeWord, matchCase = RichTextBox::rtfMatchCase;
    // The needle, where the search starts, the options, where it is found.
    const std::tuple<const char *, int, int, int> finds[] = {
        {"total", 5, 0, 19},         {"total", 5, matchCase, 27}, {"total", 20, wholeWord, 37},
        {"total", 38, 0, 47},        {"x", 0, wholeWord, -1},     {"TOTAL", 0, wholeWord | matchCase, 55},
        {"long\r\ntotal", 0, 0, 13}, {"\r\nsub", 43, 0, -1},      {"long\r\nTot", 0, wholeWord, -1}};
    for (const auto &[needle, start, options, found] : finds) {
        select(1, 2);
        EXPECT_EQ(box.Find(QString::fromLatin1(needle), start, options), found) << needle << " " << start;
        EXPECT_EQ(box.SelStart(), found >= 0 ? found : 1) << "a match is selected";
    }
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

TEST_F(RichTextBoxTest, ABulkPassIsOneUndoStepKeepsTheCaretAndColoursAreNoEdit)
{
    box.setText(QStringLiteral("dim a\r\nx = 1 ' note\r\nendif"));
    box.setLineColours(1, {{6, 6, kGreen}});
    box.setSelStart(box.LineIndex(2) + 5); // behind "endif"
    events.clear();
    box.beginBulkColouring();
    box.replaceInLine(2, 0, 5, QStringLiteral("End If"));
    box.replaceInLine(2, 0, 3, QStringLiteral("End")); // the same text: no edit
    box.replaceInLine(1, 0, 0, QStringLiteral("'\r\n"));
    box.replaceInLine(0, 0, 3, QStringLiteral("Dim"));
    // Clipped to the line, without the top byte, the later run winning.
    box.setLineColours(0, {{-2, 5, kNavy}, {2, 9, 0xFF0000FF}});
    box.endBulkColouring();
    EXPECT_EQ(events.size(), 3);
    EXPECT_EQ(box.Text(), QStringLiteral("Dim a\r\n' x = 1 ' note\r\nEnd If"));
    EXPECT_EQ(box.SelStart(), box.LineIndex(2) + 6) << "the caret stays behind the rewritten word";
    EXPECT_EQ(box.lineColours(0), (Runs{{0, 2, kNavy}, {2, 3, kRed}}));
    EXPECT_EQ(box.lineColours(1), (Runs{{8, 6, kGreen}}));
    select(0, 1);
    box.setSelColor(kBlue);                                // no edit either
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier); // the whole pass
    EXPECT_EQ(box.Text(), QStringLiteral("dim a\r\nx = 1 ' note\r\nendif"));
    EXPECT_FALSE(box.document()->isUndoAvailable());
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
         {std::tuple{Qt::Key_A, Qt::KeyboardModifiers(), -1, "down 65 0, press 97, change", "aab"},
          {Qt::Key_Return, Qt::ShiftModifier, -1, "down 16 1, down 13 1, press 13, change", "a\r\nb"},
          {Qt::Key_Delete, Qt::NoModifier, -1, "down 46 0, change", "a"},
          {Qt::Key_Return, Qt::NoModifier, 0, "down 13 0, press 13", "ab"},
          {Qt::Key_7, Qt::KeypadModifier, -1, "down 103 0, press 55, change", "a7b"},
          {Qt::Key_Q, Qt::NoModifier, 0x1F600, "down 81 0, press 113, change", "a\U0001F600b"},
          {Qt::Key_V, Qt::ControlModifier, 0, "down 17 2, down 86 2, change, press 22", "a<\r\n\r\n>b"}}) {
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

// A seeded random walk over a shown box: keys, pastes, setSelText, selections, colours and the
// colouring passes, checked after every step against a model of the text, the colour of each
// character, the caret and the typing colour, and what the passes told the window (the bar
// reaching the last line, the note gone, Cancel disabled during the description's paste pass
// and enabled again). QUILLBOX_FUZZ_SEED=s runs the one seed s.
struct Walk : PassObserver {
    explicit Walk(unsigned seed) : rng(seed) { box.show(); }
    void passStarted(int lines) override { pass = {lines, -1}; }
    void passProgress(int line) override { pass.second = line; }
    void passFinished() override
    {
        EXPECT_TRUE(pass.second == pass.first - 1 && cancel != pasting) << "the bar short of its end, or Cancel wrong";
        pass = {};
    }
    bool cancelEnabled() const override { return cancel; }
    void setCancelEnabled(bool enabled) override { cancel = enabled; }

    RichTextBox box;
    BoxColouring colouring{*this};
    std::mt19937 rng;
    std::pair<int, int> pass; // the lines of the pass under way, and the last one reported
    bool cancel = true, pasting = false;
    // The model: the text (one '\n' a break), each character's colour (a break is black),
    // the caret and the typing colour.
    QString text;
    std::vector<std::uint32_t> colour;
    int anchor = 0, position = 0;
    std::uint32_t typing = kBlack;

    int size() const { return int(text.size()); }
    int from() const { return std::min(anchor, position); }
    int offset(int p) const { return p + int(QStringView(text).left(p).count(u'\n')); }
    int lineStart(int p) const { return p == 0 ? 0 : int(text.lastIndexOf(u'\n', p - 1)) + 1; }
    int lineEnd(int p) const { return text.indexOf(u'\n', p) < 0 ? size() : int(text.indexOf(u'\n', p)); }
    QString line(int start) const { return text.mid(start, lineEnd(start) - start); }
    void paint(int a, int b, std::uint32_t bgr)
    {
        for (int p = a; p < b; ++p)
            colour[size_t(p)] = text[p] == u'\n' ? kBlack : bgr;
    }
    void replace(int a, int b, const QString &insert, std::uint32_t bgr)
    {
        const bool joins = QStringView(text).mid(a, b - a).contains(u'\n');
        const int end = a + int(insert.size());
        text.replace(a, b - a, insert);
        colour.insert(colour.erase(colour.begin() + a, colour.begin() + b), size_t(insert.size()), bgr);
        paint(a, end, bgr);
        if (joins) // what follows on the joined line is black
            paint(end, lineEnd(end), kBlack);
    }
    void edit(QString insert, std::uint32_t bgr)
    {
        insert.replace(QRegularExpression(QStringLiteral("\r\n|[\r\u2028\u2029]")), QStringLiteral("\n"));
        const int a = from();
        replace(a, std::max(anchor, position), insert, bgr);
        anchor = position = a + int(insert.size());
    }
    // A line coloured as the passes do: the rewrites from the back, each taking the colour of
    // the first character it replaces and keeping the caret on its characters; then the runs,
    // on a black line in their own colours, or `over` what the line shows in that colour.
    void recolour(int start, const LineColouring &c, std::uint32_t over = kBlack)
    {
        for (auto it = c.rewrites.crbegin(); it != c.rewrites.crend(); ++it) {
            const int a = start + it->start, b = a + it->length, end = a + int(it->text.size());
            const auto moved = [&](int p) { return p <= a ? p : p >= b ? p + end - b : std::min(p, end); };
            replace(a, b, it->text, colour[size_t(a)]);
            anchor = moved(anchor);
            position = moved(position);
        }
        if (over == kBlack)
            paint(start, lineEnd(start), kBlack);
        for (const ColourRun &run : c.runs)
            paint(start + run.start, start + endOf(run), over != kBlack ? over : run.bgr);
    }

    int random(int low, int high) { return low + int(rng() % unsigned(high - low + 1)); }
    // Keywords in any case, separators, non-ASCII, and the breaks only pasted text holds.
    QString randomText(int tokens, bool anyBreak)
    {
        static const QStringList keywords = keywordTable() << QStringLiteral("endif") << QStringLiteral("'");
        static const QStringList other =
            QString::fromUtf8(" |  |'|\t|\n|x|=|\"|é中文|\r\n|\r|\u2028|\u2029").split(u'|');
        QString out;
        for (int i = 0; i < tokens; ++i) {
            const QString t = rng() % 2 ? keywords.at(random(0, 109)) : other.at(random(0, anyBreak ? 12 : 8));
            out += rng() % 3 ? t : rng() % 2 ? t.toUpper() : t.toLower();
        }
        return out;
    }

    void step()
    {
        const int pick = size() > 1500 ? 0 : random(0, 99);
        const bool selected = anchor != position;
        if (pick < 12) { // Backspace or Delete
            const bool back = rng() % 2;
            QTest::keyClick(&box, back ? Qt::Key_Backspace : Qt::Key_Delete);
            if (anchor == position)
                anchor = std::clamp(position + (back ? -1 : 1), 0, size());
            edit(QString(), kBlack);
        } else if (pick < 35) { // typing
            for (const QChar c : randomText(random(1, 3), false)) {
                const Qt::Key key = c == u'\n' ? Qt::Key_Return : c == u'\t' ? Qt::Key_Tab : Qt::Key_unknown;
                QTest::sendKeyEvent(QTest::Click, &box, key, QString(c), Qt::NoModifier);
                edit(QString(c), typing);
            }
        } else if (pick < 50) { // Ctrl+V, or setSelText, whose text takes the colour of what it replaces
            const QString t = randomText(random(pick < 43 ? 1 : 0, 16), true);
            QGuiApplication::clipboard()->setText(t);
            pick < 43 ? QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier) : box.setSelText(t);
            if (selected || !t.isEmpty())
                edit(t, pick >= 43 && selected ? colour[size_t(from())] : typing);
        } else if (pick < 65) { // a selection, through the CR LF offsets
            anchor = random(0, size());
            position = random(anchor, std::min(size(), anchor + (rng() % 2 ? 0 : rng() % 4 ? 60 : 600)));
            box.setSelStart(offset(anchor));
            box.setSelLength(offset(position) - offset(anchor));
        } else if (pick < 75) {
            const std::uint32_t c = QList{kBlack, kCommentGreen, kKeywordNavy, kRed, 0xFF00AA00u}.at(rng() % 5);
            box.setSelColor(c);
            if (selected)
                paint(from(), std::max(anchor, position), c & kColourBits);
            else
                typing = c & kColourBits;
        } else if (pick < 97) { // the caret's line: ResetColors, RichTBSetcolors or ColorizeWord
            const int how = random(0, 5);
            const QString word = how > 2 ? randomText(1, false).trimmed() : QString();
            const int start = lineStart(position);
            box.setEnabledState(false);
            how == 0         ? colouring.ResetColors(box)
            : word.isEmpty() ? colouring.RichTBSetcolors(box)
                             : colouring.ColorizeWord(box, word, kRed);
            EXPECT_EQ(box.Enabled(), how != 0 && word.isEmpty()) << "RichTBSetcolors enables the box";
            box.setEnabledState(true);
            if (selected)
                return;
            recolour(start,
                     how == 0         ? LineColouring()
                     : word.isEmpty() ? colourLine(line(start))
                                      : colourWord(line(start), word),
                     word.isEmpty() ? kBlack : kRed); // ResetColors: no runs on a black line
            typing = how == 0 ? typing : kBlack;
        } else { // every line: with the note, the description's paste pass, or at once
            const int how = random(0, 2);
            pasting = how == 1;
            how == 0  ? colouring.FormatRTB(box)
            : pasting ? colouring.DescriptionPastePass(box)
                      : colouring.ColourEveryLine(box);
            for (int start = 0; start <= size(); start = lineEnd(start) + 1) {
                // A mark at the start of each line that has none (spaces before it aside).
                if (pasting && !line(start).contains(QRegularExpression(QStringLiteral("^ *'"))))
                    replace(start, start, QStringLiteral("'"), kBlack);
                recolour(start, colourLine(line(start)));
            }
            if (how < 2)
                anchor = position = lineStart(size()); // the caret at the last line's start
            typing = how < 2 || !selected ? kBlack : typing;
        }
    }

    std::string difference()
    {
        if (box.Text() != QString(text).replace(u'\n', QStringLiteral("\r\n")))
            return "text";
        if (box.textCursor().anchor() != anchor || box.textCursor().position() != position)
            return "caret";
        for (int p = 0, breaks = 0; p < size(); breaks += text[p++] == u'\n')
            if (box.colourAt(p + breaks) != colour[size_t(p)])
                return "colour at " + std::to_string(p);
        return pass.first ? "a pass left the note" : !cancel ? "Cancel left disabled" : "";
    }
};

TEST(RichTextBoxFuzz, RandomEditsAndColouringsKeepTextColoursAndCaret)
{
    const unsigned only = unsigned(qEnvironmentVariableIntValue("QUILLBOX_FUZZ_SEED"));
    for (const unsigned seed : only ? std::vector{only} : std::vector{20240601u, 7u, 991u}) {
        Walk walk(seed);
        for (int n = 0; n < 3000; ++n) {
            walk.step();
            const std::string why = walk.difference();
            ASSERT_TRUE(why.empty() && !testing::Test::HasFailure())
                << "seed " << seed << ", step " << n << ": " << why;
        }
    }
}

} // namespace
