#include "app/cli.h"

#include "app/addinmodule.h"
#include "colouring/snippethtml.h"
#include "output/clipboardkeeper.h"
#include "resources/versioninfo.h"
#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "store/location.h"
#include "store/snippettext.h"
#include "store/transfer.h"
#include "text/placeholders.h"
#include "transfer/safefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace quillbox::app::cli {

using namespace store;

namespace {

constexpr qsizetype kFlushAt = 64 * 1024;

// The user's library, read from where it is named each time a command runs.
SnippetLibrary userLibrary()
{
    return SnippetLibrary(libraryLocation());
}

QString quoted(const QString &heading)
{
    return QLatin1Char('"') + heading + QLatin1Char('"');
}

QString noCodeNamed(const char *command, const QString &heading)
{
    return QStringLiteral("quillbox %1: there is no code named %2 in the library")
        .arg(QLatin1String(command), quoted(trimSpaces(heading)));
}

// Says what is wrong with how the command was used.
int wrongUse(const char *command, const QString &what)
{
    say(QStringLiteral("quillbox %1: %2").arg(QLatin1String(command), what));
    return WrongUse;
}

// The library the commands work on, as usage names it: a server without its password, or
// why no library can be named.
QString libraryInUse()
{
    const Location library(libraryLocation());
    if (library.fault())
        return library.fault().message;
    return (library.onServer() ? QStringLiteral("The library is on the server %1.")
                               : QStringLiteral("The library is the file %1."))
        .arg(library.shown());
}

// The values of --fill NAME=VALUE into `fills`; false, after saying so, when one is not of that form.
bool readFills(const char *command, const Arguments &a, QHash<QString, QString> &fills, int &status)
{
    for (const QString &fill : a.values.values(QStringLiteral("--fill"))) {
        if (fill.indexOf(QLatin1Char('=')) <= 0) {
            status = wrongUse(command, QStringLiteral("--fill takes NAME=VALUE, not \"%1\"").arg(fill));
            return false;
        }
        fills.insert(fill.section(QLatin1Char('='), 0, 0), fill.section(QLatin1Char('='), 1));
    }
    return true;
}

// The first option given besides --json and those allowed with it: --json cannot go with
// it. Empty when there is none.
QString besidesJson(const Arguments &a, const QStringList &allowed = {})
{
    for (const QString &flag : a.flags)
        if (flag != QLatin1String("--json") && !allowed.contains(flag))
            return flag;
    for (auto value = a.values.keyBegin(); value != a.values.keyEnd(); ++value)
        if (!allowed.contains(*value))
            return *value;
    return {};
}

} // namespace

Output &Output::operator<<(const QString &text)
{
    return *this << text.toUtf8();
}

Output &Output::operator<<(const char *text)
{
    return *this << QByteArray(text);
}

Output &Output::operator<<(QByteArray bytes)
{
    m_buffer += bytes;
    if (m_buffer.size() >= kFlushAt)
        flush();
    return *this;
}

bool Output::flush()
{
    if (m_closed && !m_buffer.isEmpty() && !m_error)
        m_error = EBADF;
    if (m_error) {
        m_buffer.clear();
        return false;
    }
    qsizetype done = 0;
    while (done < m_buffer.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, m_buffer.constData() + done, size_t(m_buffer.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = n < 0 ? errno : EIO;
            break;
        }
        done += n;
    }
    m_buffer.clear();
    return !m_error;
}

Output &out()
{
    static Output output;
    return output;
}

