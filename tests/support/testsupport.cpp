#include "testsupport.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>
#include <QFile>

#include <algorithm>

#include <cstdlib>

namespace qbx::test {

namespace {
std::vector<ExpectedWarning *> &expectations()
{
    static std::vector<ExpectedWarning *> list;
    return list;
}
} // namespace

bool messageIsExpected(const QString &message)
{
    for (auto it = expectations().rbegin(); it != expectations().rend(); ++it)
        if ((*it)->matches(message))
            return true;
    return false;
}

FreshUserFolders::FreshUserFolders()
    : m_oldData(qgetenv("XDG_DATA_HOME")), m_oldConfig(qgetenv("XDG_CONFIG_HOME"))
{
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
}

FreshUserFolders::~FreshUserFolders()
{
    qputenv("XDG_DATA_HOME", m_oldData);
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
}

QString FreshUserFolders::libraryFolder() const
{
    return m_data.path() + QStringLiteral("/Quillbox");
}

ExpectedWarning::ExpectedWarning(const QString &pattern) : m_pattern(pattern)
{
    expectations().push_back(this);
}

ExpectedWarning::~ExpectedWarning()
{
    auto &list = expectations();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

bool ExpectedWarning::matches(const QString &message)
{
    if (!m_pattern.match(message).hasMatch())
        return false;
    ++m_count;
    return true;
}

QString binDir()
{
    const QByteArray dir = qgetenv("QUILLBOX_BIN_DIR");
    if (!dir.isEmpty())
        return QFile::decodeName(dir);
    return QCoreApplication::applicationDirPath();
}

bool rerunUnprivileged()
{
    if (geteuid() != 0)
        return false;
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    const QString filter = QStringLiteral("--gtest_filter=%1.%2")
                               .arg(QString::fromLatin1(info->test_suite_name()), QString::fromLatin1(info->name()));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "HOME"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), QDir::tempPath());
    env.insert(QStringLiteral("QUILLBOX_BIN_DIR"), binDir());
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                            QStringLiteral("--clear-groups"), QStringLiteral("--"),
                                            QCoreApplication::applicationFilePath(), filter});
    const bool finished = child.waitForFinished(120000);
    const QString output = QString::fromLocal8Bit(child.readAll());
    if (!finished || child.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "the unprivileged run did not finish:\n" << output.toStdString();
        return true;
    }
    if (output.contains(QLatin1String("Permission denied")) && !output.contains(QLatin1String("[ RUN      ]"))) {
        // The build folder is out of reach of "nobody" on this machine.
        [] { GTEST_SKIP() << "the test program cannot be run as an unprivileged user here"; }();
        return true;
    }
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QLatin1String("[  PASSED  ] 1 test"))) << output.toStdString();
    EXPECT_FALSE(output.contains(QLatin1String("[  SKIPPED ]"))) << output.toStdString();
    return true;
}

} // namespace qbx::test
