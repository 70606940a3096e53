// The snippet database on real files: the matching rules, the two walks done by SQL (checked
// against a plain row-by-row walk), text stored and read back whole, the recordset's walk in
// table order, and every failure the user can meet, each reported in words that name the
// file, with no connection left behind and nothing lost or half-written.

#include "database.h"
#include "libraryfolder.h"
#include "libraryinit.h"
#include "storetesting.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <vector>

using namespace quillbox;
using qbx::test::RawConnection;
using store::Failure;

namespace quillbox::store {
inline void PrintTo(Failure kind, std::ostream *out)
{
    static const char *const names[] = {"None",         "MissingFile",   "CannotOpen", "NotADatabase",
                                        "Damaged",      "MissingTable",  "MissingColumn", "Locked",
                                        "ReadOnly",     "DiskFull",      "Vanished",   "Other"};
    *out << names[int(kind)];
}
} // namespace quillbox::store

namespace {

const QString kQuery = QString::fromLatin1(store::DbRecordset::kQueryText);

// One row of TABLE1; a null QVariant stands for SQL NULL.
struct Row {
    QVariant name, desc, code;
};

bool sameCell(const QVariant &a, const QVariant &b)
{
    return a.isNull() == b.isNull() && a.toString() == b.toString();
}

bool operator==(const Row &a, const Row &b)
{
    return sameCell(a.name, b.name) && sameCell(a.desc, b.desc) && sameCell(a.code, b.code);
}

void PrintTo(const Row &row, std::ostream *out)
{
    auto cell = [](const QVariant &v) {
        return v.isNull() ? std::string("NULL") : '"' + v.toString().left(60).toStdString() + '"';
    };
    *out << '{' << cell(row.name) << ", " << cell(row.desc) << ", " << cell(row.code) << '}';
}

// A row with its place in the table spelled into its description and code.
Row numbered(const QVariant &name, int i)
{
    return {name, QStringLiteral("desc #%1").arg(i), QStringLiteral("code #%1").arg(i)};
}

std::vector<Row> numberedRows(const std::vector<QVariant> &names)
{
    std::vector<Row> rows;
    for (std::size_t i = 0; i < names.size(); ++i)
        rows.push_back(numbered(names[i], int(i)));
    return rows;
}

// What is really in the file, in table order, read past the store.
std::vector<Row> storedRows(const QString &path)
{
    std::vector<Row> rows;
    RawConnection raw(path);
    QSqlQuery q(raw.database());
    q.setForwardOnly(true);
    EXPECT_TRUE(q.exec(QStringLiteral("SELECT CodeName, CodeDesc, code FROM TABLE1 ORDER BY rowid")))
        << q.lastError().text().toStdString();
    while (q.next())
        rows.push_back({q.value(0), q.value(1), q.value(2)});
    return rows;
}

void insertRows(const QString &path, const std::vector<Row> &rows)
{
    RawConnection raw(path);
    ASSERT_TRUE(raw.isOpen());
    ASSERT_EQ(raw.run(QStringLiteral("BEGIN")), QString());
    for (const Row &r : rows)
        ASSERT_EQ(raw.run(QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, ?)"),
                          {r.name, r.desc, r.code}),
                  QString());
    ASSERT_EQ(raw.run(QStringLiteral("COMMIT")), QString());
}

QString integrity(const QString &path)
{
    RawConnection raw(path);
    return raw.value(QStringLiteral("PRAGMA integrity_check")).toString();
}

// The file's bytes, or empty when there is no file.
QByteArray digest(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// --- The window's operations, step by step as it does them ------------------------------

// Adding a snippet: open, test the heading, add the row, close. *taken tells whether the
// heading was found taken (and nothing added).
store::StoreError addSnippet(const QString &path, const QString &heading, const QString &desc, const QString &code,
                             bool *taken = nullptr)
{
    store::DbConnection conn;
    if (!conn.Open(path))
        return conn.lastError();
    store::DbRecordset rs;
    if (!rs.Open(kQuery, &conn))
        return rs.lastError();
    const bool isTaken = rs.FindTaken(heading);
    if (rs.lastError())
        return rs.lastError();
    if (taken)
        *taken = isTaken;
    if (!isTaken) {
        rs.AddNew();
        rs.Collect(store::kCodeName, store::trimSpaces(heading));
        rs.Collect(store::kCodeDesc, store::trimSpaces(desc));
        rs.Collect(store::kCode, code);
        if (!rs.Update())
            return rs.lastError();
    }
    rs.Close();
    conn.Close();
    return {};
}

// The heading list: open, count, walk reading the headings, close. The walk is the plain
// loop a caller writes, bounded so that a walk that never ends fails instead of hanging.
store::StoreError listHeadings(const QString &path, QStringList *out = nullptr)
{
    store::DbConnection conn;
    if (!conn.Open(path))
        return conn.lastError();
    store::DbRecordset rs;
    if (!rs.Open(kQuery, &conn))
        return rs.lastError();
    const int count = rs.RecordCount();
    if (count < 0)
        return rs.lastError();
    QStringList list;
    rs.MoveFirst();
    while (!rs.Eof()) {
        if (list.size() > count) {
            ADD_FAILURE() << "the walk does not end";
            break;
        }
        list << rs.Fields(store::kCodeName).toString();
        rs.MoveNext();
    }
    if (rs.lastError())
        return rs.lastError();
    rs.Close();
    conn.Close();
    if (out)
        *out = list;
    return {};
}

// Every row whole, read through the recordset.
store::StoreError readEverything(const QString &path, std::vector<Row> *out = nullptr)
{
    store::DbConnection conn;
    if (!conn.Open(path))
        return conn.lastError();
    store::DbRecordset rs;
    if (!rs.Open(kQuery, &conn))
        return rs.lastError();
    std::vector<Row> rows;
    for (rs.MoveFirst(); !rs.Eof() && !rs.lastError(); rs.MoveNext()) {
        Row r;
        r.name = rs.Fields(store::kCodeName);
        r.desc = rs.Fields(store::kCodeDesc);
        r.code = rs.Fields(store::kCode);
        if (rs.lastError())
            return rs.lastError();
        rows.push_back(r);
    }
    if (rs.lastError())
        return rs.lastError();
    if (out)
        *out = rows;
    return {};
}

// Showing a picked snippet: its description and code.
store::StoreError showSnippet(const QString &path, const QString &picked, Row *out = nullptr)
{
    store::DbConnection conn;
    if (!conn.Open(path))
        return conn.lastError();
    store::DbRecordset rs;
    if (!rs.Open(kQuery, &conn))
        return rs.lastError();
    if (!rs.FindPicked(picked))
        return rs.lastError();
    Row r{rs.Fields(store::kCodeName), rs.Fields(store::kCodeDesc), rs.Fields(store::kCode)};
    if (rs.lastError())
        return rs.lastError();
    if (out)
        *out = r;
    return {};
}

struct StoreTest : ::testing::Test {
    qbx::test::FreshUserFolders folders;
    QString path;
    int defaultTimeout = store::DbConnection::busyTimeout();

    void SetUp() override
    {
        const auto made = store::initLibrary(false);
        ASSERT_TRUE(made.ok) << made.error.toStdString();
        path = store::databasePath();
    }
    void TearDown() override
    {
        store::DbConnection::setBusyTimeout(defaultTimeout);
        store::DbConnection::setOpenHook({});
        EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty())
            << QSqlDatabase::connectionNames().join(QLatin1Char(' ')).toStdString();
    }
};

