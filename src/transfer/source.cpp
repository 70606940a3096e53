#include "transfer/jsonstream.h"
#include "transfer/safefile.h"
#include "transfer/transfer.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace quillbox::transfer {

// The writers, made in their own files.
std::unique_ptr<SnippetWriter> ownJsonWriter(std::unique_ptr<ByteSink> sink, std::function<bool()> commit);
std::unique_ptr<SnippetWriter> vsCodeWriter(std::unique_ptr<ByteSink> sink, std::function<bool()> commit);
OpenedWriter folderWriter(const QString &target);

std::optional<Format> formatNamed(QStringView name)
{
    if (name == QLatin1String("json"))
        return Format::Json;
    if (name == QLatin1String("vscode"))
        return Format::VsCode;
    if (name == QLatin1String("folder"))
        return Format::Folder;
    return std::nullopt;
}

QString ReadReport::message() const
{
    if (!error.isEmpty())
        return error;
    if (badEntries.isEmpty())
        return {};
    return (badEntries.size() == 1 ? QStringLiteral("a snippet cannot be taken: ")
                                   : QStringLiteral("%1 snippets cannot be taken: ").arg(badEntries.size()))
           + badEntries.join(QStringLiteral("; "));
}

QString parseFailure(const QString &name, const rapidjson::ParseResult &result, const DeviceStream &stream,
                     const QString &handlerError, qint64 limit)
{
    if (!stream.readError().isEmpty())
        return QStringLiteral("%1 cannot be read: %2").arg(name, stream.readError());
    if (stream.overLimit())
        return QStringLiteral("%1 holds a text larger than %2").arg(name, limitInWords(limit));
    if (stream.notText() || result.Code() == rapidjson::kParseErrorStringInvalidEncoding)
        return QStringLiteral("%1 is not UTF-8 text").arg(name);
    if (result.Code() == rapidjson::kParseErrorTermination)
        return name + QStringLiteral(", ") + handlerError;
    if (result.Code() == rapidjson::kParseErrorDocumentEmpty)
        return QStringLiteral("%1 is empty").arg(name);
    return QStringLiteral("%1 is not complete JSON: %2 at byte %3")
        .arg(name, QString::fromUtf8(rapidjson::GetParseError_En(result.Code())))
        .arg(result.Offset());
}

namespace {

// Whether the JSON text that starts the device is Quillbox's own: its first key is
// "quillbox" or "snippets". Looked at without taking anything from the device.
bool looksLikeOwn(QIODevice &in)
{
    const QByteArray head = in.peek(64 * 1024);
    qsizetype i = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const auto skipBlanks = [&] {
        for (;;) {
            while (i < head.size() && QByteArrayView(" \t\r\n").contains(head[i]))
                ++i;
            if (head.mid(i, 2) == "//") {
                i = head.indexOf('\n', i);
                if (i < 0)
                    i = head.size();
            } else if (head.mid(i, 2) == "/*") {
                const qsizetype end = head.indexOf("*/", i + 2);
                i = end < 0 ? head.size() : end + 2;
            } else {
                return;
            }
        }
    };
    skipBlanks();
    if (i >= head.size() || head[i] != '{')
        return false;
    ++i;
    skipBlanks();
    return head.mid(i, 10) == "\"quillbox\"" || head.mid(i, 10) == "\"snippets\"";
}

} // namespace

ReadReport readSource(const QString &path, const ReadOptions &options, const Consumer &take)
{
    const bool standardInput = path == QLatin1String("-");
    std::optional<Format> format = options.format;
    if (!format && !standardInput && QFileInfo(path).isDir())
        format = Format::Folder;
    if (format == Format::Folder) {
        if (standardInput) {
            ReadReport report;
            report.error = QStringLiteral("standard input is not a folder");
            return report;
        }
        return readFolder(path, options, take);
    }
    QFile file;
    const QString name = standardInput ? QStringLiteral("standard input") : path;
    const bool opened = standardInput ? file.open(STDIN_FILENO, QIODevice::ReadOnly)
                                      : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened || (!standardInput && QFileInfo(path).isDir())) {
        ReadReport report;
        report.error = QStringLiteral("%1 cannot be read: %2").arg(name, file.errorString());
        return report;
    }
    ReadOptions chosen = options;
    if (!chosen.format)
        chosen.format = looksLikeOwn(file) ? Format::Json : Format::VsCode;
    return chosen.format == Format::Json ? readJson(file, name, chosen, take) : readVsCode(file, name, chosen, take);
}

std::unique_ptr<SnippetWriter> streamWriter(std::unique_ptr<ByteSink> sink, Format format)
{
    const auto nothingToCommit = [] { return true; };
    return format == Format::Json ? ownJsonWriter(std::move(sink), nothingToCommit)
                                  : vsCodeWriter(std::move(sink), nothingToCommit);
}

OpenedWriter openWriter(const QString &target, Format format)
{
    if (format == Format::Folder)
        return folderWriter(target);
    std::unique_ptr<ByteSink> sink;
    std::function<bool()> commit = [] { return true; };
    if (target == QLatin1String("-")) {
        sink = std::make_unique<DescriptorSink>(STDOUT_FILENO, QStringLiteral("standard output"));
    } else {
        auto file = std::make_unique<SafeFile>(target);
        if (!file->open())
            return {nullptr, {file->error()}};
        commit = [f = file.get()] { return f->commit(); };
        sink = std::move(file);
    }
    return {format == Format::Json ? ownJsonWriter(std::move(sink), std::move(commit))
                                   : vsCodeWriter(std::move(sink), std::move(commit)),
            {}};
}

} // namespace quillbox::transfer
