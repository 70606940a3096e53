#pragma once
// Creating a new library: the folder, an empty database and the help page, each only
// where it is missing. Nothing that exists is ever overwritten or changed.

#include "store/snippets.h"

#include <QString>
#include <QStringList>

namespace quillbox::store {

struct SetupResult : Result {
    QStringList report; // one line for each thing done or left alone, up to a failure
};

// withSamples: a database created by this call also receives the sample snippets.
SetupResult initLibrary(bool withSamples);

// Creates, in a database on a server (a postgresql:// URL), the table TABLE1 and the indexes
// the operations look headings up by, each where it is missing.
SetupResult initServerLibrary(const SnippetLibrary &library);

} // namespace quillbox::store
