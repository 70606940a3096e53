#include "store/backend.h"

#include "store/postgres/postgresbackend.h"
#include "store/sqlite/sqlitebackend.h"

#include <QSqlError>
#include <QSqlQuery>

#include <utility>

namespace quillbox::store {

Backend::Backend(Location location, LibraryOptions options)
    : m_location(std::move(location)), m_options(std::move(options))
{}

std::unique_ptr<Backend> Backend::forLocation(const Location &location, const LibraryOptions &options)
{
    if (location.onServer())
        return std::make_unique<PostgresBackend>(location, options);
    return std::make_unique<SqliteBackend>(location, options);
}

StoreError Backend::exec(QSqlDatabase &db, const QString &statement, Access access) const
{
    QSqlQuery q(db);
    if (q.exec(statement))
        return {};
    return failure(q.lastError(), access);
}

QString Backend::waitingSeconds() const
{
    return QString::number(m_options.busyTimeout / 1000.0, 'g', 3);
}

} // namespace quillbox::store
