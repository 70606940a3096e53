// The exchange formats read and written in this process: byte-exact round trips, the
// placeholder syntax, and hostile input, each refused with its message and no crash or hang.

#include "support/testsupport.h"
#include "text/placeholders.h"
#include "transfer/placeholders.h"
#include "transfer/transfer.h"
#include "transfer/transfertesting.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace quillbox;
using qbx::test::exportTo;
using qbx::test::fileBytes;
using qbx::test::Read;
using qbx::test::readPath;
using qbx::test::shownRows;
using transfer::Format;
using transfer::Snippet;

namespace {

Read readBytes(const QByteArray &bytes, Format format, transfer::ReadOptions options = {})
{
    Read r;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    r.report = format == Format::Json ? transfer::readJson(buffer, QStringLiteral("in.json"), options, r.take())
                                      : transfer::readVsCode(buffer, QStringLiteral("in.json"), options, r.take());
    return r;
}

const QString kLongHeading = QString(40000, QLatin1Char('h'));

} // namespace

TEST(Formats, OwnJsonGivesBackEveryRowByteForByte)
{
    // Every shape a stored column can take, null and empty among them.
    const QList<Snippet> rows{
        {QStringLiteral("CR\rLF\nCRLF\r\n"), QStringLiteral("'a\r\n'b"), QStringLiteral("x\ty\r\n")},
        {QVariant(), QVariant(), QStringLiteral("only code")},
        {QString(), QStringLiteral(""), QVariant()},
        {QStringLiteral("NUL\u0000inside"), QStringLiteral("\u2028\u2029"), QStringLiteral("emoji 😀 \"q\" \\ /")},
        {kLongHeading, QStringLiteral(" spaces kept "), QStringLiteral("${1:x} $b \\$")},
        {QStringLiteral("控制\u0001\u001f"), QStringLiteral("\u00a0"), QStringLiteral("Größe")},
    };
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("all.json"));
    ASSERT_EQ(exportTo(file, Format::Json, rows), QString());
    const Read back = readPath(file);
    ASSERT_TRUE(back.report.ok()) << back.report.message().toStdString();
    const QStringList got = back.rows(), want = shownRows(rows); // row by row: one heading is 40000 characters
    for (qsizetype i = 0; i < std::max(got.size(), want.size()); ++i)
        EXPECT_EQ(got.value(i, "(none)"), want.value(i, "(none)")) << "row " << i;
    // Read again as written, it is the same file.
    const QString again = dir.filePath(QStringLiteral("again.json"));
    ASSERT_EQ(exportTo(again, Format::Json, back.snippets), QString());
    EXPECT_EQ(fileBytes(again), fileBytes(file));
}

