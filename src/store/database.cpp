#include "store/database.h"

#include "store/libraryfolder.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <algorithm>

namespace quillbox::store {

namespace {

int g_busyTimeout = 3000;
std::function<void(QSqlDatabase &)> &openHook()
{
    static std::function<void(QSqlDatabase &)> hook;
    return hook;
}
std::function<void(QSqlDatabase &)> &lockedHook()
{
    static std::function<void(QSqlDatabase &)> hook;
    return hook;
}

// The key of the server's lock that every write of the library holds, the server's
// counterpart of reserving the file: one writer at a time checks and writes.
constexpr qint64 kLibraryLockKey = 0x5175696c6c626f78; // "Quillbox"

// A value for the server's connection string, quoted as its client library reads it.
QString quotedOption(const QString &option)
{
    const QString key = option.section(QLatin1Char('='), 0, 0);
    QString value = option.section(QLatin1Char('='), 1);
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
    return key + QLatin1String("='") + value + QLatin1Char('\'');
}

// The first line of the server's or its client library's words.
QString firstLine(const QString &text)
{
    QString line = text.trimmed().section(QLatin1Char('\n'), 0, 0).trimmed();
    if (line.startsWith(QLatin1String("FATAL:")) || line.startsWith(QLatin1String("ERROR:")))
        line = line.section(QLatin1Char(':'), 1).trimmed();
    return line;
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

void DbConnection::setLockedHook(std::function<void(QSqlDatabase &)> hook)
{
    lockedHook() = std::move(hook);
}

bool DbConnection::Open(const QString &path)
{
    Close();
    m_path = path;
    m_shown = native(path);
    m_error = {};
    m_server = isServerLocation(path);
    if (m_server)
        return openServer(path);
    if (path.isEmpty()) {
        m_error = {Failure::MissingFile, noHomeMessage("XDG_DATA_HOME")};
        return false;
    }
    if (!QDir::isAbsolutePath(path)) {
        m_error = {Failure::CannotOpen,
                   QStringLiteral("The snippet library \"%1\" cannot be used: give a "
                                  "postgresql://user@host:port/dbname URL for a library on a server, or nothing "
                                  "for the library file in your library folder.")
                       .arg(path)};
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

bool DbConnection::openServer(const QString &location)
{
    const ServerAddress address = serverAddress(location);
    m_shown = address.display;
    if (!address.error.isEmpty()) {
        m_error = {Failure::CannotOpen,
                   QStringLiteral("The snippet library %1 cannot be used: %2.").arg(m_shown, address.error)};
        return false;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        m_error = {Failure::CannotOpen, QStringLiteral("The snippet library %1 is on a PostgreSQL server, and Qt's "
                                                       "driver for it is not installed (the package libqt6sql6-psql).")
                                            .arg(m_shown)};
        return false;
    }
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        db.setHostName(address.host);
        db.setPort(address.port);
        db.setUserName(address.user);
        db.setPassword(address.password);
        db.setDatabaseName(address.database);
        QStringList options{QStringLiteral("application_name=quillbox")};
        if (!std::any_of(address.options.begin(), address.options.end(),
                         [](const QString &o) { return o.startsWith(QLatin1String("connect_timeout=")); }))
            options << QStringLiteral("connect_timeout=10");
        options += address.options;
        // The server's notices and warnings (a table that exists, a backslash in a value)
        // are not the user's business: only errors come back, and those as our messages.
        const QString quiet = QStringLiteral("-c client_min_messages=error");
        const auto given = std::find_if(options.begin(), options.end(),
                                        [](const QString &o) { return o.startsWith(QLatin1String("options=")); });
        if (given != options.end())
            *given += QLatin1Char(' ') + quiet;
        else
            options << QStringLiteral("options=") + quiet;
        for (QString &option : options)
            option = quotedOption(option);
        db.setConnectOptions(options.join(QLatin1Char(';')));
        ok = db.open();
        if (!ok)
            failServer(db.lastError(), false);
        else if (openHook())
            openHook()(db);
    }
    m_connected = ok;
    if (!ok)
        Close();
    return ok;
}

bool DbConnection::run(const QString &statement, bool writing)
{
    QSqlQuery q(database());
    if (q.exec(statement))
        return true;
    fail(q.lastError(), writing);
    return false;
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
    m_connected = false;
}

QSqlDatabase DbConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

bool DbConnection::begin(const QString &statement, bool writing)
{
    if (!run(statement, writing))
        return false;
    m_inTransaction = true;
    m_writing = writing;
    return true;
}

bool DbConnection::beginRead()
{
    if (!m_server)
        return begin(QStringLiteral("BEGIN"), false);
    // A read waits for a lock another session holds no longer than a write does.
    return begin(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), false)
           && run(QStringLiteral("SELECT set_config('lock_timeout', '%1', true)").arg(g_busyTimeout), false);
}

bool DbConnection::beginWrite()
{
    if (!m_server)
        return begin(QStringLiteral("BEGIN IMMEDIATE"), true);
    // Every statement after the lock sees what the writes before it committed. The wait for
    // the lock is limited in the same trip to the server (set_config is evaluated first).
    if (!begin(QStringLiteral("BEGIN ISOLATION LEVEL READ COMMITTED"), true)
        || !run(QStringLiteral("SELECT set_config('lock_timeout', '%1', true), pg_advisory_xact_lock(%2)")
                    .arg(g_busyTimeout)
                    .arg(kLibraryLockKey),
                true))
        return false;
    if (lockedHook()) {
        QSqlDatabase db = database();
        lockedHook()(db);
    }
    return true;
}

bool DbConnection::commit()
{
    m_committing = true;
    QSqlQuery q(database());
    const bool ok = q.exec(QStringLiteral("COMMIT"));
    if (!ok)
        fail(q.lastError(), m_writing);
    m_committing = false;
    if (!ok) {
        rollback();
        return false;
    }
    m_inTransaction = false;
    return true;
}

void DbConnection::rollback()
{
    if (!database().isOpen())
        return;
    QSqlQuery q(database());
    q.exec(QStringLiteral("ROLLBACK"));
    m_inTransaction = false;
}

const StoreError &DbConnection::fail(const QSqlError &error, bool writing)
{
    if (m_server) {
        failServer(error, writing);
        // The server ignores every statement of a failed transaction, even freeing one.
        if (m_inTransaction)
            rollback();
        return m_error;
    }
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

namespace quillbox::store {

// The server's failures, told by their SQLSTATE; a connection that could not be made, or was
// lost, comes with the client library's words only.
const StoreError &DbConnection::failServer(const QSqlError &error, bool writing)
{
    const QString state = error.nativeErrorCode();
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    const QString said = firstLine(text);
    const auto has = [&text](const char *words) { return text.contains(QLatin1String(words), Qt::CaseInsensitive); };
    const QString nothing = writing ? QStringLiteral(" Nothing was stored.") : QString();
    const auto setError = [this](Failure kind, const QString &message) { m_error = {kind, message}; };
    if (state == QLatin1String("3D000") || (has("database \"") && has("does not exist"))) {
        setError(Failure::MissingFile,
                 QStringLiteral("The snippet library %1 was not found: %2. An administrator creates the database; "
                                "then the command quillbox init --server %1 creates the library's table in it.")
                     .arg(m_shown, said));
    } else if (state.startsWith(QLatin1String("28")) || has("authentication failed") || has("no password supplied")
               || has("pg_hba.conf") || (has("role \"") && has("does not exist"))) {
        setError(Failure::AuthRefused,
                 QStringLiteral("The server of the snippet library %1 refused the connection: %2. Check the user "
                                "name, and the password in PGPASSWORD, ~/.pgpass or the service file.")
                     .arg(m_shown, said));
    } else if (state == QLatin1String("42P01")) {
        setError(Failure::MissingTable,
                 QStringLiteral("The snippet library %1 has no table TABLE1, so it holds no snippets. To create it, "
                                "run the command: quillbox init --server %1")
                     .arg(m_shown));
    } else if (state == QLatin1String("42703")) {
        setError(Failure::MissingColumn, QStringLiteral("The table TABLE1 of the snippet library %1 has no column %2.")
                                             .arg(m_shown, said.section(QLatin1Char('"'), 1, 1)));
    } else if (state == QLatin1String("57014")) {
        setError(Failure::TimedOut,
                 QStringLiteral("The server of the snippet library %1 cancelled the operation: it ran longer than "
                                "the server allows a statement to run.%2")
                     .arg(m_shown, nothing));
    } else if (state == QLatin1String("55P03") || state == QLatin1String("40P01")) {
        setError(Failure::Locked,
                 QStringLiteral("The snippet library %1 is in use by another program, which kept it locked for more "
                                "than %2 seconds. Try again when that program has finished with it.")
                     .arg(m_shown, QString::number(g_busyTimeout / 1000.0, 'g', 3)));
    } else if (state == QLatin1String("25006") || state == QLatin1String("42501")) {
        setError(Failure::ReadOnly, QStringLiteral("The snippet library %1 cannot be changed: the server allows "
                                                   "only reading it (%2). Nothing was stored.")
                                        .arg(m_shown, said));
    } else if (state == QLatin1String("53100")) {
        setError(Failure::DiskFull, QStringLiteral("The server of the snippet library %1 has no room left to write. "
                                                   "Nothing was stored; ask its administrator to free some space.")
                                        .arg(m_shown));
    } else if (!m_connected) {
        setError(state.isEmpty() || state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P"))
                     ? Failure::Unreachable
                     : Failure::CannotOpen,
                 QStringLiteral("The server of the snippet library %1 cannot be reached: %2. Check that the server "
                                "is running and that the address is right.")
                     .arg(m_shown, said));
    } else if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P"))
               || has("server closed the connection") || has("no connection to the server")
               || has("terminating connection") || has("could not receive data") || has("could not send data")
               || has("connection to server was lost")) {
        setError(Failure::ConnectionLost,
                 m_committing
                     ? QStringLiteral("The connection to the server of the snippet library %1 was lost while the "
                                      "change was being stored (%2): it may or may not have been stored. Look at "
                                      "the library again.")
                           .arg(m_shown, said)
                     : QStringLiteral("The connection to the server of the snippet library %1 was lost in the middle "
                                      "of the operation (%2).%3")
                           .arg(m_shown, said, nothing));
    } else {
        setError(Failure::Other, QStringLiteral("The snippet library %1 could not be used: %2").arg(m_shown, said));
    }
    return m_error;
}

} // namespace quillbox::store