void say(const QString &line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

Arguments parseArguments(const QStringList &args, const QStringList &flags, const QStringList &valued)
{
    Arguments parsed;
    bool options = true;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (!options || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            parsed.positional.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            options = false;
            continue;
        }
        if (flags.contains(arg)) {
            parsed.flags.append(arg);
            continue;
        }
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const QString name = equals > 0 ? arg.left(equals) : arg;
        if (!valued.contains(name)) {
            parsed.wrong = QStringLiteral("unknown option ") + arg;
            return parsed;
        }
        if (equals > 0) {
            parsed.values.insert(name, arg.mid(equals + 1));
        } else if (i + 1 < args.size()) {
            parsed.values.insert(name, args[++i]);
        } else {
            parsed.wrong = QStringLiteral("%1 needs a value").arg(name);
            return parsed;
        }
    }
    return parsed;
}

int reportFailure(const char *command, const Result &result, const QString &heading)
{
    switch (result.outcome) {
    case Outcome::Done:
    case Outcome::Empty:
        return Done;
    case Outcome::Taken:
        say(QStringLiteral("quillbox %1: This Code Name Already Exists").arg(QLatin1String(command)));
        return Taken;
    case Outcome::Vanished:
        say(noCodeNamed(command, heading));
        return Failed;
    case Outcome::Changed:
        say(QStringLiteral("quillbox %1: %2 was changed by someone else meanwhile. Nothing was stored.")
                .arg(QLatin1String(command), quoted(trimSpaces(heading))));
        return Failed;
    case Outcome::Failed:
        say(QStringLiteral("quillbox %1: %2").arg(QLatin1String(command), result.error.message));
        return Failed;
    }
    return Failed;
}

int init(const QStringList &args)
{
    const QString server = QStringLiteral("--server");
    const Arguments a = parseArguments(args, {QStringLiteral("--samples")}, {server});
    if (!a.wrong.isEmpty() || !a.positional.isEmpty())
        return wrongUse("init",
                        a.wrong.isEmpty() ? QStringLiteral("unexpected argument ") + a.positional.first() : a.wrong);
    if (a.values.contains(server) && !isServerLocation(a.values.value(server)))
        return wrongUse("init", QStringLiteral("--server takes a postgresql://user@host:port/dbname URL"));
    if (a.values.contains(server) && a.has(QStringLiteral("--samples")))
        return wrongUse("init", QStringLiteral("--samples is for a new library file only"));
    const auto result = a.values.contains(server) ? initServerLibrary(SnippetLibrary(a.values.value(server)))
                                                  : initLibrary(a.has(QStringLiteral("--samples")));
    for (const QString &line : result.report)
        out() << line << "\n";
    if (!result.done())
        return reportFailure("init", result);
    return Done;
}

int list(const QStringList &args)
{
    const QString jsonFlag = QStringLiteral("--json");
    const Arguments a = parseArguments(args, {QStringLiteral("--null"), QStringLiteral("-0"), jsonFlag}, {});
    if (!a.wrong.isEmpty() || !a.positional.isEmpty())
        return wrongUse("list",
                        a.wrong.isEmpty() ? QStringLiteral("unexpected argument ") + a.positional.first() : a.wrong);
    if (a.has(jsonFlag) && !besidesJson(a).isEmpty())
        return wrongUse("list", QStringLiteral("--json cannot go with %1").arg(besidesJson(a)));
    const char *end = a.has(QStringLiteral("--null")) || a.has(QStringLiteral("-0")) ? "\0" : "\n";
    const HeadingsResult list = userLibrary().headings();
    if (list.outcome == Outcome::Failed)
        return reportFailure("list", list);
    if (a.has(jsonFlag)) {
        writeHeadingsJson(list.headings);
        return Done;
    }
    for (const QString &heading : list.headings)
        out() << heading.toUtf8() << QByteArray(end, 1);
    return Done;
}