TEST(Formats, EditorAndFolderFormatsGiveBackWhatTheWindowStores)
{
    // Rows as the window stores them: the heading trimmed, description lines marked, CR LF.
    const QList<Snippet> rows{
        {QStringLiteral("Swap two"), QStringLiteral("'Exchanges\r\n' two"),
         QStringLiteral("a = $b\r\nx = Left$(s, 1)\r\ny = \"${1:x}\" & \\$ & \\\\ & $1 & ${")},
        {QStringLiteral("A/b: c?"), QStringLiteral("'"), QStringLiteral("dim x")},
        {QStringLiteral("a/b: c?"), QStringLiteral("'same file name, another case"), QStringLiteral("\t")},
        {QString(84, QChar(0x5B57)), QStringLiteral("'84 CJK characters"), QStringLiteral("' 😀\r\n\r\n")},
        {QString(84, QChar(0x5B57)) + QStringLiteral("x"), QStringLiteral("'the same start"), QStringLiteral("b")},
        {kLongHeading, QStringLiteral("'long"), QStringLiteral("c")},
        {QStringLiteral("CON"), QStringLiteral("'a reserved name"), QStringLiteral("d")},
        {QStringLiteral(".. dots .."), QStringLiteral("'"), QStringLiteral("e")},
    };
    QTemporaryDir dir;
    for (const Format format : {Format::VsCode, Format::Folder}) {
        const QString target =
            dir.filePath(format == Format::Folder ? QStringLiteral("bas") : QStringLiteral("vb.json"));
        QList<Snippet> withoutHeading = rows;
        withoutHeading.insert(1, Snippet{QVariant(), QStringLiteral("'left out"), QStringLiteral("z")});
        ASSERT_EQ(exportTo(target, format, withoutHeading), QString());
        const Read back = readPath(target, {format, false, transfer::kFieldLimit});
        ASSERT_TRUE(back.report.ok()) << back.report.message().toStdString();
        QStringList expected = shownRows(rows);
        if (format == Format::VsCode) // the editor's names are unique without case
            expected[2].replace(QLatin1String("a/b: c?|"), QLatin1String("a/b: c? (2)|"));
        // A folder comes back in the order of its file names.
        QStringList got = back.rows();
        if (format == Format::Folder) {
            std::sort(got.begin(), got.end());
            std::sort(expected.begin(), expected.end());
            const QStringList files = QDir(target).entryList(QDir::Files | QDir::Hidden);
            EXPECT_TRUE(std::all_of(files.begin(), files.end(),
                                    [](const QString &f) { return QFile::encodeName(f).size() <= 255; }));
            for (const char *name : {"A_b_ c_.bas", "a_b_ c_ (2).bas", "Snippet CON.bas", "dots.bas"})
                EXPECT_TRUE(files.contains(QLatin1String(name))) << name;
        }
        EXPECT_TRUE(got == expected) << "the snippets differ";
    }
    // The editor's file as another tool reads it.
    const QByteArray json = fileBytes(dir.filePath(QStringLiteral("vb.json")));
    // A blank is a tab stop there; every other '$' and escaping backslash is escaped.
    EXPECT_TRUE(json.contains(R"("y = \"${1:x}\" & \\\\\\$ & \\\\\\ & \\$1 & \\${")")) << json.constData();
    EXPECT_TRUE(json.contains(R"("description": "Exchanges\n two",)"));
    EXPECT_TRUE(json.contains(R"("scope": "vb")"));
}

TEST(Formats, EditorSnippetsComeInUnderTheWindowsRules)
{
    const QByteArray file = R"x({ // comments and trailing commas, as the editor allows
        "Loop": {"prefix": ["loop"], "body": ["For ${1:i} = 1 To ${2:n}", "\t$0 ${3|a,b|} $TM_FILENAME", "Next ${1:i}",
            ], "description": ["Counts", "up"], "scope": "vb,javascript"}, /* a block */
        "  Plain  ": {"body": "Beep \\$1 \\\\ $", "x": {"deep": [[{}]]}},
        "JS only": {"body": "alert()", "scope": "javascript"},
        "Typescript": {"body": "x", "scope": " typescript , javascriptreact "},
    })x";
    Read r = readBytes(file, Format::VsCode);
    ASSERT_TRUE(r.report.ok()) << r.report.message().toStdString();
    EXPECT_EQ(
        r.rows(),
        QStringList({"Loop|'Counts\r\n'up|For ${1:i} = 1 To ${2:n}\r\n\t${0} ${3:a} ${TM_FILENAME}\r\nNext ${1:i}",
                     "Plain|'|Beep $1 \\ $"}));
    EXPECT_EQ(r.report.rewritten, 1);
    EXPECT_EQ(r.report.otherScopes, 2);
    r = readBytes(file, Format::VsCode, {std::nullopt, true, transfer::kFieldLimit});
    EXPECT_EQ(r.snippets.size(), 4) << "--all-scopes takes them all";
    EXPECT_EQ(r.report.otherScopes, 0);
}

TEST(Formats, EditorTabStopsBecomeBlanksAndGoBackInOnePass)
{
    const struct {
        QString in, out;
        qsizetype found;
    } cases[] = {
        {"For ${1:i} = 1 To ${2:n}", "For ${1:i} = 1 To ${2:n}", 2},
        {"${1:outer ${2:inner} end}", "${1:outer ${2:inner} end}", 2},
        {"$1 $name ${2} ${TM_FILENAME/(.*)/x/g}", "${1} ${name} ${2} ${TM_FILENAME}", 4},
        {"${1|first,second|} ${2|a\\,b,c|}", "${1:first} ${2:a,b}", 2},
        {"Left$(s, 3) & Dim s$ & \"costs $\" & $", "Left$(s, 3) & Dim s$ & \"costs $\" & $", 0},
        {"\\${1:x} \\} \\\\ \\n", "\\${1:x} } \\ \\n", 0},
        {"${1:unclosed ${2:closed} rest", "${1:unclosed ${2:closed} rest", 2},
        {"${1|never closed", "${1|never closed", 0},
        {"} stray", "} stray", 0},
    };
    for (const auto &c : cases) {
        const transfer::Converted e = transfer::blanksFromEditor(c.in, transfer::kPlaceholderNesting);
        EXPECT_EQ(std::pair(e.text, e.found), std::pair(c.out, c.found)) << c.in.toStdString();
        // Written in the editor's syntax and read back, the blanks and the text are the same.
        const QString written = transfer::editorFromBlanks(c.out);
        const QString back = transfer::blanksFromEditor(written, transfer::kPlaceholderNesting).text;
        EXPECT_EQ(text::Placeholders(back).names(), text::Placeholders(c.out).names()) << written.toStdString();
        EXPECT_EQ(text::Placeholders(back).filled(), text::Placeholders(c.out).filled()) << written.toStdString();
    }
    // Forty unclosed openers take one pass; fifty thousand nested ones are refused without
    // going deeper in the call stack.
    const QString unclosed = QStringLiteral("${1:").repeated(40);
    EXPECT_EQ(transfer::blanksFromEditor(unclosed, transfer::kPlaceholderNesting).text, unclosed);
    EXPECT_TRUE(transfer::blanksFromEditor(unclosed.repeated(1250) + QString(50000, QLatin1Char('}')),
                                           transfer::kPlaceholderNesting)
                    .tooDeep);
}

