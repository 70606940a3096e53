// How long the snippet store takes on a large library: 100,000 snippets of about 2 KB each.
// Each operation is done through the store's operations, as the window does it, and
// timed several times; the median is printed with the fastest and slowest run. The same is
// done on a file made without the headings' index, to show what the index buys, and the
// query plans show which b-tree each of the store's queries walks.

#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "store/snippets.h"
#include "window/headinglist.h"

#include <sqlite3.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListView>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringListModel>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace quillbox;

namespace {

constexpr int kRows = 100000;
constexpr int kRuns = 7;

struct Snippet {
    QString heading, desc, code;
};

// Headings of a few words and a number, in no particular order; one in a hundred has
// letters beyond ASCII. About 2 KB of code each; 85 in a hundred read the registry.
std::vector<Snippet> makeSnippets()
{
    static const char *const words[] = {"Open",   "File",  "Read",   "Write", "Registry", "Form",  "Grid",
                                        "Sort",   "Array", "String", "Date",  "Print",    "Timer", "Window",
                                        "Record", "Field", "Save",   "Load",  "Error",    "Log"};
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> word(0, int(std::size(words)) - 1), percent(0, 99);
    std::vector<Snippet> out;
    out.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
        Snippet s;
        s.heading =
            QStringLiteral("%1 %2 %3 %4")
                .arg(QLatin1String(words[word(rng)]), QLatin1String(words[word(rng)]), QLatin1String(words[word(rng)]))
                .arg(std::uniform_int_distribution<int>(0, 9999999)(rng));
        if (percent(rng) == 0)
            s.heading += QStringLiteral(" Größe");
        s.heading += QStringLiteral(" #%1").arg(i);
        s.desc = QStringLiteral("What %1 does, in a sentence or two for the reader.").arg(s.heading);
        QString code = QStringLiteral("Public Sub Snippet%1()\r\n").arg(i);
        if (percent(rng) < 85)
            code += QStringLiteral("    ' the value is kept in the registry\r\n");
        while (code.size() < 1950)
            code += QStringLiteral("    Dim value%1 As String ' keeps the line %1 of the snippet\r\n").arg(code.size());
        s.code = code + QStringLiteral("End Sub\r\n");
        out.push_back(std::move(s));
    }
    return out;
}

bool exec(QSqlQuery &q, const QString &sql)
{
    if (q.exec(sql))
        return true;
    std::fprintf(stderr, "%s: %s\n", qPrintable(sql), qPrintable(q.lastError().text()));
    return false;
}

