// The quillbox program from the command line, run as a separate process with no display.

#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct ProcessResult {
    int exitCode = -1;
    QString out;
    QString err;
};

ProcessResult quillbox(const QStringList &args, const qbx::test::FreshUserFolders &folders)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("XDG_DATA_HOME"), folders.dataHome());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folders.configHome());
    p.setProcessEnvironment(env);
    p.start(qbx::test::binDir() + QStringLiteral("/quillbox"), args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(Cli, VersionAndHelpWorkWithoutADisplay)
{
    qbx::test::FreshUserFolders folders;
    const ProcessResult version = quillbox({QStringLiteral("--version")}, folders);
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, QStringLiteral("Quillbox 1.00 (Quillbox Ver 1.0, file version 1.00)\n"));

    const ProcessResult help = quillbox({QStringLiteral("--help")}, folders);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: quillbox")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("init [--samples]")));
    EXPECT_TRUE(help.out.contains(folders.libraryFolder()));
}

TEST(Cli, WrongUseIsRefusedWithAnExitCode)
{
    qbx::test::FreshUserFolders folders;
    struct Case {
        QStringList args;
        int exitCode;
        const char *says;
    };
    const Case cases[] = {
        {{QStringLiteral("frobnicate")}, 2, "unknown command frobnicate"},
        {{QStringLiteral("init"), QStringLiteral("--sample")}, 2, "unknown option --sample"},
        {{}, 1, "there is no display"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const ProcessResult r = quillbox(c.args, folders);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_TRUE(r.err.contains(QString::fromLatin1(c.says))) << r.err.toStdString();
    }
    // Nothing of that created the library.
    EXPECT_FALSE(QFileInfo::exists(folders.libraryFolder()));
}

TEST(Cli, WithoutADisplayTheProgramShowsWhatTheCommandLineCanDo)
{
    qbx::test::FreshUserFolders folders;
    const ProcessResult r = quillbox({}, folders);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Usage: quillbox")));
    EXPECT_FALSE(r.err.contains(QStringLiteral("qt.qpa"))) << "no platform plugin error: " << r.err.toStdString();
}

TEST(Cli, InitCreatesTheLibraryAndSaysWhatItDid)
{
    qbx::test::FreshUserFolders folders;
    const ProcessResult first = quillbox({QStringLiteral("init"), QStringLiteral("--samples")}, folders);
    EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains(QStringLiteral("Created the library folder")));
    EXPECT_TRUE(first.out.contains(QStringLiteral("sample snippets")));
    EXPECT_TRUE(QFileInfo::exists(folders.libraryFolder() + QStringLiteral("/Quillbox.mdb")));
    EXPECT_TRUE(QFileInfo::exists(folders.libraryFolder() + QStringLiteral("/Quillbox Ver 1.html")));

    const ProcessResult again = quillbox({QStringLiteral("init")}, folders);
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.out.contains(QStringLiteral("already exists")));
    EXPECT_FALSE(again.out.contains(QStringLiteral("Created")));
}