int show(const QStringList &args)
{
    const QString crlfFlag = QStringLiteral("--crlf"), storedFlag = QStringLiteral("--as-stored"),
                  htmlFlag = QStringLiteral("--html"), defaultsFlag = QStringLiteral("--defaults"),
                  fillOption = QStringLiteral("--fill"), jsonFlag = QStringLiteral("--json");
    const Arguments a = parseArguments(args, {crlfFlag, storedFlag, htmlFlag, defaultsFlag, jsonFlag}, {fillOption});
    if (!a.wrong.isEmpty())
        return wrongUse("show", a.wrong);
    // The JSON holds the columns as stored: nothing of the composed text's forms applies.
    if (a.has(jsonFlag) && !besidesJson(a).isEmpty())
        return wrongUse(
            "show", QStringLiteral("--json prints the columns as stored; it cannot go with %1").arg(besidesJson(a)));
    if (a.positional.size() != 1)
        return wrongUse("show", QStringLiteral("give one heading (in quotes when it has spaces; after -- when it "
                                               "starts with -), and --crlf if wanted"));
    if (a.has(storedFlag) && a.has(htmlFlag))
        return wrongUse("show", QStringLiteral("--as-stored and --html cannot go together"));
    // The blanks filled: the ones named by their values, the rest by their defaults.
    QHash<QString, QString> fills;
    if (int status = Done; !readFills("show", a, fills, status))
        return status;
    const bool filling = a.has(defaultsFlag) || !fills.isEmpty();
    const SnippetResult found = userLibrary().find(a.positional.first());
    if (!found.done())
        return reportFailure("show", found, a.positional.first());
    if (a.has(jsonFlag)) {
        writeSnippetJson(found.snippet);
        return Done;
    }
    const Snippet &s = found.snippet;
    const QString lineBreak = a.has(crlfFlag) ? QStringLiteral("\r\n") : QStringLiteral("\n");
    const colouring::TextForm form = a.has(htmlFlag)     ? colouring::TextForm::Html
                                     : a.has(storedFlag) ? colouring::TextForm::AsStored
                                                         : colouring::TextForm::CopyCode;
    // The pieces composeDisplay joins, read one after another without joining them, and the
    // lines written out as they are made: no copy of a large snippet is made here.
    const QString heading = s.heading.toString(), description = s.description.toString(), code = s.code.toString();
    const QString markedHeading = displayHeading(heading);
    const auto write = [](QStringView piece) { out() << piece.toUtf8(); };
    if (filling) {
        // Filled as Copy Code fills it: the values go in after the keywords' case is set.
        const QString composed = composeDisplay(heading, description, code);
        const bool rewritten = form == colouring::TextForm::CopyCode;
        const QString filled =
            text::Placeholders(rewritten ? colouring::copyCodeText(composed) : composed).filled(fills);
        colouring::writeSnippetText({filled}, rewritten ? colouring::TextForm::AsStored : form, lineBreak, write);
    } else {
        colouring::writeSnippetText({markedHeading, u"\r\n\r\n", description, u"\r\n\r\n", code}, form, lineBreak,
                                    write);
    }
    out() << lineBreak;
    return Done;
}

int copy(const QStringList &args)
{
    const QString defaultsFlag = QStringLiteral("--defaults");
    const Arguments a = parseArguments(args, {defaultsFlag}, {QStringLiteral("--fill")});
    if (!a.wrong.isEmpty())
        return wrongUse("copy", a.wrong);
    if (a.positional.size() != 1)
        return wrongUse("copy", QStringLiteral("give one heading (in quotes when it has spaces; after -- when it "
                                               "starts with -)"));
    QHash<QString, QString> fills;
    if (int status = Done; !readFills("copy", a, fills, status))
        return status;
    const SnippetResult found = userLibrary().find(a.positional.first());
    if (!found.done())
        return reportFailure("copy", found, a.positional.first());
    const Snippet &s = found.snippet;
    // The text show prints in the Copy Code form, blanks filled the same way, CR LF kept as
    // the window's Copy Code copies it.
    QString text = colouring::copyCodeText(composeDisplay(s.heading, s.description, s.code));
    if (a.has(defaultsFlag) || !fills.isEmpty())
        text = text::Placeholders(text).filled(fills);
    const output::Kept kept = output::keepOnClipboard(text, QCoreApplication::applicationFilePath());
    if (!kept.ok) {
        say(QStringLiteral("quillbox copy: ") + kept.error);
        return Failed;
    }
    return Done;
}

