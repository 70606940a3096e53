// Writers in processes of their own against a library on a server: eight at once, checked
// against the order in which they held the library's lock; and the server killed in the
// middle of a batch of writes and started again.

#include "store/crashsnippet.h"
#include "store/libraryinit.h"
#include "store/pgcluster.h"
#include "store/snippets.h"
#include "store/storetesting.h"

#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

using namespace quillbox;
using qbx::test::startHelper;

// Every answer is replayed, in the order the writes held the lock, on a model of the table
// that follows the matching rules: each outcome must be the model's, and the table must end
// as the model does.
TEST(ServerRace, EightWritersAnswersMatchTheOrderTheyHeldTheLibraryIn)
{
    QBX_NEED_CLUSTER(cluster);
    const QString url = cluster->library("race");
    ASSERT_EQ(qbx::test::RawConnection(url).run("CREATE SEQUENCE oplog"), QString());
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int i = 1; i <= 8; ++i)
        writers.push_back(startHelper({"race", url, QString::number(i)}));
    std::map<qint64, QStringList> log;
    for (auto &w : writers) {
        ASSERT_TRUE(w->waitForFinished(300000));
        for (const QByteArray &line : w->readAllStandardOutput().split('\n')) {
            const QStringList f = QString::fromUtf8(line).split('\t');
            if (f.size() == 6) {
                ASSERT_TRUE(log.emplace(f[0].toLongLong(), f).second) << "two writes held the lock as one";
            }
        }
    }
    ASSERT_EQ(log.size(), 8u * 300u) << "a write failed or held no lock";
    QStringList model; // "heading|description|code"
    const auto picked = [&](const QString &p) {
        return std::find_if(model.begin(), model.end(),
                            [&](const QString &r) { return store::headingMatchesPicked(r.section('|', 0, 0), p); });
    };
    const auto taken = [&](const QString &h, const QString *except) {
        return std::any_of(model.begin(), model.end(), [&](const QString &r) {
            return &r != except && store::headingMatchesTaken(r.section('|', 0, 0), h);
        });
    };
    for (const auto &[order, f] : log) {
        const int op = f[1].toInt();
        const QString &p = f[2], &h = f[3], &desc = f[4];
        const auto row = picked(p);
        QString expected = "done";
        if (op == 0 && taken(h, nullptr))
            expected = "taken";
        else if (op == 0)
            model << store::trimSpaces(h) + "|" + desc + "|" + desc;
        else if (row == model.end())
            expected = "vanished";
        else if (op == 3)
            model.erase(row);
        else if (!store::headingMatchesTaken(p, h) && taken(h, &*row))
            expected = "taken";
        else
            *row = store::trimSpaces(h) + "|" + desc + "|" + desc;
        ASSERT_EQ(f[5].trimmed(), expected) << "write " << order << ": " << f.join(' ').toStdString();
    }
    EXPECT_EQ(qbx::test::storedRows(url), model);
}

TEST(ServerRace, ServerKilledInTheMiddleOfABatchKeepsEveryAcknowledgedWriteWhole)
{
    QBX_NEED_CLUSTER(cluster);
    const QString url = cluster->library("batch");
    const auto writer = startHelper({"batch", url, "100"});
    QByteArray out;
    while (out.count("ok") < 40 && writer->waitForReadyRead(10000))
        out += writer->readAll();
    ASSERT_TRUE(cluster->kill());
    QThread::msleep(300);
    ASSERT_TRUE(cluster->start());
    ASSERT_TRUE(writer->state() == QProcess::NotRunning || writer->waitForFinished(120000));
    EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardError().toStdString();
    out += writer->readAll();
    EXPECT_GT(out.count("failed"), 0) << "the server was not down while the writer went on";
    EXPECT_EQ(out.count("ok"), 100) << "the writer did not go on after the restart";
    std::map<QString, int> parts; // batch number: rows of it stored
    for (const QString &row : qbx::test::storedRows(url)) {
        const QString heading = row.section('|', 0, 0);
        EXPECT_EQ(row, heading + "|" + qbx::test::crashDescription(heading) + "|" + qbx::test::crashCode(heading));
        ++parts[heading.section('-', 1)];
    }
    for (const auto &[batch, count] : parts)
        EXPECT_EQ(count, 3) << "batch " << batch.toStdString() << " half-written";
    for (const QByteArray &line : out.split('\n'))
        EXPECT_TRUE(!line.startsWith("ok ") || parts.count(QString::fromLatin1(line.mid(3))))
            << line.constData() << " lost";
}
