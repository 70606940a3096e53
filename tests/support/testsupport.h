#pragma once
// Shared by every test executable: private user folders, where the built programs are, a
// way to run permission cases unprivileged, waiting on the event loop, and whole files.

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <ostream>

// Readable QStrings in test failures.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace qbx::test {

// Points XDG_DATA_HOME and XDG_CONFIG_HOME at new empty folders for its lifetime.
class FreshUserFolders {
public:
    FreshUserFolders() : m_oldData(qgetenv("XDG_DATA_HOME")), m_oldConfig(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }
    ~FreshUserFolders()
    {
        qputenv("XDG_DATA_HOME", m_oldData);
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
    }

    QString dataHome() const { return m_data.path(); }
    QString configHome() const { return m_config.path(); }
    // $XDG_DATA_HOME/Quillbox
    QString libraryFolder() const { return m_data.path() + QStringLiteral("/Quillbox"); }

private:
    QTemporaryDir m_data, m_config;
    QByteArray m_oldData, m_oldConfig;
};

// The folder holding the built programs and the add-in module, where the tests are built too.
inline QString binDir()
{
    return QCoreApplication::applicationDirPath();
}

// Permission cases cannot be shown as root, who reads and writes everything. Called first
// in such a test: as root, runs this same test again in a child process as the user
// "nobody", reports the child's verdict and returns true (the caller then returns at once).
// Otherwise returns false and the test goes on as it is.
bool rerunUnprivileged();

// Waits, processing events, until the predicate holds or the timeout passes.
inline constexpr auto waitFor = [](auto pred, int timeoutMs = 5000) { return QTest::qWaitFor(pred, timeoutMs); };

// A file's bytes, or "(missing)" when it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

// Writes the bytes as the whole file; false when that failed.
inline bool putFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace qbx::test
