// Writers in processes of their own against a library on a server: eight at once, checked
// against the order in which they held the library's lock; and the server killed in the
// middle of a batch of writes and started again.

#include "store/crashsnippet.h"
#include "store/libraryinit.h"
#include "store/snippets.h"
#include "store/storetesting.h"
#include "support/pgcluster.h"

#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

using namespace quillbox;

namespace {

std::unique_ptr<QProcess> startHelper(const QStringList &args)
{
    auto helper = std::make_unique<QProcess>();
    helper->start(qbx::test::binDir() + QStringLiteral("/store_helper"), args);
    helper->waitForReadyRead(10000);
    EXPECT_EQ(helper->readLine(), "ready\n") << helper->readAllStandardError().toStdString();
    return helper;
}

// The rows of the library past the store, in table order, as "heading|description|code".
QStringList rows(const QString &url)
{
    qbx::test::RawConnection raw(url);
    QSqlQuery q(raw.database());
    EXPECT_TRUE(q.exec("SELECT CodeName, CodeDesc, code FROM TABLE1 ORDER BY id"));
    QStringList all;
    while (q.next())
        all << q.value(0).toString() + "|" + q.value(1).toString() + "|" + q.value(2).toString();
    return all;
}

QString newLibrary(qbx::test::PgCluster *cluster, const QString &name)
{
    EXPECT_EQ(cluster->createDatabase(name), QString());
    const QString url = cluster->url(name);
    EXPECT_TRUE(store::initServerLibrary(url).ok);
    return url;
}

} // namespace

// Every answer is replayed, in the order the writes held the lock, on a model of the table
// that follows the matching rules: each outcome must be the model's, and the table must end
// as the model does.
TEST(ServerRace, EightWritersAnswersMatchTheOrderTheyHeldTheLibraryIn)
{
    QBX_NEED_CLUSTER(cluster);
    const QString url = newLibrary(cluster, "race");
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
    struct Row {
        QString heading, desc;
    };
    std::vector<Row> model;
    const auto picked = [&](const QString &p) {
        return std::find_if(model.begin(), model.end(),
                            [&](const Row &r) { return store::headingMatchesPicked(r.heading, p); });
    };
    const auto taken = [&](const QString &h, const Row *except) {
        return std::any_of(model.begin(), model.end(),
                           [&](const Row &r) { return &r != except && store::headingMatchesTaken(r.heading, h); });
    };
    for (const auto &[order, f] : log) {
        const int op = f[1].toInt();
        const QString &p = f[2], &h = f[3], &desc = f[4];
        const auto row = picked(p);
        QString expected = "done";
        if (op == 0 && taken(h, nullptr))
            expected = "taken";
        else if (op == 0)
            model.push_back({store::trimSpaces(h), desc});
        else if (row == model.end())
            expected = "vanished";
        else if (op == 3)
            model.erase(row);
        else if (!store::headingMatchesTaken(p, h) && taken(h, &*row))
            expected = "taken";
        else
            *row = {store::trimSpaces(h), desc};
        ASSERT_EQ(f[5].trimmed(), expected) << "write " << order << ": " << f.join(' ').toStdString();
    }
    QStringList expected;
    for (const Row &r : model)
        expected << r.heading + "|" + r.desc + "|" + r.desc;
    EXPECT_EQ(rows(url), expected);
}

TEST(ServerRace, ServerKilledInTheMiddleOfABatchKeepsEveryAcknowledgedWriteWhole)
{
    QBX_NEED_CLUSTER(cluster);
    const QString url = newLibrary(cluster, "batch");
    const auto writer = startHelper({"batch", url, "100"});
    QStringList acknowledged;
    int failed = 0;
    const auto read = [&] {
        while (writer->canReadLine()) {
            const QList<QByteArray> line = writer->readLine().trimmed().split(' ');
            if (line[0] == "ok")
                acknowledged << QString::fromLatin1(line[1]);
            failed += line[0] == "failed";
        }
    };
    while (acknowledged.size() < 40 && writer->waitForReadyRead(10000))
        read();
    ASSERT_TRUE(cluster->kill());
    QThread::msleep(300);
    ASSERT_TRUE(cluster->start());
    ASSERT_TRUE(writer->state() == QProcess::NotRunning || writer->waitForFinished(120000));
    EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardError().toStdString();
    read();
    EXPECT_GT(failed, 0) << "the server was not down while the writer went on";
    EXPECT_EQ(acknowledged.size(), 100) << "the writer did not go on after the restart";
    std::map<QString, int> parts; // batch number: rows of it stored
    for (const QString &row : rows(url)) {
        const QString heading = row.section('|', 0, 0);
        EXPECT_EQ(row, heading + "|" + qbx::test::crashDescription(heading) + "|" + qbx::test::crashCode(heading));
        ++parts[heading.section('-', 1)];
    }
    for (const auto &[batch, count] : parts)
        EXPECT_EQ(count, 3) << "batch " << batch.toStdString() << " half-written";
    for (const QString &batch : acknowledged)
        EXPECT_TRUE(parts.count(batch)) << "acknowledged batch " << batch.toStdString() << " lost";
}
