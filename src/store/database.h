#pragma once
// One operation's connection to the library, used only inside the store, through the back
// end the library's location calls for. It keeps the transaction's state and the first
// failure met, and lets go of everything when it is destroyed.

#include "store/backend.h"
#include "store/location.h"
#include "store/storeerror.h"

#include <QSqlDatabase>
#include <QString>

#include <memory>

class QSqlError;

namespace quillbox::store {

class DbConnection {
public:
    DbConnection(const Location &location, const LibraryOptions &options);
    ~DbConnection();
    DbConnection(const DbConnection &) = delete;
    DbConnection &operator=(const DbConnection &) = delete;

    // Opens the existing library for reading and writing.
    bool open();
    void close();
    const Backend &backend() const { return *m_backend; }
    // The library as messages name it.
    const QString &shownName() const { return m_backend->location().shown(); }

    // A read sees one state of the library from begin(false) to its end; a write, begin(true),
    // holds the library until it is committed or rolled back.
    bool begin(bool writing);
    // Whether TABLE1 is a table with the three columns (see Backend::checkTable).
    bool checkTable();
    bool commit();
    void rollback();

    QSqlDatabase database() const;
    const StoreError &lastError() const { return m_error; }
    // Records the failure of a statement, in words.
    const StoreError &fail(const QSqlError &error);

private:
    bool take(StoreError error);

    std::unique_ptr<Backend> m_backend;
    QString m_name;
    bool m_inTransaction = false;
    bool m_writing = false;
    StoreError m_error;
};

} // namespace quillbox::store
