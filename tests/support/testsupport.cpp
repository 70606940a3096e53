#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>

namespace qbx::test {

FreshUserFolders::FreshUserFolders() : m_oldData(qgetenv("XDG_DATA_HOME")), m_oldConfig(qgetenv("XDG_CONFIG_HOME"))
{
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
}

FreshUserFolders::~FreshUserFolders()
{
    qputenv("XDG_DATA_HOME", m_oldData);
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
}

QString binDir()
{
    const QByteArray dir = qgetenv("QUILLBOX_BIN_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : QFile::decodeName(dir);
}

bool rerunUnprivileged()
{
    if (geteuid() != 0)
        return false;
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), QDir::tempPath());
    env.insert(QStringLiteral("QUILLBOX_BIN_DIR"), binDir());
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                 QStringLiteral("--"), QCoreApplication::applicationFilePath(),
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
    EXPECT_TRUE(finished && child.exitCode() == 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    EXPECT_EQ(output.find("[  SKIPPED ]"), std::string::npos) << output;
    return true;
}

} // namespace qbx::test
