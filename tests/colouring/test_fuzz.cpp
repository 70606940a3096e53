// A seeded random walk over a shown rich text box, checked after every step against a model of
// its text, colours, caret and typing colour. Inserted text takes the typing colour (setSelText
// and rewrites: that of the first character replaced), untouched text keeps its colour, and an
// edit that joins lines leaves black what follows it on the joined line.

#include "boxcolouring.h"
#include "richtextbox.h"
#include "testsupport.h"
#include "vbcolouring.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QTextCursor>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using quillbox::RichTextBox;
using quillbox::colouring::BoxColouring;
using quillbox::colouring::ColourRun;
using quillbox::colouring::LineColouring;
using Runs = QList<ColourRun>;

constexpr std::uint32_t kBlack = 0;
const QChar kBreak = QLatin1Char('\n');

QString oneBreak(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), kBreak);
    return text.replace(QChar::LineSeparator, kBreak).replace(QChar::ParagraphSeparator, kBreak);
}

struct Model {
    QString text;
    std::vector<std::uint32_t> colour; // one per character; a break is black
    int anchor = 0, position = 0;
    std::uint32_t typing = kBlack;

    int size() const { return int(text.size()); }
    int lineCount() const { return int(text.count(kBreak)) + 1; }
    int lineOf(int pos) const { return int(QStringView(text).left(pos).count(kBreak)); }
    int lineStart(int line) const
    {
        int at = 0;
        for (int l = 0; l < line; ++l)
            at = int(text.indexOf(kBreak, at)) + 1;
        return at;
    }
    int lineEnd(int line) const
    {
        const qsizetype next = text.indexOf(kBreak, lineStart(line));
        return next < 0 ? size() : int(next);
    }
    QString line(int l) const { return text.mid(lineStart(l), lineEnd(l) - lineStart(l)); }
    int selFrom() const { return std::min(anchor, position); }
    int selTo() const { return std::max(anchor, position); }
    bool hasSelection() const { return anchor != position; }

    // Offsets count each break as CR LF.
    int toOffset(int pos) const { return pos + lineOf(pos); }
    int maxOffset() const { return size() + lineCount() - 1; }
    int toPosition(int offset) const
    {
        for (int line = 0, start = 0;; ++line) {
            const int end = lineEnd(line);
            if (end == size() || offset < end + 2 + line)
                return start + std::clamp(offset - start - line, 0, end - start);
            start = end + 1;
        }
    }
    std::uint32_t colourAt(int pos) const { return pos < size() ? colour[std::size_t(pos)] : kBlack; }
    Runs runsOf(int l) const
    {
        Runs runs;
        const int start = lineStart(l);
        for (int p = start; p < lineEnd(l); ++p) {
            const std::uint32_t c = colour[std::size_t(p)];
            if (!runs.isEmpty() && runs.last().bgr == c && runs.last().start + runs.last().length == p - start)
                ++runs.last().length;
            else if (c != kBlack)
                runs.append({p - start, 1, c});
        }
        return runs;
    }

    void replace(int from, int to, const QString &insert, std::uint32_t bgr)
    {
        const bool joins = QStringView(text).mid(from, to - from).contains(kBreak);
        text.replace(from, to - from, insert);
        colour.erase(colour.begin() + from, colour.begin() + to);
        colour.insert(colour.begin() + from, std::size_t(insert.size()), bgr);
        paint(from, from + int(insert.size()), bgr);
        if (joins)
            paint(from + int(insert.size()), lineEnd(lineOf(from + int(insert.size()))), kBlack);
    }
    void edit(const QString &insert, std::uint32_t bgr)
    {
        const int from = selFrom();
        replace(from, selTo(), insert, bgr);
        anchor = position = from + int(insert.size());
    }
    void paint(int from, int to, std::uint32_t bgr)
    {
        for (int p = from; p < to; ++p)
            colour[std::size_t(p)] = text.at(p) == kBreak ? kBlack : bgr;
    }
    // A rewrite inside one line, as replaceInLine makes it; caret and anchor keep their characters.
    void rewrite(int from, int length, const QString &insert)
    {
        const int to = from + length, newEnd = from + int(insert.size());
        const auto moved = [&](int p) { return p <= from ? p : p >= to ? p + newEnd - to : std::min(p, newEnd); };
        replace(from, to, insert, length > 0 ? colourAt(from) : typing);
        anchor = moved(anchor);
        position = moved(position);
    }
    void apply(int l, const LineColouring &c, bool blackFirst, std::uint32_t bgr)
    {
        const int start = lineStart(l);
        for (auto it = c.rewrites.crbegin(); it != c.rewrites.crend(); ++it)
            rewrite(start + it->start, it->length, it->text);
        if (blackFirst)
            paint(start, lineEnd(l), kBlack);
        for (const ColourRun &run : c.runs)
            paint(start + run.start, start + run.start + run.length, bgr ? bgr : run.bgr);
    }
};

