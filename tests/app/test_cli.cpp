// The quillbox program from the command line, run as a separate process with no display.

#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

struct Result {
    int exitCode = -1;
    QString out, err;
};

// Where the program's standard output goes.
enum class Stdout { Read, Full, Closed };

// Runs the program without DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM, in the given folders.
Result runQuillbox(const QStringList &args, const qbx::test::FreshUserFolders &folders, const QByteArray &input = {},
                   Stdout output = Stdout::Read)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("XDG_DATA_HOME"), folders.dataHome());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folders.configHome());
    QProcess p;
    p.setProcessEnvironment(env);
    if (output == Stdout::Full)
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
    if (output == Stdout::Closed)
        p.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
    p.start(qbx::test::binDir() + QStringLiteral("/quillbox"), args);
    p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// A new library holding these rows, given as SQL values (heading, description, code).
void makeLibrary(const char *rows)
{
    ASSERT_TRUE(quillbox::store::initLibrary(false).ok);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(quillbox::store::databasePath());
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(
            QSqlQuery(db).exec("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES " + QString::fromUtf8(rows)));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

// One run: the arguments, the exit code, then the whole output or, on failure, a part of
// what the error output says; and what goes to standard input.
struct Case {
    QStringList args;
    int exitCode;
    QString says;
    QByteArray input = {};
};

void check(const std::vector<Case> &cases, const qbx::test::FreshUserFolders &folders)
{
    for (const Case &c : cases) {
        const Result r = runQuillbox(c.args, folders, c.input);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(c.exitCode == 0          ? r.out + r.err
                  : r.err.contains(c.says) ? c.says + r.out
                                           : r.err,
                  c.says)
            << c.args.join(' ').toStdString();
    }
}

// The rows of the library, in table order, one a line, null columns as NULL.
QString rows(const QString &library = quillbox::store::databasePath())
{
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {library, QStringLiteral(".dump TABLE1")});
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST(Cli, InitVersionAndHelpWorkWithoutADisplay)
{
    qbx::test::FreshUserFolders folders;
    Result r = runQuillbox({"--version"}, folders);
    EXPECT_EQ(std::pair(r.exitCode, r.out),
              std::pair(0, QStringLiteral("Quillbox 1.00 (Quillbox Ver 1.0, file version 1.00)\n")));
    r = runQuillbox({"--help"}, folders);
    EXPECT_TRUE(r.exitCode == 0 && r.out.startsWith("Usage: quillbox") && r.out.contains(folders.libraryFolder()));
    // Without a display it says what the command line can do instead.
    r = runQuillbox({}, folders);
    EXPECT_TRUE(r.exitCode == 1 && r.err.contains("Usage: quillbox")) << r.err.toStdString();

    r = runQuillbox({"init", "--samples"}, folders);
    EXPECT_TRUE(r.exitCode == 0 && r.out.contains("Created the library folder") && r.out.contains("sample"))
        << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(folders.libraryFolder() + "/Quillbox Ver 1.html"));
    r = runQuillbox({"init"}, folders);
    EXPECT_TRUE(r.exitCode == 0 && !r.out.contains("Created")) << r.out.toStdString();
}

