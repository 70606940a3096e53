// The colouring core: each tests/data/colouring/*.bas against the .ref beside it (one line
// per source line: the colour runs, start to end, then the line after its case rewrites;
// regenerate.sh there rewrites them), and the tidying of colour runs.

#include "colouring/vbcolouring.h"
#include "colouringtesting.h"
#include "support/testsupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <climits>

using namespace quillbox::colouring;

namespace {

QString described(const QString &line)
{
    const LineColouring c = colourLine(line);
    QStringList runs;
    for (const ColourRun &r : c.runs)
        runs << QStringLiteral("%1 %2-%3")
                    .arg(r.bgr == kKeywordNavy    ? QStringLiteral("navy")
                         : r.bgr == kCommentGreen ? QStringLiteral("green")
                                                  : QString::number(r.bgr, 16))
                    .arg(r.start)
                    .arg(endOf(r));
    for (const CaseRewrite &r : c.rewrites)
        EXPECT_NE(line.mid(r.start, r.length), r.text) << "a rewrite that changes nothing";
    return runs.join(u' ') + QStringLiteral(" | ") + applyRewrites(line, c.rewrites);
}

QStringList linesOf(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

// QUILLBOX_REGENERATE=1 writes the references instead (regenerate.sh).
TEST(ColouringGolden, EverySourceFileIsColouredAsItsReferenceSays)
{
    const QDir dir(QStringLiteral(QUILLBOX_COLOURING_DATA));
    const QStringList sources = dir.entryList({QStringLiteral("*.bas")}, QDir::Files, QDir::Name);
    ASSERT_GE(sources.size(), 6);
    for (const QString &name : sources) {
        QStringList got;
        for (const QString &line : linesOf(dir.filePath(name)))
            got << described(line);
        const QString refPath = dir.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".ref"));
        if (qEnvironmentVariableIsSet("QUILLBOX_REGENERATE")) {
            QFile ref(refPath);
            ASSERT_TRUE(ref.open(QIODevice::WriteOnly | QIODevice::Truncate));
            ref.write((got.join(u'\n') + u'\n').toUtf8());
            continue;
        }
        const QStringList expected = linesOf(refPath);
        EXPECT_EQ(got.size(), expected.size()) << name.toStdString();
        for (qsizetype i = 0; i < std::min(got.size(), expected.size()); ++i)
            EXPECT_EQ(got[i], expected[i]) << name.toStdString() << ":" << i + 1;
    }
}

// What the box's setLineColours keeps of the runs it is given; how runs move with edits is
// the random walk's (test_fuzz.cpp).
TEST(ColourRuns, CleanRunsKeepsThemInOrderClippedAndMerged)
{
    struct Case {
        const char *name;
        Runs given, kept;
    }; // for a line of 20 characters
    const Case cases[] = {
        {"clean runs stay", {{0, 3, kNavy}, {9, 4, kRed}}, {{0, 3, kNavy}, {9, 4, kRed}}},
        {"touching runs of one colour merge",
         {{0, 3, kNavy}, {3, 2, kNavy}, {5, 1, kRed}},
         {{0, 5, kNavy}, {5, 1, kRed}}},
        {"black runs are none", {{0, 3, kBlack}, {4, 1, kRed}}, {{4, 1, kRed}}},
        {"clipped to the line", {{-3, 5, kRed}, {15, 50, kGreen}, {1, INT_MAX, kBlue}}, {{0, 1, kRed}, {1, 19, kBlue}}},
        {"empty, negative, past the end", {{2, 0, kRed}, {3, -1, kRed}, {20, 3, kRed}}, {}},
        {"a later run wins", {{0, 10, kGreen}, {4, 1, kRed}}, {{0, 4, kGreen}, {4, 1, kRed}, {5, 5, kGreen}}},
        {"out of order", {{10, 2, kRed}, {0, 2, kBlue}}, {{0, 2, kBlue}, {10, 2, kRed}}},
        {"the top byte is no colour", {{0, 2, 0xFF0000FF}, {2, 1, 0x01000000}}, {{0, 2, kRed}}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(cleanRuns(c.given, 20), c.kept) << c.name;
}