struct Walk {
    explicit Walk(unsigned seed) : rng(seed)
    {
        window.resize(420, 260);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(box = new RichTextBox(&window));
        layout->addWidget(note = new QLabel(QStringLiteral("Please wait"), &window));
        layout->addWidget(progress = new QProgressBar(&window));
        note->hide();
        progress->hide();
        colouring = std::make_unique<BoxColouring>(note, progress);
        for (const QString &k : quillbox::colouring::keywordTable())
            keywords << k;
        keywords << QStringLiteral("endif") << QStringLiteral("(byval") << QStringLiteral("debug.print");
        window.show();
    }

    void step()
    {
        using Step = void (Walk::*)();
        static constexpr std::pair<int, Step> kinds[] = {
            {18, &Walk::typeText},   {8, &Walk::backspaceOrDelete}, {4, &Walk::deleteRange},
            {10, &Walk::paste},      {7, &Walk::setSelText},        {13, &Walk::moveCaret},
            {6, &Walk::select},      {7, &Walk::caretKey},          {10, &Walk::setColours},
            {7, &Walk::colourWord},  {8, &Walk::colourCaretLine},   {2, &Walk::formatBox}};
        int pick = int(rng() % 100);
        if (model.size() > 1500 && pick < 30)
            return deleteRange(); // a long text mostly shrinks
        for (const auto &[weight, kind] : kinds) {
            if (pick < weight)
                return (this->*kind)();
            pick -= weight;
        }
    }

    std::string difference() // the first, if any

    {
        if (box->Text() != QString(model.text).replace(kBreak, QStringLiteral("\r\n")))
            return "text " + box->Text().toStdString();
        if (box->LineCount() != model.lineCount())
            return "line count";
        const QTextCursor cursor = box->textCursor();
        if (cursor.anchor() != model.anchor || cursor.position() != model.position)
            return "caret";
        if (box->SelStart() != model.toOffset(model.selFrom())
            || box->SelLength() != model.toOffset(model.selTo()) - model.toOffset(model.selFrom()))
            return "SelStart/SelLength";
        for (int l = 0; l < model.lineCount(); ++l)
            if (box->lineColours(l) != model.runsOf(l))
                return "colours of line " + std::to_string(l);
        for (int i = 0; i < 3 && model.size() > 0; ++i) {
            const int p = int(rng() % std::uint32_t(model.size()));
            if (box->colorAt(model.toOffset(p)) != model.colourAt(p))
                return "colorAt " + std::to_string(model.toOffset(p));
        }
        return {};
    }

    std::mt19937 rng;
    QWidget window;
    RichTextBox *box;
    QLabel *note;
    QProgressBar *progress;
    std::unique_ptr<BoxColouring> colouring;
    Model model;
    QStringList keywords;
    int coloured = 0;

    int randomIn(int low, int high) { return low + int(rng() % std::uint32_t(high - low + 1)); }

    // Keywords in any case, separators the colouring cares about, non-ASCII; `anyBreak` adds
    // the breaks only pasted or set text may hold.
    QString text(int tokens, bool anyBreak)
    {
        static const QStringList other = QString::fromUtf8(" |  |'|\t|\r\n|\n|x|=|(|:|\"|é中文|\u00A0").split(u'|');
        static const QStringList breaks = QString::fromUtf8("\r|\u2028|\u2029").split(u'|');
        QString out;
        for (int i = 0; i < tokens; ++i) {
            const int pick = int(rng() % 100);
            const QStringList &from = pick < 40 ? keywords : anyBreak && pick < 45 ? breaks : other;
            const QString t = from.at(int(rng() % from.size()));
            out += pick >= 40 || rng() % 3 == 0 ? t : rng() % 2 ? t.toUpper() : t.toLower();
        }
        return out;
    }

