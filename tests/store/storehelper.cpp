// A helper program for the store's tests, working on the library in $XDG_DATA_HOME.
//   store_helper write RUN     adds the snippets RUN-0, RUN-1, ... each as the window adds one,
//                              and prints each heading as soon as it is stored.
//   store_helper churn STOP    until the file STOP exists, replaces the last row, in one
//                              transaction each time, by "Churn" or "Other" in turn, each
//                              version's description and code "<heading> <n>", about
//                              every millisecond.
//   store_helper race URL SEED on a server: 300 random adds, renames, modifies and deletes
//                              on a few headings; prints for each "order<TAB>op<TAB>picked<TAB>
//                              heading<TAB>description<TAB>outcome", where order is taken from
//                              the sequence oplog while the write holds the library's lock.
//   store_helper batch URL N   on a server: imports of three snippets "B1-i".."B3-i" each,
//                              printing "ok i" or "failed i" for each, going on after a failure
//                              until N went through.

#include "store/crashsnippet.h"
#include "store/database.h"
#include "store/libraryfolder.h"
#include "store/snippets.h"
#include "store/transfer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <random>

#include <cstdio>

using namespace quillbox::store;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    std::printf("ready\n");
    std::fflush(stdout);
    const SnippetLibrary library(databasePath());
    if (args.size() == 3 && args[1] == QLatin1String("write")) {
        for (int i = 0;; ++i) {
            const QString heading = QStringLiteral("%1-%2").arg(args[2]).arg(i);
            const Result added =
                library.add(heading, qbx::test::crashDescription(heading), qbx::test::crashCode(heading));
            std::printf("%s\n", qPrintable(added.done() ? heading : added.error.message));
            std::fflush(stdout);
            if (!added.done())
                return 1;
        }
    }
    if (args.size() == 3 && args[1] == QLatin1String("churn")) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        db.setDatabaseName(databasePath());
        QSqlQuery q(db.open() ? db : QSqlDatabase());
        q.exec(QStringLiteral("PRAGMA synchronous = OFF")); // each rewrite holds the file only briefly
        for (int n = 0; !QFileInfo::exists(args[2]); ++n) {
            const QString version = QLatin1String(n % 2 ? "Other" : "Churn");
            const QString text = QStringLiteral("%1 %2").arg(version).arg(n);
            if (!q.exec("BEGIN IMMEDIATE")
                || !q.exec("DELETE FROM TABLE1 WHERE rowid = (SELECT max(rowid) FROM TABLE1)")
                || !q.prepare("INSERT INTO TABLE1 VALUES (?, ?, ?)"))
                return 1;
            q.addBindValue(version);
            q.addBindValue(text);
            q.addBindValue(text);
            if (!q.exec() || !q.exec("COMMIT"))
                return 1;
            QThread::usleep(1000); // readers get their turn
        }
        return 0;
    }
    if (args.size() == 4 && args[1] == QLatin1String("race")) {
        qint64 order = 0;
        LibraryOptions options;
        options.busyTimeout = 30000;
        options.locked = [&order](QSqlDatabase &db) {
            QSqlQuery q(db);
            order = q.exec("SELECT nextval('oplog')") && q.next() ? q.value(0).toLongLong() : -1;
        };
        const SnippetLibrary server(args[2], options);
        const QStringList names{"Alpha", "Beta", "Gamma", "Émile", "Straße"};
        std::mt19937 random(args[3].toUInt());
        const auto any = [&](bool variant) {
            const QString name = names[int(random() % names.size())];
            const QString forms[] = {name, name.toUpper(), "  " + name + " ", name.toLower()};
            return forms[variant ? random() % 4 : 0];
        };
        for (int i = 0; i < 300; ++i) {
            order = -1;
            const int op = int(random() % 4);
            const QString picked = any(true), heading = op == 2 ? picked : any(true);
            const QString desc = QStringLiteral("%1-%2").arg(args[3]).arg(i);
            const Result r = op == 0   ? server.add(heading, desc, desc)
                             : op == 3 ? server.remove(picked)
                                       : server.modify(picked, heading, desc, desc);
            const char *outcomes[] = {"done", "taken", "vanished", "empty", "failed"};
            std::printf("%lld\t%d\t%s\t%s\t%s\t%s %s\n", order, op, qPrintable(picked), qPrintable(heading),
                        qPrintable(desc), outcomes[int(r.outcome)], qPrintable(r.error.message));
        }
        return 0;
    }
    if (args.size() == 4 && args[1] == QLatin1String("batch")) {
        for (int i = 0, done = 0, failed = 0; done < args[3].toInt() && failed < 1000; ++i) {
            QList<Snippet> three;
            for (const QString &h :
                 {"B1-" + QString::number(i), "B2-" + QString::number(i), "B3-" + QString::number(i)})
                three.append({h, qbx::test::crashDescription(h), qbx::test::crashCode(h)});
            const bool ok = importSnippets(SnippetLibrary(args[2]), listProducer(three), OnTaken::Fail).done();
            std::printf("%s %d\n", ok ? "ok" : "failed", i);
            std::fflush(stdout);
            ++(ok ? done : failed);
            QThread::msleep(ok ? 0 : 20);
        }
        return 0;
    }
    std::fprintf(stderr, "usage: store_helper write RUN | churn STOP | race URL SEED | batch URL N\n");
    return 2;
}