// Runs the window's operations on the file and checks what each reports: the kind, the
// file's name in the message, the words that tell the user what to do, and that the
// operation left no connection behind. Failure::Other stands for "not run in this case".
void expectOperations(const QString &path, Failure list, Failure add, Failure read, Failure show,
                      const QString &words, const QString &showHeading = QStringLiteral("second"))
{
    const std::vector<std::pair<const char *, std::pair<Failure, std::function<store::StoreError()>>>> ops = {
        {"heading list", {list, [&] { return listHeadings(path); }}},
        {"adding", {add, [&] { return addSnippet(path, QStringLiteral("New one"), QStringLiteral("d"), QStringLiteral("c")); }}},
        {"reading every row", {read, [&] { return readEverything(path); }}},
        {"showing a snippet", {show, [&] { return showSnippet(path, showHeading); }}},
    };
    for (const auto &[name, op] : ops) {
        SCOPED_TRACE(name);
        if (op.first == Failure::Other)
            continue; // not asked for this case
        const QStringList before = QSqlDatabase::connectionNames();
        const store::StoreError e = op.second();
        EXPECT_EQ(e.kind, op.first) << e.message.toStdString();
        EXPECT_EQ(QSqlDatabase::connectionNames(), before);
        if (op.first == Failure::None)
            continue;
        EXPECT_TRUE(e.message.contains(QDir::toNativeSeparators(path))) << e.message.toStdString();
        EXPECT_TRUE(e.message.contains(words, Qt::CaseInsensitive)) << e.message.toStdString();
    }
}

// The b-tree page of a table or index, as SQLite lays it out in the file.
struct Page {
    int number = 0;
    QByteArray bytes;
    int type() const { return bytes.isEmpty() ? -1 : quint8(bytes[number == 1 ? 100 : 0]); }
};

int pageSize(const QString &path)
{
    RawConnection raw(path);
    return raw.value(QStringLiteral("PRAGMA page_size")).toInt();
}

Page readPage(const QString &path, int number)
{
    const int size = pageSize(path);
    QFile f(path);
    Page p;
    p.number = number;
    if (f.open(QIODevice::ReadOnly) && f.seek(qint64(number - 1) * size))
        p.bytes = f.read(size);
    return p;
}

quint32 bigEndian(const QByteArray &b, int at, int width)
{
    quint32 v = 0;
    for (int i = 0; i < width; ++i)
        v = (v << 8) | quint8(b[at + i]);
    return v;
}

// The pages an interior table page points to, left to right.
std::vector<int> childPages(const Page &interior)
{
    std::vector<int> children;
    const int cells = int(bigEndian(interior.bytes, 3, 2));
    for (int i = 0; i < cells; ++i)
        children.push_back(int(bigEndian(interior.bytes, int(bigEndian(interior.bytes, 12 + 2 * i, 2)), 4)));
    children.push_back(int(bigEndian(interior.bytes, 8, 4)));
    return children;
}

quint64 varint(const QByteArray &b, int *at)
{
    quint64 v = 0;
    for (int i = 0; i < 9; ++i) {
        const quint8 byte = quint8(b[(*at)++]);
        if (i == 8)
            return (v << 8) | byte;
        v = (v << 7) | (byte & 0x7f);
        if (!(byte & 0x80))
            break;
    }
    return v;
}

// The row numbers on a leaf page of a table.
std::vector<qint64> leafRowids(const Page &leaf)
{
    std::vector<qint64> rowids;
    if (leaf.type() != 0x0D)
        return rowids;
    const int cells = int(bigEndian(leaf.bytes, 3, 2));
    for (int i = 0; i < cells; ++i) {
        int at = int(bigEndian(leaf.bytes, 8 + 2 * i, 2));
        varint(leaf.bytes, &at); // the payload's size
        rowids.push_back(qint64(varint(leaf.bytes, &at)));
    }
    return rowids;
}

// Overwrites bytes of the file in place.
void scribble(const QString &path, qint64 offset, int count)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(offset));
    ASSERT_EQ(f.write(QByteArray(count, char(0xA5))), count);
}

// --- The matching rules ------------------------------------------------------------------

