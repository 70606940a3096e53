// Creating a library: the folder, an empty table and the help page, each only where it is
// missing; samples only into a library made now; nothing existing touched.

#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "resources/data.h"
#include "support/testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUrl>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace quillbox;

namespace {

QByteArray digest(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

struct Row {
    QString name, desc, code;
};

QList<Row> rows(const QString &path)
{
    QList<Row> out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inspect"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        db.setDatabaseName(store::readWriteUri(path));
        EXPECT_TRUE(db.open());
        QSqlQuery q(QStringLiteral("SELECT CodeName, CodeDesc, code FROM TABLE1"), db);
        while (q.next())
            out.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString()});
    }
    QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
    return out;
}

struct InitFixture : ::testing::Test {
    qbx::test::FreshUserFolders folders;
};

} // namespace

TEST_F(InitFixture, LibraryFilesLiveInTheDataFolder)
{
    EXPECT_EQ(store::libraryFolder(), folders.dataHome() + QStringLiteral("/Quillbox"));
    EXPECT_EQ(store::databasePath(), folders.dataHome() + QStringLiteral("/Quillbox/Quillbox.mdb"));
    EXPECT_EQ(store::helpFilePath(), folders.dataHome() + QStringLiteral("/Quillbox/Quillbox Ver 1.html"));
}

TEST_F(InitFixture, ReadWriteUriKeepsOddCharactersOfThePath)
{
    // '#', '?' and '%' would cut a naively built URI short or change it.
    for (const char *name : {"plain", "with space", "hash#mark", "what?", "per%cent", "ünïcødé"}) {
        SCOPED_TRACE(name);
        const QString path = folders.dataHome() + QLatin1Char('/') + QString::fromUtf8(name) + QStringLiteral(".db");
        const QUrl url(store::readWriteUri(path));
        EXPECT_EQ(url.toLocalFile(), path);
        EXPECT_EQ(url.query(), QStringLiteral("mode=rw"));
    }
}

TEST_F(InitFixture, NewLibraryHasAnEmptyTableAndTheHelpPage)
{
    const auto result = store::initLibrary(false);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_TRUE(QFileInfo(store::libraryFolder()).isDir());
    EXPECT_TRUE(rows(store::databasePath()).isEmpty());
    QFile help(store::helpFilePath());
    ASSERT_TRUE(help.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(help.readAll()), resources::helpPage());
    ASSERT_EQ(result.report.size(), 3);
    EXPECT_TRUE(result.report[0].startsWith(QStringLiteral("Created the library folder")));
    EXPECT_TRUE(result.report[1].contains(QStringLiteral("with an empty table")));
    EXPECT_TRUE(result.report[2].startsWith(QStringLiteral("Created the help file")));
    // No temporary file is left behind.
    EXPECT_EQ(QDir(store::libraryFolder()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(InitFixture, SamplesGoIntoANewLibraryOnly)
{
    auto result = store::initLibrary(true);
    ASSERT_TRUE(result.ok);
    const auto samples = resources::sampleSnippets();
    auto stored = rows(store::databasePath());
    ASSERT_EQ(stored.size(), samples.size());
    for (qsizetype i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(stored[i].name, samples[i].heading);
        EXPECT_EQ(stored[i].desc, samples[i].description);
        EXPECT_EQ(stored[i].code, samples[i].code);
    }
    // A second run with samples adds nothing.
    const QByteArray before = digest(store::databasePath());
    result = store::initLibrary(true);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(digest(store::databasePath()), before);
    EXPECT_EQ(rows(store::databasePath()).size(), samples.size());
}

TEST_F(InitFixture, ExistingFilesAreNeverChanged)
{
    ASSERT_TRUE(QDir().mkpath(store::libraryFolder()));
    // Neither a file that is no database, nor the user's own help page, is touched.
    for (const QString &path : {store::databasePath(), store::helpFilePath()}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("the user's own bytes");
    }
    const QByteArray db = digest(store::databasePath());
    const QByteArray help = digest(store::helpFilePath());
    const auto result = store::initLibrary(true);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(digest(store::databasePath()), db);
    EXPECT_EQ(digest(store::helpFilePath()), help);
    EXPECT_TRUE(result.report.join(QLatin1Char('\n')).contains(QStringLiteral("left unchanged")));
    EXPECT_TRUE(result.report.join(QLatin1Char('\n')).contains(QStringLiteral("only added to a new library")));
}

TEST_F(InitFixture, MissingHelpPageIsAddedBesideAnExistingLibrary)
{
    ASSERT_TRUE(store::initLibrary(false).ok);
    ASSERT_TRUE(QFile::remove(store::helpFilePath()));
    const QByteArray db = digest(store::databasePath());
    const auto result = store::initLibrary(false);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(QFileInfo::exists(store::helpFilePath()));
    EXPECT_EQ(digest(store::databasePath()), db);
}

TEST_F(InitFixture, FolderThatCannotBeCreatedIsReported)
{
    // A file where the data folder should be.
    QFile blocker(store::libraryFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const auto result = store::initLibrary(false);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QStringLiteral("could not be created")));
    EXPECT_TRUE(result.error.contains(QDir::toNativeSeparators(store::libraryFolder())));
}

TEST_F(InitFixture, ReadOnlyFolderIsReportedAndLeftEmpty)
{
    if (qbx::test::rerunUnprivileged())
        return;
    ASSERT_TRUE(QDir().mkpath(store::libraryFolder()));
    QFile::setPermissions(store::libraryFolder(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const auto result = store::initLibrary(false);
    QFile::setPermissions(store::libraryFolder(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QDir::toNativeSeparators(store::databasePath())));
    EXPECT_FALSE(QFileInfo::exists(store::databasePath()));
}
