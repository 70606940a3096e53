// The command line on a large library of 100,000 snippets of about 2 KB each: 10,000
// snippets imported into it, through the store's import and through `quillbox import` as a
// user runs it; an export of the whole library beside sqlite3's own JSON dump of the table;
// that export imported into an empty library; one show for comparison; and one snippet of
// 100 MB added and shown. Each is run several times on a fresh copy of the library; the
// median is printed with the fastest and slowest run, and a summary table ends the output.
// Every program runs as a child under /usr/bin/time, which reports the most memory it held;
// the memory figures are taken against that of `quillbox --help`.

#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "store/transfer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace quillbox;

namespace {

constexpr int kLibrary = 100000;
constexpr int kImported = 10000;
constexpr int kRuns = 5;
// The whole library and the large snippet take seconds a run: fewer runs of those.
constexpr int kLargeRuns = 3;
constexpr int kBigLines = 3000000;

store::Snippet snippet(int i, const char *kind)
{
    QString code = QStringLiteral("Public Sub %1%2()\r\n").arg(QLatin1String(kind)).arg(i);
    while (code.size() < 1950)
        code += QStringLiteral("    Dim value%1 As String ' keeps the line %1 of the snippet\r\n").arg(code.size());
    const QString heading = QStringLiteral("%1 snippet number %2%3")
                                .arg(QLatin1String(kind))
                                .arg(i)
                                .arg(i % 100 == 0 ? QStringLiteral(" Größe") : QString());
    return {heading, QStringLiteral("'What %1 does, in a sentence or two.").arg(heading), code + "End Sub\r\n"};
}

bool fill(const QString &path)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        QSqlQuery q(db);
        ok = db.open() && q.exec(QStringLiteral("BEGIN"))
             && q.prepare(QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, ?)"));
        for (int i = 0; ok && i < kLibrary; ++i) {
            const store::Snippet s = snippet(i, "Stored");
            q.addBindValue(s.heading);
            q.addBindValue(s.description);
            q.addBindValue(s.code);
            ok = q.exec();
        }
        ok = ok && q.exec(QStringLiteral("COMMIT"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok;
}

// Writes a snippet of Visual Basic source text of `lines` lines (about 100 MB for three
// million), each ended by a line feed as an editor on this system writes them; a few
// keywords are in lower case, so that showing it makes case rewrites too.
bool writeBigSnippet(const QString &file, int lines)
{
    static const char *const kLines[] = {
        "    Dim value%1 As Long ' a count\n",
        "    If value%1 > 0 Then total = total + 1\n",
        "    Call DoWork(ByVal n%1, text)\n",
        "    total = total + value%1 ' add\n",
        "    end if\n",
        "Public Sub Routine%1(a As String)\n",
        "    redim buffer(%1) ' grows\n",
        "    ElseIf y = %1 Then z = \"<&>\"\n",
    };
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "%s cannot be written: %s\n", qPrintable(file), qPrintable(f.errorString()));
        return false;
    }
    QByteArray chunk;
    for (int i = 0; i < lines; ++i) {
        chunk += QByteArray(kLines[i % std::size(kLines)]).replace("%1", QByteArray::number(i % 100000));
        if ((chunk.size() >= 1024 * 1024 || i + 1 == lines) && f.write(chunk) != chunk.size()) {
            std::fprintf(stderr, "%s cannot be written: %s\n", qPrintable(file), qPrintable(f.errorString()));
            return false;
        }
        if (chunk.size() >= 1024 * 1024)
            chunk.clear();
    }
    return true;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The median of the runs, in milliseconds; each run starts from a fresh copy of the library.
double measure(const char *what, const QString &library, const QString &copy, const std::function<bool()> &run,
               int runs = kRuns)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QFile::remove(library);
        if (!QFile::copy(copy, library)) {
            std::fprintf(stderr, "%s: the library could not be copied from %s\n", what, qPrintable(copy));
            return -1;
        }
        QElapsedTimer t;
        t.start();
        if (!run()) {
            std::fprintf(stderr, "%s failed\n", what);
            return -1;
        }
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("  %-52s median %9.1f ms   min %9.1f   max %9.1f\n", what, ms[ms.size() / 2], ms.front(), ms.back());
    return ms[ms.size() / 2];
}

