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

// A new library holding these rows in table order (heading, description, code; a null
// QVariant is a null column).
void makeLibrary(const QList<QVariantList> &rows)
{
    ASSERT_TRUE(quillbox::store::initLibrary(false).ok);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(quillbox::store::databasePath());
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, ?)"));
        for (const QVariantList &row : rows) {
            for (const QVariant &value : row)
                q.addBindValue(value);
            ASSERT_TRUE(q.exec());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

} // namespace

TEST(Cli, InitVersionAndHelpWorkWithoutADisplay)
{
    qbx::test::FreshUserFolders folders;
    Result r = runQuillbox({QStringLiteral("--version")}, folders);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("Quillbox 1.00 (Quillbox Ver 1.0, file version 1.00)\n"));
    r = runQuillbox({QStringLiteral("--help")}, folders);
    EXPECT_TRUE(r.exitCode == 0 && r.out.startsWith(QStringLiteral("Usage: quillbox")));
    EXPECT_TRUE(r.out.contains(folders.libraryFolder()));
    // Without a display it says what the command line can do instead.
    r = runQuillbox({}, folders);
    EXPECT_TRUE(r.exitCode == 1 && r.err.contains(QStringLiteral("Usage: quillbox"))) << r.err.toStdString();

    r = runQuillbox({QStringLiteral("init"), QStringLiteral("--samples")}, folders);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Created the library folder"))
                && r.out.contains(QStringLiteral("sample")));
    EXPECT_TRUE(QFileInfo::exists(folders.libraryFolder() + QStringLiteral("/Quillbox Ver 1.html")));
    r = runQuillbox({QStringLiteral("init")}, folders);
    EXPECT_TRUE(r.exitCode == 0 && !r.out.contains(QStringLiteral("Created"))) << r.out.toStdString();
}

TEST(Cli, ListAndShowPrintTheLibraryAsTheWindowComposesItAndWriteNothing)
{
    qbx::test::FreshUserFolders folders;
    const QVariant null(QMetaType::fromType<QString>());
    makeLibrary({{"Swap", "' Exchanges two values", "t = a\r\na = b"},
                 {" Centre ", "' Puts a form mid-screen", "Me.Move 0, 0"},
                 {null, "' no heading", "lost = 1"},
                 {"swap", "' lower case", "y = 2"},
                 {"Centre", "' second centre", "z = 3"},
                 {"Breaks", "' one\r\n' two", "a\rb\nc\r\n  d  "},
                 {QString::fromUtf8("Größe"), "", "x = 1"}});
    QFile file(quillbox::store::databasePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    const std::pair<QStringList, const char *> cases[] = {
        // Spaces and duplicates kept, the row without a heading left out.
        {{"list"}, "Swap\n Centre \nswap\nCentre\nBreaks\nGröße\n"},
        {{"show", "Swap"}, "'Swap\n\n' Exchanges two values\n\nt = a\na = b\n"},
        {{"show", "--crlf", "Swap"}, "'Swap\r\n\r\n' Exchanges two values\r\n\r\nt = a\r\na = b\r\n"},
        // Headings are compared trimmed and with case; the first of two matches is shown as stored.
        {{"show", "  swap "}, "'swap\n\n' lower case\n\ny = 2\n"},
        {{"show", "Centre"}, "' Centre \n\n' Puts a form mid-screen\n\nMe.Move 0, 0\n"},
        {{"show", "Größe"}, "'Größe\n\n\n\nx = 1\n"},
        // Every kind of line break becomes the one asked for.
        {{"show", "Breaks", "--crlf"}, "'Breaks\r\n\r\n' one\r\n' two\r\n\r\na\r\nb\r\nc\r\n  d  \r\n"},
    };
    for (const auto &[args, out] : cases) {
        const Result r = runQuillbox(args, folders);
        EXPECT_EQ(r.exitCode, 0) << args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(r.out, QString::fromUtf8(out));
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    }
    file.seek(0);
    EXPECT_TRUE(file.readAll() == before) << "reading commands leave the library untouched";
}

TEST(Cli, WrongUseAndMissingThingsExitWithACodeAndSayWhy)
{
    qbx::test::FreshUserFolders folders;
    using Cases = std::vector<std::tuple<QStringList, int, QString>>;
    const auto check = [&](const Cases &cases) {
        for (const auto &[args, exitCode, says] : cases) {
            const Result r = runQuillbox(args, folders);
            EXPECT_EQ(r.exitCode, exitCode) << args.join(' ').toStdString();
            EXPECT_TRUE(r.out.isEmpty() && r.err.contains(says))
                << args.join(' ').toStdString() << ": " << r.err.toStdString();
        }
    };
    check({{{"list"}, 1, "quillbox init"},
           {{"show", "Swap"}, 1, QDir::toNativeSeparators(folders.libraryFolder())},
           {{"frobnicate"}, 2, "unknown command frobnicate"},
           {{"init", "--sample"}, 2, "unknown option --sample"},
           {{}, 1, "there is no display to open the window on (DISPLAY is not set)."}});
    EXPECT_FALSE(QFileInfo::exists(folders.libraryFolder())) << "nothing of that made a library";
    makeLibrary({{"Swap", "' Exchanges two values", "t = a"}});
    check({{{"show", "  Nope  ", "--crlf"}, 1, "quillbox show: there is no code named \"Nope\" in the library"},
           {{"show", "SWAP"}, 1, "there is no code named \"SWAP\""},
           {{"list", "extra"}, 2, "unexpected argument extra"},
           {{"show"}, 2, "give one heading"},
           {{"show", "--crlf"}, 2, "give one heading"},
           {{"show", "Swap", "Centre"}, 2, "give one heading"}});
}
