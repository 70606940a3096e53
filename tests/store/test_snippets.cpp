// The snippet operations on real files: the matching rules, each operation's outcome and what
// it leaves in the file, table order, and every failure of the library the user can meet.

#include "store/database.h"
#include "store/libraryinit.h"
#include "store/pgcluster.h"
#include "store/session.h"
#include "store/snippets.h"
#include "store/storetesting.h"
#include "store/transfer.h"
#include "transfer/transfertesting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>

using namespace quillbox;
using qbx::test::fileBytes;
using qbx::test::RawConnection;
using qbx::test::storedRows;
using store::Failure;
using store::Outcome;

namespace {

// Replaces every row with ones whose description and code are "d<i>" and "c<i>", or, with a
// code size, "desc <heading>" and that many characters of code.
void setHeadings(const QString &path, const QVariantList &headings, int codeSize = 0)
{
    RawConnection raw(path);
    ASSERT_EQ(raw.run(QStringLiteral("BEGIN")) + raw.run(QStringLiteral("DELETE FROM TABLE1")), QString());
    for (int i = 0; i < headings.size(); ++i) {
        const QString desc = codeSize ? "desc " + headings[i].toString() : QStringLiteral("d%1").arg(i);
        const QString code = codeSize ? QString(codeSize, QLatin1Char('x')) : QStringLiteral("c%1").arg(i);
        ASSERT_EQ(raw.run(QStringLiteral("INSERT INTO TABLE1 VALUES (?, ?, ?)"), {headings[i], desc, code}), QString());
    }
    ASSERT_EQ(raw.run(QStringLiteral("COMMIT")), QString());
}

// Picks the heading, lets another program run `meanwhile`, then modifies the snippet.
store::Result modifyAfter(const store::SnippetLibrary &l, const QString &meanwhile, const QString &picked,
                          const QString &heading, const QString &description, const QString &code)
{
    const store::SnippetResult was = l.find(picked);
    EXPECT_EQ(RawConnection(l.location().text()).run(meanwhile), QString());
    return l.modify(picked, was.snippet, heading, description, code);
}

struct StoreTest : ::testing::Test {
    qbx::test::FreshUserFolders folders;
    QString path;
    store::SnippetLibrary library{QString()};
    store::LibraryOptions options; // as the failure cases reach the library
    void SetUp() override
    {
        ASSERT_TRUE(store::initLibrary(false).done());
        path = store::databasePath();
        library = store::SnippetLibrary(path);
    }
    void TearDown() override
    {
        // Every operation closed what it opened.
        EXPECT_EQ(QSqlDatabase::connectionNames(), QStringList());
    }
};

// The same cases on the library file and on a database of the test cluster.
struct BothBackends : StoreTest, ::testing::WithParamInterface<bool> {
    void SetUp() override
    {
        StoreTest::SetUp();
        if (!GetParam())
            return;
        QBX_NEED_CLUSTER(cluster);
        static int databases = 0;
        path = cluster->library(QStringLiteral("ops%1").arg(++databases));
        ASSERT_FALSE(path.isEmpty());
        library = store::SnippetLibrary(path);
    }
};
INSTANTIATE_TEST_SUITE_P(Store, BothBackends, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "server" : "file"; });

TEST(MatchingRules, OnlySpacesAreTrimmedPickedIsCaseSignificantTakenIsUnicodeUpperCase)
{
    struct Case {
        QVariant stored;
        QString entered;
        bool picked, taken;
    } const cases[] = {
        {"  Open File   ", " Open File", true, true},
        {"Open  File", "Open File", false, false},
        {"\t\u00A0Open File\r\n", "Open File", false, false},
        {QVariant(QMetaType::fromType<QString>()), "", false, false}, // NULL as the database hands it over
        {"straße", "STRASSE", false, true},
        {"eclair", "ÉCLAIR", false, false},
        {"𐐨x", "𐐀X", false, true},
        {"\u212A", "K", false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored.toString().toStdString() + " / " + c.entered.toStdString());
        EXPECT_EQ(store::headingMatchesPicked(c.stored, c.entered), c.picked);
        EXPECT_EQ(store::headingMatchesTaken(c.stored, c.entered), c.taken);
    }
    EXPECT_FALSE(store::isEmptyEntry(QStringLiteral(" \t ")));
}