// A program run to its end: whether it did what it was asked, and the most memory it held
// (resident, in MB of 10^6 bytes), as the system counted it for this child alone.
struct Child {
    bool ok = false;
    double peakMb = 0;
};

// Runs a program of this build with its standard output going to `output`; what it says
// on standard error reaches our own. A child started from this process would have our own
// peak counted in its (the system keeps the larger of the two across exec), so each starts
// under /usr/bin/time, small itself, which reports the peak of its child alone.
Child runChild(const QString &name, const QStringList &args, const QString &output = QStringLiteral("/dev/null"))
{
    Child child;
    const QByteArray program = QFile::encodeName(QCoreApplication::applicationDirPath() + QLatin1Char('/') + name);
    static const QTemporaryDir folder;
    const QByteArray peakFile = QFile::encodeName(folder.filePath(QStringLiteral("peak")));
    std::vector<QByteArray> words{"/usr/bin/time", "--quiet", "-f", "%M", "-o", peakFile, program};
    for (const QString &arg : args)
        words.push_back(QFile::encodeName(arg));
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = QFile::encodeName(output);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int e = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (e != 0) {
        std::fprintf(stderr, "/usr/bin/time could not be started to run %s: %s\n", program.constData(),
                     std::strerror(e));
        return child;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "waiting for %s failed: %s\n", program.constData(), std::strerror(errno));
            return child;
        }
    }
    child.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!child.ok) {
        std::fprintf(stderr, "%s %s ended %s %d\n", program.constData(), qPrintable(args.join(u' ')),
                     WIFEXITED(status) ? "with exit code" : "by signal",
                     WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status));
        return child;
    }
    QFile peak(QFile::decodeName(peakFile));
    bool read = false;
    const qint64 kilobytes =
        peak.open(QIODevice::ReadOnly) ? peak.readAll().trimmed().split('\n').last().toLongLong(&read) : 0;
    if (!read) {
        std::fprintf(stderr, "/usr/bin/time gave no peak memory for %s in %s\n", program.constData(),
                     peakFile.constData());
        child.ok = false;
        return child;
    }
    child.peakMb = double(kilobytes) * 1024.0 / 1e6;
    return child;
}

// `quillbox ARGS` run to its end, its peak memory added to `peaks`.
bool runQuillbox(const QStringList &args, std::vector<double> *peaks = nullptr,
                 const QString &output = QStringLiteral("/dev/null"))
{
    const Child child = runChild(QStringLiteral("quillbox"), args, output);
    if (child.ok && peaks)
        peaks->push_back(child.peakMb);
    return child.ok;
}

// sqlite3's own JSON dump of the table, written to a file, as a yardstick for the export.
bool runSqlite(const QString &library, const QString &output)
{
    QProcess p;
    p.setStandardOutputFile(output);
    p.start(QStringLiteral("sqlite3"), {QStringLiteral("-json"), library, QStringLiteral("select * from TABLE1")});
    if (!p.waitForStarted()) {
        std::fprintf(stderr, "sqlite3 could not be started: %s\n", qPrintable(p.errorString()));
        return false;
    }
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 -json failed: %s %s\n", qPrintable(p.errorString()),
                     p.readAllStandardError().constData());
        return false;
    }
    return true;
}

