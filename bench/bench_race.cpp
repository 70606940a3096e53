// Eight programs adding snippets to one library at once, each add checked and written under
// one reservation of the file: how many adds a second get through, and how long one waits.
//   bench_race            runs the race and prints the figures and a summary table
//   bench_race add N GO   (a racer) waits for the file GO, adds N snippets, prints each wait in µs

#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "store/snippets.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace quillbox;

namespace {

constexpr int kRacers = 8;
constexpr int kAdds = 250;

int race(int adds, const QString &go)
{
    while (!QFileInfo::exists(go))
        QThread::usleep(100);
    const store::SnippetLibrary library(store::databasePath());
    const QString code = QStringLiteral("Dim x As Long ' a line of code\r\n").repeated(60);
    for (int i = 0; i < adds; ++i) {
        QElapsedTimer t;
        t.start();
        const store::Result r = library.add(
            QStringLiteral("Racer %1 snippet %2").arg(QCoreApplication::applicationPid()).arg(i), "' d", code);
        if (!r.done()) {
            std::fprintf(stderr, "add failed: %s\n", qPrintable(r.error.message));
            return 1;
        }
        std::printf("%lld\n", static_cast<long long>(t.nsecsElapsed() / 1000));
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4 && args[1] == QLatin1String("add"))
        return race(args[2].toInt(), args[3]);

    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    if (!store::initLibrary(false).done())
        return 1;
    const QString go = home.path() + QStringLiteral("/go");
    std::vector<std::unique_ptr<QProcess>> racers;
    for (int i = 0; i < kRacers; ++i) {
        racers.push_back(std::make_unique<QProcess>());
        racers.back()->start(QCoreApplication::applicationFilePath(),
                             {QStringLiteral("add"), QString::number(kAdds), go});
        racers.back()->waitForStarted();
    }
    QThread::msleep(300);
    QElapsedTimer wall;
    wall.start();
    QFile(go).open(QIODevice::WriteOnly);
    std::vector<long long> waits;
    bool ok = true;
    for (auto &r : racers) {
        ok = r->waitForFinished(600000) && r->exitCode() == 0 && ok;
        std::fputs(r->readAllStandardError().constData(), stderr);
        for (const QByteArray &line : r->readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                waits.push_back(line.toLongLong());
    }
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    std::sort(waits.begin(), waits.end());
    const auto at = [&](double q) {
        return waits.empty() ? 0.0 : double(waits[std::size_t(q * double(waits.size() - 1))]) / 1000.0;
    };
    std::printf("%d programs adding %d snippets each (about 2 KB) to one library at once: %zu adds in %.2f s.\n",
                kRacers, kAdds, waits.size(), seconds);
    std::printf("\n%-40s %14s %10s  %s\n", "figure", "measured", "target", "result");
    std::printf("%-40s %9.0f /s %10s  %s\n", "adds per second, 8 programs", double(waits.size()) / seconds, "-",
                ok ? "-" : "FAIL");
    std::printf("%-40s %9.2f ms %10s  %s\n", "one add, median wait", at(0.5), "-", ok ? "-" : "FAIL");
    std::printf("%-40s %9.2f ms %10s  %s\n", "one add, 99th percentile wait", at(0.99), "-", ok ? "-" : "FAIL");
    std::printf("%-40s %9.2f ms %10s  %s\n", "one add, longest wait", at(1.0), "-", ok ? "-" : "FAIL");
    return ok && waits.size() == std::size_t(kRacers * kAdds) ? 0 : 1;
}
