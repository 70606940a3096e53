// Real writers in processes of their own: one killed at any moment leaves the library a sound
// file, every snippet it saw stored there and every row whole; eight storing one heading at
// once store it once; a snippet read while another program rewrites it is one whole version.

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
#include <memory>
#include <random>

using namespace quillbox;

namespace {

// The store's helper program on the folders' library, once it has said it is ready.
std::unique_ptr<QProcess> startHelper(const qbx::test::FreshUserFolders &folders, const QStringList &args)
{
    auto helper = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), folders.dataHome());
    helper->setProcessEnvironment(env);
    helper->start(qbx::test::binDir() + QStringLiteral("/store_helper"), args);
    helper->waitForReadyRead(10000);
    EXPECT_EQ(helper->readLine(), "ready\n") << helper->readAllStandardError().toStdString();
    return helper;
}

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
        const auto writer = startHelper(folders, {QStringLiteral("write"), name});
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

// Eight writers, started together, store one new heading (or rename eight snippets to it):
// exactly one gets it, the others are told it is taken, and the file holds it once.
TEST(StoreRace, WritersAddingOrRenamingToOneHeadingAtOnceStoreItOnce)
{
    qbx::test::FreshUserFolders folders;
    ASSERT_TRUE(store::initLibrary(false).done());
    const store::SnippetLibrary library(store::databasePath());
    const QStringList spellings = {"Dup%1", " dup%1", "DUP%1 ", "dUp%1", "Dup%1", "  DUP%1", "dup%1", "Dup%1  "};
    for (const bool renaming : {false, true}) {
        for (int round = 0; round < 20; ++round) {
            SCOPED_TRACE(std::to_string(round) + (renaming ? " renaming" : " adding"));
            const QString go = folders.dataHome() + QStringLiteral("/go%1-%2").arg(renaming).arg(round);
            std::vector<std::unique_ptr<QProcess>> writers;
            for (int i = 0; i < int(spellings.size()); ++i) {
                const QString old = QStringLiteral("old%1-%2").arg(round).arg(i), wanted = spellings[i].arg(round);
                if (renaming) {
                    ASSERT_TRUE(library.add(old, "d", "c").done());
                }
                writers.push_back(startHelper(folders, renaming ? QStringList{"rename", old, wanted, go}
                                                                : QStringList{"add", wanted, go}));
            }
            QFile(go).open(QIODevice::WriteOnly); // all at once
            QStringList outcomes;
            for (auto &w : writers) {
                ASSERT_TRUE(w->waitForFinished(20000));
                outcomes << QString::fromUtf8(w->readAllStandardOutput()).trimmed();
            }
            EXPECT_EQ(outcomes.count(QStringLiteral("done")), 1) << outcomes.join(QLatin1Char('|')).toStdString();
            EXPECT_EQ(outcomes.count(QStringLiteral("taken")), 7) << outcomes.join(QLatin1Char('|')).toStdString();
            qbx::test::RawConnection raw(store::databasePath());
            EXPECT_EQ(raw.value(QStringLiteral("SELECT count(*) FROM TABLE1 WHERE upper(trim(CodeName)) = ?"),
                                {QStringLiteral("DUP%1").arg(round)})
                          .toInt(),
                      1);
            ASSERT_EQ(raw.run(QStringLiteral("DELETE FROM TABLE1")), QString());
        }
    }
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
    const auto writer = startHelper(folders, {QStringLiteral("churn"), stop});
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