TEST(MatchingRules, OnlySpacesAreTrimmedAndOnlySpacesMakeAnEntryEmpty)
{
    struct Case {
        QString text, trimmed;
        bool empty;
    };
    const Case cases[] = {
        {QString(), QString(), true},
        {QStringLiteral(""), QStringLiteral(""), true},
        {QStringLiteral("     "), QStringLiteral(""), true},
        {QStringLiteral("  Open File  "), QStringLiteral("Open File"), false},
        {QStringLiteral("Open   File"), QStringLiteral("Open   File"), false},
        {QStringLiteral("\t"), QStringLiteral("\t"), false},
        {QStringLiteral(" \tTab\t "), QStringLiteral("\tTab\t"), false},
        {QStringLiteral(" \r\n "), QStringLiteral("\r\n"), false},
        {QStringLiteral("\n"), QStringLiteral("\n"), false},
        {QStringLiteral(" \u00A0 "), QStringLiteral("\u00A0"), false}, // no-break space
        {QStringLiteral("\u3000"), QStringLiteral("\u3000"), false},   // ideographic space
        {QStringLiteral(" x "), QStringLiteral("x"), false},
        {QStringLiteral(" ' \" "), QStringLiteral("' \""), false},
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
        {QStringLiteral("Open File"), QStringLiteral("Open File"), true, true},
        {QStringLiteral("  Open File   "), QStringLiteral("Open File"), true, true},
        {QStringLiteral("Open File"), QStringLiteral("   Open File "), true, true},
        {QStringLiteral("open file"), QStringLiteral("Open File"), false, true},
        {QStringLiteral("OPEN FILE"), QStringLiteral("open file"), false, true},
        {QStringLiteral("Open  File"), QStringLiteral("Open File"), false, false},
        {QStringLiteral("\tOpen File"), QStringLiteral("Open File"), false, false},
        {QStringLiteral("Open File\r\n"), QStringLiteral("Open File"), false, false},
        {QStringLiteral("Open File\r\n"), QStringLiteral("Open File\r\n "), true, true},
        {QStringLiteral("\u00A0Open File"), QStringLiteral("Open File"), false, false},
        // A null heading matches nothing, not even an empty entry; an empty one does.
        {sqlNull, QStringLiteral(""), false, false},
        {sqlNull, QStringLiteral("   "), false, false},
        {QVariant(), QStringLiteral(""), false, false},
        {QStringLiteral(""), QStringLiteral("   "), true, true},
        // Unicode upper-casing: one letter may become two, dotless i becomes I.
        {QStringLiteral("straße"), QStringLiteral("STRASSE"), false, true},
        {QStringLiteral("STRASSE"), QStringLiteral("straße"), false, true},
        {QStringLiteral("Straße"), QStringLiteral("Straße"), true, true},
        {QStringLiteral("éclair"), QStringLiteral("ÉCLAIR"), false, true},
        {QStringLiteral("eclair"), QStringLiteral("ÉCLAIR"), false, false},
        {QStringLiteral("dıv"), QStringLiteral("DIV"), false, true},
        {QStringLiteral("dıv"), QStringLiteral("div"), false, true},
        {QStringLiteral("İstanbul"), QStringLiteral("istanbul"), false, false},
        {QStringLiteral("οδος"), QStringLiteral("ΟΔΟΣ"), false, true},   // final sigma
        {QStringLiteral("ﬁle"), QStringLiteral("FILE"), false, true},    // ligature
        {QStringLiteral("𐐨x"), QStringLiteral("𐐀X"), false, true},      // outside the basic plane
        {QStringLiteral("\u212A"), QStringLiteral("K"), false, false}, // Kelvin sign stays itself
        // Quotes are plain characters.
        {QStringLiteral("Don't Panic"), QStringLiteral("DON'T PANIC"), false, true},
        {QStringLiteral("Don't Panic"), QStringLiteral("Don’t Panic"), false, false},
        {QStringLiteral("Say \"Hi\""), QStringLiteral("say \"hi\""), false, true},
        {QStringLiteral("O'Brien's \"x\""), QStringLiteral("O'Brien's \"x\""), true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((c.stored.isNull() ? QStringLiteral("<null>") : c.stored.toString()).toStdString() + " / "
                     + c.entered.toStdString());
        EXPECT_EQ(store::headingMatchesPicked(c.stored, c.entered), c.picked);
        EXPECT_EQ(store::headingMatchesTaken(c.stored, c.entered), c.taken);
    }
}

// --- The two walks, done by SQL, on files -------------------------------------------------

TEST_F(StoreTest, FindPickedAndFindTakenStopOnTheFirstMatchingRowInTableOrder)
{
    const QVariant null;
    struct Case {
        const char *name;
        std::vector<QVariant> headings;
        QString entered;
        int picked, taken; // the row found, -1 for none
    };
    const std::vector<Case> cases = {
        {"empty table", {}, QStringLiteral("a"), -1, -1},
        {"duplicates: the first in table order", {"b", "a", "b", "a"}, QStringLiteral("a"), 1, 1},
        {"order of insertion, not of the alphabet", {"zz", "m", "AA", "aa"}, QStringLiteral("aa"), 3, 2},
        {"differs in case only", {"Open File"}, QStringLiteral("open file"), -1, 0},
        {"a case variant comes first", {"OPEN FILE", "Open File"}, QStringLiteral("Open File"), 1, 0},
        {"table order, not the order of the index", {"open file", "OPEN FILE"}, QStringLiteral("Open File"), -1, 0},
        {"spaces around the stored heading", {"   Open File  "}, QStringLiteral("Open File"), 0, 0},
        {"spaces around the entered heading", {"Open File"}, QStringLiteral("  Open File   "), 0, 0},
        {"inner spaces count", {"Open  File"}, QStringLiteral("Open File"), -1, -1},
        {"a tab is not a space", {"\tOpen File", "Open File\t"}, QStringLiteral("Open File"), -1, -1},
        {"null headings never match", {null, "", null, "x"}, QStringLiteral("x"), 3, 3},
        {"non-ASCII row before an ASCII one", {"alpha", "Straße", "beta", "STRASSE"}, QStringLiteral("strasse"), -1, 1},
        {"ASCII row before a non-ASCII one", {"STRASSE", "Straße"}, QStringLiteral("straße"), -1, 0},
        {"non-ASCII picked exactly", {"STRASSE", "Straße"}, QStringLiteral("Straße"), 1, 0},
        {"accents", {"eclair", "éclair", "ÉCLAIR"}, QStringLiteral("Éclair"), -1, 1},
        {"dotless i", {"x", "dıv"}, QStringLiteral("DIV"), -1, 1},
        {"dotless i entered", {"div"}, QStringLiteral("dıv"), -1, 0},
        {"ligature entered", {"FILE"}, QStringLiteral("ﬁle"), -1, 0},
        {"outside the basic plane", {"𐐀x", "𐐨x"}, QStringLiteral("𐐨X"), -1, 0},
        {"apostrophe", {"it's", "IT'S"}, QStringLiteral("IT'S"), 1, 0},
        {"double quotes", {"say \"hi\""}, QStringLiteral("say \"hi\""), 0, 0},
        {"quotes are not SQL", {"a"}, QStringLiteral("x' OR '1'='1"), -1, -1},
        {"no wildcards", {"a_c", "abc"}, QStringLiteral("a%"), -1, -1},
        {"no wildcards either way", {"a%"}, QStringLiteral("A%"), -1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RawConnection(path).run(QStringLiteral("DELETE FROM TABLE1"));
        const std::vector<Row> rows = numberedRows(c.headings);
        insertRows(path, rows);

        store::DbConnection conn;
        ASSERT_TRUE(conn.Open(path));
        store::DbRecordset rs;
        for (const bool picked : {true, false}) {
            SCOPED_TRACE(picked ? "picked" : "taken");
            ASSERT_TRUE(rs.Open(kQuery, &conn));
            const int want = picked ? c.picked : c.taken;
            EXPECT_EQ(picked ? rs.FindPicked(c.entered) : rs.FindTaken(c.entered), want >= 0);
            EXPECT_FALSE(rs.lastError()) << rs.lastError().message.toStdString();
            EXPECT_EQ(rs.Eof(), want < 0);
            if (want >= 0) {
                // The cursor stands on the row found.
                EXPECT_EQ(rs.Fields(store::kCode).toString(), rows[std::size_t(want)].code.toString());
                EXPECT_EQ(rs.Fields(store::kCodeName).toString(), rows[std::size_t(want)].name.toString());
            }
            rs.Close();
        }
    }
}

TEST_F(StoreTest, FindTakenLooksFromTheCurrentRowOn)
{
    insertRows(path, numberedRows({"a", "b", "A", "c"}));
    store::DbConnection conn;
    ASSERT_TRUE(conn.Open(path));
    store::DbRecordset rs;
    ASSERT_TRUE(rs.Open(kQuery, &conn));
    rs.MoveFirst();
    rs.MoveNext(); // on "b"
    ASSERT_TRUE(rs.FindTaken(QStringLiteral("a")));
    EXPECT_EQ(rs.Fields(store::kCode).toString(), QStringLiteral("code #2"));
    rs.MoveNext(); // on "c", past every "a"
    EXPECT_FALSE(rs.FindTaken(QStringLiteral("a")));
    EXPECT_TRUE(rs.Eof());
    // Picked always looks from the first row.
    ASSERT_TRUE(rs.FindPicked(QStringLiteral("a")));
    EXPECT_EQ(rs.Fields(store::kCode).toString(), QStringLiteral("code #0"));
}

// The text with spaces, tabs and line ends made visible, for failure messages.
std::string visible(const QString &text)
{
    QString out = QStringLiteral("[");
    for (const QChar c : text)
        out += c == QLatin1Char(' ') ? QStringLiteral("·") : c == QLatin1Char('\t') ? QStringLiteral("\\t") : QString(c);
    return (out + QLatin1Char(']')).toStdString();
}

// Headings made of pieces that fold into one another, so that many collide.
QString randomHeading(std::mt19937 &rng)
{
    static const QStringList pieces = {
        QStringLiteral("a"), QStringLiteral("A"), QStringLiteral("b"),  QStringLiteral("ß"),  QStringLiteral("SS"),
        QStringLiteral("ss"), QStringLiteral("é"), QStringLiteral("É"), QStringLiteral("ı"),  QStringLiteral("I"),
        QStringLiteral("i"), QStringLiteral("İ"), QStringLiteral("ς"),  QStringLiteral("Σ"),  QStringLiteral("ﬁ"),
        QStringLiteral("FI"), QStringLiteral("'"), QStringLiteral("\""), QStringLiteral(" "), QStringLiteral("\t"),
        QStringLiteral("𐐨"), QStringLiteral("𐐀"), QStringLiteral("0"),
    };
    std::uniform_int_distribution<int> count(1, 3), piece(0, int(pieces.size()) - 1), pad(0, 3);
    QString h = QString(pad(rng) == 0 ? 2 : 0, QLatin1Char(' '));
    for (int n = count(rng); n > 0; --n)
        h += pieces[piece(rng)];
    return h + QString(pad(rng) == 0 ? 1 : 0, QLatin1Char(' '));
}

TEST_F(StoreTest, SqlWalksAgreeWithARowByRowWalkOverManyRandomHeadings)
{
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<QVariant> headings;
    for (int i = 0; i < 2000; ++i)
        headings.push_back(percent(rng) < 3 ? QVariant() : QVariant(randomHeading(rng)));
    insertRows(path, numberedRows(headings));

    store::DbConnection conn;
    ASSERT_TRUE(conn.Open(path));
    store::DbRecordset rs;

    // The plain walk over every row.
    std::vector<QVariant> walked;
    ASSERT_TRUE(rs.Open(kQuery, &conn));
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext())
        walked.push_back(rs.Fields(store::kCodeName));
    ASSERT_EQ(walked.size(), headings.size());
    auto firstMatch = [&](bool picked, const QString &entered) {
        for (std::size_t i = 0; i < walked.size(); ++i)
            if (picked ? store::headingMatchesPicked(walked[i], entered) : store::headingMatchesTaken(walked[i], entered))
                return int(i);
        return -1;
    };

    int foundPicked = 0, foundTaken = 0, takenOnly = 0;
    for (int n = 0; n < 400; ++n) {
        QString entered;
        const QVariant &some = headings[std::uniform_int_distribution<std::size_t>(0, headings.size() - 1)(rng)];
        switch (percent(rng) % 4) {
        case 0: entered = randomHeading(rng); break;
        case 1: entered = some.toString(); break;
        case 2: entered = some.toString().toUpper(); break;
        default: entered = QStringLiteral(" ") + some.toString().toLower() + QStringLiteral("  "); break;
        }
        SCOPED_TRACE(visible(entered));
        for (const bool picked : {true, false}) {
            const int want = firstMatch(picked, entered);
            ASSERT_TRUE(rs.Open(kQuery, &conn));
            const bool found = picked ? rs.FindPicked(entered) : rs.FindTaken(entered);
            ASSERT_EQ(found, want >= 0) << (picked ? "picked" : "taken") << " row " << want << " "
                                        << visible(want >= 0 ? walked[std::size_t(want)].toString() : QString());
            if (found) {
                EXPECT_EQ(rs.Fields(store::kCode).toString(), QStringLiteral("code #%1").arg(want))
                    << (picked ? "picked" : "taken");
            }
            (picked ? foundPicked : foundTaken) += found;
            if (!picked && found && firstMatch(true, entered) != want)
                ++takenOnly;
        }
    }
    // The table is only worth something when both walks found rows, and Taken found rows
    // that Picked does not.
    EXPECT_GT(foundPicked, 50);
    EXPECT_GT(foundTaken, foundPicked);
    EXPECT_GT(takenOnly, 20);
}

TEST_F(StoreTest, FirstSnippetGoesIntoAnEmptyTableAndATakenHeadingAddsNothing)
{
    bool taken = true;
    ASSERT_FALSE(addSnippet(path, QStringLiteral("  First  "), QStringLiteral(" its words "), QStringLiteral(" code "), &taken));
    EXPECT_FALSE(taken);
    ASSERT_FALSE(addSnippet(path, QStringLiteral("FIRST"), QStringLiteral("other"), QStringLiteral("other"), &taken));
    EXPECT_TRUE(taken);
    ASSERT_FALSE(addSnippet(path, QStringLiteral("Second"), QStringLiteral(""), QStringLiteral("x"), &taken));
    EXPECT_FALSE(taken);
    const std::vector<Row> want = {{QStringLiteral("First"), QStringLiteral("its words"), QStringLiteral(" code ")},
                                   {QStringLiteral("Second"), QStringLiteral(""), QStringLiteral("x")}};
    EXPECT_EQ(storedRows(path), want);
}

// --- Text kept whole -----------------------------------------------------------------------

TEST_F(StoreTest, TextIsStoredAndReadBackExactly)
{
    struct Case {
        QString heading, desc, code;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("CR LF lines"), QStringLiteral("First line\r\nSecond line"),
         QStringLiteral("Sub Main()\r\n    MsgBox \"Hi\"\r\nEnd Sub\r\n")},
        {QStringLiteral("Spaces and blank lines"), QStringLiteral("x"),
         QStringLiteral("   \r\n\r\n  Dim x As Integer  \r\n\r\n   ")},
        {QStringLiteral("Lone line ends"), QStringLiteral("a\nb"), QStringLiteral("a\nb\rc\n\r")},
        {QStringLiteral("Größe & Maße"), QStringLiteral("Ünïcødé — “curly” ‘quotes’"),
         QStringLiteral("' Kommentar: äöü ß € 𝄞\r\nDim s = \"日本語\"")},
        {QStringLiteral("O'Brien's \"quoted\" heading"), QStringLiteral("it's \"fine\""),
         QStringLiteral("Print \"He said \"\"Hi\"\"\" ' it's a comment")},
        {QStringLiteral("Tabs"), QStringLiteral("\tindented\t"), QStringLiteral("\tIf x Then\r\n\t\ty = 1\r\n")},
        {QStringLiteral("Empty code"), QStringLiteral("nothing in it"), QStringLiteral("")},
        {QStringLiteral("Large"), QStringLiteral("200 KB"), QStringLiteral("Line of code ' x\r\n").repeated(10000)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.heading.toStdString());
        bool taken = true;
        ASSERT_FALSE(addSnippet(path, c.heading, c.desc, c.code, &taken));
        ASSERT_FALSE(taken);
        Row shown;
        ASSERT_FALSE(showSnippet(path, c.heading, &shown));
        EXPECT_EQ(shown.name.toString(), c.heading);
        EXPECT_EQ(shown.desc.toString(), c.desc);
        EXPECT_EQ(shown.code.toString(), c.code);
        EXPECT_FALSE(shown.code.isNull());
    }
    // And as the file holds it.
    const std::vector<Row> stored = storedRows(path);
    ASSERT_EQ(stored.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(stored[i], (Row{cases[i].heading, cases[i].desc, cases[i].code}));
}

TEST_F(StoreTest, ChangingARowInPlaceTouchesThatRowOnly)
{
    insertRows(path, numberedRows({"a", "b", "c"}));
    {
        store::DbConnection conn;
        ASSERT_TRUE(conn.Open(path));
        store::DbRecordset rs;
        ASSERT_TRUE(rs.Open(kQuery, &conn));
        ASSERT_TRUE(rs.FindPicked(QStringLiteral("b")));
        rs.Collect(store::kCode, QStringLiteral("new\r\ncode"));
        rs.Collect(store::kCodeDesc, QVariant());
        ASSERT_TRUE(rs.Update()) << rs.lastError().message.toStdString();
        EXPECT_EQ(rs.Fields(store::kCode).toString(), QStringLiteral("new\r\ncode"));
    }
    std::vector<Row> want = numberedRows({"a", "b", "c"});
    want[1].code = QStringLiteral("new\r\ncode");
    want[1].desc = QVariant();
    EXPECT_EQ(storedRows(path), want);
}

// --- The walk -------------------------------------------------------------------------------

TEST_F(StoreTest, WalkGoesInTableOrderOverEveryRow)
{
    const QVariant null;
    struct Case {
        const char *name;
        std::vector<QVariant> headings;
        std::vector<int> removed; // rows deleted by another program after they were added
    };
    const std::vector<Case> cases = {
        {"empty table", {}, {}},
        {"one row", {"only"}, {}},
        {"headings out of alphabetical order", {"zeta", "Alpha", "mid", "beta", "Zeta"}, {}},
        {"null and empty headings", {null, "", "x", null}, {}},
        {"duplicates", {"a", "A", "a"}, {}},
        {"gaps where rows were deleted", {"r0", "r1", "r2", "r3", "r4", "r5"}, {0, 2, 5}},
        {"every row deleted", {"r0", "r1"}, {0, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RawConnection(path).run(QStringLiteral("DELETE FROM TABLE1"));
        const std::vector<Row> rows = numberedRows(c.headings);
        insertRows(path, rows);
        std::vector<Row> want;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (std::find(c.removed.begin(), c.removed.end(), int(i)) == c.removed.end())
                want.push_back(rows[i]);
            else
                RawConnection(path).run(QStringLiteral("DELETE FROM TABLE1 WHERE code = ?"), {rows[i].code});
        }

        store::DbConnection conn;
        ASSERT_TRUE(conn.Open(path));
        store::DbRecordset rs;
        ASSERT_TRUE(rs.Open(kQuery, &conn));
        EXPECT_EQ(rs.Eof(), want.empty());
        EXPECT_EQ(rs.RecordCount(), int(want.size()));
        if (!want.empty()) {
            // Open stands on the first row.
            EXPECT_EQ((Row{rs.Fields(store::kCodeName), rs.Fields(store::kCodeDesc), rs.Fields(store::kCode)}), want[0]);
        }
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<Row> walked;
            for (rs.MoveFirst(); !rs.Eof() && walked.size() <= want.size(); rs.MoveNext())
                walked.push_back({rs.Fields(store::kCodeName), rs.Fields(store::kCodeDesc), rs.Fields(store::kCode)});
            EXPECT_EQ(walked, want) << "pass " << pass;
            EXPECT_EQ(rs.RecordCount(), int(want.size()));
            rs.MoveNext();
            EXPECT_TRUE(rs.Eof());
        }
        EXPECT_FALSE(rs.lastError()) << rs.lastError().message.toStdString();
    }
}

TEST_F(StoreTest, DeletingOnTheWalkStandsOnTheNextRow)
{
    insertRows(path, numberedRows({"a", "b", "c"}));
    store::DbConnection conn;
    ASSERT_TRUE(conn.Open(path));
    store::DbRecordset rs;
    ASSERT_TRUE(rs.Open(kQuery, &conn));
    rs.MoveFirst();
    rs.MoveNext();
    ASSERT_TRUE(rs.Delete()) << rs.lastError().message.toStdString();
    EXPECT_EQ(rs.Fields(store::kCodeName).toString(), QStringLiteral("c"));
    EXPECT_EQ(rs.RecordCount(), 2);
    EXPECT_EQ(storedRows(path), (std::vector<Row>{numbered("a", 0), numbered("c", 2)}));
}

TEST_F(StoreTest, TableLaidOutByAnotherProgramIsUsedAsItIs)
{
    // Columns in another order and case, an extra column, row numbers of its own given out of
    // order, and no index.
    QFile::remove(path);
    {
        RawConnection raw(path, true);
        ASSERT_EQ(raw.run(QStringLiteral("CREATE TABLE TABLE1 (id INTEGER PRIMARY KEY, CODE TEXT, extra INTEGER, "
                                         "codename TEXT, CODEDESC TEXT)")),
                  QString());
        for (const auto &[id, name] : std::vector<std::pair<int, QString>>{{10, "ten"}, {5, "five"}, {7, "Seven"}})
            ASSERT_EQ(raw.run(QStringLiteral("INSERT INTO TABLE1 VALUES (?, ?, 1, ?, ?)"),
                              {id, QStringLiteral("code %1").arg(id), name, QStringLiteral("d%1").arg(id)}),
                      QString());
    }
    QStringList headings;
    ASSERT_FALSE(listHeadings(path, &headings));
    EXPECT_EQ(headings, (QStringList{"five", "Seven", "ten"}));
    Row shown;
    ASSERT_FALSE(showSnippet(path, QStringLiteral("Seven"), &shown));
    EXPECT_EQ(shown, (Row{QStringLiteral("Seven"), QStringLiteral("d7"), QStringLiteral("code 7")}));
    bool taken = false;
    ASSERT_FALSE(addSnippet(path, QStringLiteral("SEVEN"), {}, {}, &taken));
    EXPECT_TRUE(taken);
    ASSERT_FALSE(addSnippet(path, QStringLiteral("eleven"), QStringLiteral("d11"), QStringLiteral("code 11"), &taken));
    EXPECT_FALSE(taken);
    RawConnection raw(path);
    EXPECT_EQ(raw.value(QStringLiteral("SELECT id FROM TABLE1 WHERE codename = 'eleven'")).toInt(), 11);
    EXPECT_TRUE(raw.value(QStringLiteral("SELECT extra FROM TABLE1 WHERE id = 11")).isNull());
}

// --- Failures ---------------------------------------------------------------------------------

// A library with rows big enough that each fills a page of its own.
std::vector<Row> fillLibrary(const QString &path, int count)
{
    std::vector<Row> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({QStringLiteral("row %1").arg(i), QStringLiteral("desc %1").arg(i),
                        QStringLiteral("code %1 ").arg(i).repeated(300)});
    rows[1].name = QStringLiteral("second");
    insertRows(path, rows);
    return rows;
}

TEST_F(StoreTest, BrokenFilesAreReportedAndLeftAsTheyWere)
{
    const Failure none = Failure::None, skip = Failure::Other;
    struct Case {
        const char *name;
        std::function<void(const QString &)> arrange;
        Failure list, add, read, show;
        QString words;
        QString showHeading = QStringLiteral("second");
    };
    const std::vector<Case> cases = {
        {"missing file", [](const QString &p) { ASSERT_TRUE(QFile::remove(p)); }, Failure::MissingFile,
         Failure::MissingFile, Failure::MissingFile, Failure::MissingFile, QStringLiteral("run the command: quillbox init")},
        {"missing folder",
         [](const QString &p) { ASSERT_TRUE(QDir(QFileInfo(p).absolutePath()).removeRecursively()); },
         Failure::MissingFile, Failure::MissingFile, Failure::MissingFile, Failure::MissingFile,
         QStringLiteral("quillbox init")},
        {"a text file",
         [](const QString &p) {
             QFile f(p);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
             f.write(QByteArray("Sub Main()\r\nEnd Sub\r\n").repeated(400));
         },
         Failure::NotADatabase, Failure::NotADatabase, Failure::NotADatabase, Failure::NotADatabase,
         QStringLiteral("not an SQLite database")},
        {"an empty file", [](const QString &p) { QFile f(p); ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)); },
         Failure::MissingTable, Failure::MissingTable, Failure::MissingTable, Failure::MissingTable,
         QStringLiteral("no table TABLE1")},
        {"TABLE1 dropped", [](const QString &p) { ASSERT_EQ(RawConnection(p).run("DROP TABLE TABLE1"), QString()); },
         Failure::MissingTable, Failure::MissingTable, Failure::MissingTable, Failure::MissingTable,
         QStringLiteral("no table TABLE1")},
        {"TABLE1 without the column code",
         [](const QString &p) { ASSERT_EQ(RawConnection(p).run("ALTER TABLE TABLE1 DROP COLUMN code"), QString()); },
         Failure::MissingColumn, Failure::MissingColumn, Failure::MissingColumn, Failure::MissingColumn,
         QStringLiteral("no column code")},
        {"TABLE1 without the column CodeName",
         [](const QString &p) {
             RawConnection raw(p);
             ASSERT_EQ(raw.run("DROP INDEX TABLE1_CodeName"), QString());
             ASSERT_EQ(raw.run("ALTER TABLE TABLE1 DROP COLUMN CodeName"), QString());
         },
         Failure::MissingColumn, Failure::MissingColumn, Failure::MissingColumn, Failure::MissingColumn,
         QStringLiteral("no column CodeName")},
        {"damaged list of tables",
         [](const QString &p) { scribble(p, 100, 8); }, // the header of the first page's b-tree
         Failure::Damaged, Failure::Damaged, Failure::Damaged, Failure::Damaged, QStringLiteral("is damaged")},
        {"damaged index of the headings",
         [](const QString &p) {
             const int root = RawConnection(p).value("SELECT rootpage FROM sqlite_schema WHERE name = 'TABLE1_CodeName'").toInt();
             ASSERT_EQ(readPage(p, root).type(), 0x0A) << "the index is one page";
             scribble(p, qint64(root - 1) * pageSize(p), 12);
         },
         Failure::Damaged, Failure::Damaged, Failure::Damaged, Failure::Damaged, QStringLiteral("is damaged")},
        {"damaged page of rows in the middle of the file",
         [](const QString &p) {
             // Overwrites the page of a row half way through the table: the headings are
             // all still in the index, the row's own text cannot be read.
             const int root = RawConnection(p).value("SELECT rootpage FROM sqlite_schema WHERE name = 'TABLE1'").toInt();
             const Page interior = readPage(p, root);
             ASSERT_EQ(interior.type(), 0x05);
             int leaf = 0;
             for (const int child : childPages(interior))
                 if (leafRowids(readPage(p, child)) == std::vector<qint64>{101}) // "row 100"
                     leaf = child;
             ASSERT_NE(leaf, 0);
             scribble(p, qint64(leaf - 1) * pageSize(p), 64);
         },
         none, skip, Failure::Damaged, Failure::Damaged, QStringLiteral("is damaged"), QStringLiteral("row 100")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir().mkpath(folders.libraryFolder());
        QFile::remove(path);
        ASSERT_TRUE(store::initLibrary(false).ok);
        fillLibrary(path, 200);
        c.arrange(path);
        if (::testing::Test::HasFatalFailure())
            return;
        const bool existed = QFileInfo::exists(path);
        const bool folderExisted = QFileInfo::exists(folders.libraryFolder());
        const QByteArray before = digest(path);
        expectOperations(path, c.list, c.add, c.read, c.show, c.words, c.showHeading);
        // Nothing was created, repaired or written.
        EXPECT_EQ(QFileInfo::exists(path), existed);
        EXPECT_EQ(QFileInfo::exists(folders.libraryFolder()), folderExisted);
        if (c.add != none && c.add != skip) {
            EXPECT_EQ(digest(path), before);
        }
        EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("-journal")));
    }
}

