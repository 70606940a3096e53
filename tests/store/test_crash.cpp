// Real writers in processes of their own: one killed at any moment leaves the library a sound
// file, every snippet it saw stored there and every row whole; eight adding one heading at
// once store it once.

#include "store/crashsnippet.h"
#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "store/snippets.h"
#include "store/storetesting.h"
#include "support/testsupport.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>

using namespace quillbox;

namespace {

struct Stored {
    QString heading, desc, code;
};

// Every row, read through the store as the window reads it (this is also the first use of
// the file after the kill, which puts back whatever the killed writer left half done).
std::vector<Stored> readThroughTheStore(const QString &path)
{
    std::vector<Stored> rows;
    const store::SnippetLibrary library(path);
    const store::HeadingsResult list = library.headings();
    EXPECT_EQ(list.error.message, QString());
    for (const QString &heading : list.headings) {
        const store::SnippetResult r = library.find(heading);
        EXPECT_TRUE(r.done()) << r.error.message.toStdString();
        rows.push_back({heading, r.snippet.description.toString(), r.snippet.code.toString()});
    }
    return rows;
}

TEST(StoreCrash, KilledWriterLeavesEverySnippetItReportedAndNoneHalfWritten)
{
    qbx::test::FreshUserFolders folders;
    ASSERT_TRUE(store::initLibrary(false).ok);
    const QString path = store::databasePath();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), folders.dataHome());

    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> delay(3, 200);
    std::map<QString, int> reported; // run -> headings the writer said were stored
    int journals = 0, totalReported = 0;
    const int runs = 20;
    for (int run = 0; run < runs; ++run) {
        const QString name = QStringLiteral("run%1").arg(run);
        SCOPED_TRACE(name.toStdString());
        QProcess writer;
        writer.setProcessEnvironment(env);
        writer.start(qbx::test::binDir() + QStringLiteral("/store_helper"), {QStringLiteral("write"), name});
        ASSERT_TRUE(writer.waitForStarted(10000)) << writer.errorString().toStdString();
        QByteArray out;
        while (!out.contains("ready\n") && writer.waitForReadyRead(10000))
            out += writer.readAllStandardOutput();
        ASSERT_TRUE(out.contains("ready\n")) << writer.readAllStandardError().toStdString();
        QThread::msleep(ulong(delay(rng)));
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished(10000));
        out += writer.readAllStandardOutput();
        EXPECT_EQ(writer.exitStatus(), QProcess::CrashExit)
            << "the writer stopped by itself: " << writer.readAllStandardError().toStdString();
        journals += QFileInfo::exists(path + QStringLiteral("-journal"));

        // Only whole lines were said; what follows the last line end was cut by the kill.
        QStringList said = QString::fromUtf8(out).split(QLatin1Char('\n'));
        said.removeLast();
        said.removeFirst(); // "ready"
        for (int i = 0; i < said.size(); ++i)
            ASSERT_EQ(said[i], qbx::test::crashHeading(name, i));
        reported[name] = int(said.size());
        totalReported += int(said.size());

        const std::vector<Stored> rows = readThroughTheStore(path);
        {
            qbx::test::RawConnection raw(path);
            EXPECT_EQ(raw.value(QStringLiteral("PRAGMA quick_check")).toString(), QStringLiteral("ok"));
            EXPECT_EQ(raw.value(QStringLiteral("SELECT count(*) FROM TABLE1")).toInt(), int(rows.size()));
        }

        // Every row whole; each run's rows are its first ones, at least as many as it
        // reported and at most one more (stored, then killed before it could say so).
        std::map<QString, int> storedPerRun;
        QSet<QString> seen;
        for (const Stored &r : rows) {
            EXPECT_FALSE(seen.contains(r.heading)) << "twice: " << r.heading.toStdString();
            seen.insert(r.heading);
            EXPECT_EQ(r.desc, qbx::test::crashDescription(r.heading)) << r.heading.toStdString();
            EXPECT_EQ(r.code, qbx::test::crashCode(r.heading)) << r.heading.toStdString();
            const QString runOf = r.heading.section(QLatin1Char('-'), 0, 0);
            EXPECT_EQ(r.heading, qbx::test::crashHeading(runOf, storedPerRun[runOf]++))
                << "rows out of order or one missing";
        }
        for (const auto &[runName, count] : reported) {
            EXPECT_GE(storedPerRun[runName], count) << runName.toStdString() << ": a reported snippet is lost";
            EXPECT_LE(storedPerRun[runName], count + 1) << runName.toStdString();
        }
        if (::testing::Test::HasFailure())
            return;
    }
    std::printf("%d snippets reported over %d runs; %d kills left a journal file behind\n", totalReported, runs,
                journals);
    // Only worth something when the writer got snippets in before it was killed.
    EXPECT_GT(totalReported, runs);
}

TEST(StoreRace, WritersAddingOneHeadingAtOnceStoreItOnce)
{
    qbx::test::FreshUserFolders folders;
    ASSERT_TRUE(store::initLibrary(false).ok);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), folders.dataHome());
    const QStringList spellings = {"Dup%1", " dup%1", "DUP%1 ", "dUp%1", "Dup%1", "  DUP%1", "dup%1", "Dup%1  "};
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        const QString go = folders.dataHome() + QStringLiteral("/go%1").arg(round);
        std::vector<std::unique_ptr<QProcess>> writers;
        for (const QString &spelling : spellings) {
            auto &w = writers.emplace_back(std::make_unique<QProcess>());
            w->setProcessEnvironment(env);
            w->start(qbx::test::binDir() + QStringLiteral("/store_helper"),
                     {QStringLiteral("add"), spelling.arg(round), go});
        }
        for (auto &w : writers) {
            QByteArray out;
            while (!out.contains("ready") && w->waitForReadyRead(10000))
                out += w->readAllStandardOutput();
            ASSERT_TRUE(out.contains("ready")) << w->readAllStandardError().toStdString();
        }
        QFile(go).open(QIODevice::WriteOnly); // all at once
        QStringList outcomes;
        for (auto &w : writers) {
            ASSERT_TRUE(w->waitForFinished(20000));
            outcomes << QString::fromUtf8(w->readAllStandardOutput() + w->readAllStandardError()).trimmed();
        }
        EXPECT_EQ(outcomes.count(QStringLiteral("done")), 1) << outcomes.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(outcomes.count(QStringLiteral("taken")), 7) << outcomes.join(QLatin1Char('|')).toStdString();
        qbx::test::RawConnection raw(store::databasePath());
        EXPECT_EQ(raw.value(QStringLiteral("SELECT count(*) FROM TABLE1 WHERE upper(trim(CodeName)) = ?"),
                            {QStringLiteral("DUP%1").arg(round)})
                      .toInt(),
                  1);
    }
}

} // namespace
