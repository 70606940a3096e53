#pragma once
// A session bus of the test's own: a dbus-daemon listening in a temporary folder, started
// with the object and killed with it.

#include "support/testsupport.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

namespace qbx::test {

class PrivateBus {
public:
    // Whether there is a dbus-daemon to start; a test skips when not.
    static bool available() { return !QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty(); }

    PrivateBus()
    {
        const QString config = m_folder.filePath(QStringLiteral("bus.conf"));
        putFile(config, QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                       "<policy context=\"default\"><allow send_destination=\"*\"/><allow "
                                       "own=\"*\"/><allow receive_sender=\"*\"/>"
                                       "</policy></busconfig>")
                            .arg(m_folder.path())
                            .toUtf8());
        m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config,
                                                       QStringLiteral("--print-address"), QStringLiteral("--nofork")});
        // The address is one line; ten seconds at most for it.
        const QDeadlineTimer deadline(10000);
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(int(deadline.remainingTime()))) {}
        if (m_daemon.canReadLine())
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    // Where clients connect; empty when the daemon did not start.
    const QString &address() const { return m_address; }
    // Why it did not, in words.
    QString fault() { return m_daemon.errorString() + QString::fromUtf8(m_daemon.readAllStandardError()); }

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
};

} // namespace qbx::test
