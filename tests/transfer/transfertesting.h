#pragma once
// Shared by the transfer tests: files read and written whole, and snippets exported.

#include "transfer/transfer.h"

#include <QFile>
#include <QList>

namespace qbx::test {

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

inline bool putFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

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

} // namespace qbx::test
