// The text rules every front end shares: the final line break of a file, line breaks as the
// boxes store them, description comment marks, and the taken key.

#include "support/testsupport.h"
#include "text/matching.h"
#include "text/placeholders.h"
#include "text/snippettext.h"

#include <gtest/gtest.h>

using namespace quillbox::text;

TEST(TextRules, LineBreaksMarksAndKeysFollowTheWindow)
{
    const struct {
        QString in, chopped, crlf, marked, unmarked;
    } cases[] = {
        // in: the text; chopped: without a file's final break; crlf: every break as CR LF;
        // marked: as a stored description; unmarked: its lines without marks, joined by |.
        {"a\r\n", "a", "a\r\n", "'a\r\n'", "a|"},
        {"a\n\n", "a\n", "a\r\n\r\n", "'a\r\n'\r\n'", "a||"},
        {"a\rb\r", "a\rb", "a\r\nb\r\n", "'a\r\n'b\r\n'", "a|b|"},
        {"x\u2028y\u2029", "x\u2028y", "x\r\ny\r\n", "'x\r\n'y\r\n'", "x|y|"},
        {"  'kept\r\n'also\r\nnew", "  'kept\r\n'also\r\nnew", "  'kept\r\n'also\r\nnew", "  'kept\r\n'also\r\n'new",
         "kept|also|new"},
        {"no break", "no break", "no break", "'no break", "no break"},
        {"", "", "", "'", ""},
        {"\r\n\r", "\r\n", "\r\n\r\n", "'\r\n'\r\n'", "||"},
        {"x 'not a mark", "x 'not a mark", "x 'not a mark", "'x 'not a mark", "x 'not a mark"},
    };
    for (const auto &c : cases) {
        QString chopped = c.in;
        chopFinalLineBreak(chopped);
        EXPECT_EQ(chopped, c.chopped) << c.in.toStdString();
        EXPECT_EQ(withCrLf(c.in), c.crlf) << c.in.toStdString();
        EXPECT_EQ(markedDescription(c.in), c.marked) << c.in.toStdString();
        EXPECT_EQ(unmarkedDescriptionLines(c.in).join('|'), c.unmarked) << c.in.toStdString();
    }
    // The taken key: spaces trimmed (tabs kept), case folded beyond ASCII too.
    EXPECT_EQ(takenKey(" Größe \t "), takenKey("GRÖSSE \t"));
    EXPECT_NE(takenKey("a\t"), takenKey("a"));
    EXPECT_EQ(windowSnippet("  Loop ", "Counts\nup", "For\nNext").code, QVariant("For\r\nNext"));
    EXPECT_EQ(windowSnippet("  Loop ", "Counts\nup", "x").heading, QVariant("Loop"));
}

TEST(TextRules, ANewHeadingIsOneLineOfText)
{
    const std::pair<QString, HeadingFault> cases[] = {
        {" Swap ", HeadingFault::None},
        {"Tab\there", HeadingFault::None},
        {"   ", HeadingFault::Empty},
        {"", HeadingFault::Empty},
        {"multi\nline", HeadingFault::LineBreak},
        {"cr\rx", HeadingFault::LineBreak},
        {"ls\u2028x", HeadingFault::LineBreak},
        {"ps\u2029", HeadingFault::LineBreak},
        {QString("nul") + QChar(0), HeadingFault::Nul},
    };
    for (const auto &[heading, fault] : cases)
        EXPECT_EQ(headingFault(heading), fault) << heading.toStdString();
    EXPECT_EQ(headingFaultMessage(HeadingFault::Empty), "Please Enter a heading for the code");
}

TEST(Placeholders, BlanksAreReadOnceFilledOnceAndAnythingElseIsPlainText)
{
    const struct {
        QString text, names, defaults, filled; // names and defaults joined by |; filled with a=A, 1=One
    } cases[] = {
        {"Open ${FileName:\"C:\\log.txt\"} For Append As #${FileNumber:1}", "FileName|FileNumber", "\"C:\\log.txt\"|1",
         "Open \"C:\\log.txt\" For Append As #1"},
        {"${a:x ${b:y}} ${b} ${a}", "a|b", "x y|y", "A y A"},
        {"${1} and ${1:later} ${x}", "1|x", "later|", "One and One "},
        {"${a} first, ${a:then defined}", "a", "then defined", "A first, A"},
        {"\\${a} Left$(s, 3) Dim s$ \"costs $1\" end$", "", "", "${a} Left$(s, 3) Dim s$ \"costs $1\" end$"},
        {"${a:open ${b} never closed", "b", "", "${a:open  never closed"},
        {"${ a} ${1a} ${_x} ${} ${a-b}", "", "", "${ a} ${1a} ${_x} ${} ${a-b}"},
        {"${a:}}", "a", "", "A}"},
        {"${c:x ${a:y}} ${c}", "c|a", "x y|y", "x A x A"},
        {"$", "", "", "$"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const Placeholders p(c.text);
        QStringList defaults;
        for (qsizetype i = 0; i < p.names().size(); ++i)
            defaults << p.defaultOf(i).toString();
        EXPECT_EQ(p.names().join('|'), c.names);
        EXPECT_EQ(defaults.join('|'), c.defaults);
        EXPECT_EQ(p.filled({{"a", "A"}, {"1", "One"}}), c.filled);
    }
    EXPECT_EQ(Placeholders(u"${a} first, ${a:then defined}").filled(), "then defined first, then defined");
    // Nesting of any depth is read in one pass, with no call per level.
    const QString deep = QString("${a:").repeated(200000) + "x" + QString("}").repeated(200000);
    EXPECT_EQ(Placeholders(deep).filled(), "x");
    const QString unclosed = QString("${a:").repeated(200000) + "x";
    EXPECT_EQ(Placeholders(unclosed).filled(), unclosed);
    EXPECT_EQ(Placeholders(deep.chopped(1)).filled(), "${a:x");
}

// A heading's rank for a query, read as UTF-8 bytes as the database hands them over: letters
// beyond ASCII fold and bound words like any other, and bytes that are no UTF-8 are read
// without harm.
TEST(Text, QueryMatchRanksHeadingsByTheirLettersInAnyScript)
{
    using quillbox::text::QueryMatch;
    const struct {
        QString query;
        QByteArray heading;
        int rank; // 0: no match
    } cases[] = {
        {"straße", "STRASSE", 0},       // ß stays apart from ss
        {"STRAßE", "straße", 1},        // the whole heading
        {"ÉCOLE", "école primaire", 2}, // its beginning
        {"größe", "Fenster Größe", 3},  // a word's beginning
        {"le", "Größle", 4},            // after ß, a letter: no word begins here
        {"öl", "Heizöl", 4},            // inside a word
        {"cd",
         "ab\xff"
         "cd",
         3},                               // a stray byte ends a word as a space does
        {"ab", "\xe2\x82", 0},             // cut short in a character
        {"swpval", "Swap two values", 14}, // the letters in order
        {"lavpws", "Swap two values", 0},  // the same letters in another order
    };
    const bool headingOnly[3] = {true, false, false};
    for (const auto &c : cases) {
        const QueryMatch match(quillbox::text::queryWords(c.query, 64));
        const std::string_view fields[3] = {{c.heading.constData(), std::size_t(c.heading.size())}, {}, {}};
        EXPECT_EQ(quillbox::text::rowrank::rank(match.rankRow(fields, headingOnly, true)), c.rank)
            << c.query.toStdString() << " in " << c.heading.constData();
    }
}
