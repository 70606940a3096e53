#pragma once
// The library in an SQLite file.

#include "store/backend.h"

#include <QElapsedTimer>

struct sqlite3_context;
struct sqlite3_value;

namespace quillbox::store {

class SqliteBackend final : public Backend {
public:
    using Backend::Backend;

    StoreError open(const QString &name) override;
    StoreError beginRead(QSqlDatabase &db) override;
    StoreError beginWrite(QSqlDatabase &db) override;
    StoreError checkTable(QSqlDatabase &db) override;
    StoreError failure(const QSqlError &error, Access access) const override;
    bool failureEndsTransaction() const override { return false; }
    bool sendsBareStatements() const override { return false; }
    bool holdsOnlyValidText() const override { return false; }
    bool readsPickedInOneStatement() const override { return false; }
    bool ranksRows() const override { return m_ranksRows; }
    void collectRanked(RankedRows *rows) const override { m_ranked = rows; }

    QString trimmed(const QString &column) const override;
    QString takenKey(const QString &column) const override;
    QString beyondAscii(const QString &column) const override;
    QString like(const QString &column) const override;
    QString always() const override;
    QString eitherOf(const QString &select, const QString &first, const QString &second) const override;
    bool handsBytes() const override { return true; }
    QString asBytes(const QString &column) const override;
    QString fromBytes(const QString &value) const override;
    QStringList schema() const override { return fileSchema(); }
    // The schema of a new library file.
    static QStringList fileSchema();

private:
    static int waitAMillisecond(void *self, int tries);

    QElapsedTimer m_waiting; // since this connection began to wait for a file another holds
    // The rank function was given to the connection (not when the driver's own SQLite is
    // out of our reach); without it, rows are ranked as a server's are.
    bool m_ranksRows = false;
    mutable RankedRows *m_ranked = nullptr;

    friend void rankStep(::sqlite3_context *, int, ::sqlite3_value **);
};

} // namespace quillbox::store
