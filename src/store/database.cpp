#include "database.h"

#include "libraryfolder.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace quillbox::store {

namespace {

int g_busyTimeout = 3000;
std::function<void(QSqlDatabase &)> &openHook()
{
    static std::function<void(QSqlDatabase &)> hook;
    return hook;
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// SQLite's result codes, primary part.
enum SqliteCode {
    SqliteError = 1,
    SqliteBusy = 5,
    SqliteLocked = 6,
    SqliteReadOnly = 8,
    SqliteIoErr = 10,
    SqliteCorrupt = 11,
    SqliteFull = 13,
    SqliteCantOpen = 14,
    SqliteNotADb = 26,
};

bool isAscii(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// Text to compare with in SQL: a null string would go over as NULL, which equals nothing,
// where the matching rules take it as empty.
QString sqlText(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

} // namespace

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

bool isEmptyEntry(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == QLatin1Char(' '); });
}

bool headingMatchesPicked(const QVariant &codeName, const QString &picked)
{
    return !codeName.isNull() && trimSpaces(codeName.toString()) == trimSpaces(picked);
}

bool headingMatchesTaken(const QVariant &codeName, const QString &entered)
{
    return !codeName.isNull() && trimSpaces(codeName.toString()).toUpper() == trimSpaces(entered).toUpper();
}

// --- DbConnection -----------------------------------------------------------------------

DbConnection::DbConnection()
{
    static QAtomicInteger<quint64> counter;
    m_name = QStringLiteral("quillbox-store-%1").arg(++counter);
}

DbConnection::~DbConnection()
{
    Close();
}

void DbConnection::setBusyTimeout(int milliseconds)
{
    g_busyTimeout = milliseconds;
}

int DbConnection::busyTimeout()
{
    return g_busyTimeout;
}

void DbConnection::setOpenHook(std::function<void(QSqlDatabase &)> hook)
{
    openHook() = std::move(hook);
}

bool DbConnection::Open(const QString &path)
{
    Close();
    m_path = path;
    m_error = {};
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(g_busyTimeout));
        db.setDatabaseName(readWriteUri(path));
        ok = db.open();
        if (!ok)
            fail(db.lastError(), false);
        else if (openHook())
            openHook()(db);
    }
    if (!ok)
        Close();
    return ok;
}

void DbConnection::Close()
{
    if (!QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (m_inWrite)
            rollbackWrite();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

bool DbConnection::isOpen() const
{
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

QSqlDatabase DbConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

bool DbConnection::beginWrite()
{
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        fail(q.lastError(), true);
        return false;
    }
    m_inWrite = true;
    return true;
}

bool DbConnection::commitWrite()
{
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("COMMIT"))) {
        fail(q.lastError(), true);
        rollbackWrite();
        return false;
    }
    m_inWrite = false;
    return true;
}

void DbConnection::rollbackWrite()
{
    QSqlQuery q(database());
    q.exec(QStringLiteral("ROLLBACK"));
    m_inWrite = false;
}

void DbConnection::fail(Failure kind, const QString &message)
{
    m_error = {kind, message};
}

