#pragma once
// What the two back ends of the library, an SQLite file and a database on a PostgreSQL
// server, say differently in SQL. The operations write each statement once, from these
// words; each back end keeps its own in store/sqlite/ or store/postgres/.

#include <QString>
#include <QStringList>

namespace quillbox::store {

class Backend {
public:
    virtual ~Backend() = default;

    // The column without the spaces around it, as the picked rule compares headings.
    virtual QString trimmed(const QString &column) const = 0;
    // The column trimmed and upper-cased (ASCII letters only), as the taken rule compares them.
    virtual QString takenKey(const QString &column) const = 0;
    // Whether the column holds a character beyond ASCII.
    virtual QString beyondAscii(const QString &column) const = 0;
    // Whether the column holds the pattern bound next, its ASCII letters in either case, with
    // the escape character bound after it.
    virtual QString like(const QString &column) const = 0;
    // A condition that always holds.
    virtual QString always() const = 0;
    // The rows of `select` (a statement up to its WHERE) that meet either condition.
    virtual QString eitherOf(const QString &select, const QString &first, const QString &second) const = 0;

    // Whether the back end hands its texts over as their UTF-8 bytes (asBytes) and takes them
    // so (fromBytes), which spares a large text its turning into UTF-16 and back.
    virtual bool handsBytes() const = 0;
    virtual QString asBytes(const QString &column) const = 0;
    virtual QString fromBytes(const QString &value) const = 0;

    // The statements that make a new library's table and indexes.
    virtual QStringList schema() const = 0;
};

const Backend &sqliteBackend();
const Backend &postgresBackend();

} // namespace quillbox::store
