#pragma once
// A throwaway PostgreSQL cluster for the tests of the library on a server: made with initdb
// in a temporary folder, listening on a Unix socket in that folder only (no TCP port), run as
// "nobody" when the tests run as root, and stopped and removed when the test program ends,
// also when a test failed. Started on first use; the tests that need it skip, saying why,
// when PostgreSQL or Qt's driver for it is not installed.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace qbx::test {

class PgCluster {
public:
    // The cluster of this test program; null, with why in skipReason(), when none can run.
    static PgCluster *get()
    {
        static bool environment = (::testing::AddGlobalTestEnvironment(new Environment), true);
        (void)environment;
        if (!instance() && reason().isEmpty()) {
            instance() = std::unique_ptr<PgCluster>(new PgCluster);
            if (!instance()->m_error.isEmpty())
                reason() = instance()->m_error, instance().reset();
        }
        return instance().get();
    }
    static QString skipReason() { return reason(); }

    ~PgCluster() { pgctl({"stop", "-m", "immediate"}); }

    // A URL of a database in the cluster, as the user "quillbox"; the socket folder as a host
    // name, percent-encoded.
    QString url(const QString &database, const QString &user = QStringLiteral("quillbox")) const
    {
        return QStringLiteral("postgresql://%1@%2/%3")
            .arg(user, QString::fromLatin1(QUrl::toPercentEncoding(m_dir.path())), database);
    }
    QString socketFolder() const { return m_dir.path(); }

    // Creates a new empty database; empty when it worked, else the server's words.
    QString createDatabase(const QString &name) const
    {
        const QString connection = QStringLiteral("pgcluster-admin");
        QString error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
            db.setHostName(m_dir.path());
            db.setUserName(QStringLiteral("quillbox"));
            db.setDatabaseName(QStringLiteral("postgres"));
            QSqlQuery q(db);
            if (!db.open() || !q.exec(QStringLiteral("CREATE DATABASE \"%1\"").arg(name)))
                error = db.lastError().text() + q.lastError().text();
        }
        QSqlDatabase::removeDatabase(connection);
        return error;
    }

    // Stops the server at once, as a crash would (no checkpoint, recovery at the next start).
    bool kill() { return pgctl({"stop", "-m", "immediate"}); }
    bool start()
    {
        return pgctl({"start", "-w", "-l", m_dir.path() + "/log", "-o",
                      "-c listen_addresses='' -c unix_socket_directories='" + m_dir.path() + "' -c fsync=off"});
    }

private:
    struct Environment : ::testing::Environment {
        void TearDown() override { instance().reset(); }
    };
    static std::unique_ptr<PgCluster> &instance()
    {
        static std::unique_ptr<PgCluster> cluster;
        return cluster;
    }
    static QString &reason()
    {
        static QString why;
        return why;
    }

    PgCluster()
    {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
            m_error = QStringLiteral("Qt's PostgreSQL driver is not installed (libqt6sql6-psql)");
            return;
        }
        QProcess config;
        config.start(QStringLiteral("pg_config"), {QStringLiteral("--bindir")});
        m_bin = config.waitForFinished() ? QString::fromLocal8Bit(config.readAllStandardOutput()).trimmed() : QString();
        if (!QFileInfo::exists(m_bin + "/initdb")) {
            const QStringList versions = QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            m_bin = versions.isEmpty() ? QString() : "/usr/lib/postgresql/" + versions.last() + "/bin";
        }
        if (m_bin.isEmpty() || !QFileInfo::exists(m_bin + "/initdb")) {
            m_error = QStringLiteral("PostgreSQL is not installed (no initdb found)");
            return;
        }
        // The server refuses to run as root: the folder becomes nobody's, and so does the server.
        if (geteuid() == 0) {
            const passwd *nobody = getpwnam("nobody");
            if (!nobody || chown(QFile::encodeName(m_dir.path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
                m_error = QStringLiteral("the cluster's folder cannot be given to the user nobody");
                return;
            }
            m_asUser = {QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("nobody"),
                        QStringLiteral("--")};
        }
        if (!runTool("initdb", {"-D", m_dir.path() + "/data", "-U", "quillbox", "-A", "trust", "-E", "UTF8",
                                "--locale=C", "--no-sync"})
            || !start())
            m_error = QStringLiteral("the test cluster could not be started: ") + m_output;
    }

    bool pgctl(const QStringList &args) { return runTool("pg_ctl", QStringList{"-D", m_dir.path() + "/data"} + args); }

    bool runTool(const char *tool, const QStringList &args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        const QString program = m_bin + QLatin1Char('/') + QLatin1String(tool);
        p.start(m_asUser.isEmpty() ? program : m_asUser.first(), m_asUser.mid(1) + QStringList{program} + args);
        const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        m_output = QString::fromLocal8Bit(p.readAll());
        return ok;
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/qbxpg-XXXXXX")};
    QString m_bin, m_error, m_output;
    QStringList m_asUser;
};

// Skips the test, saying why, when no cluster can run here; otherwise yields it.
#define QBX_NEED_CLUSTER(cluster)                                                                                      \
    qbx::test::PgCluster *cluster = qbx::test::PgCluster::get();                                                       \
    if (!cluster)                                                                                                      \
    GTEST_SKIP() << "no PostgreSQL server for this test: " << qbx::test::PgCluster::skipReason().toStdString()

} // namespace qbx::test
