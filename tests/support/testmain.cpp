// The main of every test executable: headless Qt, private user folders for the whole run,
// and any Qt warning reported as a failure.

#include "support/testsupport.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>

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

    // Private user folders for the whole run; a runtime folder only its owner can enter.
    const qbx::test::FreshUserFolders folders;
    const QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));

    qInstallMessageHandler(failOnWarnings);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