TEST(Cli, ListAndShowPrintTheLibraryAsTheWindowComposesItAndWrongUseSaysWhy)
{
    qbx::test::FreshUserFolders folders;
    check({{{"list"}, 1, "quillbox init"},
           {{"show", "Swap"}, 1, QDir::toNativeSeparators(folders.libraryFolder())},
           {{"frobnicate"}, 2, "unknown command frobnicate"},
           {{"init", "--sample"}, 2, "unknown option --sample"},
           {{}, 1, "there is no display to open the window on (DISPLAY is not set)."}},
          folders);
    EXPECT_FALSE(QFileInfo::exists(folders.libraryFolder())) << "nothing of that made a library";

    makeLibrary(
        "('Swap', 'Exchanges two values', 't = a\r\na = b'), (' Centre ', 'Puts a form mid-screen', 'Me.Move 0, 0'), "
        "(NULL, 'no heading', 'lost = 1'), ('swap', 'lower case', 'y = 2'), ('Centre', 'second', 'z = 3'), "
        "('Breaks', 'one\r\ntwo', 'a\rb\nc\r\n  d  '), ('Größe', '', 'x = 1'), ('--crlf', 'it''s', 'dim a'), "
        "('Html', '''<b> & \"q\" é 😀', 'dim s as string: s = \"<&>\"'), ('Two\nlines', '', '')");
    QFile file(quillbox::store::databasePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    const QString html =
        "<pre style=\"font-family: Consolas, 'Courier New', monospace; color: #000000; background-color: #ffffff;\">"
        "<span style=\"color: #008000;\">&#39;Html</span>\n\n<span style=\"color: #008000;\">&#39;&lt;b&gt; &amp; "
        "&quot;q&quot; &#233; &#128512;</span>\n\n<span style=\"color: #000080;\">Dim</span> s <span "
        "style=\"color: #000080;\">As</span> string: s = &quot;&lt;&amp;&gt;&quot;</pre>\n";
    check(
        {// Spaces and duplicates kept, the row without a heading left out.
         {{"list"}, 0, "Swap\n Centre \nswap\nCentre\nBreaks\nGröße\n--crlf\nHtml\nTwo\nlines\n"},
         {{"list", "-0"},
          0,
          QString("Swap| Centre |swap|Centre|Breaks|Größe|--crlf|Html|Two\nlines|").replace('|', QChar())},
         {{"show", "Swap"}, 0, "'Swap\n\nExchanges two values\n\nt = a\na = b\n"},
         {{"show", "--crlf", "Swap"}, 0, "'Swap\r\n\r\nExchanges two values\r\n\r\nt = a\r\na = b\r\n"},
         // Headings are compared trimmed and with case; the first of two matches is shown with
         // the keywords in their proper case, as Copy Code gives it, or as stored.
         {{"show", "  swap "}, 0, "'swap\n\nlower Case\n\ny = 2\n"},
         {{"show", "--as-stored", "  swap "}, 0, "'swap\n\nlower case\n\ny = 2\n"},
         {{"show", "Centre"}, 0, "' Centre \n\nPuts a form mid-screen\n\nMe.Move 0, 0\n"},
         {{"show", "Größe"}, 0, "'Größe\n\n\n\nx = 1\n"},
         {{"show", "--html", "Html"}, 0, html},
         // Every kind of line break becomes the one asked for.
         {{"show", "Breaks", "--crlf"}, 0, "'Breaks\r\n\r\none\r\ntwo\r\n\r\na\r\nb\r\nc\r\n  d  \r\n"},
         // After -- a heading may look like an option.
         {{"show", "--crlf", "--", "--crlf"}, 0, "'--crlf\r\n\r\nit's\r\n\r\nDim a\r\n"},
         {{"show", "  Nope  ", "--crlf"}, 1, "quillbox show: there is no code named \"Nope\" in the library"},
         {{"show", "SWAP"}, 1, "there is no code named \"SWAP\""},
         {{"list", "extra"}, 2, "unexpected argument extra"},
         {{"show"}, 2, "give one heading"},
         {{"show", "--crlf"}, 2, "give one heading"},
         {{"show", "-x", "Swap"}, 2, "unknown option -x"},
         {{"show", "--html", "--as-stored", "Swap"}, 2, "cannot go together"},
         {{"show", "Swap", "Centre"}, 2, "give one heading"}},
        folders);
    file.seek(0);
    EXPECT_TRUE(file.readAll() == before) << "reading commands leave the library untouched";
}

TEST(Cli, OutputThatCannotBeWrittenIsReportedAndExitsOne)
{
    qbx::test::FreshUserFolders folders;
    for (const Stdout output : {Stdout::Full, Stdout::Closed})
        for (const QStringList &args :
             {QStringList{"init", "--samples"}, {"list"}, {"show", "Swap two values"}, {"--help"}, {"export", "-"}}) {
            const Result r = runQuillbox(args, folders, {}, output);
            EXPECT_EQ(std::pair(r.exitCode, r.err),
                      std::pair(1, QString(output == Stdout::Full ? "quillbox: write error: No space left on device\n"
                                                                  : "quillbox: write error: Bad file descriptor\n")))
                << args.join(' ').toStdString();
        }
}

TEST(Cli, AddDeleteAndRenameFollowTheWindowsRulesAndWriteAllOrNothing)
{
    qbx::test::FreshUserFolders folders;
    makeLibrary("('Swap', '''a', 'x'), ('Größe', '''b', 'y')");
    QFile code(folders.dataHome() + "/code.bas");
    ASSERT_TRUE(code.open(QIODevice::WriteOnly) && code.write("Sub A()\nEnd Sub\n") > 0);
    code.close();
    check({{{"add", "  New one ", "--description", "first\n  'second\n", "--code-file", code.fileName()}, 0, ""},
           {{"add", "From input"}, 0, "", "a = 1\r\n\n"},
           {{"add", " new ONE"}, 3, "quillbox add: This Code Name Already Exists", "x"},
           {{"add", "GRÖSSE"}, 3, "This Code Name Already Exists", "x"},
           {{"add", "   "}, 2, "Please Enter a heading for the code", "x"},
           {{"add", "No code"}, 2, "Please Enter the code", "   "},
           {{"add", "Bad", "--code-file", folders.dataHome() + "/none"}, 1, "none cannot be read"},
           {{"add", "Bad"}, 1, "standard input is not UTF-8 text", "\xff\xfe"},
           {{"rename", "Swap", "  swap  "}, 0, ""},
           {{"rename", "swap", "größe"}, 3, "This Code Name Already Exists"},
           {{"rename", "Nope", "Other"}, 1, "there is no code named \"Nope\""},
           {{"rename", "swap", " "}, 2, "Please Enter a heading for the code"},
           {{"delete", "Größe"}, 2, "there is no terminal to ask on: give --yes to delete \"Größe\""},
           {{"delete", "Größe", "--yes"}, 0, ""},
           {{"delete", "Größe", "--yes"}, 1, "there is no code named \"Größe\""}},
          folders);
    // Line breaks as CR LF; description lines marked, trimmed as a whole.
    const QString crlf = "replace(replace('%1','\\r',char(13)),'\\n',char(10))";
    EXPECT_EQ(rows().section("INSERT", 1, -1, QString::SectionIncludeLeadingSep),
              "INSERT INTO TABLE1 VALUES('swap','''a','x');\nINSERT INTO TABLE1 VALUES('New one',"
                  + crlf.arg("''first\\r\\n  ''second\\r\\n''") + "," + crlf.arg("Sub A()\\r\\nEnd Sub")
                  + ");\nINSERT INTO TABLE1 VALUES('From input',''''," + crlf.arg("a = 1\\r\\n") + ");\nCOMMIT;\n");
}
