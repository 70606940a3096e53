// The snippet database on real files: the matching rules, the SQL walks against a row-by-row
// walk, text kept whole, the walk in table order, and every failure the user can meet.

#include "database.h"
#include "libraryinit.h"
#include "storetesting.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

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

namespace {

const QString kQuery = QString::fromLatin1(store::DbRecordset::kQueryText);

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

// Rows with their place in the table spelled into description and code.
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

// Replaces every row of TABLE1, past the store.
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

// A library with rows big enough that each fills a page of its own; row 1 is "second".
std::vector<Row> fillLibrary(const QString &path, int count)
{
    std::vector<Row> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({i == 1 ? QStringLiteral("second") : QStringLiteral("row %1").arg(i),
                        QStringLiteral("desc %1").arg(i), QStringLiteral("code %1 ").arg(i).repeated(300)});
    setRows(path, rows);
    return rows;
}

// The file's bytes, or empty when there is no file.
QByteArray digest(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

// --- The window's operations, as it does them ----------------------------------------------

struct Opened {
    store::DbConnection conn;
    store::DbRecordset rs;
    store::StoreError error;
    explicit Opened(const QString &path)
    {
        if (!conn.Open(path))
            error = conn.lastError();
        else if (!rs.Open(kQuery, &conn))
            error = rs.lastError();
    }
};

// Adding: the heading tested, the row added unless the heading is taken.
store::StoreError addSnippet(const QString &path, const Row &row)
{
    Opened o(path);
    if (o.error)
        return o.error;
    if (!o.rs.FindTaken(row.name.toString()) && !o.rs.lastError()) {
        o.rs.AddNew();
        o.rs.Collect(store::kCodeName, row.name);
        o.rs.Collect(store::kCodeDesc, row.desc);
        o.rs.Collect(store::kCode, row.code);
        o.rs.Update();
    }
    return o.rs.lastError();
}

// A walk that watches Eof only, bounded so that one that never ends fails: the headings after
// the count (the heading list), or every column of every row.
store::StoreError walk(const QString &path, bool wholeRows, std::vector<Row> *out = nullptr)
{
    Opened o(path);
    if (o.error)
        return o.error;
    if (!wholeRows && o.rs.RecordCount() < 0)
        return o.rs.lastError();
    std::vector<Row> rows;
    for (o.rs.MoveFirst(); !o.rs.Eof(); o.rs.MoveNext()) {
        if (rows.size() > 5000) {
            ADD_FAILURE() << "the walk does not end";
            break;
        }
        rows.push_back({o.rs.Fields(store::kCodeName), wholeRows ? o.rs.Fields(store::kCodeDesc) : QVariant(),
                        wholeRows ? o.rs.Fields(store::kCode) : QVariant()});
    }
    if (out)
        *out = rows;
    return o.rs.lastError();
}

store::StoreError showSnippet(const QString &path, const QString &picked, Row *out = nullptr)
{
    Opened o(path);
    if (o.error || !o.rs.FindPicked(picked))
        return o.error ? o.error : o.rs.lastError();
    const Row r{o.rs.Fields(store::kCodeName), o.rs.Fields(store::kCodeDesc), o.rs.Fields(store::kCode)};
    if (out)
        *out = r;
    return o.rs.lastError();
}

// A failure of the kind expected, in words that name the file.
void expectFailure(const store::StoreError &e, Failure kind, const QString &path, const QString &words)
{
    EXPECT_EQ(e.kind, kind) << e.message.toStdString();
    if (kind != Failure::None) {
        EXPECT_TRUE(e.message.contains(QDir::toNativeSeparators(path)) && e.message.contains(words, Qt::CaseInsensitive))
            << e.message.toStdString();
    }
}

// Whatever a failure case holds on to (a lock, taken rights) until it is dropped.
using Held = std::shared_ptr<void>;

struct FailureCase {
    const char *name;
    std::function<Held(const QString &)> arrange;
    // Heading list, adding, reading every row, showing; Other: not run.
    std::array<Failure, 4> expected;
    QString words;
    QString shown = QStringLiteral("second");
};

struct StoreTest : ::testing::Test {
    qbx::test::FreshUserFolders folders;
    QString path;
    const int defaultTimeout = store::DbConnection::busyTimeout();

    void SetUp() override
    {
        ASSERT_TRUE(store::initLibrary(false).ok);
        path = store::databasePath();
    }
    void TearDown() override
    {
        store::DbConnection::setBusyTimeout(defaultTimeout);
        store::DbConnection::setOpenHook({});
        EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty())
            << QSqlDatabase::connectionNames().join(QLatin1Char(' ')).toStdString();
    }

    // Each case on a fresh library of 200 rows: every operation reports its failure in words
    // naming the file, leaves no connection behind, and nothing is created or written.
    void expectFailures(const std::vector<FailureCase> &cases)
    {
        for (const FailureCase &c : cases) {
            SCOPED_TRACE(c.name);
            QDir().mkpath(folders.libraryFolder());
            QFile::remove(path);
            ASSERT_TRUE(store::initLibrary(false).ok);
            fillLibrary(path, 200);
            // The bytes and whether file and folder are there: a case that holds something
            // changes none of it (and may make it unreadable until dropped).
            auto look = [&] {
                return std::tuple{digest(path), QFileInfo::exists(path), QFileInfo::exists(folders.libraryFolder())};
            };
            const auto pristine = look();
            Held held = c.arrange(path);
            ASSERT_FALSE(::testing::Test::HasFatalFailure());
            const auto before = held ? pristine : look();
            const QString bigCode = QStringLiteral("' a long snippet\r\n").repeated(4000);
            const std::function<store::StoreError()> ops[] = {[&] { return walk(path, false); },
                                                              [&] { return addSnippet(path, {"New one", "d", bigCode}); },
                                                              [&] { return walk(path, true); },
                                                              [&] { return showSnippet(path, c.shown); }};
            for (std::size_t i = 0; i < 4; ++i) {
                SCOPED_TRACE((std::array{"heading list", "adding", "reading every row", "showing"}[i]));
                if (c.expected[i] == Failure::Other)
                    continue;
                const QStringList connections = QSqlDatabase::connectionNames();
                expectFailure(ops[i](), c.expected[i], path, c.words);
                EXPECT_EQ(QSqlDatabase::connectionNames(), connections);
            }
            held.reset();
            EXPECT_TRUE(look() == before) << "created or written";
            EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("-journal")));
        }
    }
};

