// Real writers in processes of their own: one killed at any moment leaves the library a sound
// file, every snippet it saw stored there and every row whole; a snippet read while another
// program rewrites it is one whole version.

#include "store/crashsnippet.h"
#include "store/libraryinit.h"
#include "store/snippets.h"
#include "store/storetesting.h"
#include "support/testsupport.h"

#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace quillbox;
using qbx::test::startHelper;

namespace {

TEST(StoreCrash, KilledWriterLeavesEverySnippetItReportedAndNoneHalfWritten)
{
    qbx::test::FreshUserFolders folders;
    ASSERT_TRUE(store::initLibrary(false).done());
    const store::SnippetLibrary library(store::databasePath());
    std::mt19937 rng(1234);
    std::map<QString, int> reported; // run -> snippets the writer said were stored
    int total = 0;
    for (int run = 0; run < 20; ++run) {
        const QString name = QStringLiteral("run%1").arg(run);
        SCOPED_TRACE(name.toStdString());
        const auto writer = startHelper({QStringLiteral("write"), name});
        QThread::msleep(3 + rng() % 200);
        writer->kill();
        ASSERT_TRUE(writer->waitForFinished(10000));
        ASSERT_EQ(writer->exitStatus(), QProcess::CrashExit) << writer->readAllStandardError().toStdString();
        // Only whole lines were said; what follows the last line end was cut by the kill.
        reported[name] = int(writer->readAllStandardOutput().count('\n'));
        total += reported[name];

        // The first use of the file after the kill puts back whatever was left half done.
        const store::HeadingsResult list = library.headings();
        ASSERT_TRUE(list.done()) << list.error.message.toStdString();
        EXPECT_EQ(qbx::test::RawConnection(store::databasePath()).value("PRAGMA quick_check").toString(), "ok");
        // Every row whole; each run's rows are its first ones, at least as many as it
        // reported and at most one more (stored, then killed before it could say so).
        std::map<QString, int> stored;
        for (const QString &heading : list.headings) {
            const store::Snippet s = library.find(heading).snippet;
            EXPECT_EQ(s.description.toString(), qbx::test::crashDescription(heading));
            EXPECT_EQ(s.code.toString(), qbx::test::crashCode(heading));
            const QString runOf = heading.section(QLatin1Char('-'), 0, 0);
            EXPECT_EQ(heading, QStringLiteral("%1-%2").arg(runOf).arg(stored[runOf]++))
                << "out of order or one missing";
        }
        for (const auto &[runName, count] : reported) {
            EXPECT_GE(stored[runName], count) << runName.toStdString() << ": a reported snippet is lost";
            EXPECT_LE(stored[runName], count + 1) << runName.toStdString();
        }
        if (::testing::Test::HasFailure())
            return;
    }
    // Only worth something when the writer got snippets in before it was killed.
    EXPECT_GT(total, 20);
}

// A writer replaces the last row by "Churn" and "Other" in turn while "Churn" is looked up
// again and again: each snippet found is one whole stored version of "Churn".
TEST(StoreRace, ASnippetFoundWhileAnotherProgramRewritesItIsOneWholeVersionOfIt)
{
    qbx::test::FreshUserFolders folders;
    ASSERT_TRUE(store::initLibrary(false).done());
    const store::SnippetLibrary library(store::databasePath());
    ASSERT_TRUE(library.add("First", "d", "c").done() && library.add("Churn", "Churn start", "Churn start").done());
    const QString stop = folders.dataHome() + QStringLiteral("/stop");
    const auto writer = startHelper({QStringLiteral("churn"), stop});
    int found = 0, i = 0;
    for (; i < 3000 && !::testing::Test::HasFailure(); ++i) {
        const store::SnippetResult r = library.find(QStringLiteral("Churn"));
        EXPECT_NE(r.outcome, store::Outcome::Failed) << r.error.message.toStdString();
        const QString version = r.snippet.description.toString();
        found += r.done();
        EXPECT_TRUE(!r.done()
                    || (r.snippet.heading == "Churn" && version.startsWith("Churn ") && r.snippet.code == version))
            << (r.snippet.heading.toString() + " / " + version + " / " + r.snippet.code.toString()).toStdString();
    }
    QFile(stop).open(QIODevice::WriteOnly);
    ASSERT_TRUE(writer->waitForFinished(20000));
    EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardError().toStdString();
    EXPECT_GT(found, 100) << "the writer never let the snippet be found";
    EXPECT_LT(found, 3000) << "the writer never changed it";
}

} // namespace
