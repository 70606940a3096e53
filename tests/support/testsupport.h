#pragma once
// Shared by every test executable: a headless application, private user folders, and Qt
// warnings counted as failures.

#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <ostream>
#include <vector>

// Readable QStrings in test failures.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace qbx::test {

// Points XDG_DATA_HOME and XDG_CONFIG_HOME at new empty folders for its lifetime.
class FreshUserFolders {
public:
    FreshUserFolders();
    ~FreshUserFolders();
    FreshUserFolders(const FreshUserFolders &) = delete;
    FreshUserFolders &operator=(const FreshUserFolders &) = delete;

    QString dataHome() const { return m_data.path(); }
    QString configHome() const { return m_config.path(); }
    // $XDG_DATA_HOME/Quillbox
    QString libraryFolder() const;

private:
    QTemporaryDir m_data;
    QTemporaryDir m_config;
    QByteArray m_oldData;
    QByteArray m_oldConfig;
};

// While alive, Qt messages matching the pattern are allowed instead of failing the test;
// count() tells how many arrived.
class ExpectedWarning {
public:
    explicit ExpectedWarning(const QString &pattern);
    ~ExpectedWarning();
    ExpectedWarning(const ExpectedWarning &) = delete;
    ExpectedWarning &operator=(const ExpectedWarning &) = delete;
    int count() const { return m_count; }
    bool matches(const QString &message);

private:
    QRegularExpression m_pattern;
    int m_count = 0;
};

// The folder holding the built programs and the add-in module.
QString binDir();

// Permission cases cannot be shown as root, who reads and writes everything. Called first
// in such a test: when running as root, runs this same test again in a child process as
// the unprivileged user "nobody", reports the child's verdict, and returns true (the
// caller then returns at once). Otherwise returns false and the test goes on as it is.
bool rerunUnprivileged();

// Waits (processing events) until the predicate holds or the timeout passes.
template <typename Pred>
bool waitFor(Pred pred, int timeoutMs = 5000);

} // namespace qbx::test

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

template <typename Pred>
bool qbx::test::waitFor(Pred pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}