TEST_F(StoreTest, WalkOverHeadingsThatCannotBeReadEndsWithTheFailure)
{
    fillLibrary(path, 50);
    const int root = RawConnection(path).value("SELECT rootpage FROM sqlite_schema WHERE name = 'TABLE1_CodeName'").toInt();
    scribble(path, qint64(root - 1) * pageSize(path), 12);
    store::DbConnection conn;
    ASSERT_TRUE(conn.Open(path));
    store::DbRecordset rs;
    ASSERT_TRUE(rs.Open(kQuery, &conn)); // stands on the first row: the table itself is whole
    ASSERT_FALSE(rs.Eof());
    // A walk that only watches Eof, without asking for the count first.
    int steps = 0;
    for (rs.MoveFirst(); !rs.Eof() && steps < 100; rs.MoveNext())
        ++steps;
    EXPECT_TRUE(rs.Eof());
    EXPECT_EQ(steps, 0);
    EXPECT_EQ(rs.lastError().kind, Failure::Damaged) << rs.lastError().message.toStdString();
}

// Holds a lock on the library while it lives.
struct LockHolder {
    virtual ~LockHolder() = default;
};

struct ConnectionLock : LockHolder {
    RawConnection raw;
    ConnectionLock(const QString &path, const QStringList &statements) : raw(path)
    {
        for (const QString &s : statements)
            EXPECT_EQ(raw.run(s), QString());
    }
    ~ConnectionLock() override { raw.run(QStringLiteral("ROLLBACK")); }
};

