// The snippet operations on real files: the matching rules, each operation's outcome, text
// kept whole, table order, and every failure of the library the user can meet.

#include "store/database.h"
#include "store/libraryinit.h"
#include "store/snippets.h"
#include "store/storetesting.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

using namespace quillbox;
using qbx::test::RawConnection;
using store::Failure;
using store::Outcome;

namespace {

// One row of TABLE1; a null QVariant stands for SQL NULL.
struct Row {
    QVariant name, desc, code;
    friend bool operator==(const Row &a, const Row &b)
    {
        auto same = [](const QVariant &x, const QVariant &y) {
            return x.isNull() == y.isNull() && x.toString() == y.toString();
        };
        return same(a.name, b.name) && same(a.desc, b.desc) && same(a.code, b.code);
    }
};

void PrintTo(const Row &row, std::ostream *out)
{
    for (const QVariant &v : {row.name, row.desc, row.code})
        *out << (v.isNull() ? std::string("NULL") : '"' + v.toString().left(60).toStdString() + '"') << ' ';
}

std::vector<Row> numberedRows(const std::vector<QVariant> &names)
{
    std::vector<Row> rows;
    for (std::size_t i = 0; i < names.size(); ++i)
        rows.push_back({names[i], QStringLiteral("desc #%1").arg(i), QStringLiteral("code #%1").arg(i)});
    return rows;
}

// What is really in the file, in table order, read past the store.
std::vector<Row> storedRows(const QString &path)
{
    RawConnection raw(path);
    QSqlQuery q(raw.database());
    EXPECT_TRUE(q.exec(QStringLiteral("SELECT CodeName, CodeDesc, code FROM TABLE1 ORDER BY rowid")));
    std::vector<Row> rows;
    while (q.next())
        rows.push_back({q.value(0), q.value(1), q.value(2)});
    return rows;
}

void setRows(const QString &path, const std::vector<Row> &rows)
{
    RawConnection raw(path);
    ASSERT_EQ(raw.run(QStringLiteral("BEGIN")) + raw.run(QStringLiteral("DELETE FROM TABLE1")), QString());
    for (const Row &r : rows)
        ASSERT_EQ(raw.run(QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, ?)"),
                          {r.name, r.desc, r.code}),
                  QString());
    ASSERT_EQ(raw.run(QStringLiteral("COMMIT")), QString());
}

Row shown(const store::SnippetResult &r)
{
    return {r.snippet.heading, r.snippet.description, r.snippet.code};
}

QByteArray digest(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

struct StoreTest : ::testing::Test {
    qbx::test::FreshUserFolders folders;
    QString path;
    store::SnippetLibrary library{QString()};
    const int defaultTimeout = store::DbConnection::busyTimeout();

    void SetUp() override
    {
        ASSERT_TRUE(store::initLibrary(false).ok);
        path = store::databasePath();
        library = store::SnippetLibrary(path);
    }
    void TearDown() override
    {
        store::DbConnection::setBusyTimeout(defaultTimeout);
        store::DbConnection::setOpenHook({});
        // Every operation closed what it opened.
        EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty())
            << QSqlDatabase::connectionNames().join(QLatin1Char(' ')).toStdString();
    }
};

TEST(MatchingRules, TrimmingAndTheTwoWaysOfMatchingAHeading)
{
    const QVariant sqlNull = QVariant(QMetaType::fromType<QString>()); // as the database hands NULL over
    struct Case {
        QVariant stored;
        QString entered;
        bool picked, taken;
    };
    const Case cases[] = {
        {"  Open File   ", " Open File", true, true},
        {"OPEN FILE", "open file", false, true},
        {"Open  File", "Open File", false, false},
        {"\t\u00A0Open File\r\n", "Open File", false, false}, // only spaces are trimmed
        {sqlNull, "", false, false},
        {"", "   ", true, true},
        // Upper-cased as Unicode has it: not lower-cased, not folded, not ASCII only.
        {"straße", "STRASSE", false, true},
        {"eclair", "ÉCLAIR", false, false},
        {"dıv", "div", false, true},
        {"𐐨x", "𐐀X", false, true},
        {"\u212A", "K", false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored.toString().toStdString() + " / " + c.entered.toStdString());
        EXPECT_EQ(store::headingMatchesPicked(c.stored, c.entered), c.picked);
        EXPECT_EQ(store::headingMatchesTaken(c.stored, c.entered), c.taken);
    }
    EXPECT_EQ(store::trimSpaces(QStringLiteral("  Open   File \t ")), QStringLiteral("Open   File \t"));
    EXPECT_TRUE(store::isEmptyEntry(QStringLiteral("   ")));
    EXPECT_FALSE(store::isEmptyEntry(QStringLiteral(" \t ")));
}

