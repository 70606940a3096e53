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

namespace {

struct Result {
    int exitCode = -1;
    QString out, err;
};

// Runs the program without DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM, in the given folders.
Result runQuillbox(const QStringList &args, const qbx::test::FreshUserFolders &folders)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("XDG_DATA_HOME"), folders.dataHome());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folders.configHome());
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(qbx::test::binDir() + QStringLiteral("/quillbox"), args);
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
    // The arguments, the exit code, and then the whole output or, on failure, what the error
    // output says.
    using Cases = std::vector<std::tuple<QStringList, int, QString>>;
    const auto check = [&](const Cases &cases) {
        for (const auto &[args, exitCode, says] : cases) {
            const Result r = runQuillbox(args, folders);
            EXPECT_EQ(r.exitCode, exitCode) << args.join(' ').toStdString() << ": " << r.err.toStdString();
            EXPECT_EQ(exitCode == 0 ? r.out + r.err : r.err.contains(says) ? says + r.out : r.err, says);
        }
    };
    check({{{"list"}, 1, "quillbox init"},
           {{"show", "Swap"}, 1, QDir::toNativeSeparators(folders.libraryFolder())},
           {{"frobnicate"}, 2, "unknown command frobnicate"},
           {{"init", "--sample"}, 2, "unknown option --sample"},
           {{}, 1, "there is no display to open the window on (DISPLAY is not set)."}});
    EXPECT_FALSE(QFileInfo::exists(folders.libraryFolder())) << "nothing of that made a library";

    makeLibrary(
        "('Swap', 'Exchanges two values', 't = a\r\na = b'), (' Centre ', 'Puts a form mid-screen', 'Me.Move 0, 0'), "
        "(NULL, 'no heading', 'lost = 1'), ('swap', 'lower case', 'y = 2'), ('Centre', 'second', 'z = 3'), "
        "('Breaks', 'one\r\ntwo', 'a\rb\nc\r\n  d  '), ('Größe', '', 'x = 1')");
    QFile file(quillbox::store::databasePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    check({// Spaces and duplicates kept, the row without a heading left out.
           {{"list"}, 0, "Swap\n Centre \nswap\nCentre\nBreaks\nGröße\n"},
           {{"show", "Swap"}, 0, "'Swap\n\nExchanges two values\n\nt = a\na = b\n"},
           {{"show", "--crlf", "Swap"}, 0, "'Swap\r\n\r\nExchanges two values\r\n\r\nt = a\r\na = b\r\n"},
           // Headings are compared trimmed and with case; the first of two matches is shown as stored.
           {{"show", "  swap "}, 0, "'swap\n\nlower case\n\ny = 2\n"},
           {{"show", "Centre"}, 0, "' Centre \n\nPuts a form mid-screen\n\nMe.Move 0, 0\n"},
           {{"show", "Größe"}, 0, "'Größe\n\n\n\nx = 1\n"},
           // Every kind of line break becomes the one asked for.
           {{"show", "Breaks", "--crlf"}, 0, "'Breaks\r\n\r\none\r\ntwo\r\n\r\na\r\nb\r\nc\r\n  d  \r\n"},
           {{"show", "  Nope  ", "--crlf"}, 1, "quillbox show: there is no code named \"Nope\" in the library"},
           {{"show", "SWAP"}, 1, "there is no code named \"SWAP\""},
           {{"list", "extra"}, 2, "unexpected argument extra"},
           {{"show"}, 2, "give one heading"},
           {{"show", "--crlf"}, 2, "give one heading"},
           {{"show", "Swap", "Centre"}, 2, "give one heading"}});
    file.seek(0);
    EXPECT_TRUE(file.readAll() == before) << "reading commands leave the library untouched";
}
