// The command line on a large library: 10,000 snippets imported into a library of 100,000
// snippets of about 2 KB each, through the store's import and through `quillbox import` as
// a user runs it; an export of the whole library and one show for comparison. Each is run
// several times on a fresh copy of the library; the median is printed with the fastest and
// slowest run, and a summary table ends the output.

#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "store/transfer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace quillbox;

namespace {

constexpr int kLibrary = 100000;
constexpr int kImported = 10000;
constexpr int kRuns = 5;

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

// The median of the runs, in milliseconds; each run starts from a fresh copy of the library.
double measure(const char *what, const QString &library, const QString &copy, const std::function<bool()> &run)
{
    std::vector<double> ms;
    for (int i = 0; i < kRuns; ++i) {
        QFile::remove(library);
        if (!QFile::copy(copy, library))
            return -1;
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

bool runQuillbox(const QStringList &args)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/quillbox"), args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    QCoreApplication app(argc, argv);
    QElapsedTimer t;
    t.start();
    const QString library = store::databasePath(), copy = home.path() + QStringLiteral("/library.copy");
    if (!store::initLibrary(false).ok || !fill(library) || !QFile::copy(library, copy))
        return 1;
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
               <= 0)
        return 1;
    json.close();
    std::printf("A library of %d snippets of about 2 KB made in %.1f s; %d snippets to import (%.1f MB); %d runs of "
                "each.\n",
                kLibrary, double(t.elapsed()) / 1000.0, kImported, double(json.size()) / 1e6, kRuns);

    const double store = measure("import of 10,000 through the store", library, copy,
                                 [&] { return store::importSnippets(library, store::listProducer(incoming), store::OnTaken::Fail).done(); });
    const double command = measure("quillbox import (10,000 from a JSON file)", library, copy, [&] {
        return runQuillbox({QStringLiteral("import"), file});
    });
    const double exported = measure("quillbox export of the 100,000 (JSON)", library, copy, [&] {
        return runQuillbox({QStringLiteral("export"), home.path() + QStringLiteral("/all.json")});
    });
    const double shown = measure("quillbox show of one snippet", library, copy, [&] {
        return runQuillbox({QStringLiteral("show"), QStringLiteral("Stored snippet number 99999")});
    });

    std::printf("\n%-50s %12s %12s  %s\n", "figure", "measured", "target", "result");
    const auto row = [](const char *figure, double ms, double target) {
        std::printf("%-50s %9.1f ms %9s  %s\n", figure, ms,
                    target > 0 ? qPrintable(QStringLiteral("%1 ms").arg(target)) : "-",
                    ms < 0         ? "FAIL"
                    : target <= 0  ? "-"
                    : ms <= target ? "pass"
                                   : "FAIL");
    };
    row("import 10,000 into 100,000, store", store, 2000);
    row("import 10,000 into 100,000, quillbox import", command, 2000);
    row("export 100,000, quillbox export", exported, 0);
    row("show one of 100,000, quillbox show", shown, 0);
    return store >= 0 && store <= 2000 && command >= 0 && command <= 2000 ? 0 : 1;
}