// --- The matching rules ------------------------------------------------------------------

TEST(MatchingRules, OnlySpacesAreTrimmedAndOnlySpacesMakeAnEntryEmpty)
{
    struct Case {
        QString text, trimmed;
        bool empty;
    };
    const Case cases[] = {
        {QString(), QString(), true},
        {QStringLiteral("     "), QStringLiteral(""), true},
        {QStringLiteral("  Open   File  "), QStringLiteral("Open   File"), false},
        {QStringLiteral(" \t\r\n\u00A0 "), QStringLiteral("\t\r\n\u00A0"), false}, // tab, line end, no-break space
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(store::trimSpaces(c.text), c.trimmed);
        EXPECT_EQ(store::isEmptyEntry(c.text), c.empty);
    }
}

TEST(MatchingRules, PickedIsCaseSignificantTakenIsNot)
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
        {"\t\u00A0Open File\r\n", "Open File", false, false},
        {sqlNull, "", false, false},
        {"", "   ", true, true},
        // Upper-cased as Unicode has it: not lower-cased, not folded, not ASCII only.
        {"straße", "STRASSE", false, true},
        {"éclair", "ÉCLAIR", false, true},
        {"eclair", "ÉCLAIR", false, false},
        {"dıv", "div", false, true},
        {"οδος", "ΟΔΟΣ", false, true}, // final sigma
        {"ﬁle", "FILE", false, true},  // ligature
        {"𐐨x", "𐐀X", false, true},    // outside the basic plane
        {"\u212A", "K", false, false}, // Kelvin sign stays itself
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((c.stored.isNull() ? QStringLiteral("<null>") : c.stored.toString()).toStdString() + " / "
                     + c.entered.toStdString());
        EXPECT_EQ(store::headingMatchesPicked(c.stored, c.entered), c.picked);
        EXPECT_EQ(store::headingMatchesTaken(c.stored, c.entered), c.taken);
    }
}