    void typeText()
    {
        for (const QChar c : oneBreak(text(randomIn(1, 3), false))) {
            if (c == kBreak)
                QTest::keyClick(box, Qt::Key_Return);
            else if (c == QLatin1Char('\t'))
                QTest::keyClick(box, Qt::Key_Tab);
            else
                QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
            model.edit(QString(c), model.typing);
        }
    }
    void backspaceOrDelete()
    {
        const bool back = rng() % 2;
        QTest::keyClick(box, back ? Qt::Key_Backspace : Qt::Key_Delete);
        if (!model.hasSelection())
            model.anchor = std::clamp(model.position + (back ? -1 : 1), 0, model.size());
        model.edit(QString(), kBlack);
    }
    void deleteRange()
    {
        const int from = randomIn(0, model.size());
        const int to = randomIn(from, std::min(model.size(), from + (model.size() > 1500 ? 600 : 60)));
        QTextCursor cursor = box->textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        box->setTextCursor(cursor);
        model.anchor = from;
        model.position = from == to ? std::min(to + 1, model.size()) : to;
        QTest::keyClick(box, Qt::Key_Delete);
        model.edit(QString(), kBlack);
    }
    void paste()
    {
        const QString t = text(randomIn(1, 16), true);
        QGuiApplication::clipboard()->setText(t);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        model.edit(oneBreak(t), model.typing);
    }
    void setSelText()
    {
        const QString t = rng() % 8 == 0 ? QString() : text(randomIn(1, 4), true);
        box->setSelText(t);
        if (model.hasSelection() || !t.isEmpty())
            model.edit(oneBreak(t), model.hasSelection() ? model.colourAt(model.selFrom()) : model.typing);
    }
    void moveCaret()
    {
        const int offset = randomIn(-2, model.maxOffset() + 2);
        box->setSelStart(offset);
        model.anchor = model.position = model.toPosition(std::clamp(offset, 0, model.maxOffset()));
    }
    void select()
    {
        const int length = randomIn(-3, 60);
        box->setSelLength(length);
        model.anchor = model.selFrom();
        const int startOffset = model.toOffset(model.anchor);
        model.position = model.toPosition(startOffset + std::clamp(length, 0, model.maxOffset() - startOffset));
    }
    void caretKey()
    {
        static const std::pair<Qt::Key, bool> keys[] = {{Qt::Key_Left, false}, {Qt::Key_Right, false},
                                                        {Qt::Key_Home, false}, {Qt::Key_End, false},
                                                        {Qt::Key_Home, true},  {Qt::Key_End, true}};
        const auto [key, ctrl] = keys[rng() % std::size(keys)];
        const bool shift = rng() % 2;
        const int line = model.lineOf(model.position);
        const bool collapse = !shift && model.hasSelection();
        QTest::keyClick(box, key, (shift ? Qt::ShiftModifier : Qt::NoModifier)
                                      | (ctrl ? Qt::ControlModifier : Qt::NoModifier));
        int &to = model.position;
        if (key == Qt::Key_Left)
            to = collapse ? model.selFrom() : std::max(0, to - 1);
        else if (key == Qt::Key_Right)
            to = collapse ? model.selTo() : std::min(model.size(), to + 1);
        else if (key == Qt::Key_Home)
            to = ctrl ? 0 : model.lineStart(line);
        else
            to = ctrl ? model.size() : model.lineEnd(line);
        if (!shift)
            model.anchor = to;
    }
    void setColours()
    {
        static const std::uint32_t colours[] = {kBlack, 0x008000, 0x800000, 0x0000FF, 0xFF00AA00};
        const std::uint32_t c = colours[rng() % std::size(colours)];
        box->setSelColor(c);
        if (model.hasSelection())
            model.paint(model.selFrom(), model.selTo(), c & 0xFFFFFF);
        else
            model.typing = c & 0xFFFFFF;
    }
    void colourWord()
    {
        const QString token = rng() % 5 == 0 ? QStringLiteral("'") : text(1, false).trimmed();
        const QString word = token.isEmpty() ? QStringLiteral("Dim") : token;
        const std::uint32_t c = rng() % 2 ? 0x800000u : 0x0000FFu;
        colouring->ColorizeWord(*box, word, c);
        if (model.hasSelection())
            return;
        const int l = model.lineOf(model.position);
        model.apply(l, quillbox::colouring::colourWord(model.line(l), word), false, c);
        model.typing = kBlack;
    }
    void colourLine(int l)
    {
        model.apply(l, quillbox::colouring::colourLine(model.line(l)), true, 0);
        ++coloured;
    }
    void colourCaretLine()
    {
        if (rng() % 10 == 0)
            box->setEnabled(false); // and enabled again by the colouring
        colouring->RichTBSetcolors(*box);
        EXPECT_TRUE(box->isEnabled());
        if (model.hasSelection())
            return;
        colourLine(model.lineOf(model.position));
        model.typing = kBlack;
        EXPECT_EQ(colouring->CaretLine, model.lineOf(model.position));
    }
    void formatBox()
    {
        colouring->FormatRTB(*box);
        for (int l = 0; l < model.lineCount(); ++l)
            colourLine(l);
        model.anchor = model.position = model.lineStart(model.lineCount() - 1);
        model.typing = kBlack;
        EXPECT_FALSE(note->isVisible() || progress->isVisible());
    }
};

// QUILLBOX_FUZZ_SEED=s runs the one seed s instead.
TEST(RichTextBoxFuzz, RandomEditsPastesAndColouringsKeepTextColoursAndCaret)
{
    constexpr int kSteps = 5000;
    std::vector<unsigned> seeds = {20240601u, 7u, 991u, 31337u};
    if (qEnvironmentVariableIsSet("QUILLBOX_FUZZ_SEED"))
        seeds = {unsigned(qEnvironmentVariableIntValue("QUILLBOX_FUZZ_SEED"))};
    for (const unsigned seed : seeds) {
        Walk walk(seed);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&walk.window));
        for (int n = 0; n < kSteps; ++n) {
            walk.step();
            const std::string why = walk.difference();
            ASSERT_TRUE(why.empty() && !testing::Test::HasFailure())
                << "seed " << seed << ", step " << n << ": " << why;
        }
        EXPECT_GT(walk.coloured, 100) << "seed " << seed;
    }
}

} // namespace