// Fills TABLE1 of the file in one transaction; makes the table first when asked.
bool fill(const QString &path, const std::vector<Snippet> &snippets, bool makeTable)
{
    const QString name = QStringLiteral("bench-fill");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            ok = exec(q, QStringLiteral("BEGIN"));
            if (ok && makeTable)
                ok = exec(q, QStringLiteral("CREATE TABLE TABLE1 (CodeName TEXT, CodeDesc TEXT, code TEXT)"));
            ok = ok && q.prepare(QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, ?)"));
            for (std::size_t i = 0; ok && i < snippets.size(); ++i) {
                q.addBindValue(snippets[i].heading);
                q.addBindValue(snippets[i].desc);
                q.addBindValue(snippets[i].code);
                ok = q.exec();
            }
            ok = ok && exec(q, QStringLiteral("COMMIT"));
            q.finish();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

void printPlans(const QString &path)
{
    // The store's queries, as snippets.cpp words them.
    const std::pair<const char *, const char *> queries[] = {
        {"heading list", "SELECT rowid, CodeName FROM TABLE1 WHERE CodeName IS NOT NULL"},
        {"the taken check", "SELECT rowid, CodeName FROM TABLE1 WHERE upper(trim(CodeName, ' ')) = 'X' OR "
                            "length(CAST(CodeName AS BLOB)) <> length(CodeName)"},
        {"finding the picked row", "SELECT rowid FROM TABLE1 WHERE trim(CodeName, ' ') = 'x'"},
        {"the picked row's columns", "SELECT CodeName, CodeDesc, code FROM TABLE1 WHERE rowid = 1"},
    };
    const QString name = QStringLiteral("bench-plan");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.open();
        for (const auto &[what, sql] : queries) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("EXPLAIN QUERY PLAN ") + QLatin1String(sql));
            QStringList steps;
            while (q.next())
                steps << q.value(3).toString();
            std::printf("  %-26s %s\n", what, qPrintable(steps.join(QStringLiteral("; "))));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// The summary: every figure with a target, and the ones kept for reference.
struct Row {
    std::string figure, measured, target;
    int verdict; // 1 pass, 0 fail, -1 for reference only
};
std::vector<Row> g_rows;

void addRow(const std::string &figure, double ms, double targetMs = -1)
{
    char measured[32], target[32] = "-";
    std::snprintf(measured, sizeof measured, "%.2f ms", ms);
    if (targetMs >= 0)
        std::snprintf(target, sizeof target, "<= %.0f ms", targetMs);
    g_rows.push_back({figure, measured, target, targetMs < 0 ? -1 : int(ms <= targetMs)});
}

// Runs the operation kRuns times and prints the median, the fastest and the slowest; returns
// the median.
double measure(const char *what, const std::function<void(int run)> &operation)
{
    std::vector<double> ms, cpu;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        const std::clock_t c = std::clock();
        t.start();
        operation(run);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        cpu.push_back(double(std::clock() - c) * 1000.0 / CLOCKS_PER_SEC);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    // The processor time shows what the operation costs when other programs share the machine.
    std::printf("  %-44s median %9.2f ms   min %9.2f   max %9.2f   (processor %.0f ms)\n", what, ms[ms.size() / 2],
                ms.front(), ms.back(), cpu[cpu.size() / 2]);
    std::fflush(stdout);
    return ms[ms.size() / 2];
}

void fail(const char *what, const store::StoreError &error)
{
    std::fprintf(stderr, "%s failed: %s\n", what, qPrintable(error.message));
    std::exit(1);
}

// The heading list as the window reads it.
QStringList readHeadings(const QString &path)
{
    store::HeadingsResult list = store::SnippetLibrary(path).headings();
    if (list.outcome == store::Outcome::Failed)
        fail("heading list", list.error);
    return list.headings;
}

// Adding a snippet as the window does it; true when it was added, false when taken.
bool addSnippet(const QString &path, const Snippet &s)
{
    const store::Result added = store::SnippetLibrary(path).add(s.heading, s.desc, s.code);
    if (added.outcome == store::Outcome::Failed)
        fail("add", added.error);
    return added.done();
}

// Showing a picked snippet: its description and code.
qsizetype showSnippet(const QString &path, const QString &picked)
{
    const store::SnippetResult found = store::SnippetLibrary(path).find(picked);
    if (!found.done())
        fail("find", found.error ? found.error : store::StoreError{store::Failure::Other, QStringLiteral("not found")});
    return found.snippet.description.toString().size() + found.snippet.code.toString().size();
}

// How many hits the store's search reads lines for at once: a screen of the Find list.
constexpr qsizetype kScreenLines = 50;

// sqlite3's own LIKE over the three columns, every word in one of them, with no ranking and
// no line; the count of rows it finds.
qsizetype likeCount(sqlite3 *db, const QStringList &words)
{
    QStringList terms;
    for (qsizetype i = 0; i < words.size(); ++i)
        terms << QStringLiteral("(CodeName LIKE ?%1 OR CodeDesc LIKE ?%1 OR code LIKE ?%1)").arg(i + 1);
    const QByteArray sql = "SELECT rowid, CodeName FROM TABLE1 WHERE " + terms.join(QStringLiteral(" AND ")).toUtf8();
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
        fail("LIKE", {store::Failure::Other, QString::fromUtf8(sqlite3_errmsg(db))});
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QByteArray pattern = "%" + words[i].toUtf8() + "%";
        sqlite3_bind_text(statement, int(i + 1), pattern.constData(), int(pattern.size()), SQLITE_TRANSIENT);
    }
    qsizetype rows = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        // The heading is read, as a list of hits would read it.
        rows += sqlite3_column_bytes(statement, 1) >= 0;
    }
    sqlite3_finalize(statement);
    return rows;
}

