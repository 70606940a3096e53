#pragma once
// The exchange formats, one snippet at a time. A reader hands each snippet it reads to a
// consumer as soon as it has it, so memory holds one snippet, never the file; a writer takes
// the snippets one by one and puts its file into place only when it is finished.
//
// Quillbox's own JSON keeps every row exactly as stored (it is the backup format). The
// editor's user-snippets file and a folder of .bas files carry what another tool can use,
// and come in under the window's rules (text::windowSnippet).
//
// Everything read is bounded while it is read: one text (a heading, a description, a line
// of body or a whole .bas file) of at most ReadOptions::fieldLimit bytes, JSON nested at
// most kNestingLimit deep, placeholders at most kPlaceholderNesting deep, at most
// kSnippetLimit snippets. No link is followed inside a folder, and only regular files are
// opened there.

#include "text/snippettext.h"
#include "transfer/safefile.h"

#include <QIODevice>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace quillbox::transfer {

using text::Snippet;

enum class Format { Json, VsCode, Folder };
// json, vscode or folder.
std::optional<Format> formatNamed(QStringView name);

inline constexpr qint64 kFieldLimit = qint64(256) * 1024 * 1024;
inline constexpr int kNestingLimit = 64;
inline constexpr int kPlaceholderNesting = 100;
inline constexpr qint64 kSnippetLimit = 10'000'000;

// Takes one snippet read; false stops the reading (whoever returned it knows why). The own
// format hands the description and the code over as their UTF-8 bytes (a QByteArray), the
// others as text.
using Consumer = std::function<bool(Snippet &&)>;

struct ReadOptions {
    std::optional<Format> format; // found from the input when not given
    bool allScopes = false;       // editor snippets scoped to other languages come in too
    qint64 fieldLimit = kFieldLimit;
};

struct ReadReport {
    QString error;          // why the input was not read to its end; empty when it was
    QStringList badEntries; // editor snippets that cannot be taken, each named with the reason
    bool stopped = false;   // the consumer stopped the reading
    qint64 read = 0;        // snippets handed to the consumer
    qint64 rewritten = 0;   // snippets whose tab stops and variables became blanks
    qint64 otherScopes = 0; // editor snippets left out as being for other languages
    qint64 skipped = 0;     // folder entries left out: links, devices, pipes, folders
    bool ok() const { return error.isEmpty() && badEntries.isEmpty() && !stopped; }
    // The error, or every bad entry, in one message.
    QString message() const;
};

// Readers of an open device (a file, or standard input) and of a folder. `name` is how
// messages call the input.
ReadReport readJson(QIODevice &in, const QString &name, const ReadOptions &options, const Consumer &take);
ReadReport readVsCode(QIODevice &in, const QString &name, const ReadOptions &options, const Consumer &take);
ReadReport readFolder(const QString &folder, const ReadOptions &options, const Consumer &take);
// The file, folder or ("-") standard input at `path`, in the format given or found: a
// folder is a folder of .bas files; a JSON object whose first key is "quillbox" or
// "snippets" is Quillbox's own, any other the editor's.
ReadReport readSource(const QString &path, const ReadOptions &options, const Consumer &take);

// One snippet as a .bas file of the folder format: "'Heading: ...", "'Description: N lines",
// the N description lines as stored, then the code, every line ended by CR LF.
QByteArray basFile(const Snippet &snippet);
// A .bas file's text read back under the window's rules; a fault, naming `path`, when its
// header or its heading is broken. A file without the header is taken whole as code under
// `fileName` less ".bas", or refused when `fileName` is empty.
Fault parseBas(const QString &fileName, const QString &path, const QString &text, Snippet &snippet);

// Takes the snippets of an export one by one.
class SnippetWriter {
public:
    virtual ~SnippetWriter() = default;
    enum class Took { Written, LeftOut, Failed };
    // LeftOut: a row the format cannot carry (no heading, for the editor and the folder). A
    // column may come as a QString or as its UTF-8 bytes (a QByteArray).
    virtual Took add(const Snippet &snippet) = 0;
    // Ends the output and puts it into place; until then nothing at the target has changed,
    // and a writer destroyed unfinished leaves nothing behind.
    virtual bool finish() = 0;
    // Why add or finish failed, in words naming the file.
    virtual QString error() const = 0;
};

// A writer of the format to `target`, or to standard output for "-" (not for a folder);
// null, with `error` set, when it cannot begin.
struct OpenedWriter {
    std::unique_ptr<SnippetWriter> writer; // none when it could not be opened
    Fault fault;
};
OpenedWriter openWriter(const QString &target, Format format);
// A writer of a JSON format (not the folder) to a sink of the caller's.
class ByteSink;
std::unique_ptr<SnippetWriter> streamWriter(std::unique_ptr<ByteSink> sink, Format format);

} // namespace quillbox::transfer
