// The library in a database on a PostgreSQL server. Its trim() is btrim(); upper() and ILIKE
// fold only ASCII letters under the "C" collation, as the file does; a condition is a
// boolean; and it plans the two halves of an OR as one, reading the whole table for it, so
// they are asked for one after the other, each from its own index.

#include "store/postgres/postgresbackend.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <utility>

namespace quillbox::store {

namespace {

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

} // namespace

PostgresBackend::PostgresBackend(Location location, LibraryOptions options)
    : Backend(std::move(location), std::move(options))
{
    m_rowId = QStringLiteral("id");
}

StoreError PostgresBackend::open(const QString &name)
{
    const QString shown = location().shown();
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return {Failure::CannotOpen, QStringLiteral("The snippet library %1 is on a PostgreSQL server, and Qt's driver "
                                                    "for it is not installed (the package libqt6sql6-psql).")
                                         .arg(shown)};
    const ServerAddress &address = location().server();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
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
    // The server's notices and warnings (a table that exists, a backslash in a value) are not
    // the user's business: only errors come back, and those as our messages.
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
    if (!db.open())
        return failure(db.lastError(), {});
    m_connected = true;
    if (this->options().opened)
        this->options().opened(db);
    return {};
}

StoreError PostgresBackend::beginRead(QSqlDatabase &db)
{
    // A read waits for a lock another session holds no longer than a write does.
    StoreError error = exec(db, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), {});
    if (!error)
        error =
            exec(db, QStringLiteral("SELECT set_config('lock_timeout', '%1', true)").arg(options().busyTimeout), {});
    return error;
}

StoreError PostgresBackend::beginWrite(QSqlDatabase &db)
{
    // Every statement after the lock sees what the writes before it committed. The wait for
    // the lock is limited in the same trip to the server (set_config is evaluated first).
    StoreError error = exec(db, QStringLiteral("BEGIN ISOLATION LEVEL READ COMMITTED"), {true});
    if (!error)
        error = exec(db,
                     QStringLiteral("SELECT set_config('lock_timeout', '%1', true), pg_advisory_xact_lock(%2)")
                         .arg(options().busyTimeout)
                         .arg(kLibraryLockKey),
                     {true});
    if (!error && options().locked)
        options().locked(db);
    return error;
}

// The table has its key column id; the table and its three columns must be there, whichever
// of them the operation reads.
StoreError PostgresBackend::checkTable(QSqlDatabase &db)
{
    return exec(db, QStringLiteral("SELECT id, CodeName, CodeDesc, code FROM TABLE1 LIMIT 0"), {});
}