// The store's search against sqlite3's LIKE on the same words: a word most snippets hold,
// a rare one, two words and a word beyond ASCII (which LIKE does not fold, so it finds
// fewer).
void compareWithLike(const QString &path)
{
    std::printf("  the store's search against sqlite3's own LIKE over the same three columns:\n");
    const char *const queries[] = {"registry", "snippet4242()", "TIMER grid", "GRÖẞE"};
    for (const char *query : queries) {
        const QString words = QString::fromUtf8(query);
        qsizetype found = 0, liked = 0;
        const std::string what = std::string("\"") + query + "\"";
        const double store = measure(("store search " + what).c_str(), [&](int) {
            const store::SearchResult hits =
                store::SnippetLibrary(path).search(words, store::allSearchFields, kScreenLines);
            if (!hits.done())
                fail("search", hits.error);
            found = hits.hits.size();
        });
        const double like = measure(("sqlite3 LIKE " + what).c_str(), [&](int) {
            sqlite3 *db = nullptr;
            if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
                fail("LIKE", {store::Failure::Other, QStringLiteral("cannot open")});
            liked = likeCount(db, words.split(QLatin1Char(' ')));
            sqlite3_close(db);
        });
        std::printf("    %lld found by the store, %lld by LIKE; %.2f x\n", static_cast<long long>(found),
                    static_cast<long long>(liked), store / like);
        char figure[96], measured[32];
        std::snprintf(figure, sizeof figure, "search %s against LIKE (%.0f ms)", what.c_str(), like);
        std::snprintf(measured, sizeof measured, "%.2f x", store / like);
        g_rows.push_back({figure, measured, "<= 1.50 x", int(store / like <= 1.5)});
    }
}

// Finding snippets by words.
void measureSearches(const QString &path)
{
    // Finding snippets by words, as the Find dialog asks: two words of the headings in
    // another order and case; a word beyond ASCII in a hundredth of the headings, in
    // another case; a word of one snippet's code; and, for reference, a word in every
    // snippet's code, which lists all 100,000 of them.
    const struct {
        const char *what;
        QString query;
        qsizetype least;
    } finds[] = {
        {"find \"TIMER grid\" (heading, description, code)", QStringLiteral("TIMER grid"), 100},
        {"find \"GRÖẞE\"", QStringLiteral("GRÖẞE"), 500},
        {"find \"snippet99999()\"", QStringLiteral("snippet99999()"), 1},
        {"find \"value\", in every snippet", QStringLiteral("value"), kRows},
    };
    // The store's ranked search as Find asks for it: the first screen's lines only.
    for (const auto &f : finds) {
        qsizetype hits = 0;
        const double ms = measure(f.what, [&](int) {
            const store::SearchResult found =
                store::SnippetLibrary(path).search(f.query, store::allSearchFields, kScreenLines);
            if (!found.done())
                fail("search", found.error);
            hits = found.hits.size();
        });
        std::printf("    %lld snippets found\n", static_cast<long long>(hits));
        if (hits < f.least)
            fail("search", {store::Failure::Other, QStringLiteral("too few found")});
        addRow(f.what, ms, f.least == kRows ? -1 : 300);
    }
    // Typing mistakes among the headings, as the pick window asks at each key: a word
    // that no heading holds, its letters in order in some.
    qsizetype hits = 0;
    const double fuzzy = measure("headings holding \"rgstrfld\" in order", [&](int) {
        const store::SearchResult found =
            store::SnippetLibrary(path).search(QStringLiteral("rgstrfld"), store::SearchField::Heading, 0);
        if (!found.done())
            fail("search", found.error);
        hits = found.hits.size();
    });
    std::printf("    %lld snippets found\n", static_cast<long long>(hits));
    if (hits < 100)
        fail("search", {store::Failure::Other, QStringLiteral("too few found")});
    addRow("find \"rgstrfld\" in the headings (letters in order)", fuzzy, 30);
    compareWithLike(path);
}

