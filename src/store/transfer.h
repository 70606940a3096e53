#pragma once
// Moving snippets in and out of the library as a whole, and renaming one: the operations
// the command line adds to those of store/snippets.h, under the same rules. Each one is one
// transaction: an export reads every row from one state of the file; an import checks every
// heading and writes every row under one reservation of the file, or writes nothing.

#include "store/snippets.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace quillbox::store {

struct SnippetsResult : Result {
    QList<Snippet> snippets; // every row, null headings included, in table order
};

// Every row of the library.
SnippetsResult readAllSnippets(const QString &path);

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
};

// Adds the snippets, each exactly as given, after every row there is, in one transaction.
// The snippets must not take one another's headings (the caller has checked that). The
// taken check is made by the database, in one pass over the table.
ImportResult importSnippets(const QString &path, const QList<Snippet> &snippets, OnTaken onTaken);

// Gives the snippet picked by its heading a new heading (trimmed), under the rules of
// SnippetLibrary::modify: keeping the heading in any case is no rename; a heading another
// snippet has is Taken.
Result renameSnippet(const QString &path, const QString &picked, const QString &heading);

} // namespace quillbox::store