// The lines of the summary table; the benchmark fails when any figure misses its target.
class Summary {
public:
    // `target` <= 0: a figure shown for comparison, with no target. A figure that could not
    // be measured is negative and fails.
    void row(const char *figure, double measured, const char *unit, double target)
    {
        const bool failed = measured < 0 || (target > 0 && measured > target);
        m_failed = m_failed || failed;
        const QString value =
            measured < 0
                ? QStringLiteral("-")
                : QStringLiteral("%1 %2").arg(measured, 0, 'f', unit[0] == 'x' ? 2 : 1).arg(QLatin1String(unit));
        const QString goal =
            target > 0 ? QStringLiteral("%1 %2").arg(target, 0, 'f', unit[0] == 'x' ? 1 : 0).arg(QLatin1String(unit))
                       : QStringLiteral("-");
        m_lines.push_back(QStringLiteral("%1 %2 %3  %4")
                              .arg(QString::fromUtf8(figure), -54)
                              .arg(value, 13)
                              .arg(goal, 13)
                              .arg(failed       ? QStringLiteral("FAIL")
                                   : target > 0 ? QStringLiteral("pass")
                                                : QStringLiteral("-")));
    }
    void print() const
    {
        std::printf("\n%-54s %13s %13s  %s\n", "figure", "measured", "target", "result");
        for (const QString &line : m_lines)
            std::printf("%s\n", qPrintable(line));
    }
    bool failed() const { return m_failed; }

private:
    std::vector<QString> m_lines;
    bool m_failed = false;
};

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    QCoreApplication app(argc, argv);
    QElapsedTimer t;
    t.start();
    const QString library = store::databasePath(), copy = home.path() + QStringLiteral("/library.copy"),
                  emptyCopy = home.path() + QStringLiteral("/empty.copy");
    if (!store::initLibrary(false).done() || !QFile::copy(library, emptyCopy) || !fill(library)
        || !QFile::copy(library, copy)) {
        std::fprintf(stderr, "The library of %d snippets could not be made in %s\n", kLibrary, qPrintable(home.path()));
        return 1;
    }
    QList<store::Snippet> incoming;
    QJsonArray entries;
    for (int i = 0; i < kImported; ++i) {
        incoming.append(snippet(i, "Imported"));
        entries.append(QJsonObject{{QStringLiteral("heading"), incoming.last().heading.toString()},
                                   {QStringLiteral("description"), incoming.last().description.toString()},
                                   {QStringLiteral("code"), incoming.last().code.toString()}});
    }
    const QString file = home.path() + QStringLiteral("/incoming.json");
    QFile json(file);
    if (!json.open(QIODevice::WriteOnly)
        || json.write(QJsonDocument(QJsonObject{{QStringLiteral("quillbox"), 1}, {QStringLiteral("snippets"), entries}})
                          .toJson())
               <= 0) {
        std::fprintf(stderr, "%s cannot be written: %s\n", qPrintable(file), qPrintable(json.errorString()));
        return 1;
    }
    json.close();
    std::printf("A library of %d snippets of about 2 KB made in %.1f s; %d snippets to import (%.1f MB); %d runs of "
                "each, %d of the large ones.\n",
                kLibrary, double(t.elapsed()) / 1000.0, kImported, double(json.size()) / 1e6, kRuns, kLargeRuns);

    // The program's own size doing next to nothing, which the memory of the others is taken
    // against.
    std::vector<double> idlePeaks;
    for (int i = 0; i < kRuns; ++i)
        if (!runQuillbox({QStringLiteral("--help")}, &idlePeaks))
            return 1;
    const double idle = median(idlePeaks);
    std::printf("  %-52s %9.1f MB\n", "quillbox --help, peak memory", idle);

    const double store = measure("import of 10,000 through the store", library, copy, [&] {
        return store::importSnippets(store::SnippetLibrary(library), store::listProducer(incoming),
                                     store::OnTaken::Fail)
            .done();
    });
    const double command = measure("quillbox import (10,000 from a JSON file)", library, copy, [&] {
        return runQuillbox({QStringLiteral("import"), file});
    });

    const QString all = home.path() + QStringLiteral("/all.json"), dump = home.path() + QStringLiteral("/dump.json");
    std::vector<double> exportPeaks;
    const double exported = measure(
        "quillbox export of the 100,000 (JSON)", library, copy,
        [&] {
            return runQuillbox({QStringLiteral("export"), all}, &exportPeaks);
        },
        kLargeRuns);
    const double sqlite = measure(
        "sqlite3 -json of the same table to a file", library, copy, [&] { return runSqlite(library, dump); },
        kLargeRuns);
    std::printf("  %-52s %9.1f MB (sqlite3: %.1f MB)\n", "the export's file", double(QFileInfo(all).size()) / 1e6,
                double(QFileInfo(dump).size()) / 1e6);
    std::vector<double> importAllPeaks;
    const double importedAll = measure(
        "quillbox import of that export into an empty library", library, emptyCopy,
        [&] {
            return runQuillbox({QStringLiteral("import"), all}, &importAllPeaks);
        },
        kLargeRuns);
    const double shown = measure("quillbox show of one snippet", library, copy, [&] {
        return runQuillbox({QStringLiteral("show"), QStringLiteral("Stored snippet number 99999")});
    });

    // One snippet of 100 MB: added to a fresh copy of the library, then shown from the last.
    const QString big = home.path() + QStringLiteral("/big.bas"), bigShown = home.path() + QStringLiteral("/big.out");
    if (!writeBigSnippet(big, kBigLines))
        return 1;
    const double bigMb = double(QFileInfo(big).size()) / 1e6;
    std::printf("  %-52s %9.1f MB, %d lines\n", "the large snippet", bigMb, kBigLines);
    std::vector<double> addPeaks, showPeaks, htmlPeaks;
    const double added = measure(
        "quillbox add of the large snippet", library, copy,
        [&] {
            return runQuillbox({QStringLiteral("add"), QStringLiteral("BIG"), QStringLiteral("--code-file"), big},
                               &addPeaks);
        },
        kLargeRuns);
    // The library the last add left: shown as it is, without a fresh copy.
    const auto showBig = [&](const char *what, const QStringList &options, std::vector<double> *peaks, int runs) {
        const QStringList args = QStringList{QStringLiteral("show")} + options + QStringList{QStringLiteral("BIG")};
        // Once into a file, which must then hold at least the snippet; timed, like the other
        // shows here, with the output going to /dev/null.
        if (!runQuillbox(args, peaks, bigShown) || QFileInfo(bigShown).size() < QFileInfo(big).size()) {
            std::fprintf(stderr, "%s failed: %s does not hold the snippet\n", what, qPrintable(bigShown));
            return -1.0;
        }
        std::vector<double> ms;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer timer;
            timer.start();
            if (!runQuillbox(args, peaks)) {
                std::fprintf(stderr, "%s failed\n", what);
                return -1.0;
            }
            ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("  %-52s median %9.1f ms   min %9.1f   max %9.1f\n", what, ms[ms.size() / 2], ms.front(),
                    ms.back());
        return ms[ms.size() / 2];
    };
    const double bigShow = added < 0 ? -1 : showBig("quillbox show of the large snippet", {}, &showPeaks, kLargeRuns);
    const double bigHtml =
        added < 0 ? -1
                  : showBig("quillbox show --html of the large snippet", {QStringLiteral("--html")}, &htmlPeaks, 1);

    const auto aboveIdle = [idle](const std::vector<double> &peaks) {
        return peaks.empty() || idle < 0 ? -1.0 : median(peaks) - idle;
    };
    Summary summary;
    summary.row("import 10,000 into 100,000, store", store, "ms", 1000);
    summary.row("import 10,000 into 100,000, quillbox import", command, "ms", 1000);
    summary.row("export 100,000, quillbox export", exported, "ms", 1000);
    summary.row("export 100,000, sqlite3 -json", sqlite, "ms", 0);
    summary.row("export 100,000, quillbox export / sqlite3 -json", exported < 0 || sqlite <= 0 ? -1 : exported / sqlite,
                "x", 1.5);
    summary.row("export 100,000, peak memory above idle", aboveIdle(exportPeaks), "MB", 64);
    summary.row("import 100,000 into an empty library, quillbox import", importedAll, "ms", 3000);
    summary.row("import 100,000 into an empty library, peak above idle", aboveIdle(importAllPeaks), "MB", 64);
    summary.row("show one of 100,000, quillbox show", shown, "ms", 0);
    summary.row("add of a 100 MB snippet, quillbox add", added, "ms", 0);
    summary.row("add of a 100 MB snippet, peak memory", addPeaks.empty() ? -1 : median(addPeaks), "MB", 4 * bigMb);
    summary.row("show of a 100 MB snippet, quillbox show", bigShow, "ms", 1500);
    summary.row("show of a 100 MB snippet, peak memory", showPeaks.empty() ? -1 : median(showPeaks), "MB", 4 * bigMb);
    summary.row("show --html of a 100 MB snippet", bigHtml, "ms", 0);
    summary.row("show --html of a 100 MB snippet, peak memory", htmlPeaks.empty() ? -1 : median(htmlPeaks), "MB",
                4 * bigMb);
    summary.print();
    return summary.failed() ? 1 : 0;
}
