// The library in an SQLite file. Its upper() folds ASCII letters only, as its LIKE does; a
// text's length in characters and in bytes differ exactly when it holds more than ASCII.

#include "store/sqlite/sqlitebackend.h"

#include "store/snippets.h"
#include "text/matching.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <algorithm>
#include <memory>

namespace quillbox::store {

namespace {

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

// What the aggregate keeps while its statement runs: what is made of the query, once.
struct RankState {
    text::QueryMatch *match;
};

// A text as the driver reads a column, so that a heading found is the heading listed, to the
// character, whatever bytes are stored.
QString textOf(sqlite3_value *value)
{
    const void *text = sqlite3_value_text16(value);
    return text ? QString(static_cast<const QChar *>(text), sqlite3_value_bytes16(value) / 2) : QString();
}

void rankFinal(sqlite3_context *context)
{
    if (auto *state = static_cast<RankState *>(sqlite3_aggregate_context(context, 0)))
        delete state->match;
    sqlite3_result_null(context);
}

} // namespace

// quillbox_rank(query, fields, row, heading, description, code), an aggregate: ranks each
// row and hands the ones that match to the list the back end names (see Backend::ranksRows).
void rankStep(sqlite3_context *context, int, sqlite3_value **values)
{
    const auto *backend = static_cast<const SqliteBackend *>(sqlite3_user_data(context));
    auto *state = static_cast<RankState *>(sqlite3_aggregate_context(context, sizeof(RankState)));
    if (!state) {
        sqlite3_result_error_nomem(context);
        return;
    }
    if (!backend->m_ranked) {
        sqlite3_result_error(context, "quillbox_rank runs only within a search", -1);
        return;
    }
    if (!state->match) {
        const auto *query = reinterpret_cast<const char *>(sqlite3_value_text(values[0]));
        state->match = new text::QueryMatch(
            text::queryWords(QString::fromUtf8(query, sqlite3_value_bytes(values[0])), kMostSearchWords));
    }
    const int fields = sqlite3_value_int(values[1]);
    const bool chosen[3] = {bool(fields & 1), bool(fields & 2), bool(fields & 4)};
    std::string_view texts[3];
    for (int f = 0; f < 3; ++f) {
        if (!chosen[f] || sqlite3_value_type(values[3 + f]) == SQLITE_NULL)
            continue;
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(values[3 + f]));
        if (!text) {
            sqlite3_result_error_nomem(context);
            return;
        }
        texts[f] = std::string_view(text, std::size_t(sqlite3_value_bytes(values[3 + f])));
    }
    const std::int64_t value = state->match->rankRow(texts, chosen, true);
    const qint64 row = sqlite3_value_int64(values[2]);
    if (value == 0 || !backend->m_ranked->wants(value, row))
        return;
    // Read as UTF-16 only now: that may move the texts read above.
    backend->m_ranked->add(
        {row, value, textOf(values[3]), value & text::rowrank::kDescriptionHoldsAWord ? textOf(values[4]) : QString()});
}

// Waiting for a file another program holds. SQLite's own wait sleeps longer and longer, up
// to a tenth of a second at a time, so a program that writes again and again has the file
// back each time before a waiting one looks, and the waiting one runs out of time although
// nobody held the file that long. Looking every millisecond gives it its turn.
int SqliteBackend::waitAMillisecond(void *self, int tries)
{
    auto *backend = static_cast<SqliteBackend *>(self);
    if (tries == 0)
        backend->m_waiting.start();
    if (backend->m_waiting.elapsed() >= backend->options().busyTimeout)
        return 0;
    sqlite3_sleep(1);
    return 1;
}

StoreError SqliteBackend::open(const QString &name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(options().busyTimeout));
    db.setDatabaseName(readWriteUri(location().file()));
    if (!db.open())
        return failure(db.lastError(), {});
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        if (sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData())) {
            sqlite3_busy_handler(connection, waitAMillisecond, this);
            if (sqlite3_create_function_v2(connection, "quillbox_rank", 6, SQLITE_UTF8, this, nullptr, rankStep,
                                           rankFinal, nullptr)
                != SQLITE_OK)
                return {Failure::Other, QStringLiteral("The library %1 could not be searched: %2")
                                            .arg(location().shown(), QString::fromUtf8(sqlite3_errmsg(connection)))};
            m_ranksRows = true;
        }
    }
    if (options().opened)
        options().opened(db);
    return {};
}

StoreError SqliteBackend::beginRead(QSqlDatabase &db)
{
    return exec(db, QStringLiteral("BEGIN"), {});
}

StoreError SqliteBackend::beginWrite(QSqlDatabase &db)
{
    const StoreError error = exec(db, QStringLiteral("BEGIN IMMEDIATE"), {true});
    if (!error && options().locked)
        options().locked(db);
    return error;
}

