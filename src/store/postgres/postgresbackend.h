#pragma once
// The library in a database on a PostgreSQL server, named by a postgresql:// URL.

#include "store/backend.h"

namespace quillbox::store {

class PostgresBackend final : public Backend {
public:
    PostgresBackend(Location location, LibraryOptions options);

    StoreError open(const QString &name) override;
    StoreError beginRead(QSqlDatabase &db) override;
    StoreError beginWrite(QSqlDatabase &db) override;
    StoreError checkTable(QSqlDatabase &db) override;
    StoreError failure(const QSqlError &error, Access access) const override;
    bool failureEndsTransaction() const override { return true; }
    bool sendsBareStatements() const override { return true; }
    bool holdsOnlyValidText() const override { return true; }
    bool readsPickedInOneStatement() const override { return true; }
    bool ranksRows() const override { return false; }

    QString trimmed(const QString &column) const override;
    QString takenKey(const QString &column) const override;
    QString beyondAscii(const QString &column) const override;
    QString like(const QString &column) const override;
    QString always() const override;
    QString eitherOf(const QString &select, const QString &first, const QString &second) const override;
    bool handsBytes() const override { return false; }
    QString asBytes(const QString &column) const override { return column; }
    QString fromBytes(const QString &value) const override { return value; }
    QStringList schema() const override;

    // The key of the server's lock that every write of the library holds, the server's
    // counterpart of reserving the file: one writer at a time checks and writes.
    static constexpr qint64 kLibraryLockKey = 0x5175696c6c626f78; // "Quillbox"

private:
    bool m_connected = false; // the connection was made (a later failure is no unreachable server)
};

} // namespace quillbox::store
