// The library in a database on a PostgreSQL server. Its trim() is btrim(); upper() and ILIKE
// fold only ASCII letters under the "C" collation, as the file does; a condition is a
// boolean; and it plans the two halves of an OR as one, reading the whole table for it, so
// they are asked for one after the other, each from its own index.

#include "store/backend.h"

namespace quillbox::store {

namespace {

class PostgresBackend final : public Backend {
public:
    QString trimmed(const QString &column) const override { return QStringLiteral("btrim(%1, ' ')").arg(column); }
    QString takenKey(const QString &column) const override
    {
        return QStringLiteral("upper(%1 COLLATE \"C\")").arg(trimmed(column));
    }
    QString beyondAscii(const QString &column) const override
    {
        return QStringLiteral("octet_length(%1) <> char_length(%1)").arg(column);
    }
    QString like(const QString &column) const override
    {
        return column + QLatin1String(" COLLATE \"C\" ILIKE ? ESCAPE ?");
    }
    QString always() const override { return QStringLiteral("true"); }
    QString eitherOf(const QString &select, const QString &first, const QString &second) const override
    {
        return QStringLiteral("%1 WHERE %2 UNION ALL %1 WHERE %3").arg(select, first, second);
    }
    bool handsBytes() const override { return false; }
    QString asBytes(const QString &column) const override { return column; }
    QString fromBytes(const QString &value) const override { return value; }
    // A picked heading, a new heading's taken check, and the headings beyond ASCII that are
    // compared outside the server each have an index; the key id keeps table order.
    QStringList schema() const override
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
};

} // namespace

const Backend &postgresBackend()
{
    static const PostgresBackend backend;
    return backend;
}

} // namespace quillbox::store
