// The colouring core, golden: a line in, the line as painted out. In the expected text a
// navy keyword stands in [brackets] and the green comment in {braces}; the text itself is
// the line after its case rewrites.

#include "testsupport.h"
#include "vbcolouring.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace quillbox::colouring;

namespace {

QString painted(const QString &line)
{
    const LineColouring c = colourLine(line);
    QString text = applyRewrites(line, c.rewrites);
    // Insert the marks from the back, so the offsets before stay valid.
    for (auto it = c.runs.crbegin(); it != c.runs.crend(); ++it) {
        const bool navy = it->bgr == kKeywordNavy;
        EXPECT_TRUE(navy || it->bgr == kCommentGreen);
        text.insert(it->start + it->length, navy ? QLatin1Char(']') : QLatin1Char('}'));
        text.insert(it->start, navy ? QLatin1Char('[') : QLatin1Char('{'));
    }
    return text;
}

struct Golden {
    const char *line;
    const char *expected;
};

} // namespace

TEST(ColouringCore, GoldenLines)
{
    const Golden cases[] = {
        // Words between spaces.
        {"Dim x As Long", "[Dim] x [As] [Long]"},
        {"Dim a As Long, b", "[Dim] a [As] [Long,] b"},
        {"Private Function F(ByVal s As String) As Long", "[Private] [Function] F(ByVal s [As] [String)] [As] [Long]"},
        {"Sub Go(byval x As Integer, byref y)", "[Sub] Go(byval x [As] [Integer,] [ByRef] y)"},
        {"Sub Go (byval x)", "[Sub] Go [(ByVal] x)"},
        {"Call F (byref y)", "[Call] F [(ByRef] y)"},
        // The comment: from the first mark to the end; nothing in it is a keyword.
        {"x = 1 'set x", "x = 1 {'set x}"},
        {"Set x = y ' Dim As Long", "[Set] x = y {' Dim As Long}"},
        {"'", "{'}"},
        {"' only a comment", "{' only a comment}"},
        {"   ' indented comment", "   {' indented comment}"},
        {"Dim'no space before the mark", "Dim{'no space before the mark}"},
        {"x = 'a' 'b'", "x = {'a' 'b'}"},
        {"MsgBox \"It's here\" Then", "MsgBox \"It{'s here\" Then}"},
        // Case rewrites: the first letter upper, the rest lower, and the special forms.
        {"debug.print x", "[Debug.print] x"},
        {"Debug.Print x", "[Debug.print] x"},
        {"Debug.Assert ok", "[Debug.assert] ok"},
        {"Dim WithEvents w As Form", "[Dim] [Withevents] w [As] Form"},
        {"n = LBound(a) + UBound (a)", "n = LBound(a) + [Ubound] (a)"},
        {"x = LBound y", "x = [Lbound] y"},
        {"Sub S(ParamArray a())", "[Sub] S(ParamArray a())"},
        {"Sub S (ParamArray a())", "[Sub] S (ParamArray a())"},
        {"Sub S paramarray a", "[Sub] S [Paramarray] a"},
        {"DIM X AS LONG", "[Dim] X [As] [Long]"},
        {"if x then goto done", "[If] x [Then] [GoTo] done"},
        {"redim a(3)", "[ReDim] a(3)"},
        {"elseif x then", "[ElseIf] x [Then]"},
        {"ELSE: x = 1", "[Else:] x = 1"},
        {"x = false: y", "x = [False:] y"},
        {"byval byref", "[ByVal] [ByRef]"},
        // "endif" becomes "End If", painted whole; what follows moves along.
        {"endif", "[End If]"},
        {"  endif ' done", "  [End If] {' done}"},
        {"if a then b endif endif 'x", "[If] a [Then] b [End If] [End If] {'x}"},
        {"End If", "[End] [If]"},
        // Not standing alone: inside longer words, behind tabs, brackets, dots, colons.
        {"Dimension = 1", "Dimension = 1"},
        {"Dim\tx", "Dim\tx"},
        {"x\tDim", "x\tDim"},
        {"(Dim x)", "(Dim x)"},
        {"x.Dim = 1", "x.Dim = 1"},
        {"Dim: x", "Dim: x"},
        {"Long,b", "Long,b"},
        // The ends of the line count as separators; runs of spaces too.
        {"Dim", "[Dim]"},
        {"x = New", "x = [New]"},
        {"  Dim   x   As  Long  ", "  [Dim]   x   [As]  [Long]  "},
        {"", ""},
        {"      ", "      "},
        // Not ASCII: never a keyword.
        {"Dím x Às Long", "Dím x Às [Long]"},
        {"Straße = Nothing", "Straße = [Nothing]"},
    };
    for (const Golden &g : cases) {
        SCOPED_TRACE(g.line);
        EXPECT_EQ(painted(QString::fromUtf8(g.line)), QString::fromUtf8(g.expected));
    }
}

