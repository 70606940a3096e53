// The snippet store on a PostgreSQL server reached by its Unix socket, with a library of
// 100,000 snippets: the heading list, one add, one show; then eight programs adding at once,
// each add checked and written under the library's lock: adds a second and the wait of one.
//   bench_server              starts a server of its own in a temporary folder (as "nobody"
//                             when run as root), prints the figures and a summary table
//   bench_server add N GO URL (a racer) waits for the file GO, adds N snippets, prints each
//                             wait in µs

#include "store/libraryinit.h"
#include "store/snippets.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <pwd.h>
#include <unistd.h>
#include <vector>

using namespace quillbox;

namespace {

constexpr int kSnippets = 100000;
constexpr int kRacers = 8;
constexpr int kAdds = 250;

const QString kCode = QStringLiteral("Dim x As Long ' a line of code\r\n").repeated(60);

int race(int adds, const QString &go, const QString &url)
{
    while (!QFileInfo::exists(go))
        QThread::usleep(100);
    const store::SnippetLibrary library(url);
    for (int i = 0; i < adds; ++i) {
        QElapsedTimer t;
        t.start();
        const store::Result r = library.add(
            QStringLiteral("Racer %1 snippet %2").arg(QCoreApplication::applicationPid()).arg(i), "' d", kCode);
        if (!r.done()) {
            std::fprintf(stderr, "add failed: %s\n", qPrintable(r.error.message));
            return 1;
        }
        std::printf("%lld\n", static_cast<long long>(t.nsecsElapsed() / 1000));
    }
    return 0;
}

// A server of the benchmark's own, stopped when the benchmark ends.
class Server {
public:
    Server()
    {
        QProcess config;
        config.start(QStringLiteral("pg_config"), {QStringLiteral("--bindir")});
        m_bin = config.waitForFinished() ? QString::fromLocal8Bit(config.readAllStandardOutput()).trimmed() : QString();
        if (!QFileInfo::exists(m_bin + "/initdb")) {
            const QStringList versions = QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            m_bin = versions.isEmpty() ? QString() : "/usr/lib/postgresql/" + versions.last() + "/bin";
        }
        if (geteuid() == 0) {
            const passwd *nobody = getpwnam("nobody");
            if (nobody && chown(QFile::encodeName(m_dir.path()).constData(), nobody->pw_uid, nobody->pw_gid) == 0)
                m_asUser = {QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("nobody"),
                            QStringLiteral("--")};
        }
        m_running =
            tool("initdb", {"-D", data(), "-U", "quillbox", "-A", "trust", "-E", "UTF8", "--locale=C", "--no-sync"})
            && tool("pg_ctl", {"-D", data(), "-l", m_dir.path() + "/log", "-w", "-o",
                               "-c listen_addresses='' -c unix_socket_directories='" + m_dir.path() + "'", "start"});
    }
    ~Server()
    {
        if (m_running)
            tool("pg_ctl", {"-D", data(), "-m", "fast", "stop"});
    }
    bool running() const { return m_running; }
    QString url(const QString &database) const
    {
        return QStringLiteral("postgresql://quillbox@%1/%2")
            .arg(QString::fromLatin1(QUrl::toPercentEncoding(m_dir.path())), database);
    }
    // Runs statements on a database of the server; false, with the server's words printed, when one fails.
    bool run(const QString &database, const QStringList &statements) const
    {
        bool ok = true;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("bench"));
            db.setHostName(m_dir.path());
            db.setUserName(QStringLiteral("quillbox"));
            db.setDatabaseName(database);
            ok = db.open();
            QSqlQuery q(db);
            for (const QString &s : statements) {
                if (ok && !q.exec(s))
                    ok = false;
            }
            if (!ok)
                std::fprintf(stderr, "%s%s\n", qPrintable(db.lastError().text()), qPrintable(q.lastError().text()));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench"));
        return ok;
    }

private:
    QString data() const { return m_dir.path() + QStringLiteral("/data"); }
    bool tool(const char *name, const QStringList &args) const
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        const QString program = m_bin + QLatin1Char('/') + QLatin1String(name);
        p.start(m_asUser.isEmpty() ? program : m_asUser.first(), m_asUser.mid(1) + QStringList{program} + args);
        const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!ok)
            std::fprintf(stderr, "%s failed: %s\n", name, p.readAll().constData());
        return ok;
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/qbxbench-XXXXXX")};
    QString m_bin;
    QStringList m_asUser;
    bool m_running = false;
};

