#pragma once
// A session bus of the test's own: a dbus-daemon listening in a temporary folder, started
// with the object and killed with it. A services folder may be named for it to start
// services from their .service files.

#include "support/testsupport.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace qbx::test {

class PrivateBus {
public:
    explicit PrivateBus(const QString &servicesFolder = {})
    {
        const QString config = m_folder.filePath(QStringLiteral("bus.conf"));
        const QString services =
            servicesFolder.isEmpty() ? QString() : QStringLiteral("<servicedir>%1</servicedir>").arg(servicesFolder);
        putFile(config,
                QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  %2
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
                    .arg(m_folder.path(), services)
                    .toUtf8());
        m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config,
                                                       QStringLiteral("--print-address"), QStringLiteral("--nofork")});
        while (m_daemon.waitForReadyRead(10000) && !m_daemon.canReadLine()) {}
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
