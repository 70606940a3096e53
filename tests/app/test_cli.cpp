// The quillbox program from the command line, run as a separate process with no display.

#include "libraryfolder.h"
#include "libraryinit.h"
#include "testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

namespace {

struct ProcessResult {
    int exitCode = -1;
    QString out;
    QString err;
};

ProcessResult runQuillbox(const QStringList &args, const qbx::test::FreshUserFolders &folders)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("XDG_DATA_HOME"), folders.dataHome());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folders.configHome());
    p.setProcessEnvironment(env);
    p.start(qbx::test::binDir() + QStringLiteral("/quillbox"), args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// A new library in the folders, holding the rows in table order (a null QVariant is a
// null column).
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

QVariant text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

const QVariant kNull = QVariant(QMetaType::fromType<QString>());

// Rows in table order: a padded heading, one that differs in case only, a duplicate, a
// heading that is the padded one trimmed, a null heading, an empty description, and code
// with every kind of line break.
const QList<QVariantList> kRows = {
    {text("Swap"), text("' Exchanges two values"), text("t = a\r\na = b")},
    {text(" Centre "), text("' Puts a form mid-screen"), text("Me.Move 0, 0")},
    {kNull, text("' no heading"), text("lost = 1")},
    {text("swap"), text("' lower case"), text("y = 2")},
    {text("Swap"), text("' a duplicate"), text("w = 4")},
    {text("Centre"), text("' second centre"), text("z = 3")},
    {text("Bare"), text(""), text("x = 1")},
    {text("Breaks"), text("' one\r\n' two"), text("a\rb\nc\r\n  d  ")},
    {text("Größe ändern"), text("' Ünïcödé"), text("größe = 1")},
};

// The file's bytes and modification time, to show that nothing wrote to it.
struct FileSnapshot {
    QByteArray bytes;
    QDateTime modified;
    QStringList folder;
    friend bool operator==(const FileSnapshot &, const FileSnapshot &) = default;
    static FileSnapshot of(const QString &path)
    {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return {f.readAll(), QFileInfo(path).lastModified(),
                QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden)};
    }
};

} // namespace

TEST(Cli, VersionAndHelpWorkWithoutADisplay)
{
    qbx::test::FreshUserFolders folders;
    const ProcessResult version = runQuillbox({QStringLiteral("--version")}, folders);
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, QStringLiteral("Quillbox 1.00 (Quillbox Ver 1.0, file version 1.00)\n"));

    const ProcessResult help = runQuillbox({QStringLiteral("--help")}, folders);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: quillbox")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("init [--samples]")));
    EXPECT_TRUE(help.out.contains(folders.libraryFolder()));
}

TEST(Cli, WrongUseIsRefusedWithAnExitCode)
{
    qbx::test::FreshUserFolders folders;
    struct Case {
        QStringList args;
        int exitCode;
        const char *says;
    };
    const Case cases[] = {
        {{QStringLiteral("frobnicate")}, 2, "unknown command frobnicate"},
        {{QStringLiteral("init"), QStringLiteral("--sample")}, 2, "unknown option --sample"},
        {{}, 1, "there is no display"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const ProcessResult r = runQuillbox(c.args, folders);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_TRUE(r.err.contains(QString::fromLatin1(c.says))) << r.err.toStdString();
    }
    // Nothing of that created the library.
    EXPECT_FALSE(QFileInfo::exists(folders.libraryFolder()));
}

TEST(Cli, WithoutADisplayTheProgramShowsWhatTheCommandLineCanDo)
{
    qbx::test::FreshUserFolders folders;
    const ProcessResult r = runQuillbox({}, folders);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Usage: quillbox")));
    EXPECT_FALSE(r.err.contains(QStringLiteral("qt.qpa"))) << "no platform plugin error: " << r.err.toStdString();
}

TEST(Cli, InitCreatesTheLibraryAndSaysWhatItDid)
{
    qbx::test::FreshUserFolders folders;
    const ProcessResult first = runQuillbox({QStringLiteral("init"), QStringLiteral("--samples")}, folders);
    EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains(QStringLiteral("Created the library folder")));
    EXPECT_TRUE(first.out.contains(QStringLiteral("sample snippets")));
    EXPECT_TRUE(QFileInfo::exists(folders.libraryFolder() + QStringLiteral("/Quillbox.mdb")));
    EXPECT_TRUE(QFileInfo::exists(folders.libraryFolder() + QStringLiteral("/Quillbox Ver 1.html")));

    const ProcessResult again = runQuillbox({QStringLiteral("init")}, folders);
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.out.contains(QStringLiteral("already exists")));
    EXPECT_FALSE(again.out.contains(QStringLiteral("Created")));
}

// The cases below run the program as runQuillbox() does: with no DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM set, so list and show are shown to need no display.