// Headings made of pieces that fold into one another, so that many collide.
QString randomHeading(std::mt19937 &rng)
{
    static const QStringList pieces = {"a", "A", "b", "ß",  "SS", "ss", "é", "É", "ı", "I", "i", "İ",
                                       "ς", "Σ", "ﬁ", "FI", "'",  "%",  "_", " ", "𐐨", "𐐀", "0"};
    std::uniform_int_distribution<int> count(1, 3), piece(0, int(pieces.size()) - 1), pad(0, 3);
    QString h = QString(pad(rng) == 0 ? 2 : 0, QLatin1Char(' '));
    for (int n = count(rng); n > 0; --n)
        h += pieces[piece(rng)];
    return h + QString(pad(rng) == 0 ? 1 : 0, QLatin1Char(' '));
}

TEST_F(StoreTest, FindAndTheTakenCheckAgreeWithTheMatchingRulesRowByRow)
{
    // Quotes that would be SQL, LIKE wildcards, nulls, then many random headings.
    std::vector<QVariant> headings = {"a_c", "abc", "x' OR '1'='1", "Straße", QVariant(), ""};
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> percent(0, 99);
    while (headings.size() < 600)
        headings.push_back(percent(rng) < 3 ? QVariant() : QVariant(randomHeading(rng)));
    setRows(path, numberedRows(headings));
    const qint64 rows = qint64(headings.size());

    int found = 0, taken = 0;
    for (int n = 0; n < 150; ++n) {
        const QString some = headings[std::size_t(rng() % headings.size())].toString();
        const QString entered =
            std::array{randomHeading(rng), some, some.toUpper(), " " + some.toLower() + "  "}[n % 4];
        SCOPED_TRACE("[" + entered.toStdString() + "]");
        int firstPicked = -1;
        bool anyTaken = false;
        for (std::size_t i = 0; i < headings.size(); ++i) {
            if (firstPicked < 0 && store::headingMatchesPicked(headings[i], entered))
                firstPicked = int(i);
            anyTaken = anyTaken || store::headingMatchesTaken(headings[i], entered);
        }
        const store::SnippetResult r = library.find(entered);
        ASSERT_EQ(r.outcome, firstPicked >= 0 ? Outcome::Done : Outcome::Vanished);
        if (firstPicked >= 0) {
            EXPECT_EQ(r.snippet.code.toString(), QStringLiteral("code #%1").arg(firstPicked));
        }
        const store::Result added = library.add(entered, QStringLiteral("d"), QStringLiteral("c"));
        ASSERT_EQ(added.outcome, anyTaken ? Outcome::Taken : Outcome::Done);
        if (added.done()) { // put the library back as it was
            ASSERT_EQ(RawConnection(path).run(QStringLiteral("DELETE FROM TABLE1 WHERE rowid > ?"), {rows}), QString());
        }
        found += firstPicked >= 0;
        taken += anyTaken;
    }
    // Worth something only when both kinds of match were met often.
    EXPECT_GT(found, 30);
    EXPECT_GT(taken, found);
}