int add(const QStringList &args)
{
    const QString descOption = QStringLiteral("--description"), codeOption = QStringLiteral("--code-file");
    const Arguments a = parseArguments(args, {}, {descOption, codeOption});
    if (!a.wrong.isEmpty())
        return wrongUse("add", a.wrong);
    if (a.positional.size() != 1)
        return wrongUse("add", QStringLiteral("give one heading (in quotes when it has spaces)"));
    const QString heading = a.positional.first();
    if (const auto fault = text::headingFault(heading); fault != text::HeadingFault::None)
        return wrongUse("add", text::headingFaultMessage(fault));
    QString code;
    // Someone at a terminal is told how to end the code; a pipe or a file needs no word.
    if (a.values.value(codeOption).isEmpty() && ::isatty(STDIN_FILENO))
        say(QStringLiteral("Type the code, then Ctrl+D"));
    if (const transfer::Fault fault = transfer::readTextFile(a.values.value(codeOption), transfer::kFieldLimit, code)) {
        say(QStringLiteral("quillbox add: ") + fault.message);
        return Failed;
    }
    // The line break that ends a text file ends its last line; it adds no empty line.
    text::chopFinalLineBreak(code);
    text::toCrLf(code);
    if (isEmptyEntry(code))
        return wrongUse("add", QStringLiteral("Please Enter the code"));
    // Handed over as UTF-8, the code's text given back first: a large snippet is held once.
    QByteArray codeUtf8 = code.toUtf8();
    code = QString();
    const Result added = userLibrary().addUtf8(heading, text::markedDescription(a.values.value(descOption)), codeUtf8);
    return reportFailure("add", added, heading);
}

int remove(const QStringList &args)
{
    const Arguments a = parseArguments(args, {QStringLiteral("--yes")}, {});
    if (!a.wrong.isEmpty())
        return wrongUse("delete", a.wrong);
    if (a.positional.size() != 1)
        return wrongUse("delete", QStringLiteral("give one heading (in quotes when it has spaces), and --yes"));
    const QString heading = a.positional.first();
    const SnippetLibrary library = userLibrary();
    if (!a.has(QStringLiteral("--yes"))) {
        if (!::isatty(STDIN_FILENO) || !::isatty(STDERR_FILENO))
            return wrongUse("delete", QStringLiteral("there is no terminal to ask on: give --yes to delete %1")
                                          .arg(quoted(trimSpaces(heading))));
        const SnippetResult found = library.find(heading);
        if (!found.done())
            return reportFailure("delete", found, heading);
        std::fprintf(stderr, "%s [y/N] ",
                     QStringLiteral("Delete %1? Once deleted, the code cannot be recovered!")
                         .arg(quoted(trimSpaces(heading)))
                         .toUtf8()
                         .constData());
        std::fflush(stderr);
        char answer[64] = {};
        if (!std::fgets(answer, sizeof answer, stdin) || (answer[0] != 'y' && answer[0] != 'Y')) {
            say(QStringLiteral("quillbox delete: nothing was deleted"));
            return Failed;
        }
    }
    return reportFailure("delete", library.remove(heading), heading);
}

int rename(const QStringList &args)
{
    const Arguments a = parseArguments(args, {}, {});
    if (!a.wrong.isEmpty())
        return wrongUse("rename", a.wrong);
    if (a.positional.size() != 2)
        return wrongUse("rename", QStringLiteral("give the old heading and the new one"));
    // A heading kept as it is, in any case, is no new heading (see renameSnippet).
    if (const auto fault = text::headingFault(a.positional[1]);
        fault != text::HeadingFault::None && trimSpaces(a.positional[1]) != trimSpaces(a.positional[0]))
        return wrongUse("rename", text::headingFaultMessage(fault));
    return reportFailure("rename", renameSnippet(userLibrary(), a.positional[0], a.positional[1]), a.positional[0]);
}