// Another program holding the file exclusively.
struct ProcessLock : LockHolder {
    QProcess helper;
    explicit ProcessLock(const QString &path)
    {
        helper.start(qbx::test::binDir() + QStringLiteral("/store_helper"), {QStringLiteral("lock"), path});
        EXPECT_TRUE(helper.waitForStarted(10000)) << helper.errorString().toStdString();
        QByteArray said;
        while (!said.contains("held") && helper.waitForReadyRead(10000))
            said += helper.readAllStandardOutput();
        EXPECT_TRUE(said.contains("held")) << said.toStdString() << helper.readAllStandardError().toStdString();
    }
    ~ProcessLock() override
    {
        helper.closeWriteChannel(); // the helper lets go when its input ends
        EXPECT_TRUE(helper.waitForFinished(10000));
        EXPECT_EQ(helper.exitCode(), 0) << helper.readAllStandardError().toStdString();
    }
};

TEST_F(StoreTest, FileHeldByAnotherProgramIsReportedAfterTheWaitingTime)
{
    store::DbConnection::setBusyTimeout(200);
    const Failure none = Failure::None, locked = Failure::Locked;
    struct Case {
        const char *name;
        std::function<std::unique_ptr<LockHolder>(const QString &)> hold;
        Failure list, add, read, show;
    };
    const std::vector<Case> cases = {
        {"another connection writing",
         [](const QString &p) { return std::make_unique<ConnectionLock>(p, QStringList{"BEGIN EXCLUSIVE"}); }, locked,
         locked, locked, locked},
        {"another connection about to write",
         [](const QString &p) { return std::make_unique<ConnectionLock>(p, QStringList{"BEGIN IMMEDIATE"}); }, none,
         locked, none, none},
        // Our write gets in, but its COMMIT cannot: it is rolled back.
        {"another connection reading",
         [](const QString &p) {
             return std::make_unique<ConnectionLock>(p, QStringList{"BEGIN", "SELECT count(*) FROM TABLE1"});
         },
         none, locked, none, none},
        {"another program writing", [](const QString &p) { return std::make_unique<ProcessLock>(p); }, locked, locked,
         locked, locked},
    };
    const std::vector<Row> rows = fillLibrary(path, 30);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray before = digest(path);
        {
            const std::unique_ptr<LockHolder> lock = c.hold(path);
            if (::testing::Test::HasFailure())
                return;
            expectOperations(path, c.list, c.add, c.read, c.show, QStringLiteral("in use by another program"));
        }
        EXPECT_EQ(digest(path), before);
        EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("-journal")));
        EXPECT_EQ(storedRows(path), rows);
    }
    // Once let go, the same snippet goes in.
    ASSERT_FALSE(addSnippet(path, QStringLiteral("New one"), QStringLiteral("d"), QStringLiteral("c")));
    EXPECT_EQ(storedRows(path).size(), rows.size() + 1);
}

