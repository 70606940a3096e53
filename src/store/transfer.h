#pragma once
// Moving snippets in and out of the library as a whole, and renaming one: the operations
// the command line adds to those of store/snippets.h, under the same rules. Each one is one
// transaction: an export reads every row from one state of the library; an import checks
// every heading and writes every row under one reservation of the library, or writes
// nothing. The formats themselves are the transfer library's; rows pass through one at a
// time, so neither holds the library or the file in memory.

#include "store/snippets.h"
#include "transfer/transfer.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace quillbox::store {

struct ExportResult : Result {
    qint64 written = 0; // snippets written
    qint64 leftOut = 0; // rows the format cannot carry (no heading)
};

// Writes every row of the library, in table order, to `target` in the format (standard
// output for "-" but with a folder). Nothing at the target changes unless the whole export
// is written; a failure to write is Failed, its message naming the file and the reason.
ExportResult exportLibrary(const SnippetLibrary &library, const QString &target, transfer::Format format);
// The same to a writer of the caller's, finished when every row is in it.
ExportResult exportSnippets(const SnippetLibrary &library, transfer::SnippetWriter &writer);

// What an import does with a snippet whose heading is taken in the library.
enum class OnTaken {
    Fail,   // nothing is written; the result names every clash
    Skip,   // the snippet is left out
    Rename, // the snippet goes in under its heading followed by " (2)", " (3)", ...
};

struct ImportResult : Result {
    int added = 0;
    QStringList skipped;        // headings left out (Skip)
    QList<QStringList> renamed; // {from, to} for every snippet renamed (Rename)
    QStringList clashes;        // with Fail (outcome Taken): every heading that is taken
    bool badInput = false;      // Failed because of the input, not the library
    QString listedTwice;        // with badInput: a heading the input holds twice
    transfer::ReadReport read;  // what the reader said of the input
};

// Runs a reader, handing each snippet it reads to the consumer given.
using Producer = std::function<transfer::ReadReport(const transfer::Consumer &)>;

// Adds the snippets the producer hands over, each exactly as given, after every row there
// is, in one transaction. A heading the input holds twice, or any fault the reader meets,
// is Failed with badInput set, and nothing is written.
ImportResult importSnippets(const SnippetLibrary &library, const Producer &produce, OnTaken onTaken);
// A producer that hands over the snippets of a list, as they are.
Producer listProducer(const QList<Snippet> &snippets);
// The same for a file, folder or ("-") standard input, read by transfer::readSource.
ImportResult importSource(const SnippetLibrary &library, const QString &source, const transfer::ReadOptions &options,
                          OnTaken onTaken);

// Gives the snippet picked by its heading a new heading (trimmed), under the rules of
// SnippetLibrary::modify: keeping the heading in any case is no rename; a heading another
// snippet has is Taken.
Result renameSnippet(const SnippetLibrary &library, const QString &picked, const QString &heading);

} // namespace quillbox::store