TEST_F(StoreTest, EachOperationsOutcomeAndWhatItLeavesInTheFile)
{
    using Ops = std::function<store::Result(const store::SnippetLibrary &)>;
    struct Case {
        const char *name;
        std::vector<QVariant> before;
        Ops op;
        Outcome outcome;
        std::vector<Row> after; // empty: the rows are as before
    };
    const std::vector<QVariant> abc = {"a", "b", "a", "c"};
    const auto rows = numberedRows(abc);
    auto with = [&](std::size_t i, Row r) {
        auto changed = rows;
        changed[i] = r;
        return changed;
    };
    auto without = [&](std::size_t i) {
        auto changed = rows;
        changed.erase(changed.begin() + qsizetype(i));
        return changed;
    };
    const Case cases[] = {
        {"add trims heading and description, keeps the code", abc,
         [](auto &l) { return l.add("  New one ", "  'desc  ", "  code  "); }, Outcome::Done,
         [&] {
             auto r = rows;
             r.push_back({"New one", "'desc", "  code  "});
             return r;
         }()},
        {"add of a heading taken in another case",
         abc,
         [](auto &l) { return l.add(" C ", "d", "c"); },
         Outcome::Taken,
         {}},
        {"add to an empty table", {}, [](auto &l) { return l.add("x", "d", "c"); }, Outcome::Done, {{"x", "d", "c"}}},
        {"modify the first of two with the heading", abc,
         [](auto &l) { return l.modify(" a", "a", " 'new ", "new code"); }, Outcome::Done,
         with(0, {"a", "'new", "new code"})},
        {"modify keeping the heading in another case", abc, [](auto &l) { return l.modify("b", "B ", "d", "c"); },
         Outcome::Done, with(1, {"B", "d", "c"})},
        {"rename to a free heading", abc, [](auto &l) { return l.modify("c", "z", "d", "c"); }, Outcome::Done,
         with(3, {"z", "d", "c"})},
        {"rename to another snippet's heading",
         abc,
         [](auto &l) { return l.modify("b", "C", "d", "c"); },
         Outcome::Taken,
         {}},
        {"modify of a heading no longer there",
         abc,
         [](auto &l) { return l.modify("q", "q", "d", "c"); },
         Outcome::Vanished,
         {}},
        {"modify picks with case significant",
         abc,
         [](auto &l) { return l.modify("A", "A", "d", "c"); },
         Outcome::Vanished,
         {}},
        {"delete the first of two with the heading", abc, [](auto &l) { return l.remove("a "); }, Outcome::Done,
         without(0)},
        {"delete of a heading no longer there", abc, [](auto &l) { return l.remove("gone"); }, Outcome::Vanished, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        setRows(path, numberedRows(c.before));
        const auto before = storedRows(path);
        const store::Result r = c.op(library);
        EXPECT_EQ(r.outcome, c.outcome) << r.error.message.toStdString();
        EXPECT_FALSE(r.error);
        EXPECT_EQ(storedRows(path), c.after.empty() ? before : c.after);
    }
}

TEST_F(StoreTest, HeadingsInTableOrderTextKeptWholeAndAnEmptyLibrary)
{
    EXPECT_EQ(library.headings().outcome, Outcome::Empty);
    // Out of alphabetical order, null, empty and duplicate headings, and gaps where another
    // program deleted rows.
    setRows(path, numberedRows({"gone", "zeta", QVariant(), "Alpha", "gone", "", "a", "A", "a", "gone"}));
    ASSERT_EQ(RawConnection(path).run("DELETE FROM TABLE1 WHERE CodeName = 'gone'"), QString());
    const store::HeadingsResult list = library.headings();
    EXPECT_EQ(list.outcome, Outcome::Done);
    EXPECT_EQ(list.headings, (QStringList{"zeta", "Alpha", "", "a", "A", "a"}));
    setRows(path, numberedRows({QVariant()}));
    EXPECT_EQ(library.headings().outcome, Outcome::Empty) << "a row without a heading is no snippet to pick";

    const std::vector<Row> texts = {
        {"Lines and spaces", "'First line\r\n'Second\tline",
         "Sub Main()\r\n\tMsgBox 1\r\n\r\n  End Sub  \r\na\nb\rc\n\r "},
        {"Größe & Maße 𝄞", "'Ünïcødé — “curly” ‘quotes’", "' Kommentar: äöü ß € 𝄞\r\nDim s = \"日本語\""},
        {"O'Brien's \"quoted\" heading", "'it's \"fine\"", "Print \"He said \"\"Hi\"\"\" ' it's a comment"},
        {"Large", "'200 KB", QStringLiteral("Line of code ' x\r\n").repeated(10000)},
    };
    for (const Row &row : texts) {
        SCOPED_TRACE(row.name.toString().toStdString());
        ASSERT_EQ(library.add(row.name.toString(), row.desc.toString(), row.code.toString()).outcome, Outcome::Done);
        EXPECT_EQ(shown(library.find(row.name.toString())), row);
    }
}

TEST_F(StoreTest, TableLaidOutByAnotherProgramIsUsedAsItIs)
{
    // Columns in another order and case, an extra column, ids of its own out of order, no index.
    QFile::remove(path);
    {
        RawConnection raw(path, true);
        ASSERT_EQ(raw.run("CREATE TABLE TABLE1 (id INTEGER PRIMARY KEY, CODE TEXT, extra INTEGER, codename TEXT, "
                          "CODEDESC TEXT)"),
                  QString());
        ASSERT_EQ(raw.run("INSERT INTO TABLE1 VALUES (10, 'code 10', 1, 'ten', 'd10'), (5, 'code 5', 1, 'five', 'd5'), "
                          "(7, 'code 7', 1, 'Seven', 'd7')"),
                  QString());
    }
    EXPECT_EQ(library.headings().headings, (QStringList{"five", "Seven", "ten"}));
    EXPECT_EQ(shown(library.find(QStringLiteral("Seven"))), (Row{"Seven", "d7", "code 7"}));
    EXPECT_EQ(library.add("SEVEN", "taken", "taken").outcome, Outcome::Taken);
    EXPECT_EQ(library.add("eleven", "d11", "code 11").outcome, Outcome::Done);
    RawConnection raw(path);
    EXPECT_EQ(raw.value("SELECT group_concat(id) FROM (SELECT id FROM TABLE1 ORDER BY id)").toString(),
              QStringLiteral("5,7,10,11"));
    EXPECT_EQ(raw.value("SELECT codename || CODEDESC || CODE FROM TABLE1 WHERE id = 11").toString(),
              QStringLiteral("elevend11code 11"));
}

// --- Failures ---------------------------------------------------------------------------------

// Whatever a failure case holds on to (a lock, taken rights) until it is dropped.
using Held = std::shared_ptr<void>;

// The five operations, each on the library of 200 rows that the failure table sets up.
constexpr std::array kOperations{"heading list", "add", "find", "modify", "delete"};
using Expected = std::array<Failure, kOperations.size()>;

struct FailureCase {
    const char *name;
    std::function<Held(const QString &)> arrange;
    Expected expected; // Other: not run (a write that would go through)
    QString words;
};

constexpr Expected all(Failure f)
{
    return {f, f, f, f, f};
}

store::Result runOperation(const store::SnippetLibrary &library, std::size_t i)
{
    const QString bigCode = QStringLiteral("' a long snippet\r\n").repeated(4000);
    switch (i) {
    case 0:
        return library.headings();
    case 1:
        return library.add(QStringLiteral("New one"), QStringLiteral("'d"), bigCode);
    case 2:
        return library.find(QStringLiteral("row 100"));
    case 3:
        return library.modify(QStringLiteral("row 100"), QStringLiteral("row 100"), QStringLiteral("'d"), bigCode);
    default:
        return library.remove(QStringLiteral("row 100"));
    }
}

// Each case on a fresh library of 200 rows, each filling a page of its own: every operation
// reports its failure in words naming the file, and nothing is created or written.
void expectFailures(StoreTest &t, const std::vector<FailureCase> &cases)
{
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        QDir().mkpath(t.folders.libraryFolder());
        QFile::remove(t.path);
        ASSERT_TRUE(store::initLibrary(false).ok);
        std::vector<Row> rows;
        for (int i = 0; i < 200; ++i)
            rows.push_back({QStringLiteral("row %1").arg(i), QStringLiteral("desc %1").arg(i),
                            QStringLiteral("code %1 ").arg(i).repeated(300)});
        setRows(t.path, rows);
        auto look = [&] {
            return std::tuple{digest(t.path), QFileInfo::exists(t.path), QFileInfo::exists(t.folders.libraryFolder())};
        };
        const auto pristine = look();
        Held held = c.arrange(t.path);
        ASSERT_FALSE(::testing::Test::HasFatalFailure());
        // A case that holds something changes nothing (and may make the file unreadable).
        const auto before = held ? pristine : look();
        for (std::size_t i = 0; i < kOperations.size(); ++i) {
            SCOPED_TRACE(kOperations[i]);
            if (c.expected[i] == Failure::Other)
                continue;
            const store::Result r = runOperation(t.library, i);
            EXPECT_EQ(r.error.kind, c.expected[i]) << r.error.message.toStdString();
            EXPECT_EQ(r.outcome == Outcome::Failed, c.expected[i] != Failure::None);
            if (c.expected[i] != Failure::None) {
                EXPECT_TRUE(r.error.message.contains(QDir::toNativeSeparators(t.path))
                            && r.error.message.contains(c.words, Qt::CaseInsensitive))
                    << r.error.message.toStdString();
            }
        }
        held.reset();
        EXPECT_TRUE(look() == before) << "created or written";
        EXPECT_FALSE(QFileInfo::exists(t.path + QStringLiteral("-journal")));
    }
}

