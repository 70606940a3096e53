// How quickly the pick popup answers on a library of 100,000 snippets: the popup shown after
// start (its heading list read, the first snippet shown and coloured, the window painted),
// and each keystroke's headings (the list narrowed by the heading search that runs at once;
// the whole search after the pause is left out, as typing does not wait for it).

#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "store/snippets.h"
#include "window/frmpick.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace quillbox;

namespace {

constexpr int kRows = 100000;
constexpr int kRuns = 7;

void fail(const char *what, const QString &why)
{
    std::fprintf(stderr, "%s failed: %s\n", what, qPrintable(why));
    std::exit(1);
}

// Headings of a few words and a number, as bench_store makes them, with short code: the
// popup reads the code of the one snippet it shows. Written in one transaction, straight
// into the table quillbox init made.
void fillLibrary(const QString &path)
{
    static const char *const words[] = {"Open",   "File",  "Read",   "Write", "Registry", "Form",  "Grid",
                                        "Sort",   "Array", "String", "Date",  "Print",    "Timer", "Window",
                                        "Record", "Field", "Save",   "Load",  "Error",    "Log"};
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> word(0, int(std::size(words)) - 1);
    const QString name = QStringLiteral("bench-fill");
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QSqlQuery q(db);
        bool ok = db.open() && q.exec(QStringLiteral("BEGIN"))
                  && q.prepare(QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, ?)"));
        for (int i = 0; ok && i < kRows; ++i) {
            const QString heading = QStringLiteral("%1 %2 %3 #%4")
                                        .arg(QLatin1String(words[word(rng)]), QLatin1String(words[word(rng)]),
                                             QLatin1String(words[word(rng)]))
                                        .arg(i);
            q.addBindValue(heading);
            q.addBindValue(QStringLiteral("What %1 does.").arg(heading));
            q.addBindValue(QStringLiteral("Public Sub Snippet%1()\r\n    Dim value As String\r\nEnd Sub\r\n").arg(i));
            ok = q.exec();
        }
        ok = ok && q.exec(QStringLiteral("COMMIT"));
        if (!ok)
            error = q.lastError().text() + db.lastError().text();
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!error.isEmpty())
        fail("filling the library", error);
}

struct Row {
    std::string figure, measured, target;
    int verdict; // 1 pass, 0 fail, -1 for reference only
};
std::vector<Row> g_rows;

// The median of kRuns runs, printed with the fastest and slowest, and kept for the summary;
// a target below zero keeps it for reference only.
void measure(const std::string &figure, double targetMs, const std::function<double()> &timedRun)
{
    std::vector<double> ms;
    for (int run = 0; run < kRuns; ++run)
        ms.push_back(timedRun());
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("  %-44s median %8.2f ms   min %8.2f   max %8.2f\n", figure.c_str(), median, ms.front(), ms.back());
    std::fflush(stdout);
    char measured[32], target[32];
    std::snprintf(measured, sizeof measured, "%.2f ms", median);
    if (targetMs < 0)
        std::snprintf(target, sizeof target, "-");
    else
        std::snprintf(target, sizeof target, "<= %.0f ms", targetMs);
    g_rows.push_back({figure, measured, target, targetMs < 0 ? -1 : int(median <= targetMs)});
}

double elapsedMs(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path())); // made private (0700) by QTemporaryDir
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if (!message.startsWith(QLatin1String("This plugin does not support ")))
            previous(type, context, message);
    });
    QApplication app(argc, argv);

    QElapsedTimer made;
    made.start();
    if (const auto init = store::initLibrary(false); !init.done())
        fail("init", init.error.message);
    const QString path = store::libraryLocation();
    fillLibrary(store::databasePath());
    std::printf("%d snippets written in %.1f s; %d runs of each.\n", kRows, double(made.elapsed()) / 1000.0, kRuns);

    // As `quillbox pick` opens it: made, shown, and painted once.
    measure("popup shown after start", 250, [&] {
        QElapsedTimer t;
        t.start();
        window::frmPick popup{store::SnippetLibrary(path), nullptr, [](const QString &) { return true; }};
        popup.show();
        popup.repaint();
        QCoreApplication::processEvents();
        const double ms = elapsedMs(t);
        if (popup.listed().size() != kRows)
            fail("popup", QStringLiteral("%1 headings listed").arg(popup.listed().size()));
        return ms;
    });

    // Each keystroke of "timer grid", timed from the key to the narrowed list painted.
    window::frmPick popup{store::SnippetLibrary(path), nullptr, [](const QString &) { return true; }};
    popup.show();
    QCoreApplication::processEvents();
    const QString typed = QStringLiteral("timer grid");
    const store::HeadingSearch held(store::SnippetLibrary(path).headings().headings);
    for (qsizetype at = 1; at <= typed.size(); ++at) {
        qsizetype listed = 0;
        measure("keystroke \"" + typed.left(at).toStdString() + "\", its headings", 30, [&] {
            popup.txtQuery->setText(typed.left(at - 1));
            popup.tmrSearch->stop();
            QCoreApplication::processEvents();
            QElapsedTimer t;
            t.start();
            QTest::keyClick(popup.txtQuery, typed.at(at - 1).toLatin1());
            popup.repaint();
            const double ms = elapsedMs(t);
            listed = popup.listed().size();
            return ms;
        });
        std::printf("    %lld headings listed\n", static_cast<long long>(listed));
        // For reference: how much of it is the search of the headings the popup holds, and what
        // asking the library for them would take.
        measure("  of which the held headings' search", -1, [&] {
            QElapsedTimer t;
            t.start();
            const store::SearchResult found = held.search(typed.left(at), window::frmPick::MostListed);
            if (found.outcome == store::Outcome::Failed)
                fail("search", found.error.message);
            return elapsedMs(t);
        });
        measure("  the library's heading search instead", -1, [&] {
            QElapsedTimer t;
            t.start();
            const store::SearchResult found = store::SnippetLibrary(path).search(
                typed.left(at), store::SearchField::Heading, 0, window::frmPick::MostListed);
            if (found.outcome == store::Outcome::Failed)
                fail("search", found.error.message);
            return elapsedMs(t);
        });
        if (popup.txtQuery->text() != typed.left(at) || (at > 1 && listed == 0))
            fail("typing", QStringLiteral("\"%1\" listed %2").arg(popup.txtQuery->text()).arg(listed));
    }

    int failures = 0;
    std::printf("\nSummary\n  %-50s %12s %12s\n", "figure", "measured", "target");
    for (const Row &row : g_rows) {
        std::printf("  %-50s %12s %12s  %s\n", row.figure.c_str(), row.measured.c_str(), row.target.c_str(),
                    row.verdict < 0 ? "-" : (row.verdict ? "pass" : "FAIL"));
        failures += row.verdict == 0;
    }
    std::printf("  %d of the figures with a target missed it\n", failures);
    return 0;
}
