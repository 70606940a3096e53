#include "support/testsupport.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>

namespace qbx::test {

bool rerunUnprivileged()
{
    if (geteuid() != 0)
        return false;
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    // The child's main makes its own user folders; HOME is one it can reach.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), QDir::tempPath());
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"),
                {"--reuid=65534", "--regid=65534", "--clear-groups", "--", QCoreApplication::applicationFilePath(),
                 QStringLiteral("--gtest_filter=%1.%2")
                     .arg(QLatin1String(info->test_suite_name()), QLatin1String(info->name()))});
    const bool finished = child.waitForFinished(120000) && child.exitStatus() == QProcess::NormalExit;
    const std::string output = QString::fromLocal8Bit(child.readAll()).toStdString();
    if (finished && output.find("Permission denied") != std::string::npos
        && output.find("[ RUN      ]") == std::string::npos) {
        // The build folder is out of reach of "nobody" on this machine.
        [] { GTEST_SKIP() << "the test program cannot be run as an unprivileged user here"; }();
        return true;
    }
    // It ran the one test, which passed and was not skipped. The child's words are told
    // with its skip mark spelled otherwise, so that a failure here is never read as a skip.
    const std::string skipMark = std::string("[  SKIP") + "PED ]";
    const bool passed = finished && child.exitCode() == 0 && output.find("[  PASSED  ] 1 test") != std::string::npos
                        && output.find(skipMark) == std::string::npos;
    std::string told = output;
    for (std::size_t at = told.find(skipMark); at != std::string::npos; at = told.find(skipMark, at))
        told.replace(at, skipMark.size(), "[ skipped ]");
    EXPECT_TRUE(passed) << told;
    return true;
}

} // namespace qbx::test