const StoreError &DbConnection::fail(const QSqlError &error, bool writing)
{
    const QString file = native(m_path);
    const int code = error.nativeErrorCode().toInt() & 0xff;
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    const QFileInfo info(m_path);
    const QFileInfo folder(info.absolutePath());
    switch (code) {
    case SqliteCantOpen:
        // A folder that cannot be entered hides the file: that is no missing file.
        if (!info.exists() && (!folder.exists() || folder.isExecutable()))
            fail(Failure::MissingFile, QStringLiteral("The snippet library %1 was not found. To create an empty "
                                                      "library there, run the command: quillbox init")
                                           .arg(file));
        else if (writing || !info.isReadable() || !folder.isWritable())
            fail(writing ? Failure::ReadOnly : Failure::CannotOpen,
                 writing ? QStringLiteral("The snippet library %1 cannot be changed: its folder is read-only. "
                                          "Nothing was stored.")
                               .arg(file)
                         : QStringLiteral("The snippet library %1 could not be opened: permission denied.").arg(file));
        else
            fail(Failure::CannotOpen, QStringLiteral("The snippet library %1 could not be opened: %2").arg(file, text));
        break;
    case SqliteNotADb:
        fail(Failure::NotADatabase,
             QStringLiteral("%1 is not a snippet library: it is not an SQLite database file.").arg(file));
        break;
    case SqliteCorrupt:
        fail(Failure::Damaged, QStringLiteral("The snippet library %1 is damaged and cannot be used (%2). "
                                              "Restore it from a backup copy.")
                                   .arg(file, text));
        break;
    case SqliteBusy:
    case SqliteLocked:
        fail(Failure::Locked, QStringLiteral("The snippet library %1 is in use by another program, which kept it "
                                             "locked for more than %2 seconds. Try again when that program has "
                                             "finished with it.")
                                  .arg(file)
                                  .arg(g_busyTimeout / 1000.0, 0, 'g', 3));
        break;
    case SqliteReadOnly:
        fail(Failure::ReadOnly, QStringLiteral("The snippet library %1 cannot be changed: the file or its folder is "
                                               "read-only. Nothing was stored.")
                                    .arg(file));
        break;
    case SqliteFull:
        fail(Failure::DiskFull, QStringLiteral("There is no room left to write to the snippet library %1. Nothing "
                                               "was stored; free some disk space and try again.")
                                    .arg(file));
        break;
    case SqliteIoErr:
        fail(Failure::Other, QStringLiteral("The snippet library %1 could not be %2: the disk reported an error (%3).")
                                 .arg(file, writing ? QStringLiteral("written") : QStringLiteral("read"), text));
        break;
    case SqliteError:
        if (text.contains(QLatin1String("no such table"))) {
            fail(Failure::MissingTable,
                 QStringLiteral("The snippet library %1 has no table TABLE1, so it holds no snippets.").arg(file));
            break;
        }
        if (text.contains(QLatin1String("no such column"))) {
            const QString column = text.section(QLatin1Char(':'), 1).trimmed();
            fail(Failure::MissingColumn,
                 QStringLiteral("The table TABLE1 of the snippet library %1 has no column %2.").arg(file, column));
            break;
        }
        [[fallthrough]];
    default:
        fail(Failure::Other, QStringLiteral("The snippet library %1 could not be used: %2").arg(file, text));
        break;
    }
    return m_error;
}

// --- DbRecordset ------------------------------------------------------------------------

const StoreError &DbRecordset::lastError() const
{
    return m_error.kind != Failure::None || !m_connection ? m_error : m_connection->lastError();
}

bool DbRecordset::Open(const QString &source, DbConnection *connection)
{
    Close();
    m_error = {};
    if (source != QLatin1String(kQueryText)) {
        m_error = {Failure::Other, QStringLiteral("The query \"%1\" is not one the snippet store runs.").arg(source)};
        return false;
    }
    m_connection = connection;
    // The table and its three columns must be there; nothing of the rows is read yet.
    QSqlQuery check(connection->database());
    if (!check.exec(QStringLiteral("SELECT rowid, CodeName, CodeDesc, code FROM TABLE1 LIMIT 0"))) {
        m_error = connection->fail(check.lastError(), false);
        m_connection = nullptr;
        return false;
    }
    m_open = true;
    // Standing on the first row, or at the end at once when there is none.
    QSqlQuery first(connection->database());
    first.setForwardOnly(true);
    if (!first.exec(QStringLiteral("SELECT min(rowid) FROM TABLE1")) || !first.next()) {
        m_error = connection->fail(first.lastError(), false);
        Close();
        return false;
    }
    m_atEnd = first.value(0).isNull();
    if (!m_atEnd)
        m_position = first.value(0).toLongLong();
    return true;
}

void DbRecordset::Close()
{
    m_open = false;
    m_loaded = false;
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_current = 0;
    m_position.reset();
    m_atEnd = false;
    m_adding = false;
    m_pending.clear();
    m_connection = nullptr;
}

bool DbRecordset::load()
{
    if (m_loaded)
        return true;
    // When the rows cannot be read, the walk ends there: a loop that waits for Eof stops,
    // and the failure is in lastError().
    auto failed = [this](const QSqlError &error) {
        m_error = m_connection->fail(error, false);
        m_atEnd = true;
        m_position.reset();
        return false;
    };
    QSqlQuery q(m_connection->database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT rowid, CodeName FROM TABLE1")))
        return failed(q.lastError());
    std::vector<Row> rows;
    while (q.next())
        rows.push_back({q.value(0).toLongLong(), q.value(1)});
    if (q.lastError().isValid())
        return failed(q.lastError());
    // The database may hand the rows over in the order of an index; table order is rowid order.
    std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.rowid < b.rowid; });
    m_rows = std::move(rows);
    m_loaded = true;
    // Keep standing where the cursor stood.
    if (m_position) {
        const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), *m_position,
                                         [](const Row &r, qint64 id) { return r.rowid < id; });
        m_current = std::size_t(it - m_rows.begin());
        m_atEnd = it == m_rows.end();
    } else {
        m_current = m_rows.size();
        m_atEnd = true;
    }
    return true;
}

bool DbRecordset::Eof() const
{
    return m_atEnd;
}

