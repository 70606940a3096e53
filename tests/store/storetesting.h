#pragma once
// Shared by the store's tests: a plain SQLite connection of the test's own, beside the
// store's, for making odd files, holding locks and looking at what was really stored; and
// the store's helper program started.

#include "store/libraryfolder.h"
#include "support/testsupport.h" // shows QStrings as text in failures

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <gtest/gtest.h>

#include <memory>

namespace qbx::test {

class RawConnection {
public:
    // Opens an existing file, never creating one; waits that long for a file another holds.
    // A postgresql:// URL connects to that database instead.
    explicit RawConnection(const QString &path, int busyTimeout = 5000)
        : m_name(QStringLiteral("test-raw-%1").arg(++counter()))
    {
        if (quillbox::store::isServerLocation(path)) {
            const quillbox::store::ServerAddress a = quillbox::store::Location(path).server();
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
            db.setHostName(a.host);
            db.setUserName(a.user);
            db.setDatabaseName(a.database);
            db.open();
            return;
        }
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeout));
        db.setDatabaseName(quillbox::store::readWriteUri(path));
        db.open();
    }
    ~RawConnection()
    {
        database().close();
        QSqlDatabase::removeDatabase(m_name);
    }
    RawConnection(const RawConnection &) = delete;
    RawConnection &operator=(const RawConnection &) = delete;

    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }

    // Runs one statement; empty when it worked, else the database's words.
    QString run(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(database());
        bool ok = values.isEmpty() ? q.exec(sql) : q.prepare(sql); // the server prepares no BEGIN
        for (const QVariant &v : values)
            q.addBindValue(v);
        ok = ok && (values.isEmpty() || q.exec());
        return ok ? QString() : q.lastError().text() + QStringLiteral(" [") + sql + QLatin1Char(']');
    }

    // The first column of the first row of a query; invalid when it failed or found nothing.
    QVariant value(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(database());
        q.setForwardOnly(true);
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        return q.exec() && q.next() ? q.value(0) : QVariant();
    }

private:
    static int &counter()
    {
        static int n = 0;
        return n;
    }
    QString m_name;
};

// The rows of TABLE1 in table order, read past the store, as "heading|description|code"
// with NULL for a null column.
inline QStringList storedRows(const QString &path)
{
    RawConnection raw(path);
    QSqlQuery q(raw.database());
    EXPECT_TRUE(q.exec(QStringLiteral("SELECT coalesce(CodeName, 'NULL') || '|' || coalesce(CodeDesc, 'NULL') || '|' "
                                      "|| coalesce(code, 'NULL') FROM TABLE1 ORDER BY %1")
                           .arg(quillbox::store::isServerLocation(path) ? "id" : "rowid")));
    QStringList rows;
    while (q.next())
        rows << q.value(0).toString();
    return rows;
}

// The store's helper program (storehelper.cpp) in this process's environment, once it has
// said it is ready.
inline std::unique_ptr<QProcess> startHelper(const QStringList &args)
{
    auto helper = std::make_unique<QProcess>();
    helper->start(qbx::test::binDir() + QStringLiteral("/store_helper"), args);
    helper->waitForReadyRead(10000);
    EXPECT_EQ(helper->readLine(), "ready\n") << helper->readAllStandardError().toStdString();
    return helper;
}

} // namespace qbx::test
