// quillbox edit: the snippet written to a temporary .bas file in the folder format's layout,
// the user's editor run on it, and what came back stored as the window stores a change: only
// the columns the user changed are written, and a change never undoes someone else's.

#include "app/cli.h"

#include "store/libraryfolder.h"
#include "store/snippettext.h"
#include "transfer/transfer.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace quillbox::app::cli {

using namespace store;

namespace {

int wrongUse(const QString &what)
{
    say(QStringLiteral("quillbox edit: ") + what);
    return WrongUse;
}

// The editor's command as the user named it: $VISUAL, else $EDITOR, else vi.
QString editorCommand()
{
    for (const char *name : {"VISUAL", "EDITOR"})
        if (const QString command = qEnvironmentVariable(name); !command.trimmed().isEmpty())
            return command;
    return QStringLiteral("vi");
}

// How the editor ended: `failure` empty when with status 0, else what happened, in words.
struct Ended {
    bool started = true;
    QString failure;
};

// Runs the command on the file with the program's own standard input, output and error, and
// waits for it. Ctrl+C at the terminal is the editor's: this program ignores it meanwhile.
Ended runEditor(const QStringList &command, const QString &path)
{
    std::vector<QByteArray> encoded;
    for (const QString &word : command)
        encoded.push_back(QFile::encodeName(word));
    encoded.push_back(QFile::encodeName(path));
    std::vector<char *> argv;
    for (QByteArray &word : encoded)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    struct sigaction ignore {
    }, oldInt{}, oldQuit{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGINT, &ignore, &oldInt);
    ::sigaction(SIGQUIT, &ignore, &oldQuit);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int failure = ::posix_spawnp(&pid, argv.front(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    int status = 0;
    while (failure == 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGQUIT, &oldQuit, nullptr);

    const QString named = command.join(QLatin1Char(' '));
    if (failure != 0)
        return {false, QStringLiteral("the editor %1 cannot be started: %2")
                           .arg(named, QString::fromLocal8Bit(std::strerror(failure)))};
    if (WIFSIGNALED(status))
        return {true, QStringLiteral("the editor %1 was ended by signal %2 (%3)")
                          .arg(named)
                          .arg(WTERMSIG(status))
                          .arg(QString::fromLocal8Bit(::strsignal(WTERMSIG(status))))};
    if (WEXITSTATUS(status) != 0)
        return {true, QStringLiteral("the editor %1 exited with %2").arg(named).arg(WEXITSTATUS(status))};
    return {};
}

// The file's bytes, bounded as a .bas file of a folder is.
transfer::Fault readFile(const QString &path, QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {QStringLiteral("%1 cannot be read: %2").arg(path, transfer::errnoWords(errno))};
    const transfer::Fault fault = transfer::readBounded(fd, path, transfer::kFieldLimit, bytes);
    ::close(fd);
    return fault;
}

// The edited file read back as a snippet; a fault when it is no .bas file of the layout.
transfer::Fault parseEdited(const QString &path, const QByteArray &bytes, Snippet &snippet)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return {QStringLiteral("%1 is not UTF-8 text").arg(path)};
    if (const transfer::Fault fault = transfer::parseBas(QString(), path, text, snippet))
        return fault;
    if (isEmptyEntry(snippet.code.toString()))
        return {QStringLiteral("%1: Please Enter the code").arg(path)};
    return {};
}

} // namespace

bool splitCommand(const QString &command, QStringList &words, QString &wrong)
{
    words.clear();
    QString word;
    bool inWord = false;
    QChar quote;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command[i];
        if (quote == QLatin1Char('\'')) {
            if (c == quote)
                quote = QChar();
            else
                word += c;
        } else if (quote == QLatin1Char('"')) {
            if (c == quote)
                quote = QChar();
            else if (c == QLatin1Char('\\') && i + 1 < command.size()
                     && QStringView(u"\"\\$`").contains(command[i + 1]))
                word += command[++i];
            else
                word += c;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            inWord = true;
            if (c == QLatin1Char('\'') || c == QLatin1Char('"'))
                quote = c;
            else if (c == QLatin1Char('\\') && i + 1 < command.size())
                word += command[++i];
            else
                word += c;
        }
    }
    if (!quote.isNull()) {
        wrong = QStringLiteral("the quote %1 is left open").arg(quote);
        return false;
    }
    if (inWord)
        words << word;
    return true;
}

int edit(const QStringList &args)
{
    const Arguments a = parseArguments(args, {}, {});
    if (!a.wrong.isEmpty())
        return wrongUse(a.wrong);
    if (a.positional.size() != 1)
        return wrongUse(QStringLiteral("give one heading (in quotes when it has spaces; after -- when it "
                                       "starts with -)"));
    const QString picked = a.positional.first();
    QStringList command;
    QString wrong;
    if (!splitCommand(editorCommand(), command, wrong))
        return wrongUse(QStringLiteral("the editor's command \"%1\" cannot be read: %2").arg(editorCommand(), wrong));

    const SnippetLibrary library(libraryLocation());
    const SnippetResult found = library.find(picked);
    if (!found.done())
        return reportFailure("edit", found, picked);
    const Snippet &was = found.snippet;
    // Another program may have stored a heading of several lines, which the file's one
    // heading line cannot carry.
    if (text::headingFault(was.heading.toString()) == text::HeadingFault::LineBreak) {
        say(QStringLiteral("quillbox edit: the heading holds a line break, which the file cannot carry; give the "
                           "snippet a heading of one line with quillbox rename first"));
        return Failed;
    }

    const QByteArray before = transfer::basFile(was);
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/quillbox-XXXXXX.bas"));
    file.setAutoRemove(false);
    if (!file.open() || file.write(before) != before.size() || !file.flush()) {
        say(QStringLiteral("quillbox edit: a temporary file in %1 cannot be written: %2")
                .arg(QDir::tempPath(), file.errorString()));
        file.remove();
        return Failed;
    }
    file.close();
    const QString path = file.fileName();
    const auto kept = [&](const QString &why, int status = Failed) {
        if (!why.isEmpty())
            say(QStringLiteral("quillbox edit: ") + why);
        say(QStringLiteral("quillbox edit: nothing was stored; the edited text is kept in %1").arg(path));
        return status;
    };

    // An editor that never started left nothing to keep.
    if (const Ended ended = runEditor(command, path); !ended.started) {
        QFile::remove(path);
        say(QStringLiteral("quillbox edit: ") + ended.failure);
        return Failed;
    } else if (!ended.failure.isEmpty()) {
        return kept(ended.failure);
    }
    QByteArray after;
    if (const transfer::Fault fault = readFile(path, after))
        return kept(fault.message);
    if (after == before) {
        QFile::remove(path);
        say(QStringLiteral("quillbox edit: unchanged"));
        return Done;
    }
    Snippet edited, base;
    if (const transfer::Fault fault = parseEdited(path, after, edited))
        return kept(fault.message);
    // The file read back holds the columns under the window's rules (headings trimmed,
    // description lines marked, code with CR LF): a column the user left as it was keeps its
    // stored value, and is not written.
    parseEdited(path, before, base);
    const auto column = [](const QVariant &now, const QVariant &read, const QVariant &stored) {
        return now.toString() == read.toString() ? stored.toString() : now.toString();
    };
    const Result stored = library.modify(picked, was, column(edited.heading, base.heading, was.heading),
                                         column(edited.description, base.description, was.description),
                                         column(edited.code, base.code, was.code));
    if (!stored.done())
        return kept({}, reportFailure("edit", stored, picked));
    QFile::remove(path);
    return Done;
}

} // namespace quillbox::app::cli
