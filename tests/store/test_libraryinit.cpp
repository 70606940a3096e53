// Creating a library: the folder, an empty table and the help page, each only where it is
// missing; samples only into a library made now; nothing existing touched.

#include "resources/data.h"
#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "store/snippets.h"
#include "store/storetesting.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <gtest/gtest.h>

using namespace quillbox;
using qbx::test::fileBytes;
using qbx::test::putFile;
using qbx::test::storedRows;

// What a run of init reported, on one line, and whether the two files kept their bytes.
struct InitRun {
    QString report;
    bool dbKept, helpKept;
};

InitRun init(bool samples)
{
    const QByteArray db = fileBytes(store::databasePath()), help = fileBytes(store::helpFilePath());
    const auto result = store::initLibrary(samples);
    EXPECT_TRUE(result.done()) << result.error.message.toStdString();
    return {result.report.join(QLatin1Char(' ')), fileBytes(store::databasePath()) == db,
            fileBytes(store::helpFilePath()) == help};
}

TEST(LibraryInit, MakesWhatIsMissingAndLeavesWhatIsThere)
{
    qbx::test::FreshUserFolders folders;
    EXPECT_EQ(store::databasePath(), folders.dataHome() + QStringLiteral("/Quillbox/Quillbox.mdb"));
    InitRun run = init(false);
    EXPECT_TRUE(run.report.contains("Created the library folder") && run.report.contains("with an empty table")
                && run.report.contains("Created the help file"))
        << run.report.toStdString();
    EXPECT_EQ(storedRows(store::databasePath()), QStringList());
    EXPECT_EQ(QString::fromUtf8(fileBytes(store::helpFilePath())), resources::helpPage());
    EXPECT_EQ(QDir(store::libraryFolder()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no temporary left";

    // Samples go only into a library made now; a missing help page is put back beside it.
    run = init(true);
    EXPECT_TRUE(run.dbKept && run.helpKept && run.report.contains("only added to a new library"));
    QFile::remove(store::helpFilePath());
    run = init(false);
    EXPECT_TRUE(run.dbKept && !run.helpKept && QFileInfo::exists(store::helpFilePath()));

    // The user's own files, whatever they hold, are never touched.
    ASSERT_TRUE(putFile(store::databasePath(), "the user's own bytes")
                && putFile(store::helpFilePath(), "the user's own help"));
    run = init(true);
    EXPECT_TRUE(run.dbKept && run.helpKept && run.report.contains("left unchanged")) << run.report.toStdString();

    QFile::remove(store::databasePath());
    run = init(true);
    EXPECT_TRUE(run.report.contains("sample snippets"));
    QStringList samples; // every one, as it is, in order
    for (const resources::SampleSnippet &s : resources::sampleSnippets())
        samples << s.heading + '|' + s.description + '|' + s.code;
    EXPECT_EQ(storedRows(store::databasePath()), samples);
}

TEST(LibraryInit, FolderThatCannotBeMadeOrWrittenIsReported)
{
    if (qbx::test::rerunUnprivileged())
        return;
    qbx::test::FreshUserFolders folders;
    ASSERT_TRUE(putFile(store::libraryFolder(), {})); // a file where the folder should be
    auto result = store::initLibrary(false);
    EXPECT_FALSE(result.done());
    EXPECT_TRUE(result.error.message.contains(QStringLiteral("could not be created"))
                && result.error.message.contains(QDir::toNativeSeparators(store::libraryFolder())))
        << result.error.message.toStdString();

    QFile::remove(store::libraryFolder());
    ASSERT_TRUE(QDir().mkpath(store::libraryFolder()));
    QFile::setPermissions(store::libraryFolder(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    result = store::initLibrary(false);
    QFile::setPermissions(store::libraryFolder(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(result.done());
    EXPECT_TRUE(result.error.message.contains(QDir::toNativeSeparators(store::databasePath())))
        << result.error.message.toStdString();
    EXPECT_FALSE(QFileInfo::exists(store::databasePath()));
}

TEST(LibraryInit, ReadWriteUriKeepsOddCharactersOfThePath)
{
    // '#', '?' and '%' would cut a naively built URI short or change it.
    for (const char *name : {"with space", "hash#mark", "what?", "per%cent", "ünïcødé"}) {
        const QString path = QStringLiteral("/tmp/") + QString::fromUtf8(name) + QStringLiteral(".db");
        const QUrl url(store::readWriteUri(path));
        EXPECT_EQ(url.toLocalFile(), path) << name;
        EXPECT_EQ(url.query(), QStringLiteral("mode=rw")) << name;
    }
}

// Where the library lives, by the XDG rules: a relative XDG_DATA_HOME is ignored, and with no
// home at all every use is refused in words rather than going to the root folder.
TEST(LibraryInit, FolderFollowsTheXdgRulesAndNoHomeIsRefused)
{
    const QByteArray oldHome = qgetenv("HOME"), oldData = qgetenv("XDG_DATA_HOME");
    const struct {
        const char *home, *data;
        QString folder;
    } cases[] = {
        {"/home/u", "/data/", "/data/Quillbox"},
        {"/home/u", "relative/data", "/home/u/.local/share/Quillbox"},
        {"/home/u/", nullptr, "/home/u/.local/share/Quillbox"},
        {nullptr, "", {}},
        {"/", nullptr, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.home ? c.home : "-") + " " + (c.data ? c.data : "-"));
        c.home ? qputenv("HOME", c.home) : qunsetenv("HOME");
        c.data ? qputenv("XDG_DATA_HOME", c.data) : qunsetenv("XDG_DATA_HOME");
        EXPECT_EQ(store::libraryFolder(), c.folder);
        if (c.folder.isEmpty()) {
            const auto init = store::initLibrary(false);
            const auto list = store::SnippetLibrary(store::databasePath()).headings();
            EXPECT_FALSE(init.done());
            EXPECT_EQ(list.outcome, store::Outcome::Failed);
            for (const QString &said : {init.error.message, list.error.message})
                EXPECT_TRUE(said.startsWith("Quillbox cannot tell where your files belong: neither XDG_DATA_HOME nor "
                                            "HOME names a folder."))
                    << said.toStdString();
        }
    }
    qputenv("HOME", oldHome);
    qputenv("XDG_DATA_HOME", oldData);
}