// --- The two walks, done by SQL, against a row-by-row walk ----------------------------------

// Headings made of pieces that fold into one another, so that many collide.
QString randomHeading(std::mt19937 &rng)
{
    static const QStringList pieces = {"a", "A", "b", "ß", "SS", "ss", "é", "É", "ı", "I", "i", "İ",
                                       "ς", "Σ", "ﬁ", "FI", "'", "\"", " ", "\t", "𐐨", "𐐀", "0"};
    std::uniform_int_distribution<int> count(1, 3), piece(0, int(pieces.size()) - 1), pad(0, 3);
    QString h = QString(pad(rng) == 0 ? 2 : 0, QLatin1Char(' '));
    for (int n = count(rng); n > 0; --n)
        h += pieces[piece(rng)];
    return h + QString(pad(rng) == 0 ? 1 : 0, QLatin1Char(' '));
}

TEST_F(StoreTest, SqlWalksAgreeWithARowByRowWalk)
{
    // Hand-picked rows and entries first (LIKE wildcards, quotes that would be SQL, one heading
    // spelled in ASCII and not, null and empty), then many random ones.
    std::vector<QVariant> headings = {"a_c", "abc", "a%", "x' OR '1'='1", "Straße", "STRASSE", QVariant(), ""};
    const QStringList special = {"A%", "X' or '1'='1", "strasse", "straße", QString()};
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> percent(0, 99);
    while (headings.size() < 2000)
        headings.push_back(percent(rng) < 3 ? QVariant() : QVariant(randomHeading(rng)));
    setRows(path, numberedRows(headings));

    Opened o(path);
    store::DbRecordset &rs = o.rs;
    std::vector<QVariant> walked;
    EXPECT_FALSE(rs.FindTaken(QStringLiteral("no such heading")) || rs.FindPicked(QStringLiteral("no such heading")));
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext())
        walked.push_back(rs.Fields(store::kCodeName));
    ASSERT_EQ(walked.size(), headings.size());
    // Picked looks from the first row, Taken from the current one.
    auto firstMatch = [&](bool picked, const QString &entered, std::size_t from) {
        for (std::size_t i = picked ? 0 : from; i < walked.size(); ++i)
            if (picked ? store::headingMatchesPicked(walked[i], entered) : store::headingMatchesTaken(walked[i], entered))
                return int(i);
        return -1;
    };

    int foundPicked = 0, foundTaken = 0, takenOnly = 0;
    for (int n = 0; n < 400; ++n) {
        const QString some = headings[std::uniform_int_distribution<std::size_t>(0, headings.size() - 1)(rng)].toString();
        const QString entered = n < special.size() ? special[n]
                                                   : std::array{randomHeading(rng), some, some.toUpper(),
                                                                " " + some.toLower() + "  "}[percent(rng) % 4];
        const std::size_t from = n % 4 ? 0 : std::uniform_int_distribution<std::size_t>(0, 1000)(rng);
        SCOPED_TRACE("[" + entered.toStdString() + "] from row " + std::to_string(from));
        for (const bool picked : {true, false}) {
            const int want = firstMatch(picked, entered, from);
            ASSERT_TRUE(rs.Open(kQuery, &o.conn));
            for (std::size_t i = 0; i < from; ++i)
                rs.MoveNext();
            const bool found = picked ? rs.FindPicked(entered) : rs.FindTaken(entered);
            ASSERT_EQ(found, want >= 0) << (picked ? "picked" : "taken") << " row " << want;
            EXPECT_FALSE(rs.lastError()) << rs.lastError().message.toStdString();
            EXPECT_EQ(rs.Eof(), !found);
            if (found) {
                EXPECT_EQ(rs.Fields(store::kCode).toString(), QStringLiteral("code #%1").arg(want));
            }
            (picked ? foundPicked : foundTaken) += found;
            takenOnly += !picked && found && firstMatch(true, entered, 0) != want;
        }
    }
    // Worth something only when both walks found rows, and Taken found rows Picked does not.
    EXPECT_GT(foundPicked, 50);
    EXPECT_GT(foundTaken, foundPicked);
    EXPECT_GT(takenOnly, 20);
}