// Overwrites the start of the file's page that holds the text, or of the page given.
void scribble(const QString &path, const QByteArray &text, int page = 0, int count = 64)
{
    const int size = RawConnection(path).value("PRAGMA page_size").toInt();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    if (!text.isEmpty()) {
        const qint64 at = f.readAll().indexOf(text);
        ASSERT_GE(at, 0);
        page = int(at / size) + 1;
    }
    ASSERT_TRUE(f.seek(qint64(page - 1) * size + (page == 1 ? 100 : 0)));
    ASSERT_EQ(f.write(QByteArray(count, char(0xA5))), count);
}

Held transaction(const QString &path, const QStringList &statements)
{
    auto raw = std::make_shared<RawConnection>(path); // closing it rolls back
    for (const QString &s : statements)
        EXPECT_EQ(raw->run(s), QString());
    return raw;
}

TEST_F(StoreTest, BrokenHeldOrFullFilesAreReportedAndLeftAsTheyWere)
{
    store::DbConnection::setBusyTimeout(200);
    const Failure none = Failure::None, locked = Failure::Locked;
    expectFailures(
        *this,
        {
            {"missing file",
             [](const QString &p) {
                 EXPECT_TRUE(QFile::remove(p));
                 return Held();
             },
             all(Failure::MissingFile), "run the command: quillbox init"},
            {"missing folder",
             [](const QString &p) {
                 EXPECT_TRUE(QDir(QFileInfo(p).absolutePath()).removeRecursively());
                 return Held();
             },
             all(Failure::MissingFile), "quillbox init"},
            {"a text file",
             [](const QString &p) {
                 QFile f(p);
                 EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
                 f.write(QByteArray("Sub Main()\r\nEnd Sub\r\n").repeated(400));
                 return Held();
             },
             all(Failure::NotADatabase), "not an SQLite database"},
            {"an empty file",
             [](const QString &p) {
                 EXPECT_TRUE(QFile::resize(p, 0));
                 return Held();
             },
             all(Failure::MissingTable), "no table TABLE1"},
            {"TABLE1 without the column code",
             [](const QString &p) {
                 EXPECT_EQ(RawConnection(p).run("ALTER TABLE TABLE1 DROP COLUMN code"), "");
                 return Held();
             },
             all(Failure::MissingColumn), "no column code"},
            {"damaged list of tables",
             [](const QString &p) {
                 scribble(p, {}, 1, 8);
                 return Held();
             },
             all(Failure::Damaged), "is damaged"},
            // The headings' index is whole: the list is still read, the row's own text is not.
            {"damaged page of the picked row",
             [](const QString &p) {
                 scribble(p, "desc 100");
                 return Held();
             },
             {none, Failure::Other, Failure::Damaged, Failure::Other, Failure::Other},
             "is damaged"},
            {"another connection writing", [](const QString &p) { return transaction(p, {"BEGIN EXCLUSIVE"}); },
             all(locked), "in use by another program"},
            {"another connection about to write",
             [](const QString &p) { return transaction(p, {"BEGIN IMMEDIATE"}); },
             {none, locked, none, locked, locked},
             "in use by another program"},
            // The write gets in, but its COMMIT cannot: it is rolled back.
            {"another connection reading",
             [](const QString &p) {
                 return transaction(p, {"BEGIN", "SELECT count(*) FROM TABLE1"});
             },
             {none, locked, none, locked, locked},
             "in use by another program"},
            {"disk full: the file may grow by one page only",
             [](const QString &) {
                 store::DbConnection::setOpenHook([](QSqlDatabase &db) {
                     QSqlQuery q(db);
                     ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA page_count")) && q.next());
                     ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(q.value(0).toInt() + 1)));
                 });
                 return Held(new int, [](int *i) {
                     delete i;
                     store::DbConnection::setOpenHook({});
                 });
             },
             {none, Failure::DiskFull, none, Failure::DiskFull, Failure::Other},
             "Nothing was stored"},
        });
}

