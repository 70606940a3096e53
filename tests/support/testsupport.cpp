#include "testsupport.h"

#include <QDir>
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

} // namespace qbx::test