int search(const QStringList &args)
{
    const QString inOption = QStringLiteral("--in"), jsonFlag = QStringLiteral("--json");
    const Arguments a = parseArguments(args, {jsonFlag}, {inOption});
    if (!a.wrong.isEmpty())
        return wrongUse("search", a.wrong);
    SearchFields in = allSearchFields;
    if (a.values.contains(inOption)) {
        in = {};
        const std::pair<const char *, SearchField> names[] = {
            {"heading", SearchField::Heading}, {"description", SearchField::Description}, {"code", SearchField::Code}};
        for (const QString &field : a.values.value(inOption).split(QLatin1Char(','))) {
            const auto named = std::find_if(std::begin(names), std::end(names), [&](const auto &name) {
                return field.trimmed() == QLatin1String(name.first);
            });
            if (named == std::end(names))
                return wrongUse("search", QStringLiteral("--in takes heading, description and code, separated by "
                                                         "commas, not \"%1\"")
                                              .arg(field));
            in |= named->second;
        }
    }
    const QString query = a.positional.join(QLatin1Char(' '));
    const qsizetype words = searchWords(query).size();
    if (words == 0)
        return wrongUse("search", QStringLiteral("give one or more words to look for"));
    if (words > kMostSearchWords)
        return wrongUse("search", tooManyWords());
    // The plain form prints headings alone: no line is read.
    const SearchResult found = userLibrary().search(query, in, a.has(jsonFlag) ? kEveryLine : 0);
    if (found.outcome == Outcome::Failed)
        return reportFailure("search", found);
    if (a.has(jsonFlag)) {
        writeHitsJson(found.hits);
        return Done;
    }
    for (const SearchHit &hit : found.hits)
        out() << hit.heading << "\n";
    return Done;
}