void DbRecordset::MoveFirst()
{
    m_adding = false;
    if (!load())
        return;
    m_current = 0;
    m_atEnd = m_rows.empty();
    m_position = m_atEnd ? std::nullopt : std::optional<qint64>(m_rows.front().rowid);
}

void DbRecordset::MoveNext()
{
    m_adding = false;
    if (m_atEnd || !load())
        return;
    ++m_current;
    m_atEnd = m_current >= m_rows.size();
    m_position = m_atEnd ? std::nullopt : std::optional<qint64>(m_rows[m_current].rowid);
}


int DbRecordset::RecordCount()
{
    // A static recordset knows all its rows.
    if (!load())
        return -1;
    return int(m_rows.size());
}

bool DbRecordset::fetchColumn(const QString &column, QVariant *value)
{
    if (column.compare(kCodeName, Qt::CaseInsensitive) == 0 && m_loaded && !m_atEnd) {
        *value = m_rows[m_current].codeName;
        return true;
    }
    // Only the column asked for, of the current row only.
    QString name;
    for (const QString &known : {kCodeName, kCodeDesc, kCode})
        if (column.compare(known, Qt::CaseInsensitive) == 0)
            name = known;
    if (name.isEmpty() || !m_position) {
        m_error = {Failure::Other, QStringLiteral("There is no column %1 on the current row.").arg(column)};
        return false;
    }
    QSqlQuery q(m_connection->database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM TABLE1 WHERE rowid = ?").arg(name));
    q.addBindValue(*m_position);
    if (!q.exec()) {
        m_error = m_connection->fail(q.lastError(), false);
        return false;
    }
    if (!q.next()) {
        m_connection->fail(Failure::Vanished, QStringLiteral("The snippet is no longer in the library %1; another "
                                                             "program may have changed it.")
                                                  .arg(native(m_connection->path())));
        m_error = m_connection->lastError();
        return false;
    }
    *value = q.value(0);
    return true;
}

QVariant DbRecordset::Fields(const QString &column)
{
    QVariant value;
    if (!fetchColumn(column, &value))
        return {};
    return value;
}

void DbRecordset::Collect(const QString &column, const QVariant &value)
{
    for (auto &p : m_pending) {
        if (p.first.compare(column, Qt::CaseInsensitive) == 0) {
            p.second = value;
            return;
        }
    }
    m_pending.emplace_back(column, value);
}

void DbRecordset::AddNew()
{
    m_adding = true;
    m_pending.clear();
}

bool DbRecordset::write(QSqlQuery &q, bool oneRow, const QString &nothingDone)
{
    // One write, in a transaction of its own: whole, or not at all.
    if (!m_connection->beginWrite()) {
        m_error = m_connection->lastError();
        return false;
    }
    if (!q.exec()) {
        m_error = m_connection->fail(q.lastError(), true);
        m_connection->rollbackWrite();
        return false;
    }
    if (oneRow && q.numRowsAffected() != 1) {
        m_connection->rollbackWrite();
        m_connection->fail(Failure::Vanished, QStringLiteral("The snippet is no longer in the library %1; another "
                                                             "program may have changed it. %2")
                                                  .arg(native(m_connection->path()), nothingDone));
        m_error = m_connection->lastError();
        return false;
    }
    if (!m_connection->commitWrite()) {
        m_error = m_connection->lastError();
        return false;
    }
    return true;
}

bool DbRecordset::Update()
{
    if (m_pending.empty() && !m_adding)
        return true;
    QStringList columns;
    for (const auto &p : m_pending) {
        if (p.first.compare(kCodeName, Qt::CaseInsensitive) != 0 && p.first.compare(kCodeDesc, Qt::CaseInsensitive) != 0
            && p.first.compare(kCode, Qt::CaseInsensitive) != 0) {
            m_error = {Failure::Other, QStringLiteral("There is no column %1 to write.").arg(p.first)};
            return false;
        }
        columns << p.first;
    }
    if (!m_adding && !m_position) {
        m_error = {Failure::Other, QStringLiteral("There is no current row to write.")};
        return false;
    }
    QSqlQuery q(m_connection->database());
    if (m_adding) {
        if (columns.isEmpty())
            q.prepare(QStringLiteral("INSERT INTO TABLE1 DEFAULT VALUES"));
        else
            q.prepare(QStringLiteral("INSERT INTO TABLE1 (%1) VALUES (%2)")
                          .arg(columns.join(QStringLiteral(", ")),
                               QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", "))));
    } else {
        QStringList sets;
        for (const QString &c : columns)
            sets << c + QStringLiteral(" = ?");
        q.prepare(QStringLiteral("UPDATE TABLE1 SET %1 WHERE rowid = ?").arg(sets.join(QStringLiteral(", "))));
    }
    for (const auto &p : m_pending)
        q.addBindValue(p.second.isNull() ? QVariant() : QVariant(p.second.toString()));
    if (!m_adding)
        q.addBindValue(*m_position);

    if (!write(q, !m_adding, QStringLiteral("Nothing was stored.")))
        return false;
    const qint64 newRow = q.lastInsertId().toLongLong();
    if (m_adding) {
        // The new row becomes the current one.
        m_position = newRow;
        m_loaded = false;
        m_rows.clear();
        m_atEnd = false;
    }
    m_adding = false;
    m_pending.clear();
    return true;
}

