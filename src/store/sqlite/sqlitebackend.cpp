// The library in an SQLite file. Its upper() folds ASCII letters only, as its LIKE does; a
// text's length in characters and in bytes differ exactly when it holds more than ASCII.

#include "store/backend.h"

namespace quillbox::store {

namespace {

class SqliteBackend final : public Backend {
public:
    QString trimmed(const QString &column) const override { return QStringLiteral("trim(%1, ' ')").arg(column); }
    QString takenKey(const QString &column) const override { return QStringLiteral("upper(%1)").arg(trimmed(column)); }
    QString beyondAscii(const QString &column) const override
    {
        return QStringLiteral("length(CAST(%1 AS BLOB)) <> length(%1)").arg(column);
    }
    QString like(const QString &column) const override { return column + QLatin1String(" LIKE ? ESCAPE ?"); }
    QString always() const override { return QStringLiteral("1"); }
    QString eitherOf(const QString &select, const QString &first, const QString &second) const override
    {
        return QStringLiteral("%1 WHERE %2 OR %3").arg(select, first, second);
    }
    bool handsBytes() const override { return true; }
    QString asBytes(const QString &column) const override { return QStringLiteral("CAST(%1 AS BLOB)").arg(column); }
    QString fromBytes(const QString &value) const override { return QStringLiteral("CAST(%1 AS TEXT)").arg(value); }
    // The index on the headings lets the heading list and the taken check read the headings
    // without the descriptions and code beside them.
    QStringList schema() const override
    {
        return {QStringLiteral("CREATE TABLE TABLE1 (CodeName TEXT, CodeDesc TEXT, code TEXT)"),
                QStringLiteral("CREATE INDEX TABLE1_CodeName ON TABLE1 (CodeName)")};
    }
};

} // namespace

const Backend &sqliteBackend()
{
    static const SqliteBackend backend;
    return backend;
}

} // namespace quillbox::store
