#include "output/clipboardkeeper.h"

#include "output/clipboard.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace quillbox::output {

namespace {

constexpr char kHeld[] = "held";
constexpr qsizetype kMostAnswerBytes = 4096;

QString systemError(const char *what, int error)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(error)));
}

// Waits for the socket to be ready for `events` until the deadline; false when it passed.
bool waitReady(int fd, short events, const QElapsedTimer &clock)
{
    for (;;) {
        const qint64 left = kKeeperAnswerMs - clock.elapsed();
        if (left <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, int(left));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

// The keeper's one line, read until the line ends, the keeper closes its end, or time runs out.
// Null when no line came.
QString readAnswer(int fd, const QElapsedTimer &clock, bool *timedOut)
{
    QByteArray answer;
    while (answer.size() < kMostAnswerBytes && !answer.contains('\n')) {
        if (!waitReady(fd, POLLIN, clock)) {
            *timedOut = true;
            return {};
        }
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;
        answer.append(buffer, n);
    }
    if (!answer.contains('\n'))
        return {};
    return QString::fromUtf8(answer.left(answer.indexOf('\n')));
}

// The started process reads the text and hands the serving to a child of its own before it
// ends (see serveClipboard), so a long-running caller is left with no process to reap later.
// It is waited for here; one that does not end in a second is ended.
void reap(pid_t pid)
{
    for (int tries = 0; tries < 100; ++tries) {
        const pid_t done = ::waitpid(pid, nullptr, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR))
            return;
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {}
}

// Standard output while the keeper has not answered yet; -1 once it has.
int g_answerFd = STDOUT_FILENO;

// Writes the answer line and lets go of standard output, so that the caller's read ends.
bool answer(const QString &line)
{
    if (g_answerFd < 0)
        return false;
    QByteArray bytes = line.toUtf8();
    bytes.replace('\n', ' ');
    bytes += '\n';
    bool ok = true;
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(g_answerFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += n;
    }
    // The input was read before: both ends of the socket go.
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, g_answerFd);
        ::close(null);
    }
    g_answerFd = -1;
    return ok;
}

// Standard input up to the bound; false (with why) when it cannot be read or is larger.
bool readInput(QByteArray &text, QString &why)
{
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            why = systemError("The text to keep on the clipboard could not be read", errno);
            return false;
        }
        if (n == 0)
            return true;
        if (text.size() + n > kMostKeptBytes) {
            why = QStringLiteral("The text is too large to keep on the clipboard (more than %1 MB).")
                      .arg(kMostKeptBytes / (1024 * 1024));
            return false;
        }
        text.append(buffer, n);
    }
}

} // namespace

QString noDisplay()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return QStringLiteral("There is no display to put the text on the clipboard of (neither DISPLAY nor "
                              "WAYLAND_DISPLAY is set).");
    return {};
}

Kept keepOnClipboard(const QString &text, const QString &program)
{
    if (const QString none = noDisplay(); !none.isEmpty())
        return {false, none};
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > kMostKeptBytes)
        return {false, QStringLiteral("The text is too large to keep on the clipboard (more than %1 MB).")
                           .arg(kMostKeptBytes / (1024 * 1024))};

    // One socket pair is the keeper's standard input and output both: sending on it with
    // MSG_NOSIGNAL raises no SIGPIPE in a caller whose keeper ended early, whatever the
    // caller does with that signal, and the keeper reads and writes it as it would pipes.
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return {false, systemError("The clipboard keeper could not be started", errno)};
    const int ours = ends[0], theirs = ends[1];

    // posix_spawn, unlike fork, is safe in a caller with threads (a D-Bus service): the child
    // runs nothing of ours before it execs. It gets a session of its own, so that closing the
    // caller's terminal does not end it, the signals at their defaults, and no descriptor of
    // the caller's but the socket (standard error goes nowhere: it outlives any terminal).
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, theirs, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const QByteArray path = QFile::encodeName(program);
    char command[sizeof kKeeperCommand];
    std::memcpy(command, kKeeperCommand, sizeof kKeeperCommand);
    char *argv[] = {const_cast<char *>(path.constData()), command, nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, path.constData(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(theirs);
    if (spawned != 0) {
        ::close(ours);
        return {false, QStringLiteral("The clipboard keeper %1 could not be started: %2")
                           .arg(program, QString::fromLocal8Bit(std::strerror(spawned)))};
    }

    QElapsedTimer clock;
    clock.start();
    ::fcntl(ours, F_SETFL, ::fcntl(ours, F_GETFL) | O_NONBLOCK);
    bool timedOut = false;
    // A keeper that stops reading early has said why on its output, read below.
    for (qsizetype done = 0; done < bytes.size();) {
        if (!waitReady(ours, POLLOUT, clock)) {
            timedOut = true;
            break;
        }
        const ssize_t n = ::send(ours, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    ::shutdown(ours, SHUT_WR);
    const QString line = timedOut ? QString() : readAnswer(ours, clock, &timedOut);
    // Closed, the socket tells a keeper that answers too late that nobody listens: it ends.
    ::close(ours);
    if (line != QLatin1String(kHeld))
        ::kill(-pid, SIGKILL); // the keeper's session: the started process and any child of it
    reap(pid);

    if (line == QLatin1String(kHeld))
        return {true, {}};
    if (timedOut)
        return {false,
                QStringLiteral("The clipboard keeper did not answer within %1 seconds.").arg(kKeeperAnswerMs / 1000)};
    if (line.isEmpty())
        return {false, QStringLiteral("The clipboard keeper ended without taking the clipboard (the display may not "
                                      "be reachable).")};
    return {false, line};
}

int holdUntilTaken(const QString &text, const std::function<bool(const QString &error)> &report)
{
    if (!copyPlainText(text)) {
        report(QStringLiteral("The window system did not let the text onto the clipboard: another program may be "
                              "holding it."));
        return 1;
    }
    if (!report(QString()))
        return 1;
    QEventLoop loop;
    whenTaken(&loop, [&loop] { loop.quit(); });
    loop.exec();
    return 0;
}

int serveClipboard(int argc, char **argv)
{
    // A caller that went away makes a write fail, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    QByteArray input;
    QString why;
    if (!readInput(input, why) || !(why = noDisplay()).isEmpty()) {
        answer(why);
        return 1;
    }
    // The serving goes on in a child: the process the caller started ends here, and the
    // caller, which waits for it, keeps no finished process behind. Nothing but this thread
    // runs yet, so forking is safe.
    const pid_t child = ::fork();
    if (child < 0) {
        answer(systemError("The clipboard keeper could not go on in the background", errno));
        return 1;
    }
    if (child > 0)
        ::_exit(0);

    // XWayland's clipboard is handed on to Wayland programs by the GNOME and KDE desktops,
    // and a Wayland program without a window cannot own the clipboard at all: where there is
    // an X display, the keeper is an X client.
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    // When the X connection breaks, the xcb platform ends the process itself.
    // The caller hears "held" or why not; a caller gone by then leaves nobody to serve.
    return holdUntilTaken(QString::fromUtf8(input), [](const QString &error) {
        return answer(error.isEmpty() ? QLatin1String(kHeld) : error) && error.isEmpty();
    });
}

} // namespace quillbox::output