void measureFile(const char *title, const QString &path, const std::vector<Snippet> &snippets, QComboBox *combo,
                 QStringListModel *model, QComboBox *before = nullptr, QStringListModel *beforeModel = nullptr)
{
    std::printf("\n%s: %s (%.1f MB)\n", title, qPrintable(QDir::toNativeSeparators(path)),
                double(QFileInfo(path).size()) / (1024.0 * 1024.0));
    QStringList list;
    measure("heading list (open, read, close)", [&](int) { list = readHeadings(path); });
    if (list.size() != kRows || list.front() != snippets.front().heading || list.back() != snippets.back().heading)
        fail("heading list", {store::Failure::Other, QStringLiteral("wrong headings")});
    if (combo) {
        // As the window fills it: emptied, the headings appended, nothing picked.
        measure("heading list into the shown combo box", [&](int) {
            combo->clear();
            model->setStringList(model->stringList() + readHeadings(path));
            combo->setCurrentIndex(-1);
            QCoreApplication::processEvents();
        });
        if (combo->count() != kRows)
            fail("combo box", {store::Failure::Other, QStringLiteral("wrong count")});
        measure("  of which putting the list in the combo", [&](int) {
            combo->clear();
            model->setStringList(model->stringList() + list);
            combo->setCurrentIndex(-1);
            QCoreApplication::processEvents();
        });
        // Opening the list, as Combo1 was set up before (laid over the box as a menu, which
        // the platform style asks for) and as it is set up now; both in this run.
        beforeModel->setStringList(list);
        const auto openAndClose = [](QComboBox *box) {
            box->showPopup();
            QCoreApplication::processEvents();
            if (!box->view()->isVisible())
                fail("drop-down list", {store::Failure::Other, QStringLiteral("not shown")});
            box->hidePopup();
            QCoreApplication::processEvents();
        };
        addRow("drop-down list open and close, set up as before",
               measure("open and close its drop-down list, as before", [&](int) { openAndClose(before); }));
        addRow("drop-down list open and close (Combo1)",
               measure("open and close its drop-down list", [&](int) { openAndClose(combo); }), 50);
    }
    const QString tag = combo ? QStringLiteral("with index") : QStringLiteral("without index");
    measure("add a snippet, new heading", [&](int run) {
        Snippet s = snippets[std::size_t(run)];
        s.heading = QStringLiteral("Brand new heading %1 %2").arg(tag).arg(run);
        if (!addSnippet(path, s))
            fail("add", {store::Failure::Other, QStringLiteral("taken")});
    });
    measure("add a snippet, taken heading (other case)", [&](int run) {
        Snippet s = snippets[std::size_t(kRows / 2 + run)];
        s.heading = s.heading.toUpper();
        if (addSnippet(path, s))
            fail("add", {store::Failure::Other, QStringLiteral("added a taken heading")});
    });
    const QString last = snippets.back().heading;
    measure("show the last heading (find, read)", [&](int) { showSnippet(path, last); });
    if (combo)
        measureSearches(path);
    std::printf("  query plans:\n");
    printPlans(path);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path())); // made private (0700) by QTemporaryDir
    // The offscreen platform says so of what it leaves out (raise, keyboard grabs); not ours.
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if (!message.startsWith(QLatin1String("This plugin does not support ")))
            previous(type, context, message);
    });
    QApplication app(argc, argv);

    QElapsedTimer t;
    t.start();
    const std::vector<Snippet> snippets = makeSnippets();
    const auto made = store::initLibrary(false);
    if (!made.done())
        fail("init", made.error);
    const QString path = store::databasePath();
    // With "search", only the searches are measured, on the library alone.
    const bool searchesOnly = argc > 1 && qstrcmp(argv[1], "search") == 0;
    const QString bare = home.path() + QStringLiteral("/without-index.mdb");
    if (!fill(path, snippets, false) || (!searchesOnly && !fill(bare, snippets, true)))
        return 1;
    std::printf("%d snippets of about %lld characters each written to two files in %.1f s; %d runs of each.\n", kRows,
                static_cast<long long>(snippets.front().code.size()), double(t.elapsed()) / 1000.0, kRuns);

    // The combo box set up as the window sets up Combo1, and as it was set up before.
    QComboBox combo, before;
    QStringListModel *model = window::setUpHeadingList(&combo);
    QStringListModel beforeModel;
    before.setModel(&beforeModel);
    auto *view = new QListView(&before);
    view->setUniformItemSizes(true);
    before.setView(view);
    before.setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    for (QComboBox *box : {&combo, &before}) {
        box->resize(500, 24);
        box->show();
    }
    if (searchesOnly) {
        measureSearches(path);
    } else {
        measureFile("Library made by quillbox init (with the index TABLE1_CodeName)", path, snippets, &combo, model,
                    &before, &beforeModel);
        measureFile("The same rows in a file made without the index", bare, snippets, nullptr, nullptr);
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