TEST_F(StoreTest, FilesAndFoldersWithoutRightsAreReported)
{
    if (qbx::test::rerunUnprivileged())
        return;
    const Failure none = Failure::None;
    const QString folder = folders.libraryFolder();
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    const auto folderReadOnly = readOnly | QFileDevice::ExeOwner;
    const auto folderFull = folderReadOnly | QFileDevice::WriteOwner;
    const auto fileFull = readOnly | QFileDevice::WriteOwner;
    struct Case {
        const char *name;
        QString target;
        QFileDevice::Permissions rights, restore;
        Failure list, add, read, show;
        QString words;
    };
    const std::vector<Case> cases = {
        {"read-only file", path, readOnly, fileFull, none, Failure::ReadOnly, none, none, QStringLiteral("read-only")},
        {"read-only folder", folder, folderReadOnly, folderFull, none, Failure::ReadOnly, none, none,
         QStringLiteral("read-only")},
        {"unreadable file", path, QFileDevice::WriteOwner, fileFull, Failure::CannotOpen, Failure::CannotOpen,
         Failure::CannotOpen, Failure::CannotOpen, QStringLiteral("permission denied")},
        {"folder that cannot be entered", folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner, folderFull,
         Failure::CannotOpen, Failure::CannotOpen, Failure::CannotOpen, Failure::CannotOpen,
         QStringLiteral("permission denied")},
    };
    const std::vector<Row> rows = fillLibrary(path, 30);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray before = digest(path);
        ASSERT_TRUE(QFile::setPermissions(c.target, c.rights));
        expectOperations(path, c.list, c.add, c.read, c.show, c.words);
        ASSERT_TRUE(QFile::setPermissions(c.target, c.restore));
        EXPECT_EQ(digest(path), before);
        EXPECT_EQ(storedRows(path), rows);
    }
}