TEST(ColouringCore, RewritesAreReportedOnlyWhereTheTextChanges)
{
    struct Case {
        const char *line;
        QList<CaseRewrite> rewrites;
    };
    const Case cases[] = {
        {"Dim x As Long", {}},
        {"dim x as long", {{0, 3, QStringLiteral("Dim")}, {6, 2, QStringLiteral("As")}, {9, 4, QStringLiteral("Long")}}},
        {"If x Then End If", {}},
        {"x endif", {{2, 5, QStringLiteral("End If")}}},
        {"Debug.print", {}},
        {"Debug.Print", {{0, 11, QStringLiteral("Debug.print")}}},
        {"x 'dim", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(colourLine(QString::fromUtf8(c.line)).rewrites, c.rewrites);
    }
}

TEST(ColouringCore, KeywordTableHasItsEntriesInOrder)
{
    QString joined;
    for (const char *constant : kKeywordConstants)
        joined += QString::fromLatin1(constant);
    EXPECT_EQ(joined.size(), 694);
    const QStringList table = keywordTable();
    ASSERT_EQ(table.size(), 108);
    EXPECT_EQ(table.first(), QStringLiteral("Or"));
    EXPECT_EQ(table.last(), QStringLiteral("EndIf"));
    EXPECT_FALSE(table.contains(QString()));
    for (const char *twice : {"Open", "Public", "Set"})
        EXPECT_EQ(table.count(QString::fromLatin1(twice)), 2) << twice;
    // ")" before "," for three of the types, "," first for the others.
    EXPECT_LT(table.indexOf(QStringLiteral("Byte)")), table.indexOf(QStringLiteral("Byte,")));
    EXPECT_LT(table.indexOf(QStringLiteral("Long,")), table.indexOf(QStringLiteral("Long)")));
    // Every entry, standing alone in any case, is a keyword written back as its rewrite.
    for (const QString &entry : table) {
        SCOPED_TRACE(entry.toStdString());
        for (const QString &typed : {entry, entry.toLower(), entry.toUpper()}) {
            const LineColouring c = colourLine(QStringLiteral("x ") + typed + QStringLiteral(" y"));
            ASSERT_EQ(c.runs.size(), 1);
            EXPECT_EQ(c.runs[0].start, 2);
            EXPECT_EQ(c.runs[0].length, caseRewrite(entry).size());
            EXPECT_EQ(c.runs[0].bgr, kKeywordNavy);
        }
    }
}

TEST(ColouringCore, CaseRewriteKeepsOnlyTheFirstLetterUpperBesideEightForms)
{
    const QPair<const char *, const char *> cases[] = {
        {"(byval", "(ByVal"}, {"BYVAL", "ByVal"},        {"byRef", "ByRef"},     {"(BYREF", "(ByRef"},
        {"elseIF", "ElseIf"}, {"REDIM", "ReDim"},        {"goTo", "GoTo"},       {"ENDIF", "End If"},
        {"Debug.Print", "Debug.print"}, {"WITHEVENTS", "Withevents"}, {"long)", "Long)"}, {"(bYvAl", "(ByVal"},
        {"false:", "False:"}, {"Integer,", "Integer,"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(caseRewrite(QString::fromLatin1(c.first)), QString::fromLatin1(c.second)) << c.first;
}

// A line built from random pieces: the result must be what a plain word-by-word reading of
// the line gives, and colouring the rewritten line again changes nothing more.
TEST(ColouringCore, RandomLinesAgreeWithAPlainReading)
{
    const QStringList table = keywordTable();
    const QStringList others = {QStringLiteral("x"), QStringLiteral("Dimension"), QStringLiteral("\t"),
                                QStringLiteral("("), QStringLiteral("\"a'b\""), QStringLiteral("'"),
                                QStringLiteral("é"), QStringLiteral(":"), QStringLiteral("=")};
    QRandomGenerator random(20261206);
    for (int round = 0; round < 3000; ++round) {
        QString line;
        const int pieces = random.bounded(12);
        for (int p = 0; p < pieces; ++p) {
            QString piece = random.bounded(2) ? table.at(random.bounded(table.size()))
                                              : others.at(random.bounded(others.size()));
            if (random.bounded(3) == 0)
                piece = piece.toLower();
            line += piece;
            line += QString(random.bounded(3), QLatin1Char(' '));
        }
        SCOPED_TRACE(line.toStdString());

        // The plain reading: the comment from the first mark; before it, space-separated words.
        const qsizetype mark = line.indexOf(QLatin1Char('\''));
        const QString code = mark < 0 ? line : line.left(mark);
        QString expected;
        qsizetype at = 0;
        while (at < code.size()) {
            if (code.at(at) == QLatin1Char(' ')) {
                expected += code.at(at++);
                continue;
            }
            qsizetype end = at;
            while (end < code.size() && code.at(end) != QLatin1Char(' '))
                ++end;
            const QString word = code.mid(at, end - at);
            bool keyword = end < code.size() || mark < 0; // a word touching the mark is none
            keyword = keyword && std::any_of(table.begin(), table.end(), [&](const QString &k) {
                          return k.compare(word, Qt::CaseInsensitive) == 0
                                 && std::all_of(word.begin(), word.end(), [](QChar ch) { return ch.unicode() < 128; });
                      });
            expected += keyword ? QLatin1Char('[') + caseRewrite(word) + QLatin1Char(']') : word;
            at = end;
        }
        if (mark >= 0)
            expected += QLatin1Char('{') + line.mid(mark) + QLatin1Char('}');
        EXPECT_EQ(painted(line), expected);

        const QString once = applyRewrites(line, colourLine(line).rewrites);
        const LineColouring again = colourLine(once);
        for (const CaseRewrite &r : again.rewrites)
            EXPECT_EQ(once.mid(r.start, r.length).compare(QStringLiteral("endif"), Qt::CaseInsensitive), 0)
                << "only what the first colouring split can change again";
    }
}
