#pragma once
// Shared by the transfer tests and the store's: snippets exported, and read back as the
// import reads them.

#include "support/testsupport.h"
#include "transfer/transfer.h"

#include <QList>
#include <QStringList>

namespace qbx::test {

// Writes the snippets to the target in the format; empty, or why it failed.
inline QString exportTo(const QString &target, quillbox::transfer::Format format,
                        const QList<quillbox::transfer::Snippet> &snippets)
{
    const auto [writer, fault] = quillbox::transfer::openWriter(target, format);
    if (!writer)
        return fault.message;
    for (const quillbox::transfer::Snippet &s : snippets)
        if (writer->add(s) == quillbox::transfer::SnippetWriter::Took::Failed)
            return writer->error();
    return writer->finish() ? QString() : writer->error();
}

// Snippets as "heading|description|code", NULL for a null column, as storedRows shows rows.
inline QStringList shownRows(const QList<quillbox::transfer::Snippet> &snippets)
{
    const auto shown = [](const QVariant &v) { return v.isNull() ? QStringLiteral("NULL") : v.toString(); };
    QStringList rows;
    for (const quillbox::transfer::Snippet &s : snippets)
        rows.append(shown(s.heading) + QLatin1Char('|') + shown(s.description) + QLatin1Char('|') + shown(s.code));
    return rows;
}

// What a reader handed over, and what it said.
struct Read {
    quillbox::transfer::ReadReport report;
    QList<quillbox::transfer::Snippet> snippets;
    QStringList rows() const { return shownRows(snippets); }
    // What a reader hands each snippet to, while this lives.
    quillbox::transfer::Consumer take()
    {
        return [this](quillbox::transfer::Snippet &&s) { return snippets.append(std::move(s)), true; };
    }
};

// The file or folder read as an import reads it.
inline Read readPath(const QString &path, const quillbox::transfer::ReadOptions &options = {})
{
    Read r;
    r.report = quillbox::transfer::readSource(path, options, r.take());
    return r;
}

} // namespace qbx::test