// --- Text kept whole, rows changed in place, the walk ----------------------------------------

TEST_F(StoreTest, TextIsStoredAndReadBackExactly)
{
    const std::vector<Row> rows = {
        {"Lines and spaces", "First line\r\nSecond\tline ", "Sub Main()\r\n\tMsgBox 1\r\n\r\n  End Sub  \r\na\nb\rc\n\r "},
        {"Größe & Maße 𝄞", "Ünïcødé — “curly” ‘quotes’", "' Kommentar: äöü ß € 𝄞\r\nDim s = \"日本語\""},
        {"O'Brien's \"quoted\" heading", "it's \"fine\"", "Print \"He said \"\"Hi\"\"\" ' it's a comment"},
        {"Empty code", "", ""},
        {"Large", "200 KB", QStringLiteral("Line of code ' x\r\n").repeated(10000)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name.toString().toStdString());
        ASSERT_FALSE(addSnippet(path, row));
        Row shown;
        ASSERT_FALSE(showSnippet(path, row.name.toString(), &shown));
        EXPECT_EQ(shown, row);
    }
    EXPECT_EQ(storedRows(path), rows);
}

TEST_F(StoreTest, ChangingAndDeletingTouchTheCurrentRowOnly)
{
    std::vector<Row> rows = numberedRows({"a", "b", "c"});
    setRows(path, rows);
    Opened o(path);
    store::DbRecordset &rs = o.rs;
    ASSERT_TRUE(rs.FindPicked(QStringLiteral("b")));
    rs.Collect(store::kCode, QStringLiteral("new\r\ncode"));
    rs.Collect(store::kCodeDesc, QVariant());
    ASSERT_TRUE(rs.Update()) << rs.lastError().message.toStdString();
    rows[1] = {"b", QVariant(), "new\r\ncode"};
    EXPECT_EQ(storedRows(path), rows);

    rs.MoveFirst();
    rs.MoveNext();
    ASSERT_TRUE(rs.Delete()) << rs.lastError().message.toStdString();
    EXPECT_EQ(rs.Fields(store::kCodeName).toString(), QStringLiteral("c"));
    EXPECT_EQ(rs.RecordCount(), 2);
    rows.erase(rows.begin() + 1);
    EXPECT_EQ(storedRows(path), rows);
}

