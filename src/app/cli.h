#pragma once
// The quillbox command line: every command but opening the window. The commands read and
// write the library only through the store's operations, and follow the window's rules.

#include "store/snippets.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace quillbox::app::cli {

// Exit codes.
enum Exit { Done = 0, Failed = 1, WrongUse = 2, Taken = 3 };

// Standard output, written in large pieces and checked after every write: the first
// failure is kept, and nothing more is written after it.
class Output {
public:
    Output &operator<<(const QString &text);
    Output &operator<<(const char *text);
    Output &operator<<(QByteArray bytes);
    // Writes what is held; false once any write failed.
    bool flush();
    int error() const { return m_error; }
    // Set at start-up when the program was started with standard output closed.
    void setClosed() { m_closed = true; }

private:
    QByteArray m_buffer;
    int m_error = 0;
    bool m_closed = false;
};

Output &out();
// A line on standard error.
void say(const QString &line);

// The options of one command as given: flags, options with a value, and the rest. "--"
// ends the options; everything after it is taken as it is.
struct Arguments {
    QStringList positional;
    QMultiHash<QString, QString> values; // an option given twice has both; value() gives the last
    QStringList flags;
    QString wrong; // set when the arguments cannot be read: what is wrong with them
    bool has(const QString &flag) const { return flags.contains(flag); }
};
Arguments parseArguments(const QStringList &args, const QStringList &flags, const QStringList &valued);

// The commands; `args` are what follows the command's name.
int init(const QStringList &args);
int list(const QStringList &args);
int show(const QStringList &args);
int copy(const QStringList &args);
int add(const QStringList &args);
int remove(const QStringList &args);
int rename(const QStringList &args);
int search(const QStringList &args);
int exportLibrary(const QStringList &args);
int importLibrary(const QStringList &args);
int edit(const QStringList &args);

// The --json forms of list, show and search, written to out(): {"headings": [...]},
// {"heading", "description", "code"} and {"hits": [{"heading", "line", "rank"}...]}.
void writeHeadingsJson(const QStringList &headings);
void writeSnippetJson(const store::Snippet &snippet);
void writeHitsJson(const QList<store::SearchHit> &hits);

// A command held in one variable ("code --wait") as its words, split as a shell splits
// them (white space; '...', "..." and \ quote) without running one; false, with `wrong`
// saying why, when a quote is left open.
bool splitCommand(const QString &command, QStringList &words, QString &wrong);

// Runs the command named first in `args` (not empty); the window is not among them.
int run(QStringList args);
// The help text, naming the library in use (a server without its password).
QString usage();
// What a failed store operation exits with, after saying why.
int reportFailure(const char *command, const store::Result &result, const QString &heading = {});

} // namespace quillbox::app::cli
