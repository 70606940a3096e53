#pragma once
// Creating a new library: the folder, an empty database and the help page, each only
// where it is missing. Nothing that exists is ever overwritten or changed.

#include <QString>
#include <QStringList>

namespace quillbox::store {

struct InitResult {
    bool ok = true;
    QStringList report; // one line for each thing done or left alone
    QString error;      // when !ok: what failed, in words
};

// withSamples: a database created by this call also receives the sample snippets.
InitResult initLibrary(bool withSamples);

// Creates, in a database on a server (a postgresql:// URL), the table TABLE1 and the indexes
// the operations look headings up by, each where it is missing.
InitResult initServerLibrary(const QString &location);

} // namespace quillbox::store