TEST_F(StoreTest, WalkGoesInTableOrderOverEveryRow)
{
    // Out of alphabetical order, null, empty and duplicate headings, and gaps where another
    // program deleted rows, the first and the last among them; then no rows at all.
    std::vector<Row> rows = numberedRows({"gone", "zeta", QVariant(), "Alpha", "gone", "", "a", "A", "a", "gone"});
    setRows(path, rows);
    ASSERT_EQ(RawConnection(path).run("DELETE FROM TABLE1 WHERE CodeName = 'gone'"), QString());
    std::erase_if(rows, [](const Row &r) { return r.name.toString() == QLatin1String("gone"); });
    for (const bool empty : {false, true}) {
        SCOPED_TRACE(empty ? "empty table" : "rows");
        if (empty) {
            setRows(path, {});
            rows.clear();
        }
        Opened o(path);
        store::DbRecordset &rs = o.rs;
        EXPECT_EQ(rs.Eof(), empty);
        if (!empty) {
            EXPECT_EQ((Row{rs.Fields(store::kCodeName), rs.Fields(store::kCodeDesc), rs.Fields(store::kCode)}), rows[0]);
        }
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<Row> walked;
            for (rs.MoveFirst(); !rs.Eof() && walked.size() <= rows.size(); rs.MoveNext())
                walked.push_back({rs.Fields(store::kCodeName), rs.Fields(store::kCodeDesc), rs.Fields(store::kCode)});
            EXPECT_EQ(walked, rows) << "pass " << pass;
            EXPECT_EQ(rs.RecordCount(), int(rows.size()));
            rs.MoveNext();
            EXPECT_TRUE(rs.Eof());
        }
        EXPECT_FALSE(rs.lastError()) << rs.lastError().message.toStdString();
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
    std::vector<Row> headings;
    ASSERT_FALSE(walk(path, false, &headings));
    EXPECT_EQ(headings, (std::vector<Row>{{"five", {}, {}}, {"Seven", {}, {}}, {"ten", {}, {}}}));
    Row shown;
    ASSERT_FALSE(showSnippet(path, QStringLiteral("Seven"), &shown));
    EXPECT_EQ(shown, (Row{"Seven", "d7", "code 7"}));
    ASSERT_FALSE(addSnippet(path, {"SEVEN", "taken", "taken"}));
    ASSERT_FALSE(addSnippet(path, {"eleven", "d11", "code 11"}));
    RawConnection raw(path);
    EXPECT_EQ(raw.value("SELECT group_concat(id) FROM (SELECT id FROM TABLE1 ORDER BY id)").toString(),
              QStringLiteral("5,7,10,11"));
    EXPECT_EQ(raw.value("SELECT codename || CODEDESC || CODE FROM TABLE1 WHERE id = 11").toString(),
              QStringLiteral("elevend11code 11"));
    EXPECT_TRUE(raw.value("SELECT extra FROM TABLE1 WHERE id = 11").isNull());
}

// --- Failures ---------------------------------------------------------------------------------

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

