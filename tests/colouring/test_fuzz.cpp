// A seeded random walk over a shown box: keys, pastes, setSelText, selections, colours and the
// colouring passes, checked after every step against a model of the text, the colour of each
// character, the caret and the typing colour, and what the passes told the window (the bar
// reaching the last line, the note gone, Cancel disabled during the description's paste pass
// and enabled again). QUILLBOX_FUZZ_SEED=s runs the one seed s.

#include "colouring/boxcolouring.h"
#include "colouring/richtextbox.h"
#include "colouring/vbcolouring.h"
#include "colouringtesting.h"
#include "support/testsupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <random>

using namespace quillbox;
using namespace quillbox::colouring;

namespace {

struct Walk : PassObserver {
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
        colour.erase(colour.begin() + a, colour.begin() + b);
        colour.insert(colour.begin() + a, size_t(insert.size()), bgr);
        paint(a, end, bgr);
        if (joins) // what follows on the joined line is black
            paint(end, lineEnd(end), kBlack);
    }
    void edit(QString insert, std::uint32_t bgr)
    {
        insert.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        insert.replace(QChar::LineSeparator, u'\n').replace(QChar::ParagraphSeparator, u'\n');
        const int a = from();
        replace(a, std::max(anchor, position), insert, bgr);
        anchor = position = a + int(insert.size());
    }
    // A line coloured as the passes do: the rewrites from the back, each keeping the caret on
    // its characters; black first, or not; the runs, in their colours or in `only`.
    void colourLine(int start, const LineColouring &c, bool blackFirst, std::uint32_t only = kBlack)
    {
        for (auto it = c.rewrites.crbegin(); it != c.rewrites.crend(); ++it) {
            const int a = start + it->start, b = a + it->length, end = a + int(it->text.size());
            const auto moved = [&](int p) { return p <= a ? p : p >= b ? p + end - b : std::min(p, end); };
            replace(a, b, it->text, it->length > 0 ? colour[size_t(a)] : typing);
            anchor = moved(anchor);
            position = moved(position);
        }
        if (blackFirst)
            paint(start, lineEnd(start), kBlack);
        for (const ColourRun &run : c.runs)
            paint(start + run.start, start + endOf(run), only != kBlack ? only : run.bgr);
        typing = kBlack;
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
    // Selects up to `most` characters from `a`, through the CR LF offsets.
    void select(int a, int most)
    {
        anchor = a;
        position = random(a, std::min(size(), a + most));
        box.setSelStart(offset(a));
        box.setSelLength(offset(position) - offset(a));
    }

    void step()
    {
        const int pick = size() > 1500 ? 0 : random(0, 99);
        const bool selected = anchor != position;
        if (pick < 12) { // Backspace or Delete, now and then over a long selection
            if (pick < 2)
                select(random(0, size()), 600);
            const bool back = rng() % 2;
            QTest::keyClick(&box, back ? Qt::Key_Backspace : Qt::Key_Delete);
            if (anchor == position)
                anchor = std::clamp(position + (back ? -1 : 1), 0, size());
            edit(QString(), kBlack);
        } else if (pick < 35) {
            for (const QChar c : randomText(random(1, 3), false)) {
                if (c == u'\n' || c == u'\t')
                    QTest::keyClick(&box, c == u'\n' ? Qt::Key_Return : Qt::Key_Tab);
                else
                    QTest::sendKeyEvent(QTest::Click, &box, Qt::Key_unknown, QString(c), Qt::NoModifier);
                edit(QString(c), typing);
            }
        } else if (pick < 43) {
            const QString t = randomText(random(1, 16), true);
            QGuiApplication::clipboard()->setText(t);
            QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
            edit(t, typing);
        } else if (pick < 50) {
            const QString t = randomText(random(0, 4), true);
            box.setSelText(t);
            if (selected || !t.isEmpty())
                edit(t, selected ? colour[size_t(from())] : typing);
        } else if (pick < 65) {
            select(random(0, size()), rng() % 2 ? 0 : 60);
        } else if (pick < 75) {
            const std::uint32_t c = std::array{kBlack, kCommentGreen, kKeywordNavy, kRed, 0xFF00AA00u}[rng() % 5];
            box.setSelColor(c);
            if (selected)
                paint(from(), std::max(anchor, position), c & kColourBits);
            else
                typing = c & kColourBits;
        } else if (pick < 97) {
            const int how = random(0, 5); // 0 ResetColors, 1-2 RichTBSetcolors, ColorizeWord
            const QString word = how > 2 ? randomText(1, false).trimmed() : QString();
            const int start = lineStart(position);
            box.setEnabledState(false);
            if (how == 0)
                colouring.ResetColors(box);
            else if (word.isEmpty())
                colouring.RichTBSetcolors(box);
            else
                colouring.ColorizeWord(box, word, kRed);
            EXPECT_EQ(box.Enabled(), how != 0 && word.isEmpty()) << "RichTBSetcolors enables the box";
            box.setEnabledState(true);
            if (selected)
                return;
            if (how == 0)
                paint(start, lineEnd(start), kBlack);
            else
                colourLine(start,
                           word.isEmpty() ? quillbox::colouring::colourLine(line(start))
                                          : colourWord(line(start), word),
                           word.isEmpty(), word.isEmpty() ? kBlack : kRed);
        } else { // every line: with the note, the description's paste pass, or at once
            const int how = random(0, 2);
            const std::uint32_t typed = typing; // kept under a selection by ColourEveryLine
            pasting = how == 1;
            if (how == 0)
                colouring.FormatRTB(box);
            else if (how == 1)
                colouring.DescriptionPastePass(box);
            else
                colouring.ColourEveryLine(box);
            for (int start = 0; start <= size(); start = lineEnd(start) + 1) {
                const QString l = line(start); // spaces before the mark aside, but no tab
                const auto first = std::find_if(l.begin(), l.end(), [](QChar c) { return c != u' '; });
                if (pasting && (first == l.end() || *first != u'\''))
                    colourLine(start, {{}, {{0, 0, QStringLiteral("'")}}}, false);
                colourLine(start, quillbox::colouring::colourLine(line(start)), true);
            }
            if (how < 2)
                anchor = position = lineStart(size());
            else if (selected)
                typing = typed;
            pasting = false;
        }
    }

    std::string difference()
    {
        if (box.Text() != QString(text).replace(u'\n', QStringLiteral("\r\n")))
            return "text";
        if (box.textCursor().anchor() != anchor || box.textCursor().position() != position)
            return "caret";
        for (int start = 0, line = 0; start <= size(); start = lineEnd(start) + 1, ++line) {
            Runs runs;
            for (int p = start; p < lineEnd(start); ++p)
                appendRun(runs, p - start, 1, colour[size_t(p)]);
            if (box.lineColours(line) != runs)
                return "colours of line " + std::to_string(line);
        }
        const int p = random(0, size());
        if (box.colourAt(offset(p)) != (p < size() ? colour[size_t(p)] : kBlack))
            return "colourAt";
        return pass.first ? "a pass left the note" : !cancel ? "Cancel left disabled" : "";
    }
};

TEST(RichTextBoxFuzz, RandomEditsAndColouringsKeepTextColoursAndCaret)
{
    std::vector<unsigned> seeds = {20240601u, 7u, 991u};
    if (qEnvironmentVariableIsSet("QUILLBOX_FUZZ_SEED"))
        seeds = {unsigned(qEnvironmentVariableIntValue("QUILLBOX_FUZZ_SEED"))};
    for (const unsigned seed : seeds) {
        Walk walk;
        walk.rng.seed(seed);
        walk.box.show();
        for (int n = 0; n < 3000; ++n) {
            walk.step();
            const std::string why = walk.difference();
            ASSERT_TRUE(why.empty() && !testing::Test::HasFailure())
                << "seed " << seed << ", step " << n << ": " << why;
        }
    }
}

} // namespace