TEST_P(BothBackends, EachOperationsOutcomeAndWhatItLeavesInTheLibrary)
{
    const QString a0 = "a|d0|c0", b1 = "b|d1|c1", a2 = "a|d2|c2", c3 = "Straße|d3|c3";
    struct Case {
        const char *name;
        std::function<store::Result(const store::SnippetLibrary &)> op;
        Outcome outcome;
        QStringList after;
    } const cases[] = {
        {"add trims heading and description, keeps the code",
         [](auto &l) { return l.add("  x' OR '1'='1 ", "  'desc  ", "  code  "); },
         Outcome::Done,
         {a0, b1, a2, c3, "x' OR '1'='1|'desc|  code  "}},
        {"add of a heading taken in another case, upper-cased as Unicode has it",
         [](auto &l) { return l.add(" STRASSE ", "d", "c"); },
         Outcome::Taken,
         {a0, b1, a2, c3}},
        {"modify the first of two with the heading",
         [](auto &l) { return l.modify(" a", "a", " 'n ", " n "); },
         Outcome::Done,
         {"a|'n| n ", b1, a2, c3}},
        {"modify keeping the heading in another case",
         [](auto &l) { return l.modify("b", "B ", "d", "c"); },
         Outcome::Done,
         {a0, "B|d|c", a2, c3}},
        {"rename to a free heading",
         [](auto &l) { return l.modify("Straße", "z", "d", "c"); },
         Outcome::Done,
         {a0, b1, a2, "z|d|c"}},
        {"a new heading of two lines, added or renamed to, is refused",
         [](auto &l) {
             const store::Result added = l.add("two\nlines", "d", "c");
             EXPECT_EQ(added.error.kind, store::Failure::BadEntry);
             return added.done() ? added : l.modify("b", "b\u2029", "d", "c");
         },
         Outcome::Failed,
         {a0, b1, a2, c3}},
        {"rename to another snippet's heading",
         [](auto &l) { return l.modify("b", "A", "d", "c"); },
         Outcome::Taken,
         {a0, b1, a2, c3}},
        {"modify picks with case significant",
         [](auto &l) { return l.modify("A", "A", "d", "c"); },
         Outcome::Vanished,
         {a0, b1, a2, c3}},
        // Another program changes the picked snippet before Modify: a change never undoes another.
        {"modify after another changed another column: both kept",
         [](auto &l) {
             return modifyAfter(l, "UPDATE TABLE1 SET code = 'x' WHERE CodeName = 'b'", "b", "b", "'n", "c1");
         },
         Outcome::Done,
         {a0, "b|'n|x", a2, c3}},
        {"modify after another changed the same column: nothing stored",
         [](auto &l) {
             return modifyAfter(l, "UPDATE TABLE1 SET code = 'x' WHERE CodeName = 'b'", "b", "b", "d1", "y");
         },
         Outcome::Changed,
         {a0, "b|d1|x", a2, c3}},
        {"modify after another renamed it: nothing stored",
         [](auto &l) {
             return modifyAfter(l, "UPDATE TABLE1 SET CodeName = 'q' WHERE CodeName = 'b'", "b", "z", "d1", "c1");
         },
         Outcome::Vanished,
         {a0, "q|d1|c1", a2, c3}},
        {"modify after another deleted it: nothing stored",
         [](auto &l) { return modifyAfter(l, "DELETE FROM TABLE1 WHERE CodeName = 'b'", "b", "b", "'n", "c1"); },
         Outcome::Vanished,
         {a0, a2, c3}},
        {"a heading stored with spaces around it is reached",
         [](auto &l) {
             return modifyAfter(l, "UPDATE TABLE1 SET CodeName = '  b ' WHERE CodeName = 'b'", "b", "b", "d1", "y");
         },
         Outcome::Done,
         {a0, "  b |d1|y", a2, c3}},
        {"delete the first of two with the heading",
         [](auto &l) { return l.remove("a "); },
         Outcome::Done,
         {b1, a2, c3}},
        {"delete of a heading no longer there",
         [](auto &l) { return l.remove("gone"); },
         Outcome::Vanished,
         {a0, b1, a2, c3}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        setHeadings(path, {"a", "b", "a", "Straße"});
        const store::Result r = c.op(library);
        EXPECT_EQ(r.outcome, c.outcome) << r.error.message.toStdString();
        EXPECT_EQ(bool(r.error), c.outcome == Outcome::Failed);
        EXPECT_EQ(storedRows(path), c.after);
    }
}

TEST_P(BothBackends, HeadingsInTableOrderTextKeptWholeAndAnEmptyLibrary)
{
    EXPECT_EQ(library.headings().outcome, Outcome::Empty);
    EXPECT_EQ(library.add("first", "d", "c").outcome, Outcome::Done) << "adding to an empty table";
    // Out of alphabetical order, null, empty and duplicate headings, and gaps where another
    // program deleted rows.
    setHeadings(path, {"gone", "zeta", QVariant(), "Alpha", "gone", "", "a", "A", "a", "gone"});
    ASSERT_EQ(RawConnection(path).run("DELETE FROM TABLE1 WHERE CodeName = 'gone'"), QString());
    const store::HeadingsResult list = library.headings();
    EXPECT_EQ(list.outcome, Outcome::Done);
    EXPECT_EQ(list.headings, (QStringList{"zeta", "Alpha", "", "a", "A", "a"}));
    setHeadings(path, {QVariant()});
    EXPECT_EQ(library.headings().outcome, Outcome::Empty) << "a row without a heading is no snippet to pick";

    for (const QStringList &row :
         {QStringList{"Größe & \"Maße\" 𝄞", "'it's\r\n'“two” lines", "\tSub A()\r\na\nb\rc\n\r "},
          {"O'Brien", "'x", QStringLiteral("Line of code ' x\r\n").repeated(10000)}}) {
        ASSERT_TRUE(library.add(row[0], row[1], row[2]).done());
        const store::Snippet s = library.find(row[0]).snippet;
        EXPECT_EQ((QStringList{s.heading.toString(), s.description.toString(), s.code.toString()}), row);
    }
}

// Another program writes between an operation's check and its own write, or between finding
// the picked row and reading it: it has to wait, and the operation does what it checked.
TEST_F(StoreTest, AnotherProgramCannotWriteBetweenAnOperationsCheckAndItsWrite)
{
    const struct {
        const char *name;
        std::function<store::Result(const store::SnippetLibrary &)> op;
        QStringList meanwhile;
        QStringList after;
    } cases[] = {
        {"add",
         [](auto &l) { return l.add("Dup", "d", "c"); },
         {"INSERT INTO TABLE1 VALUES ('DUP', 'x', 'x')"},
         {"Last|d0|c0", "Dup|d|c"}},
        {"rename",
         [](auto &l) { return l.modify("Last", "Dup", "d", "c"); },
         {"INSERT INTO TABLE1 VALUES ('DUP', 'x', 'x')"},
         {"Dup|d|c"}},
        {"find",
         [](auto &l) {
             const store::SnippetResult r = l.find("Last");
             EXPECT_EQ(r.snippet.heading.toString() + r.snippet.code.toString(), "Lastc0");
             return r;
         },
         {"DELETE FROM TABLE1", "INSERT INTO TABLE1 VALUES ('Other', 'x', 'x')"},
         {"Last|d0|c0"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        setHeadings(path, {"Last"});
        QString refused;
        std::unique_ptr<RawConnection> other; // open, and holding what it got, until the operation ends
        store::LibraryOptions watched;
        watched.checked = [&] {
            other = std::make_unique<RawConnection>(path, 0);
            for (const QString &statement : QStringList{"BEGIN IMMEDIATE"} + c.meanwhile + QStringList{"COMMIT"})
                refused += other->run(statement);
        };
        watched.busyTimeout = 200;
        const store::Result r = c.op(store::SnippetLibrary(path, watched));
        other.reset();
        EXPECT_EQ(r.outcome, Outcome::Done) << r.error.message.toStdString();
        EXPECT_TRUE(refused.contains("locked")) << refused.toStdString();
        EXPECT_EQ(storedRows(path), c.after);
    }
}

// Headings written by another program: bytes that are no valid text, and a column of the
// table's own named rowid. The list offers them, and each can be shown, changed and removed.
TEST_F(StoreTest, RowsWithOddHeadingsOrAColumnNamedRowidCanBeReached)
{
    RawConnection raw(path);
    ASSERT_EQ(raw.run("INSERT INTO TABLE1 VALUES (CAST(x'4bf6ff6e' AS TEXT), CAST(x'ff' AS TEXT), 'c')"), QString());
    const QString odd = library.headings().headings.value(0);
    const store::Snippet shown = library.find(odd).snippet;
    EXPECT_EQ(shown.code, "c");
    ASSERT_TRUE(library.modify(odd, odd, shown.description.toString(), "new").done());
    EXPECT_EQ(raw.value("SELECT hex(CodeName) || hex(CodeDesc) || code FROM TABLE1").toString(), "4BF6FF6EFFnew")
        << "the columns nobody changed keep their bytes";
    EXPECT_TRUE(library.remove(odd).done());
    EXPECT_EQ(raw.value("SELECT count(*) FROM TABLE1").toInt(), 0);

    for (const char *statement : {"DROP TABLE TABLE1", "CREATE TABLE TABLE1 (rowid TEXT, CodeName, CodeDesc, code)",
                                  "INSERT INTO TABLE1 VALUES ('1', 'b', 'd', 'c'), ('1', 'a', 'd', 'c')"})
        ASSERT_EQ(raw.run(statement), QString());
    EXPECT_EQ(library.headings().headings, QStringList({"b", "a"}));
    EXPECT_TRUE(library.modify("a", "z", "d", "c").done() && library.remove("b").done());
    EXPECT_EQ(raw.value("SELECT group_concat(CodeName) FROM TABLE1").toString(), "z");
}

TEST_P(BothBackends, SearchFindsEveryWordInAnyOrderCaseAndColumnWithTheFirstLineThatHoldsOne)
{
    RawConnection raw(path);
    for (const QVariantList &row : {
             QVariantList{"Open File", "Opens a file for reading", "Sub OpenFile()\r\n  Dim h As Integer \r\nEnd Sub"},
             {QVariant(), "a file without a heading", "Dim h"},
             {"Größe ändern", "Ändert die GRÖSSE", "' ÉCOLE\rx = 1\n"},
             {"ΟΔΟΣ", "", "\u212A and \u017F"},
             {"Percent", "100% _done_", "a\\b"},
         })
        ASSERT_EQ(raw.run("INSERT INTO TABLE1 VALUES (?, ?, ?)", row), QString());
    using F = store::SearchField;
    const store::SearchFields all = store::allSearchFields;
    struct Case {
        QString query;
        store::SearchFields in;
        QStringList hits; // "heading|line"
    } const cases[] = {
        {"  file\tOPEN ", all, {"Open File|Open File"}},
        {"integer reading", all, {"Open File|Opens a file for reading"}},
        {"without", all, {}},                          // only in a row without a heading
        {"GRÖẞE", all, {"Größe ändern|Größe ändern"}}, // ẞ folds to ß, which is not "ss"
        {"GRÖẞE", F::Description, {}},
        {"grösse", all, {"Größe ändern|Ändert die GRÖSSE"}},
        {"école X", F::Code, {"Größe ändern|' ÉCOLE"}},
        {"οδος", all, {"ΟΔΟΣ|ΟΔΟΣ"}},
        {"k", F::Code, {}},
        {"\u212A \u017F", all, {"ΟΔΟΣ|\u212A and \u017F"}},
        {"0% _d a\\", all, {"Percent|100% _done_"}},
        {"%", F::Heading | F::Code, {}},
        {" ", all, {}},
        {"file", {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        const store::SearchResult r = library.search(c.query, c.in);
        EXPECT_EQ(r.outcome, Outcome::Done) << r.error.message.toStdString();
        QStringList hits;
        for (const store::SearchHit &hit : r.hits)
            hits << hit.heading + "|" + hit.line;
        EXPECT_EQ(hits, c.hits);
    }
}

// Hits come best first: the field that holds every word (heading, description, code), then
// how (equal, begins, words begin, anywhere), then words spread over fields, then headings
// holding the letters in order; ties in table order. Code lines are read only when asked.
TEST_P(BothBackends, SearchRanksItsHitsAndReadsCodeLinesOnlyWhenAsked)
{
    RawConnection raw(path);
    const char *const rows[][3] = {
        {"Read the registry", "Long snippet reader", "x"},
        {"Long snippet", "", ""},
        {"Snippet, long", "", ""},
        {"Long snippets for all", "", ""},
        {"Belong tosnippet", "", ""},
        {"Code only", "", "x = 1\r\n  ' a long snippet\r\n"},
        {"Long", "", "snippet = 1"},
        {"Long snippets too", "", ""},
        {"Sweep all values", "", ""},
        {"Swap two values", "", ""},
        {"Values swap", "", ""},
        {"Misc", "", "x\r\n  RegOpen registry key\r\n"},
    };
    for (const auto &row : rows)
        ASSERT_EQ(raw.run("INSERT INTO TABLE1 VALUES (?, ?, ?)", {row[0], row[1], row[2]}), QString());
    const struct {
        QString query;
        QStringList hits; // "heading:rank"
        store::SearchFields in = store::allSearchFields;
    } cases[] = {
        {"Long snippet",
         {"Long snippet:1", "Long snippets for all:2", "Long snippets too:2", "Snippet, long:3", "Belong tosnippet:4",
          "Read the registry:6", "Code only:11", "Long:13"}},
        {"swpval", {"Swap two values:14", "Sweep all values:14"}},
        {"SWAP", {"Swap two values:2", "Values swap:3"}},
        {"tovals", {"Swap two values:14"}},
        // Ties in table order, not in the headings' order.
        {"values", {"Values swap:2", "Sweep all values:3", "Swap two values:3"}, store::SearchField::Heading},
    };
    const store::HeadingSearch inMemory(library.headings().headings);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        // Every hit, then only the best few: the same ones first, and all of them counted.
        for (const qsizetype most : {-1, 0, 1, 3}) {
            const store::SearchResult r = library.search(c.query, c.in, store::kEveryLine, most);
            ASSERT_EQ(r.outcome, Outcome::Done) << r.error.message.toStdString();
            QStringList hits;
            for (const store::SearchHit &hit : r.hits)
                hits << hit.heading + ":" + QString::number(hit.rank);
            EXPECT_EQ(hits, most < 0 ? c.hits : c.hits.mid(0, most)) << most;
            EXPECT_EQ(r.total, c.hits.size());
            // The headings held in memory give what the library gives for its headings.
            const auto described = [](const store::SearchResult &found) {
                QStringList out{QString::number(found.total)};
                for (const store::SearchHit &hit : found.hits)
                    out << hit.heading + ":" + QString::number(hit.rank) + ":" + hit.line;
                return out;
            };
            EXPECT_EQ(described(inMemory.search(c.query, most)),
                      described(library.search(c.query, store::SearchField::Heading, store::kEveryLine, most)));
        }
    }

    const QString registry = QStringLiteral("registry");
    store::SearchResult r = library.search(registry, store::allSearchFields, 0);
    ASSERT_EQ(r.hits.size(), 2);
    EXPECT_EQ(r.hits[0].line, "Read the registry");
    if (!GetParam()) {
        EXPECT_TRUE(r.hits[1].line.isNull()) << "the code was read for a hit no screen shows";
    }
    r.hits[1].line = QString();
    ASSERT_TRUE(library.readLines(r.hits, 1, 1, registry).done());
    EXPECT_EQ(r.hits[1].line, "RegOpen registry key");
    // A row renamed meanwhile shows no line of another snippet's.
    ASSERT_EQ(raw.run("UPDATE TABLE1 SET CodeName = 'Other' WHERE CodeName = 'Misc'"), QString());
    r.hits[1].line = QString();
    ASSERT_TRUE(library.readLines(r.hits, 0, 5, registry).done());
    EXPECT_EQ(r.hits[1].line, "");
    EXPECT_FALSE(r.hits[1].line.isNull());
}

// --- Failures ---------------------------------------------------------------------------------

// Whatever a failure case holds on to (a lock, taken rights) until it is dropped.
using Held = std::shared_ptr<void>;
using Expected = std::array<Failure, 5>; // heading list, add, find (and search), modify, delete; Other: not run

constexpr Expected all(Failure f)
{
    return {f, f, f, f, f};
}

store::Result runOperation(const store::SnippetLibrary &library, std::size_t i)
{
    const QString big = QStringLiteral("' a long snippet\r\n").repeated(4000), picked = QStringLiteral("row 100");
    switch (i) {
    case 0:
        return library.headings();
    case 1:
        return library.add(QStringLiteral("New one"), QStringLiteral("'d"), big);
    case 2:
        return library.find(picked);
    case 5:
        return library.search(QStringLiteral("desc 100"));
    case 3:
        return library.modify(picked, picked, QStringLiteral("'d"), big);
    default:
        return library.remove(picked);
    }
}

struct FailureCase {
    const char *name;
    std::function<Held(const QString &)> arrange;
    Expected expected;
    QString words;
};

// Each case on a fresh library of 200 rows, each filling a page of its own: every operation
// reports its failure in words naming the file, and nothing is created or written.
void expectFailures(StoreTest &t, const std::vector<FailureCase> &cases)
{
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        QDir().mkpath(t.folders.libraryFolder());
        QFile::remove(t.path);
        ASSERT_TRUE(store::initLibrary(false).done());
        QVariantList headings;
        for (int i = 0; i < 200; ++i)
            headings << QStringLiteral("row %1").arg(i);
        setHeadings(t.path, headings, 2400);
        const QByteArray pristine = fileBytes(t.path);
        Held held = c.arrange(t.path);
        // A case that holds something changes nothing (and may make the file unreadable).
        const QByteArray before = held ? pristine : fileBytes(t.path);
        for (std::size_t i = 0; i <= c.expected.size() && !::testing::Test::HasFatalFailure(); ++i) {
            SCOPED_TRACE(i);
            const Failure expected = c.expected[i < c.expected.size() ? i : 2];
            if (expected == Failure::Other)
                continue;
            const store::Result r = runOperation(store::SnippetLibrary(t.path, t.options), i);
            EXPECT_EQ(r.error.kind, expected) << r.error.message.toStdString();
            EXPECT_EQ(r.outcome == Outcome::Failed, expected != Failure::None);
            if (expected != Failure::None) {
                EXPECT_TRUE(r.error.message.contains(QDir::toNativeSeparators(t.path))
                            && r.error.message.contains(c.words, Qt::CaseInsensitive))
                    << r.error.message.toStdString();
            }
        }
        held.reset();
        EXPECT_TRUE(fileBytes(t.path) == before) << "created or written";
        EXPECT_FALSE(QFileInfo::exists(t.path + QStringLiteral("-journal")));
    }
}

// Overwrites the start of the file's page that holds the text, or of the page given.
void scribble(const QString &path, const QByteArray &text, int page, int count)
{
    const int size = RawConnection(path).value("PRAGMA page_size").toInt();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    if (!text.isEmpty())
        page = int(f.readAll().indexOf(text) / size) + 1;
    ASSERT_TRUE(f.seek(qint64(page - 1) * size + (page == 1 ? 100 : 0)));
    ASSERT_EQ(f.write(QByteArray(count, char(0xA5))), count);
}

Held run(const QString &path, const QStringList &statements)
{
    auto raw = std::make_shared<RawConnection>(path); // closing it rolls back
    for (const QString &s : statements)
        EXPECT_EQ(raw->run(s), QString());
    return raw;
}

TEST_F(StoreTest, BrokenHeldOrFullFilesAreReportedAndLeftAsTheyWere)
{
    options.busyTimeout = 200;
    const Failure none = Failure::None, locked = Failure::Locked, skip = Failure::Other;
    const auto textFile = [](const QString &p) {
        EXPECT_TRUE(qbx::test::putFile(p, QByteArray("Sub Main()\r\nEnd Sub\r\n").repeated(400)));
        return Held();
    };
    const auto diskFull = [this](const QString &) {
        options.opened = [](QSqlDatabase &db) {
            QSqlQuery q(db);
            ASSERT_TRUE(q.exec("PRAGMA page_count") && q.next());
            ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(q.value(0).toInt() + 1)));
        };
        return Held(new int, [this](int *i) { delete i, options.opened = {}; });
    };
    // TABLE1 made a view of the table, or a table with columns shadowing every name of the
    // rows' identity.
    const auto viewInstead = [](const QString &p, const QString &view) {
        RawConnection raw(p);
        const QString copy = view.isEmpty()
                                 ? "CREATE TABLE TABLE1 AS SELECT 1 AS rowid, 1 AS _rowid_, 1 AS oid, * FROM T"
                                 : "CREATE VIEW TABLE1 AS " + view;
        EXPECT_EQ(raw.run("ALTER TABLE TABLE1 RENAME TO T"), QString());
        EXPECT_EQ(raw.run(copy), QString());
    };
    const auto dropCode = [](const QString &p) {
        return RawConnection(p).run("ALTER TABLE TABLE1 DROP COLUMN code"), Held();
    };
    expectFailures(*this,
                   {
                       {"missing file", [](auto &p) { return QFile::remove(p), Held(); }, all(Failure::MissingFile),
                        "run the command: quillbox init"},
                       {"missing folder", [](auto &p) { return QDir(QFileInfo(p).path()).removeRecursively(), Held(); },
                        all(Failure::MissingFile), "quillbox init"},
                       {"a text file", textFile, all(Failure::NotADatabase), "not an SQLite database"},
                       {"an empty file", [](auto &p) { return QFile::resize(p, 0), Held(); },
                        all(Failure::MissingTable), "no table TABLE1"},
                       {"TABLE1 without the column code", dropCode, all(Failure::MissingColumn), "no column code"},
                       {"TABLE1 a view", [&](auto &p) { return viewInstead(p, "SELECT * FROM T"), Held(); },
                        all(Failure::MissingTable), "TABLE1 is a view, not a table"},
                       {"rowid, _rowid_ and oid all columns", [&](auto &p) { return viewInstead(p, {}), Held(); },
                        all(Failure::MissingColumn), "has its own columns named rowid, _rowid_ and oid"},
                       {"damaged list of tables", [](auto &p) { return scribble(p, {}, 1, 8), Held(); },
                        all(Failure::Damaged), "is damaged"},
                       // The headings' index is whole: the list is still read, the row's own text is not.
                       {"damaged page of the picked row",
                        [](auto &p) { return scribble(p, "desc row 100", 0, 64), Held(); },
                        {none, skip, Failure::Damaged, skip, skip},
                        "is damaged"},
                       {"another connection writing", [](auto &p) { return run(p, {"BEGIN EXCLUSIVE"}); }, all(locked),
                        "in use by another program"},
                       {"another connection about to write",
                        [](auto &p) { return run(p, {"BEGIN IMMEDIATE"}); },
                        {none, locked, none, locked, locked},
                        "in use by another program"},
                       // The write gets in, but its COMMIT cannot: it is rolled back.
                       {"another connection reading",
                        [](auto &p) {
                            return run(p, {"BEGIN", "SELECT * FROM TABLE1"});
                        },
                        {none, locked, none, locked, locked},
                        "in use by another program"},
                       {"disk full: the file may grow by one page only",
                        diskFull,
                        {none, Failure::DiskFull, none, Failure::DiskFull, skip},
                        "Nothing was stored"},
                   });
}

TEST_F(StoreTest, FilesAndFoldersWithoutRightsAreReported)
{
    if (qbx::test::rerunUnprivileged())
        return;
    const Failure none = Failure::None, readOnly = Failure::ReadOnly;
    const auto r = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    // Takes the rights away until dropped.
    auto rights = [](bool folder, QFileDevice::Permissions p) {
        return [folder, p](const QString &path) {
            const QString target = folder ? QFileInfo(path).absolutePath() : path;
            const auto restore = QFile::permissions(target);
            EXPECT_TRUE(QFile::setPermissions(target, p));
            return Held(new int, [target, restore](int *i) { delete i, QFile::setPermissions(target, restore); });
        };
    };
    expectFailures(
        *this,
        {
            {"read-only file", rights(false, r), {none, readOnly, none, readOnly, readOnly}, "read-only"},
            {"read-only folder",
             rights(true, r | QFileDevice::ExeOwner),
             {none, readOnly, none, readOnly, readOnly},
             "read-only"},
            {"unreadable file", rights(false, QFileDevice::WriteOwner), all(Failure::CannotOpen), "permission denied"},
            {"folder that cannot be entered", rights(true, r | QFileDevice::WriteOwner), all(Failure::CannotOpen),
             "permission denied"},
        });
}

} // namespace