TEST_F(StoreTest, FullDiskStoresNothingAndKeepsEveryRow)
{
    for (const int count : {0, 40}) {
        SCOPED_TRACE(count);
        RawConnection(path).run(QStringLiteral("DELETE FROM TABLE1"));
        const std::vector<Row> rows = count ? fillLibrary(path, count) : std::vector<Row>{};
        // The file may grow by one page only.
        store::DbConnection::setOpenHook([](QSqlDatabase &db) {
            QSqlQuery q(db);
            ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA page_count")) && q.next());
            const int pages = q.value(0).toInt();
            ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages + 1)));
        });
        const QString big = QStringLiteral("' a long snippet\r\n").repeated(4000);
        const store::StoreError e = addSnippet(path, QStringLiteral("Big one"), QStringLiteral("d"), big);
        EXPECT_EQ(e.kind, Failure::DiskFull) << e.message.toStdString();
        EXPECT_TRUE(e.message.contains(QDir::toNativeSeparators(path))) << e.message.toStdString();
        EXPECT_TRUE(e.message.contains(QStringLiteral("Nothing was stored"))) << e.message.toStdString();
        store::DbConnection::setOpenHook({});
        EXPECT_EQ(storedRows(path), rows);
        EXPECT_EQ(integrity(path), QStringLiteral("ok"));
        EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("-journal")));
        // With room again, the same snippet goes in.
        ASSERT_FALSE(addSnippet(path, QStringLiteral("Big one"), QStringLiteral("d"), big));
        EXPECT_EQ(storedRows(path).back(), (Row{QStringLiteral("Big one"), QStringLiteral("d"), big}));
    }
}