TEST(Cli, ListPrintsTheHeadingsInTableOrder)
{
    qbx::test::FreshUserFolders folders;
    makeLibrary(kRows);
    const ProcessResult r = runQuillbox({QStringLiteral("list")}, folders);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    // Spaces kept, duplicates kept, the row without a heading left out.
    EXPECT_EQ(r.out, QString::fromUtf8("Swap\n Centre \nswap\nSwap\nCentre\nBare\nBreaks\nGröße ändern\n"));

    qbx::test::FreshUserFolders empty;
    makeLibrary({});
    const ProcessResult none = runQuillbox({QStringLiteral("list")}, empty);
    EXPECT_EQ(none.exitCode, 0) << none.err.toStdString();
    EXPECT_TRUE(none.out.isEmpty()) << none.out.toStdString();
}

TEST(Cli, ShowPrintsTheFirstMatchingSnippetAsTheWindowComposesIt)
{
    qbx::test::FreshUserFolders folders;
    makeLibrary(kRows);
    struct Case {
        QStringList args;
        const char *out;
    };
    const Case cases[] = {
        {{"show", "Swap"}, "'Swap\n\n' Exchanges two values\n\nt = a\na = b\n"},
        {{"show", "Swap", "--crlf"}, "'Swap\r\n\r\n' Exchanges two values\r\n\r\nt = a\r\na = b\r\n"},
        {{"show", "--crlf", "Swap"}, "'Swap\r\n\r\n' Exchanges two values\r\n\r\nt = a\r\na = b\r\n"},
        // The heading given is trimmed; case is significant.
        {{"show", "  Swap  "}, "'Swap\n\n' Exchanges two values\n\nt = a\na = b\n"},
        {{"show", "swap"}, "'swap\n\n' lower case\n\ny = 2\n"},
        // The stored heading is trimmed too: the first row of the two wins, shown as stored.
        {{"show", "Centre"}, "' Centre \n\n' Puts a form mid-screen\n\nMe.Move 0, 0\n"},
        {{"show", " Centre "}, "' Centre \n\n' Puts a form mid-screen\n\nMe.Move 0, 0\n"},
        {{"show", "Bare"}, "'Bare\n\n\n\nx = 1\n"},
        // Every kind of line break becomes the one asked for; spaces stay.
        {{"show", "Breaks"}, "'Breaks\n\n' one\n' two\n\na\nb\nc\n  d  \n"},
        {{"show", "Breaks", "--crlf"}, "'Breaks\r\n\r\n' one\r\n' two\r\n\r\na\r\nb\r\nc\r\n  d  \r\n"},
        {{"show", "Größe ändern"}, "'Größe ändern\n\n' Ünïcödé\n\ngröße = 1\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char('|')).toStdString());
        const ProcessResult r = runQuillbox(c.args, folders);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, QString::fromUtf8(c.out));
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    }
}

TEST(Cli, UnknownHeadingsAndAMissingLibraryExitWithOneAndSayWhy)
{
    qbx::test::FreshUserFolders folders;
    struct Case {
        QStringList args;
        const char *says;
    };
    // No library yet: both commands name the command that creates one, and create nothing.
    for (const Case &c : {Case{{"list"}, "quillbox init"}, Case{{"show", "Swap"}, "quillbox init"}}) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const ProcessResult r = runQuillbox(c.args, folders);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromLatin1(c.says))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QDir::toNativeSeparators(folders.libraryFolder()))) << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(folders.libraryFolder()));
    }

    makeLibrary(kRows);
    const Case unknown[] = {
        {{"show", "Nope"}, "there is no code named \"Nope\""},
        {{"show", "SWAP"}, "there is no code named \"SWAP\""},
        {{"show", "  Nope  ", "--crlf"}, "there is no code named \"Nope\""},
        {{"show", ""}, "there is no code named \"\""},
    };
    for (const Case &c : unknown) {
        SCOPED_TRACE(c.args.join(QLatin1Char('|')).toStdString());
        const ProcessResult r = runQuillbox(c.args, folders);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromLatin1(c.says))) << r.err.toStdString();
    }
}

TEST(Cli, ListAndShowRefuseWrongArguments)
{
    qbx::test::FreshUserFolders folders;
    makeLibrary(kRows);
    const QStringList cases[] = {
        {"list", "extra"},
        {"show"},
        {"show", "--crlf"},
        {"show", "Swap", "Centre"},
    };
    for (const QStringList &args : cases) {
        SCOPED_TRACE(args.join(QLatin1Char('|')).toStdString());
        const ProcessResult r = runQuillbox(args, folders);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
}

TEST(Cli, ReadingCommandsLeaveTheLibraryUntouched)
{
    qbx::test::FreshUserFolders folders;
    makeLibrary(kRows);
    const QString path = folders.libraryFolder() + QStringLiteral("/Quillbox.mdb");
    // Set back an hour, so that any write shows in the time as well as in the bytes.
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    }
    const FileSnapshot before = FileSnapshot::of(path);
    ASSERT_LT(before.modified, QDateTime::currentDateTime().addSecs(-3000));
    const QStringList commands[] = {
        {"list"}, {"show", "Swap"}, {"show", "Breaks", "--crlf"}, {"show", "Nope"}, {"show", "a", "b"},
    };
    for (const QStringList &args : commands) {
        SCOPED_TRACE(args.join(QLatin1Char('|')).toStdString());
        runQuillbox(args, folders);
        EXPECT_EQ(FileSnapshot::of(path), before);
    }
}