// An import checks every heading against the library and the input in one transaction and
// writes all or nothing; what is stored comes back whole from an export.
TEST_P(BothBackends, ImportChecksEveryHeadingAndWritesAllOrNothing)
{
    const QStringList stored{"Swap|d0|c0", "NULL|d1|c1", "GRÖSSE 😀|d2|c2"};
    const QList<store::Snippet> incoming{{"new", "'n", "n"},
                                         {" swap ", "'s", "s"},
                                         {QVariant(), QVariant(), "no heading"},
                                         {"größe 😀", "'g2", "g2"},
                                         {"Swap (2)", "'taken by a later name", "s2"}};
    // Hands the snippets over, then fails as a reader would when told so.
    const auto handing = [](const QList<store::Snippet> &snippets, const QString &failure = {}) {
        return [=](const transfer::Consumer &take) {
            transfer::ReadReport report;
            for (const store::Snippet &s : snippets)
                report.stopped = report.stopped || !take(store::Snippet(s));
            report.error = failure;
            return report;
        };
    };
    const struct {
        const char *name;
        store::OnTaken onTaken;
        store::Producer produce;
        Outcome outcome;
        QStringList added; // rows after the stored ones
        QString says;      // clashes, skipped or renamed headings; the error when Failed
    } cases[] = {
        {"fail names every clash", store::OnTaken::Fail, handing(incoming), Outcome::Taken, {}, "swap|größe 😀"},
        {"skip leaves them out",
         store::OnTaken::Skip,
         handing(incoming),
         Outcome::Done,
         {"new|'n|n", "NULL|NULL|no heading", "Swap (2)|'taken by a later name|s2"},
         "swap|größe 😀"},
        {"rename finds a name free in the library and in the input",
         store::OnTaken::Rename,
         handing(incoming),
         Outcome::Done,
         {"new|'n|n", "swap (3)|'s|s", "NULL|NULL|no heading", "größe 😀 (2)|'g2|g2",
          "Swap (2)|'taken by a later name|s2"},
         "swap>swap (3)|größe 😀>größe 😀 (2)"},
        {"a heading twice in the input",
         store::OnTaken::Rename,
         handing({{"one", "", ""}, {" ONE", "", ""}}),
         Outcome::Failed,
         {},
         "the heading \"ONE\" is listed twice"},
        {"a reader that fails after some snippets",
         store::OnTaken::Skip,
         handing({{"a", "", ""}}, "in.json is cut short"),
         Outcome::Failed,
         {},
         "in.json is cut short"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        setHeadings(path, {"Swap", QVariant(), "GRÖSSE 😀"});
        const store::ImportResult r = store::importSnippets(library, c.produce, c.onTaken);
        EXPECT_EQ(r.outcome, c.outcome) << r.error.message.toStdString();
        EXPECT_EQ(storedRows(path), stored + c.added);
        QStringList said = c.onTaken == store::OnTaken::Fail ? r.clashes : r.skipped;
        for (const QStringList &names : r.renamed)
            said.append(names.join('>'));
        EXPECT_EQ(r.outcome == Outcome::Failed ? r.error.message : said.join('|'), c.says);
        EXPECT_EQ(r.badInput, r.outcome == Outcome::Failed);
        if (c.outcome != Outcome::Done)
            continue;
        const QString file = folders.dataHome() + "/all.json";
        const store::ExportResult e = store::exportLibrary(library, file, transfer::Format::Json);
        ASSERT_TRUE(e.done()) << e.error.message.toStdString();
        EXPECT_EQ(qbx::test::readPath(file).rows(), stored + c.added);
    }
}
