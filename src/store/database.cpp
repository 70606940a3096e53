#include "store/database.h"

#include "store/libraryfolder.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

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

// Waiting for a file another program holds. SQLite's own wait sleeps longer and longer, up
// to a tenth of a second at a time, so a program that writes again and again has the file
// back each time before a waiting one looks, and the waiting one runs out of time although
// nobody held the file that long. Looking every millisecond gives it its turn.
int waitAMillisecond(void *started, int tries)
{
    auto *timer = static_cast<QElapsedTimer *>(started);
    if (tries == 0)
        timer->start();
    if (timer->elapsed() >= g_busyTimeout)
        return 0;
    sqlite3_sleep(1);
    return 1;
}

void waitInTurns(const QSqlDatabase &db, QElapsedTimer *started)
{
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return;
    if (sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData()))
        sqlite3_busy_handler(connection, waitAMillisecond, started);
}

} // namespace

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
    if (path.isEmpty()) {
        m_error = {Failure::MissingFile, noHomeMessage("XDG_DATA_HOME")};
        return false;
    }
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(g_busyTimeout));
        db.setDatabaseName(readWriteUri(path));
        ok = db.open();
        if (!ok)
            fail(db.lastError(), false);
        else
            waitInTurns(db, &m_waiting);
        if (ok && openHook())
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
        if (m_inTransaction)
            rollback();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase DbConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

bool DbConnection::begin(const char *statement, bool writing)
{
    QSqlQuery q(database());
    if (!q.exec(QString::fromLatin1(statement))) {
        fail(q.lastError(), writing);
        return false;
    }
    m_inTransaction = true;
    m_writing = writing;
    return true;
}

bool DbConnection::beginRead()
{
    return begin("BEGIN", false);
}

bool DbConnection::beginWrite()
{
    return begin("BEGIN IMMEDIATE", true);
}

bool DbConnection::commit()
{
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("COMMIT"))) {
        fail(q.lastError(), m_writing);
        rollback();
        return false;
    }
    m_inTransaction = false;
    return true;
}

void DbConnection::rollback()
{
    QSqlQuery q(database());
    q.exec(QStringLiteral("ROLLBACK"));
    m_inTransaction = false;
}

const StoreError &DbConnection::fail(const QSqlError &error, bool writing)
{
    const auto setError = [this](Failure kind, const QString &message) { m_error = {kind, message}; };
    const QString file = native(m_path);
    const int code = error.nativeErrorCode().toInt() & 0xff;
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    const QFileInfo info(m_path);
    const QFileInfo folder(info.absolutePath());
    switch (code) {
    case SqliteCantOpen:
        // A folder that cannot be entered hides the file: that is no missing file.
        if (!info.exists() && (!folder.exists() || folder.isExecutable()))
            setError(Failure::MissingFile, QStringLiteral("The snippet library %1 was not found. To create an empty "
                                                          "library there, run the command: quillbox init")
                                               .arg(file));
        else if (writing || !info.isReadable() || !folder.isWritable())
            setError(writing ? Failure::ReadOnly : Failure::CannotOpen,
                     writing
                         ? QStringLiteral("The snippet library %1 cannot be changed: its folder is read-only. "
                                          "Nothing was stored.")
                               .arg(file)
                         : QStringLiteral("The snippet library %1 could not be opened: permission denied.").arg(file));
        else
            setError(Failure::CannotOpen,
                     QStringLiteral("The snippet library %1 could not be opened: %2").arg(file, text));
        break;
    case SqliteNotADb:
        setError(Failure::NotADatabase,
                 QStringLiteral("%1 is not a snippet library: it is not an SQLite database file.").arg(file));
        break;
    case SqliteCorrupt:
        setError(Failure::Damaged, QStringLiteral("The snippet library %1 is damaged and cannot be used (%2). "
                                                  "Restore it from a backup copy.")
                                       .arg(file, text));
        break;
    case SqliteBusy:
    case SqliteLocked:
        setError(Failure::Locked, QStringLiteral("The snippet library %1 is in use by another program, which kept it "
                                                 "locked for more than %2 seconds. Try again when that program has "
                                                 "finished with it.")
                                      .arg(file)
                                      .arg(g_busyTimeout / 1000.0, 0, 'g', 3));
        break;
    case SqliteReadOnly:
        setError(Failure::ReadOnly,
                 QStringLiteral("The snippet library %1 cannot be changed: the file or its folder is "
                                "read-only. Nothing was stored.")
                     .arg(file));
        break;
    case SqliteFull:
        setError(Failure::DiskFull, QStringLiteral("There is no room left to write to the snippet library %1. Nothing "
                                                   "was stored; free some disk space and try again.")
                                        .arg(file));
        break;
    case SqliteIoErr:
        setError(Failure::Other,
                 QStringLiteral("The snippet library %1 could not be %2: the disk reported an error (%3).")
                     .arg(file, writing ? QStringLiteral("written") : QStringLiteral("read"), text));
        break;
    case SqliteError:
        if (text.contains(QLatin1String("no such table"))) {
            setError(Failure::MissingTable,
                     QStringLiteral("The snippet library %1 has no table TABLE1, so it holds no snippets.").arg(file));
            break;
        }
        if (text.contains(QLatin1String("no such column"))) {
            const QString column = text.section(QLatin1Char(':'), 1).trimmed();
            setError(Failure::MissingColumn,
                     QStringLiteral("The table TABLE1 of the snippet library %1 has no column %2.").arg(file, column));
            break;
        }
        [[fallthrough]];
    default:
        setError(Failure::Other, QStringLiteral("The snippet library %1 could not be used: %2").arg(file, text));
        break;
    }
    return m_error;
}

} // namespace quillbox::store
