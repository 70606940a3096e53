// The main of every test executable: headless Qt, private user folders for the whole run,
// and any Qt warning that no test expects reported as a failure.

#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace qbx::test {
bool messageIsExpected(const QString &message);
}

namespace {

void failOnWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return;
    }
    if (qbx::test::messageIsExpected(message))
        return;
    // The offscreen platform says so of what it leaves out (raise, size hints); it is no fault of ours.
    if (message.startsWith(QLatin1String("This plugin does not support ")))
        return;
    ADD_FAILURE() << "Unexpected Qt message: " << message.toStdString();
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral("data"));
    QDir(home.path()).mkpath(QStringLiteral("config"));
    QDir(home.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(home.path() + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/config")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path() + QStringLiteral("/runtime")));

    qInstallMessageHandler(failOnWarnings);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
