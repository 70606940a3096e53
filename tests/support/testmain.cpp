// The main of every test executable: headless Qt, private user folders for the whole run,
// and any Qt warning reported as a failure.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>

namespace {

void failOnWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return;
    }
    // The offscreen platform says so of what it leaves out (raise, size hints); no fault of ours.
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
    const std::pair<const char *, const char *> folders[] = {
        {"XDG_DATA_HOME", "data"}, {"XDG_CONFIG_HOME", "config"}, {"XDG_RUNTIME_DIR", "runtime"}};
    for (const auto &[variable, name] : folders) {
        QDir(home.path()).mkpath(QLatin1String(name));
        qputenv(variable, QFile::encodeName(home.filePath(QLatin1String(name))));
    }
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    qInstallMessageHandler(failOnWarnings);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