StoreError SqliteBackend::checkTable(QSqlDatabase &db)
{
    const QString file = location().shown();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT type FROM sqlite_master WHERE name = 'TABLE1' COLLATE NOCASE "
                               "AND type IN ('table', 'view')")))
        return failure(q.lastError(), {});
    if (q.next() && q.value(0).toString() == QLatin1String("view"))
        return {Failure::MissingTable, QStringLiteral("In the snippet library %1, TABLE1 is a view, not a table, so "
                                                      "its snippets cannot be told apart.")
                                           .arg(file)};
    // A column of the table may shadow the name rowid; the rows' identity is then read under
    // one of its other names.
    QStringList columns;
    if (!q.exec(QStringLiteral("PRAGMA table_info(TABLE1)")))
        return failure(q.lastError(), {});
    while (q.next())
        columns.append(q.value(1).toString().toLower());
    if (q.lastError().isValid())
        return failure(q.lastError(), {});
    const QStringList names{QStringLiteral("rowid"), QStringLiteral("_rowid_"), QStringLiteral("oid")};
    const auto free = std::find_if(names.begin(), names.end(), [&](const QString &n) { return !columns.contains(n); });
    if (free == names.end())
        return {Failure::MissingColumn,
                QStringLiteral("The table TABLE1 of the snippet library %1 has its own columns "
                               "named rowid, _rowid_ and oid, so its rows cannot be told apart.")
                    .arg(file)};
    m_rowId = *free;
    // The table and its three columns must be there, whichever of them the operation reads.
    if (!q.exec(QStringLiteral("SELECT %1, CodeName, CodeDesc, code FROM TABLE1 LIMIT 0").arg(m_rowId)))
        return failure(q.lastError(), {});
    return {};
}

StoreError SqliteBackend::failure(const QSqlError &error, Access access) const
{
    const QString file = location().shown();
    const QString &path = location().file();
    const int code = error.nativeErrorCode().toInt() & 0xff;
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    switch (code) {
    case SqliteCantOpen:
        // A folder that cannot be entered hides the file: that is no missing file.
        if (!info.exists() && (!folder.exists() || folder.isExecutable()))
            return {Failure::MissingFile, QStringLiteral("The snippet library %1 was not found. To create an empty "
                                                         "library there, run the command: quillbox init")
                                              .arg(file)};
        if (access.writing)
            return {Failure::ReadOnly,
                    QStringLiteral("The snippet library %1 cannot be changed: its folder is read-only. "
                                   "Nothing was stored.")
                        .arg(file)};
        if (!info.isReadable() || !folder.isWritable())
            return {Failure::CannotOpen,
                    QStringLiteral("The snippet library %1 could not be opened: permission denied.").arg(file)};
        return {Failure::CannotOpen, QStringLiteral("The snippet library %1 could not be opened: %2").arg(file, text)};
    case SqliteNotADb:
        return {Failure::NotADatabase,
                QStringLiteral("%1 is not a snippet library: it is not an SQLite database file.").arg(file)};
    case SqliteCorrupt:
        return {Failure::Damaged, QStringLiteral("The snippet library %1 is damaged and cannot be used (%2). "
                                                 "Restore it from a backup copy.")
                                      .arg(file, text)};
    case SqliteBusy:
    case SqliteLocked:
        return {Failure::Locked, QStringLiteral("The snippet library %1 is in use by another program, which kept it "
                                                "locked for more than %2 seconds. Try again when that program has "
                                                "finished with it.")
                                     .arg(file, waitingSeconds())};
    case SqliteReadOnly:
        return {Failure::ReadOnly, QStringLiteral("The snippet library %1 cannot be changed: the file or its folder is "
                                                  "read-only. Nothing was stored.")
                                       .arg(file)};
    case SqliteFull:
        return {Failure::DiskFull, QStringLiteral("There is no room left to write to the snippet library %1. Nothing "
                                                  "was stored; free some disk space and try again.")
                                       .arg(file)};
    case SqliteIoErr:
        return {Failure::Other,
                QStringLiteral("The snippet library %1 could not be %2: the disk reported an error (%3).")
                    .arg(file, access.writing ? QStringLiteral("written") : QStringLiteral("read"), text)};
    case SqliteError:
        if (text.contains(QLatin1String("no such table")))
            return {Failure::MissingTable,
                    QStringLiteral("The snippet library %1 has no table TABLE1, so it holds no snippets.").arg(file)};
        if (text.contains(QLatin1String("no such column")))
            return {Failure::MissingColumn,
                    QStringLiteral("The table TABLE1 of the snippet library %1 has no column %2.")
                        .arg(file, text.section(QLatin1Char(':'), 1).trimmed())};
        break;
    default:
        break;
    }
    return {Failure::Other, QStringLiteral("The snippet library %1 could not be used: %2").arg(file, text)};
}

QString SqliteBackend::trimmed(const QString &column) const
{
    return QStringLiteral("trim(%1, ' ')").arg(column);
}

QString SqliteBackend::takenKey(const QString &column) const
{
    return QStringLiteral("upper(%1)").arg(trimmed(column));
}

QString SqliteBackend::beyondAscii(const QString &column) const
{
    return QStringLiteral("length(CAST(%1 AS BLOB)) <> length(%1)").arg(column);
}

QString SqliteBackend::like(const QString &column) const
{
    return column + QLatin1String(" LIKE ? ESCAPE ?");
}

QString SqliteBackend::always() const
{
    return QStringLiteral("1");
}

QString SqliteBackend::eitherOf(const QString &select, const QString &first, const QString &second) const
{
    return QStringLiteral("%1 WHERE %2 OR %3").arg(select, first, second);
}

QString SqliteBackend::asBytes(const QString &column) const
{
    return QStringLiteral("CAST(%1 AS BLOB)").arg(column);
}

QString SqliteBackend::fromBytes(const QString &value) const
{
    return QStringLiteral("CAST(%1 AS TEXT)").arg(value);
}

// The index on the headings lets the heading list and the taken check read the headings
// without the descriptions and code beside them.
QStringList SqliteBackend::fileSchema()
{
    return {QStringLiteral("CREATE TABLE TABLE1 (CodeName TEXT, CodeDesc TEXT, code TEXT)"),
            QStringLiteral("CREATE INDEX TABLE1_CodeName ON TABLE1 (CodeName)")};
}

} // namespace quillbox::store
