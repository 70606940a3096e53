#pragma once
// A throwaway PostgreSQL cluster for the tests of the library on a server: made with initdb
// in a temporary folder, listening on a Unix socket in that folder only (no TCP port), run as
// "nobody" when the tests run as root, and stopped and removed when the test program ends,
// also when a test failed. Started on first use; the tests that need it skip, saying why,
// when PostgreSQL or Qt's driver for it is not installed. For the store's test programs.

#include "store/libraryinit.h"
#include "store/storetesting.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace qbx::test {

class PgCluster {
public:
    // The cluster of this test program; null when none can run here (see why()).
    static PgCluster *get()
    {
        static std::unique_ptr<PgCluster> *cluster = [] {
            auto *owner = new Owner;
            ::testing::AddGlobalTestEnvironment(owner);
            owner->cluster.reset(new PgCluster);
            return &owner->cluster;
        }();
        return *cluster && (*cluster)->m_why.isEmpty() ? cluster->get() : nullptr;
    }
    static QString &why()
    {
        static QString text;
        return text;
    }
    ~PgCluster() { pgctl({"stop", "-m", "immediate"}); }

    // A URL of a database of the cluster; the socket folder as its host, percent-encoded.
    QString url(const QString &database, const QString &user = QStringLiteral("quillbox")) const
    {
        return QStringLiteral("postgresql://%1@%2/%3").arg(user, QUrl::toPercentEncoding(m_dir.path()), database);
    }
    // A new database holding an empty library; its URL, or empty when it could not be made.
    QString library(const QString &name) const
    {
        const bool made = RawConnection(url("postgres")).run("CREATE DATABASE \"" + name + "\"").isEmpty();
        return made && quillbox::store::initServerLibrary(quillbox::store::SnippetLibrary(url(name))).done()
                   ? url(name)
                   : QString();
    }
    // Stops the server at once, as a crash would (no checkpoint, recovery at the next start).
    bool kill() { return pgctl({"stop", "-m", "immediate"}); }
    bool start()
    {
        return pgctl({"start", "-w", "-l", m_dir.path() + "/log", "-o",
                      "-c listen_addresses='' -c unix_socket_directories='" + m_dir.path()
                          + "' -c fsync=off -c shared_buffers=16MB -c dynamic_shared_memory_type=mmap"});
    }

private:
    struct Owner : ::testing::Environment {
        std::unique_ptr<PgCluster> cluster;
        void TearDown() override { cluster.reset(); }
    };

    PgCluster() : m_why(why())
    {
        QProcess config;
        config.start(QStringLiteral("pg_config"), {QStringLiteral("--bindir")});
        m_bin = config.waitForFinished() ? QString::fromLocal8Bit(config.readAllStandardOutput()).trimmed() : QString();
        const QStringList versions = QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        if (!QFileInfo::exists(m_bin + "/initdb") && !versions.isEmpty())
            m_bin = "/usr/lib/postgresql/" + versions.last() + "/bin";
        // The server refuses to run as root: the folder becomes nobody's, and so does the server.
        const passwd *nobody = geteuid() == 0 ? getpwnam("nobody") : nullptr;
        if (nobody && chown(QFile::encodeName(m_dir.path()).constData(), nobody->pw_uid, nobody->pw_gid) == 0)
            m_asUser = QStringList{"runuser", "-u", "nobody", "--"};
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
            m_why = "Qt's PostgreSQL driver is not installed (libqt6sql6-psql)";
        else if (!QFileInfo::exists(m_bin + "/initdb"))
            m_why = "PostgreSQL is not installed (no initdb)";
        else if (!run("initdb", {"-D", m_dir.path() + "/data", "-U", "quillbox", "-A", "trust", "-E", "UTF8",
                                 "--locale=C", "--no-sync"})
                 || !start())
            m_why = "the test cluster could not be started";
        why() = m_why;
    }
    bool pgctl(const QStringList &args) { return run("pg_ctl", QStringList{"-D", m_dir.path() + "/data"} + args); }
    bool run(const char *tool, const QStringList &args)
    {
        QProcess p;
        const QString program = m_bin + QLatin1Char('/') + QLatin1String(tool);
        p.start(m_asUser.isEmpty() ? program : m_asUser.first(), m_asUser.mid(1) + QStringList{program} + args);
        return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/qbxpg-XXXXXX")};
    QString m_bin, m_why;
    QStringList m_asUser;
};

// Skips the test, saying why, when no cluster can run here; otherwise yields it.
#define QBX_NEED_CLUSTER(cluster)                                                                                      \
    qbx::test::PgCluster *cluster = qbx::test::PgCluster::get();                                                       \
    if (!cluster)                                                                                                      \
    GTEST_SKIP() << "no PostgreSQL server for this test: " << qbx::test::PgCluster::why().toStdString()

} // namespace qbx::test