bool DbRecordset::Delete()
{
    if (!m_position || m_atEnd) {
        m_error = {Failure::Other, QStringLiteral("There is no current row to delete.")};
        return false;
    }
    QSqlQuery q(m_connection->database());
    q.prepare(QStringLiteral("DELETE FROM TABLE1 WHERE rowid = ?"));
    q.addBindValue(*m_position);
    if (!write(q, true, QStringLiteral("Nothing was deleted.")))
        return false;
    if (m_loaded)
        m_rows.erase(m_rows.begin() + qsizetype(m_current));
    m_atEnd = !m_loaded || m_current >= m_rows.size();
    m_position = m_atEnd ? std::nullopt : std::optional<qint64>(m_rows[m_current].rowid);
    return true;
}

bool DbRecordset::FindPicked(const QString &picked)
{
    // From the first row: the first row, in table order, whose trimmed heading equals the
    // picked one, case significant. The first of the matching rows is chosen here: asked
    // for min(rowid), the database would walk the table itself, descriptions and code and
    // all, instead of the headings' index.
    m_adding = false;
    QSqlQuery q(m_connection->database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT rowid FROM TABLE1 WHERE trim(CodeName, ' ') = ?"));
    q.addBindValue(sqlText(trimSpaces(picked)));
    if (!q.exec()) {
        m_error = m_connection->fail(q.lastError(), false);
        return false;
    }
    std::optional<qint64> first;
    while (q.next()) {
        const qint64 rowid = q.value(0).toLongLong();
        if (!first || rowid < *first)
            first = rowid;
    }
    if (q.lastError().isValid()) {
        m_error = m_connection->fail(q.lastError(), false);
        return false;
    }
    m_atEnd = !first;
    m_position = first;
    m_loaded = false;
    m_rows.clear();
    return !m_atEnd;
}

bool DbRecordset::takenRows(const QString &entered, const std::function<void(qint64)> &onRow)
{
    // The database compares the rows whose headings are plain ASCII exactly (its upper()
    // folds ASCII letters as QString does); every other row is handed over and compared
    // here, Unicode-aware. Which rows count is left to the caller: told "rowid >= ?", the
    // database would walk the table itself instead of the headings' index.
    const QString wanted = sqlText(trimSpaces(entered).toUpper());
    QSqlQuery q(m_connection->database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT rowid, CodeName FROM TABLE1 WHERE "
                             "upper(trim(CodeName, ' ')) = ? OR length(CAST(CodeName AS BLOB)) <> length(CodeName)"));
    q.addBindValue(isAscii(wanted) ? wanted : QString());
    if (!q.exec()) {
        m_error = m_connection->fail(q.lastError(), false);
        return false;
    }
    while (q.next())
        if (headingMatchesTaken(q.value(1), entered))
            onRow(q.value(0).toLongLong());
    if (q.lastError().isValid()) {
        m_error = m_connection->fail(q.lastError(), false);
        return false;
    }
    return true;
}

bool DbRecordset::FindTaken(const QString &entered)
{
    m_adding = false;
    if (!m_position) {
        // At the end already: no row is left to look at.
        m_atEnd = true;
        return false;
    }
    const qint64 from = *m_position;
    std::optional<qint64> first;
    if (!takenRows(entered, [&](qint64 rowid) {
            if (rowid >= from && (!first || rowid < *first))
                first = rowid;
        }))
        return false;
    if (first) {
        m_position = first;
        m_loaded = false;
        m_rows.clear();
        m_atEnd = false;
    } else {
        m_position.reset();
        m_atEnd = true;
    }
    return first.has_value();
}

bool DbRecordset::TakenByAnother(const QString &entered)
{
    const std::optional<qint64> current = m_atEnd ? std::nullopt : m_position;
    bool taken = false;
    if (!takenRows(entered, [&](qint64 rowid) { taken = taken || rowid != current; }))
        return false;
    return taken;
}

} // namespace quillbox::store