// The median of a few runs, in milliseconds.
double medianMs(int runs, const std::function<bool(int)> &once)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        if (!once(i))
            return -1;
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 5 && args[1] == QLatin1String("add"))
        return race(args[2].toInt(), args[3], args[4]);

    const Server server;
    if (!server.running()) {
        std::fprintf(stderr, "no PostgreSQL server could be started here (postgresql and libqt6sql6-psql)\n");
        return 1;
    }
    const QString url = server.url(QStringLiteral("bench"));
    if (!server.run(QStringLiteral("postgres"), {"CREATE DATABASE bench"})
        || !store::initServerLibrary(store::SnippetLibrary(url)).done()
        || !server.run(QStringLiteral("bench"),
                       {QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) SELECT 'Snippet ' || i, "
                                       "'''Description of snippet ' || i, replace('%1', 'x', 'x' || i) FROM "
                                       "generate_series(1, %2) i")
                            .arg(QString(kCode).replace("'", "''"), QString::number(kSnippets)),
                        "VACUUM ANALYZE TABLE1"}))
        return 1;
    const store::SnippetLibrary library(url);

    const double list = medianMs(5, [&](int) { return library.headings().headings.size() == kSnippets; });
    const double add =
        medianMs(21, [&](int i) { return library.add(QStringLiteral("New %1").arg(i), "' d", kCode).done(); });
    const double show = medianMs(
        21, [&](int i) { return library.find(QStringLiteral("Snippet %1").arg(1 + i * 4759 % kSnippets)).done(); });
    // A rare pair of words, looked for in all three columns.
    const double find =
        medianMs(5, [&](int) { return library.search(QStringLiteral("snippet 99999")).hits.size() == 1; });
    std::printf("A library of %d snippets (about 2 KB each) on a PostgreSQL server, by its Unix socket:\n", kSnippets);
    std::printf("  heading list %.1f ms, one add %.2f ms, one show %.2f ms, one find %.1f ms (medians)\n", list, add,
                show, find);

    QTemporaryDir folder;
    const QString go = folder.filePath(QStringLiteral("go"));
    std::vector<std::unique_ptr<QProcess>> racers;
    for (int i = 0; i < kRacers; ++i) {
        racers.push_back(std::make_unique<QProcess>());
        racers.back()->start(QCoreApplication::applicationFilePath(), {"add", QString::number(kAdds), go, url});
    }
    QThread::msleep(500);
    QElapsedTimer wall;
    wall.start();
    QFile(go).open(QIODevice::WriteOnly);
    std::vector<double> waits;
    bool ok = true;
    for (auto &racer : racers) {
        ok = racer->waitForFinished(600000) && racer->exitCode() == 0 && ok;
        for (const QByteArray &line : racer->readAllStandardOutput().split('\n')) {
            if (!line.isEmpty())
                waits.push_back(line.toDouble() / 1000.0);
        }
        std::fprintf(stderr, "%s", racer->readAllStandardError().constData());
    }
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    std::sort(waits.begin(), waits.end());
    const auto at = [&](double q) {
        return waits.empty() ? 0.0 : waits[std::min(waits.size() - 1, size_t(q * waits.size()))];
    };
    std::printf("%d programs adding %d snippets each to the library at once: %zu adds in %.2f s.\n", kRacers, kAdds,
                waits.size(), seconds);

    const auto verdict = [](double measured, double target) {
        return measured >= 0 && measured <= target ? "pass" : "FAIL";
    };
    std::printf("\n%-40s %12s %10s  %s\n", "figure", "measured", "target", "result");
    std::printf("%-40s %9.1f ms %7.0f ms  %s\n", "heading list of 100,000", list, 500.0, verdict(list, 500));
    std::printf("%-40s %9.2f ms %7.0f ms  %s\n", "one add", add, 20.0, verdict(add, 20));
    std::printf("%-40s %9.2f ms %7.0f ms  %s\n", "one show", show, 10.0, verdict(show, 10));
    std::printf("%-40s %9.1f ms %10s  %s\n", "find \"snippet 99999\"", find, "-", find >= 0 ? "-" : "FAIL");
    std::printf("%-40s %9.0f /s %10s  %s\n", "adds per second, 8 programs", double(waits.size()) / seconds, "-",
                ok ? "-" : "FAIL");
    std::printf("%-40s %9.2f ms %10s  %s\n", "one add, 99th percentile wait", at(0.99), "-", ok ? "-" : "FAIL");
    return ok && verdict(list, 500)[0] == 'p' && verdict(add, 20)[0] == 'p' && verdict(show, 10)[0] == 'p' ? 0 : 1;
}