// Another program holding the file exclusively until its input ends.
Held otherProgram(const QString &path)
{
    std::shared_ptr<QProcess> helper(new QProcess, [](QProcess *p) {
        p->closeWriteChannel();
        EXPECT_TRUE(p->waitForFinished(10000) && p->exitCode() == 0) << p->readAllStandardError().toStdString();
        delete p;
    });
    helper->start(qbx::test::binDir() + QStringLiteral("/store_helper"), {QStringLiteral("lock"), path});
    QByteArray said;
    while (!said.contains("held") && helper->waitForReadyRead(10000))
        said += helper->readAllStandardOutput();
    EXPECT_TRUE(said.contains("held")) << said.toStdString() << helper->readAllStandardError().toStdString();
    return helper;
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
    auto all = [](Failure f) { return std::array{f, f, f, f}; };
    expectFailures({
        {"missing file", [](const QString &p) { EXPECT_TRUE(QFile::remove(p)); return Held(); },
         all(Failure::MissingFile), "run the command: quillbox init"},
        {"missing folder",
         [](const QString &p) { EXPECT_TRUE(QDir(QFileInfo(p).absolutePath()).removeRecursively()); return Held(); },
         all(Failure::MissingFile), "quillbox init"},
        {"a text file",
         [](const QString &p) {
             QFile f(p);
             EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
             f.write(QByteArray("Sub Main()\r\nEnd Sub\r\n").repeated(400));
             return Held();
         },
         all(Failure::NotADatabase), "not an SQLite database"},
        {"an empty file", [](const QString &p) { EXPECT_TRUE(QFile::resize(p, 0)); return Held(); },
         all(Failure::MissingTable), "no table TABLE1"},
        {"TABLE1 without the column code",
         [](const QString &p) { EXPECT_EQ(RawConnection(p).run("ALTER TABLE TABLE1 DROP COLUMN code"), ""); return Held(); },
         all(Failure::MissingColumn), "no column code"},
        {"damaged list of tables", [](const QString &p) { scribble(p, {}, 1, 8); return Held(); }, all(Failure::Damaged),
         "is damaged"},
        {"damaged index of the headings",
         [](const QString &p) {
             scribble(p, {}, RawConnection(p).value("SELECT rootpage FROM sqlite_schema WHERE name = 'TABLE1_CodeName'").toInt(), 12);
             return Held();
         },
         all(Failure::Damaged), "is damaged"},
        // The headings' index is whole: the list is still read, the row's own text is not.
        {"damaged page of rows in the middle of the file", [](const QString &p) { scribble(p, "desc 100"); return Held(); },
         {Failure::None, Failure::Other, Failure::Damaged, Failure::Damaged}, "is damaged", "row 100"},
        {"another connection writing", [](const QString &p) { return transaction(p, {"BEGIN EXCLUSIVE"}); },
         all(locked), "in use by another program"},
        {"another connection about to write", [](const QString &p) { return transaction(p, {"BEGIN IMMEDIATE"}); },
         {none, locked, none, none}, "in use by another program"},
        // The write gets in, but its COMMIT cannot: it is rolled back.
        {"another connection reading",
         [](const QString &p) { return transaction(p, {"BEGIN", "SELECT count(*) FROM TABLE1"}); },
         {none, locked, none, none}, "in use by another program"},
        {"another program writing", otherProgram, all(locked), "in use by another program"},
        {"disk full: the file may grow by one page only",
         [](const QString &) {
             store::DbConnection::setOpenHook([](QSqlDatabase &db) {
                 QSqlQuery q(db);
                 ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA page_count")) && q.next());
                 ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(q.value(0).toInt() + 1)));
             });
             return Held(new int, [](int *i) { delete i; store::DbConnection::setOpenHook({}); });
         },
         {none, Failure::DiskFull, none, none}, "Nothing was stored"},
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
    expectFailures({
        {"read-only file", rights(false, r), {none, readOnly, none, none}, "read-only"},
        {"read-only folder", rights(true, r | x), {none, readOnly, none, none}, "read-only"},
        {"unreadable file", rights(false, w), {cannot, cannot, cannot, cannot}, "permission denied"},
        {"folder that cannot be entered", rights(true, r | w), {cannot, cannot, cannot, cannot}, "permission denied"},
    });
}

TEST_F(StoreTest, RowDeletedByAnotherProgramIsReportedAndNothingWritten)
{
    const std::vector<Row> rows = numberedRows({"first", "second", "third"});
    setRows(path, rows);
    Opened reading(path), changing(path), deleting(path);
    for (Opened *o : {&reading, &changing, &deleting})
        ASSERT_TRUE(o->rs.FindPicked(QStringLiteral("second")));
    ASSERT_EQ(RawConnection(path).run("DELETE FROM TABLE1 WHERE CodeName = 'second'"), QString());
    EXPECT_TRUE(reading.rs.Fields(store::kCode).isNull());
    changing.rs.Collect(store::kCode, QStringLiteral("changed"));
    EXPECT_FALSE(changing.rs.Update());
    EXPECT_FALSE(deleting.rs.Delete());
    for (Opened *o : {&reading, &changing, &deleting})
        expectFailure(o->rs.lastError(), Failure::Vanished, path, QStringLiteral("no longer in the library"));
    EXPECT_EQ(storedRows(path), (std::vector<Row>{rows[0], rows[2]}));
}

} // namespace
