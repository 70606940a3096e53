#include "store/database.h"

#include <QAtomicInteger>
#include <QSqlError>
#include <QSqlQuery>

#include <utility>

namespace quillbox::store {

DbConnection::DbConnection(const Location &location, const LibraryOptions &options)
    : m_backend(Backend::forLocation(location, options))
{
    static QAtomicInteger<quint64> counter;
    m_name = QStringLiteral("quillbox-store-%1").arg(++counter);
}

DbConnection::~DbConnection()
{
    close();
}

bool DbConnection::take(StoreError error)
{
    if (!error)
        return true;
    m_error = std::move(error);
    return false;
}

bool DbConnection::open()
{
    close();
    m_error = {};
    if (m_backend->location().fault())
        return take(m_backend->location().fault());
    const bool ok = take(m_backend->open(m_name));
    if (!ok)
        close();
    return ok;
}

void DbConnection::close()
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

bool DbConnection::begin(bool writing)
{
    QSqlDatabase db = database();
    m_writing = writing;
    m_inTransaction = true;
    if (take(writing ? m_backend->beginWrite(db) : m_backend->beginRead(db)))
        return true;
    rollback();
    return false;
}

bool DbConnection::checkTable()
{
    QSqlDatabase db = database();
    return take(m_backend->checkTable(db));
}

bool DbConnection::commit()
{
    QSqlQuery q(database());
    if (q.exec(QStringLiteral("COMMIT"))) {
        m_inTransaction = false;
        return true;
    }
    take(m_backend->failure(q.lastError(), {m_writing, true}));
    rollback();
    return false;
}

void DbConnection::rollback()
{
    if (!m_inTransaction || !database().isOpen())
        return;
    QSqlQuery q(database());
    q.exec(QStringLiteral("ROLLBACK"));
    m_inTransaction = false;
}

const StoreError &DbConnection::fail(const QSqlError &error)
{
    take(m_backend->failure(error, {m_writing, false}));
    // The server ignores every statement of a failed transaction, even freeing one.
    if (m_backend->failureEndsTransaction())
        rollback();
    return m_error;
}

} // namespace quillbox::store