TEST_F(StoreTest, RowDeletedByAnotherProgramIsReportedAndNothingWritten)
{
    struct Case {
        const char *name;
        std::function<void(store::DbRecordset &)> act;
    };
    const std::vector<Case> cases = {
        {"reading its heading", [](store::DbRecordset &rs) { EXPECT_TRUE(rs.Fields(store::kCodeName).isNull()); }},
        {"reading its description", [](store::DbRecordset &rs) { EXPECT_TRUE(rs.Fields(store::kCodeDesc).isNull()); }},
        {"reading its code", [](store::DbRecordset &rs) { EXPECT_TRUE(rs.Fields(store::kCode).isNull()); }},
        {"changing it",
         [](store::DbRecordset &rs) {
             rs.Collect(store::kCode, QStringLiteral("changed"));
             EXPECT_FALSE(rs.Update());
         }},
        {"deleting it", [](store::DbRecordset &rs) { EXPECT_FALSE(rs.Delete()); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RawConnection(path).run(QStringLiteral("DELETE FROM TABLE1"));
        insertRows(path, numberedRows({"first", "second", "third"}));
        store::DbConnection conn;
        ASSERT_TRUE(conn.Open(path));
        store::DbRecordset rs;
        ASSERT_TRUE(rs.Open(kQuery, &conn));
        ASSERT_TRUE(rs.FindPicked(QStringLiteral("second")));
        ASSERT_EQ(RawConnection(path).run(QStringLiteral("DELETE FROM TABLE1 WHERE CodeName = 'second'")), QString());
        c.act(rs);
        EXPECT_EQ(rs.lastError().kind, Failure::Vanished) << rs.lastError().message.toStdString();
        EXPECT_TRUE(rs.lastError().message.contains(QDir::toNativeSeparators(path)));
        EXPECT_TRUE(rs.lastError().message.contains(QStringLiteral("no longer in the library")));
        EXPECT_EQ(storedRows(path), (std::vector<Row>{numbered("first", 0), numbered("third", 2)}));
    }
}

} // namespace