// The server's failures, told by their SQLSTATE; a connection that could not be made, or was
// lost, comes with the client library's words only.
StoreError PostgresBackend::failure(const QSqlError &error, Access access) const
{
    const QString shown = location().shown();
    const QString state = error.nativeErrorCode();
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    const QString said = firstLine(text);
    const auto has = [&text](const char *words) { return text.contains(QLatin1String(words), Qt::CaseInsensitive); };
    const QString nothing = access.writing ? QStringLiteral(" Nothing was stored.") : QString();
    if (state == QLatin1String("3D000") || (has("database \"") && has("does not exist")))
        return {Failure::MissingFile,
                QStringLiteral("The snippet library %1 was not found: %2. An administrator creates the database; "
                               "then the command quillbox init --server %1 creates the library's table in it.")
                    .arg(shown, said)};
    if (state.startsWith(QLatin1String("28")) || has("authentication failed") || has("no password supplied")
        || has("pg_hba.conf") || (has("role \"") && has("does not exist")))
        return {Failure::AuthRefused,
                QStringLiteral("The server of the snippet library %1 refused the connection: %2. Check the user "
                               "name, and the password in PGPASSWORD, ~/.pgpass or the service file.")
                    .arg(shown, said)};
    if (state == QLatin1String("42P01"))
        return {Failure::MissingTable,
                QStringLiteral("The snippet library %1 has no table TABLE1, so it holds no snippets. To create it, "
                               "run the command: quillbox init --server %1")
                    .arg(shown)};
    if (state == QLatin1String("42703"))
        return {Failure::MissingColumn, QStringLiteral("The table TABLE1 of the snippet library %1 has no column %2.")
                                            .arg(shown, said.section(QLatin1Char('"'), 1, 1))};
    if (state == QLatin1String("57014"))
        return {Failure::TimedOut,
                QStringLiteral("The server of the snippet library %1 cancelled the operation: it ran longer than "
                               "the server allows a statement to run.%2")
                    .arg(shown, nothing)};
    if (state == QLatin1String("55P03") || state == QLatin1String("40P01"))
        return {Failure::Locked,
                QStringLiteral("The snippet library %1 is in use by another program, which kept it locked for more "
                               "than %2 seconds. Try again when that program has finished with it.")
                    .arg(shown, waitingSeconds())};
    if (state == QLatin1String("25006") || state == QLatin1String("42501"))
        return {Failure::ReadOnly, QStringLiteral("The snippet library %1 cannot be changed: the server allows "
                                                  "only reading it (%2). Nothing was stored.")
                                       .arg(shown, said)};
    if (state == QLatin1String("53100"))
        return {Failure::DiskFull, QStringLiteral("The server of the snippet library %1 has no room left to write. "
                                                  "Nothing was stored; ask its administrator to free some space.")
                                       .arg(shown)};
    const bool lost = state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P"));
    if (!m_connected)
        return {state.isEmpty() || lost ? Failure::Unreachable : Failure::CannotOpen,
                QStringLiteral("The server of the snippet library %1 cannot be reached: %2. Check that the server "
                               "is running and that the address is right.")
                    .arg(shown, said)};
    if (lost || has("server closed the connection") || has("no connection to the server")
        || has("terminating connection") || has("could not receive data") || has("could not send data")
        || has("connection to server was lost"))
        return {Failure::ConnectionLost,
                access.committing
                    ? QStringLiteral("The connection to the server of the snippet library %1 was lost while the "
                                     "change was being stored (%2): it may or may not have been stored. Look at "
                                     "the library again.")
                          .arg(shown, said)
                    : QStringLiteral("The connection to the server of the snippet library %1 was lost in the middle "
                                     "of the operation (%2).%3")
                          .arg(shown, said, nothing)};
    return {Failure::Other, QStringLiteral("The snippet library %1 could not be used: %2").arg(shown, said)};
}

QString PostgresBackend::trimmed(const QString &column) const
{
    return QStringLiteral("btrim(%1, ' ')").arg(column);
}

QString PostgresBackend::takenKey(const QString &column) const
{
    return QStringLiteral("upper(%1 COLLATE \"C\")").arg(trimmed(column));
}

QString PostgresBackend::beyondAscii(const QString &column) const
{
    return QStringLiteral("octet_length(%1) <> char_length(%1)").arg(column);
}

QString PostgresBackend::like(const QString &column) const
{
    return column + QLatin1String(" COLLATE \"C\" ILIKE ? ESCAPE ?");
}

QString PostgresBackend::always() const
{
    return QStringLiteral("true");
}

QString PostgresBackend::eitherOf(const QString &select, const QString &first, const QString &second) const
{
    return QStringLiteral("%1 WHERE %2 UNION ALL %1 WHERE %3").arg(select, first, second);
}

// A picked heading, a new heading's taken check, and the headings beyond ASCII that are
// compared outside the server each have an index; the key id keeps table order.
QStringList PostgresBackend::schema() const
{
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS TABLE1 (CodeName text, CodeDesc text, code text, id bigserial "
                       "PRIMARY KEY)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS table1_picked ON TABLE1 (%1)").arg(trimmed("CodeName")),
        QStringLiteral("CREATE INDEX IF NOT EXISTS table1_taken ON TABLE1 (%1)").arg(takenKey("CodeName")),
        QStringLiteral("CREATE INDEX IF NOT EXISTS table1_beyond_ascii ON TABLE1 (id) WHERE %1")
            .arg(beyondAscii("CodeName")),
    };
}

} // namespace quillbox::store