QString usage()
{
    return QStringLiteral("Usage: quillbox [COMMAND]\n"
                          "\n"
                          "Without a command, opens the Quillbox window: a personal library of Visual Basic\n"
                          "code snippets that hands a chosen snippet back as paste-ready source text.\n"
                          "\n"
                          "Commands:\n"
                          "  init [--samples]   create the library folder, an empty library and the help file\n"
                          "                     where they are missing (nothing existing is changed);\n"
                          "                     --samples puts a few sample snippets into a new library\n"
                          "  init --server URL  create the table and its indexes in a database on a PostgreSQL\n"
                          "                     server, postgresql://user@host:port/dbname (the password from\n"
                          "                     PGPASSWORD, ~/.pgpass or a service file)\n"
                          "  list [--null|-0|--json]\n"
                          "                     print the headings, one a line, in table order; -0 ends each\n"
                          "                     with a NUL character instead\n"
                          "  show [--crlf] [--as-stored|--html] [--fill NAME=VALUE]... [--defaults] [--] HEADING\n"
                          "                     print the snippet with that heading as Copy Code gives it (the\n"
                          "                     heading and the description as comment lines, then the code,\n"
                          "                     keywords in their proper case), each line ended by a line feed,\n"
                          "                     or by CR LF with --crlf; --as-stored leaves the case as stored;\n"
                          "                     --html prints it as a coloured HTML fragment; -- ends the options;\n"
                          "                     blanks such as ${name:default} are printed as they are, or filled:\n"
                          "                     --fill NAME=VALUE fills that one and the rest with their defaults,\n"
                          "                     --defaults fills every one with its default\n"
                          "  show --json HEADING\n"
                          "                     print the snippet's columns exactly as stored, as JSON\n"
                          "  edit [--] HEADING  change the snippet in $VISUAL, else $EDITOR, else vi; a changed\n"
                          "                     file is stored, a refused one kept and its path printed\n"
                          "  copy [--fill NAME=VALUE]... [--defaults] [--] HEADING\n"
                          "                     put the snippet on the clipboard as show prints it, blanks filled\n"
                          "                     as show fills them, and return at once: a program of ours keeps\n"
                          "                     serving it in the background until another program takes the\n"
                          "                     clipboard (needs a display)\n"
                          "  pick               open a small window that finds a snippet as you type its words;\n"
                          "                     Enter copies it as Copy Code does (bind it to a key), Esc closes\n"
                          "  add HEADING [--description TEXT] [--code-file FILE]\n"
                          "                     add a snippet; the code comes from FILE or standard input\n"
                          "  delete HEADING [--yes]\n"
                          "                     delete a snippet; without --yes it asks on the terminal\n"
                          "  rename OLD NEW     give a snippet a new heading\n"
                          "  search [--in heading,description,code] [--json] WORD...\n"
                          "                     print the headings of the snippets that hold every word, best\n"
                          "                     first, then those whose heading holds the letters in order\n"
                          "  export FILE [--format json|vscode|folder]\n"
                          "                     write every snippet to FILE (json: Quillbox's own format)\n"
                          "  import FILE [--format json|vscode|folder] [--on-taken skip|rename|fail]\n"
                          "         [--all-scopes] [--verbose]\n"
                          "                     add the snippets of FILE in one step; with fail (the default)\n"
                          "                     a heading the library has already stops it, and nothing is written;\n"
                          "                     skip and rename say how many they left out or renamed, and\n"
                          "                     --verbose names each; --all-scopes takes editor snippets meant\n"
                          "                     for other languages too; a json file (the backup format) comes\n"
                          "                     back exactly as it was stored\n"
                          "  --version          print the version of the add-in module\n"
                          "  --help             print this help\n"
                          "\n"
                          "--json prints one JSON document; its keys are in the manual page.\n"
                          "\n"
                          "Exit codes: 0 done, 1 a library failure or a missing heading, 2 wrong use,\n"
                          "3 a heading taken.\n"
                          "\n"
                          "%1\n")
        .arg(libraryInUse());
}

namespace {

int printVersion()
{
    QMap<QString, QString> info;
    if (const QString failure = resources::version::readVersionInfo(app::addinModulePath(), info); !failure.isNull()) {
        say(QStringLiteral("quillbox --version: ") + failure);
        return Failed;
    }
    out() << QStringLiteral("%1 %2 (%3, file version %4)\n")
                 .arg(info.value(QStringLiteral("ProductName")), info.value(QStringLiteral("ProductVersion")),
                      info.value(QStringLiteral("InternalName")), info.value(QStringLiteral("FileVersion")));
    return Done;
}

int dispatch(QStringList args)
{
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        out() << usage();
        return Done;
    }
    if (command == QLatin1String("--version"))
        return printVersion();
    const std::pair<const char *, int (*)(const QStringList &)> commands[] = {{"init", init},
                                                                              {"list", list},
                                                                              {"show", show},
                                                                              {"copy", copy},
                                                                              {"add", add},
                                                                              {"delete", remove},
                                                                              {"rename", rename},
                                                                              {"search", search},
                                                                              {"export", exportLibrary},
                                                                              {"import", importLibrary},
                                                                              {"edit", edit}};
    for (const auto &[name, function] : commands)
        if (command == QLatin1String(name))
            return function(args);
    say(QStringLiteral("quillbox: unknown command %1\n").arg(command));
    std::fputs(usage().toUtf8().constData(), stderr);
    return WrongUse;
}

} // namespace

int run(QStringList args)
{
    // Output that cannot be written is told under the command's name, as its other failures.
    const QString command = args.first();
    const int status = dispatch(std::move(args));
    if (!out().flush()) {
        say(QStringLiteral("quillbox %1: write error: %2")
                .arg(command, QString::fromLocal8Bit(std::strerror(out().error()))));
        return Failed;
    }
    return status;
}

} // namespace quillbox::app::cli
