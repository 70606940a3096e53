// The clipboard keeper: the text stays on the clipboard after the program that copied it
// has ended, until another program takes the clipboard.

#include "output/clipboardkeeper.h"
#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "store/snippets.h"
#include "support/testsupport.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>

using namespace quillbox;

namespace {

QString binary(const char *name)
{
    return qEnvironmentVariable("QUILLBOX_BIN_DIR", qbx::test::binDir()) + QLatin1Char('/') + QLatin1String(name);
}

// The keepers serving the display: our processes running "quillbox clipboard-keeper" with it.
int keepersOn(const QByteArray &display)
{
    const QByteArray command = QFile::encodeName(binary("quillbox")) + '\0' + output::kKeeperCommand + '\0';
    int found = 0;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs))
        if (qbx::test::fileBytes("/proc/" + pid + "/cmdline") == command
            && qbx::test::fileBytes("/proc/" + pid + "/environ").split('\0').contains("DISPLAY=" + display))
            ++found;
    return found;
}

struct Finished {
    int exitCode = -1;
    QByteArray out, err;
};

Finished run(const QString &program, const QStringList &args, const QByteArray &display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(20000)) << program.toStdString();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

} // namespace

TEST(Keeper, TheTextOutlivesTheCopyingProgramUntilAnotherTakesTheClipboard)
{
    qbx::test::FreshUserFolders folders;
    ASSERT_TRUE(store::initLibrary(false).done());
    ASSERT_TRUE(store::SnippetLibrary(store::libraryLocation())
                    .add(QStringLiteral("Log"), QStringLiteral("' Opens ${F}"),
                         QStringLiteral("open ${F:\"a.txt\"} for append as #1 ' é"))
                    .done());
    // As show --defaults prints it in the Copy Code form, with the window's CR LF.
    const QByteArray copied = "'Log\r\n\r\n' Opens \"a.txt\"\r\n\r\nOpen \"a.txt\" For Append As #1 ' é";

    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        // Without an X server only this process's own clipboard is there to try the serving on.
        std::printf("Xvfb is not installed: ran the in-process variant on the offscreen clipboard\n");
        bool answered = false;
        QTimer::singleShot(0, [&] {
            EXPECT_TRUE(answered);
            EXPECT_EQ(QGuiApplication::clipboard()->text().toUtf8(), copied);
            QGuiApplication::clipboard()->setText(QStringLiteral("taken"));
        });
        EXPECT_EQ(output::holdUntilTaken(QString::fromUtf8(copied),
                                         [&](const QString &error) {
                                             EXPECT_EQ(error, QString());
                                             return answered = true;
                                         }),
                  0);
        return;
    }
    std::printf("ran the keeper under a private Xvfb\n");
    QProcess server;
    server.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
    ASSERT_TRUE(
        qbx::test::waitFor([&] { return server.canReadLine() || server.state() == QProcess::NotRunning; }, 15000));
    const QByteArray display = ':' + server.readLine().trimmed();
    ASSERT_GT(display.size(), 1) << server.readAllStandardError().toStdString();

    // quillbox copy returns at once, and the text is there to paste after it has ended.
    Finished copy = run(binary("quillbox"), {"copy", "--defaults", "Log"}, display);
    EXPECT_EQ(copy.exitCode, 0) << copy.err.toStdString();
    EXPECT_EQ(copy.out + copy.err, QByteArray());
    EXPECT_EQ(keepersOn(display), 1);
    EXPECT_EQ(run(binary("clipboard_peek"), {"read"}, display).out, copied);
    // Another program takes the clipboard: the keeper ends.
    EXPECT_EQ(run(binary("clipboard_peek"), {"take", "taken"}, display).exitCode, 0);
    EXPECT_TRUE(qbx::test::waitFor([&] { return keepersOn(display) == 0; })) << "the keeper still runs";
    EXPECT_EQ(run(binary("clipboard_peek"), {"read"}, display).out, QByteArray());

    // A second copy: the first keeper gives way to the second.
    for (int copies = 0; copies < 2; ++copies)
        EXPECT_EQ(run(binary("quillbox"), {"copy", "Log"}, display).exitCode, 0);
    EXPECT_TRUE(qbx::test::waitFor([&] { return keepersOn(display) == 1; })) << keepersOn(display) << " keepers";
    // A keeper whose display goes away ends.
    server.terminate();
    EXPECT_TRUE(server.waitForFinished(10000));
    EXPECT_TRUE(qbx::test::waitFor([&] { return keepersOn(display) == 0; })) << "the keeper outlived its display";
}

TEST(Keeper, WhatKeepsTheClipboardFromBeingKeptIsToldInWords)
{
    const QByteArray display = qgetenv("DISPLAY"), wayland = qgetenv("WAYLAND_DISPLAY");
    const struct {
        const char *display;
        QString program;
        qsizetype size;
        const char *says;
    } cases[] = {
        {"", binary("quillbox"), 10, "There is no display to put the text on the clipboard of"},
        {":99", QStringLiteral("/nonexistent/quillbox"), 10, "could not be started: No such file or directory"},
        {":99", QStringLiteral("/bin/true"), 10, "The clipboard keeper ended without taking the clipboard"},
        {":99", QStringLiteral("/bin/true"), output::kMostKeptBytes + 1, "The text is too large to keep"},
    };
    qunsetenv("WAYLAND_DISPLAY");
    for (const auto &c : cases) {
        qputenv("DISPLAY", c.display);
        const output::Kept kept = output::keepOnClipboard(QString(c.size, QLatin1Char('x')), c.program);
        EXPECT_FALSE(kept.ok) << c.says;
        EXPECT_TRUE(kept.error.contains(QLatin1String(c.says))) << kept.error.toStdString();
    }
    qputenv("DISPLAY", display);
    qputenv("WAYLAND_DISPLAY", wayland);
}