TEST_F(StoreTest, FilesAndFoldersWithoutRightsAreReported)
{
    if (qbx::test::rerunUnprivileged())
        return;
    const Failure none = Failure::None, cannot = Failure::CannotOpen, readOnly = Failure::ReadOnly;
    const auto r = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    const auto w = QFileDevice::WriteOwner, x = QFileDevice::ExeOwner;
    // Takes the rights away until dropped.
    auto rights = [](bool folder, QFileDevice::Permissions p) {
        return [folder, p](const QString &path) {
            const QString target = folder ? QFileInfo(path).absolutePath() : path;
            const auto restore = QFile::permissions(target);
            EXPECT_TRUE(QFile::setPermissions(target, p));
            return Held(new int, [target, restore](int *i) {
                delete i;
                EXPECT_TRUE(QFile::setPermissions(target, restore));
            });
        };
    };
    expectFailures(
        *this, {
                   {"read-only file", rights(false, r), {none, readOnly, none, readOnly, readOnly}, "read-only"},
                   {"read-only folder", rights(true, r | x), {none, readOnly, none, readOnly, readOnly}, "read-only"},
                   {"unreadable file", rights(false, w), all(cannot), "permission denied"},
                   {"folder that cannot be entered", rights(true, r | w), all(cannot), "permission denied"},
               });
}

} // namespace
