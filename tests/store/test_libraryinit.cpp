// Creating a library: the folder, an empty table and the help page, each only where it is
// missing; samples only into a library made now; nothing existing touched.

#include "resources/data.h"
#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "store/storetesting.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>

using namespace quillbox;

namespace {

QByteArray digest(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(LibraryInit, MakesWhatIsMissingAndLeavesWhatIsThere)
{
    struct Case {
        const char *name;
        std::function<void()> arrange;
        bool samples;
        int rows;            // in the library afterwards; -1: not a library
        QStringList reports; // words each line of the report holds, in order
        bool dbKept, helpKept;
    };
    const Case cases[] = {
        {"nothing there",
         [] {},
         false,
         0,
         {"Created the library folder", "with an empty table", "Created the help file"},
         false,
         false},
        {"nothing there, samples",
         [] {},
         true,
         int(resources::sampleSnippets().size()),
         {"Created the library folder", "sample", "Created the help file"},
         false,
         false},
        {"the user's own files",
         [] {
             writeFile(store::databasePath(), "the user's own bytes");
             writeFile(store::helpFilePath(), "the user's own help");
         },
         true,
         -1,
         {"left unchanged", "only added to a new library", "left unchanged"},
         true,
         true},
        {"a library without its help page",
         [] {
             ASSERT_TRUE(store::initLibrary(true).ok);
             QFile::remove(store::helpFilePath());
         },
         true,
         int(resources::sampleSnippets().size()),
         {"left unchanged", "only added", "Created the help file"},
         true,
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        qbx::test::FreshUserFolders folders;
        EXPECT_EQ(store::databasePath(), folders.dataHome() + QStringLiteral("/Quillbox/Quillbox.mdb"));
        c.arrange();
        const QByteArray db = digest(store::databasePath()), help = digest(store::helpFilePath());
        const auto result = store::initLibrary(c.samples);
        ASSERT_TRUE(result.ok) << result.error.toStdString();
        const QString report = result.report.join(QLatin1Char('\n'));
        qsizetype at = 0;
        for (const QString &words : c.reports) {
            at = report.indexOf(words, at);
            EXPECT_GE(at, 0) << words.toStdString() << " in:\n" << report.toStdString();
        }
        EXPECT_EQ(digest(store::databasePath()) == db, c.dbKept);
        EXPECT_EQ(digest(store::helpFilePath()) == help, c.helpKept);
        if (!c.helpKept) {
            EXPECT_EQ(QString::fromUtf8([] {
                          QFile f(store::helpFilePath());
                          f.open(QIODevice::ReadOnly);
                          return f.readAll();
                      }()),
                      resources::helpPage());
        }
        if (c.rows >= 0) {
            qbx::test::RawConnection raw(store::databasePath());
            EXPECT_EQ(raw.value(QStringLiteral("SELECT count(*) FROM TABLE1")).toInt(), c.rows);
            if (c.rows > 0) {
                const auto first = resources::sampleSnippets().first();
                EXPECT_EQ(raw.value(QStringLiteral("SELECT CodeName || '|' || CodeDesc || '|' || code FROM TABLE1 "
                                                   "ORDER BY rowid LIMIT 1"))
                              .toString(),
                          first.heading + '|' + first.description + '|' + first.code);
            }
        }
        // No temporary file is left behind.
        EXPECT_EQ(QDir(store::libraryFolder()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }
}

TEST(LibraryInit, FolderThatCannotBeMadeOrWrittenIsReported)
{
    if (qbx::test::rerunUnprivileged())
        return;
    qbx::test::FreshUserFolders folders;
    writeFile(store::libraryFolder(), {}); // a file where the folder should be
    auto result = store::initLibrary(false);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QStringLiteral("could not be created"))
                && result.error.contains(QDir::toNativeSeparators(store::libraryFolder())))
        << result.error.toStdString();

    QFile::remove(store::libraryFolder());
    ASSERT_TRUE(QDir().mkpath(store::libraryFolder()));
    QFile::setPermissions(store::libraryFolder(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    result = store::initLibrary(false);
    QFile::setPermissions(store::libraryFolder(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QDir::toNativeSeparators(store::databasePath()))) << result.error.toStdString();
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