TEST(Formats, HostileJsonIsRefusedInWords)
{
    const QByteArray entry = R"({"quillbox": 1, "snippets": [{"heading": "A", "description": "'d", "code": %1}]})";
    const auto own = [&](const char *code) { return QByteArray(entry).replace("%1", code); };
    const transfer::ReadOptions small{std::nullopt, false, 1000};
    const struct {
        const char *what;
        Format format;
        QByteArray bytes;
        QString says;
        transfer::ReadOptions options = {};
    } cases[] = {
        {"cut short", Format::Json, own("\"x\"").left(60), "in.json is not complete JSON: "},
        {"not UTF-8", Format::Json, own("\"\xff\""), "in.json is not UTF-8 text"},
        {"a surrogate alone", Format::Json, own("\"\\ud800\""), "in.json is not complete JSON: "},
        {"empty", Format::Json, "", "in.json is empty"},
        {"a list", Format::Json, "[]", "in.json, it does not hold a JSON object"},
        {"a column of the wrong type", Format::Json, own("5"), "in.json, entry 1: \"code\" is neither text nor null"},
        {"a column as a list", Format::Json, own("[\"x\"]"), "in.json, entry 1: \"code\" is neither text nor null"},
        {"a column missing", Format::Json, R"({"quillbox": 1, "snippets": [{"heading": null, "code": "c"}]})",
         "in.json, entry 1: \"description\" is missing"},
        {"an entry not an object", Format::Json, R"({"quillbox": 1, "snippets": [{"heading": null,
         "description": null, "code": "c"}, "x"]})",
         "in.json, entry 2: it is not an object"},
        {"a newer format", Format::Json, R"({"quillbox": 2, "snippets": []})",
         "in.json, it is format 2 of Quillbox's own, and this Quillbox reads format 1"},
        {"no version", Format::Json, R"({"snippets": []})", "in.json, \"quillbox\" is missing"},
        {"no snippets", Format::Json, R"({"quillbox": 1})", "in.json, \"snippets\" is missing or is not a list"},
        {"nested without end", Format::Json, QByteArray(100000, '['), "in.json, it does not hold a JSON object"},
        {"nested in an unknown key", Format::Json, "{\"x\": " + QByteArray(100000, '['),
         "in.json, it is nested deeper than 64 levels"},
        {"a text over the limit", Format::Json, own(("\"" + QByteArray(5000, 'x') + "\"").constData()),
         "in.json holds a text larger than 1000 bytes", small},
        {"endless spaces", Format::Json, "{" + QByteArray(2'000'000, ' '),
         "in.json holds a text larger than 1000 bytes", small},
        {"editor: a body over the limit in many lines", Format::VsCode,
         "{\"A\": {\"body\": [" + QByteArray("\"0123456789\",").repeated(200) + "\"\"]}}",
         "in.json, snippet \"A\" is larger than 1000 bytes", small},
        {"editor: bad entries, every one named", Format::VsCode,
         R"({"A": {"prefix": "a"}, "B": {"body": 5}, "C": "x", "D": {"body": ["x", 1]}, "": {"body": "y"},
         "E": {"body": "ok", "description": {}}, "G\u2028H": {"body": "x"}, "F": {"body": "fine"}})",
         "7 snippets cannot be taken: snippet \"A\": \"body\" is missing; snippet \"B\": \"body\" is neither "
         "text nor a list of lines; snippet \"C\": it is not an object; snippet \"D\": a line of \"body\" is not "
         "text; snippet \"\": it has no name; snippet \"E\": \"description\" is neither text nor a list of lines; "
         "snippet \"G\u2028H\": A heading is one line: it cannot hold a line break."},
        {"editor: placeholders nested fifty thousand deep", Format::VsCode,
         "{\"A\": {\"body\": \"" + QByteArray("${1:").repeated(50000) + "\"}}",
         "a snippet cannot be taken: snippet \"A\": its placeholders are nested deeper than 100 levels"},
    };
    for (const auto &c : cases) {
        const Read r = readBytes(c.bytes, c.format, c.options);
        EXPECT_FALSE(r.report.ok()) << c.what;
        EXPECT_TRUE(r.report.message().startsWith(c.says)) << c.what << ": " << r.report.message().toStdString();
    }
}
