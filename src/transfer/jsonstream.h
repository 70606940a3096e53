#pragma once
// The streams the JSON readers and writers run on: input taken from a device in pieces,
// with the bytes of any one token bounded, and output handed to a sink in large pieces.
// Used only inside the transfer library.

#include "transfer/safefile.h"
#include "transfer/transfer.h"

#include <QIODevice>
#include <QUtf8StringView>

#include <rapidjson/error/en.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>

#include <cstddef>
#include <memory>

namespace quillbox::transfer {

// RapidJSON's input stream over a device. The handler marks every event; when more than
// `limit` bytes pass without one (an endless text, endless spaces), the stream ends there
// and `overLimit` tells why.
class DeviceStream {
public:
    using Ch = char;
    DeviceStream(QIODevice &device, qint64 limit) : m_device(device), m_limit(limit)
    {
        m_buffer.resize(kChunk);
        m_data = m_buffer.constData();
        fill();
        // A byte order mark is not part of the JSON text.
        if (m_end - m_at >= 3 && QByteArrayView(m_data, 3) == "\xEF\xBB\xBF")
            m_at += 3;
    }
    Ch Peek() { return m_at < m_end ? m_data[m_at] : peekAfterFill(); }
    Ch Take()
    {
        if (m_at < m_end || fill())
            return m_data[m_at++];
        return '\0';
    }
    size_t Tell() const { return size_t(m_taken + m_at); }
    // Output is not used.
    Ch *PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    size_t PutEnd(Ch *) { return 0; }

    void mark() { m_mark = m_taken + m_at; }
    // Whether a text the reader has whole is within the limit; when not, the stream ends.
    bool fits(size_t size)
    {
        if (qint64(size) > m_limit)
            m_overLimit = true;
        return !m_overLimit;
    }
    // Whether a text the reader has whole is UTF-8; when not, the reading stops.
    bool isText(const char *text, size_t size)
    {
        if (!QUtf8StringView(text, qsizetype(size)).isValidUtf8())
            m_notText = true;
        return !m_notText;
    }
    bool overLimit() const { return m_overLimit; }
    bool notText() const { return m_notText; }
    const QString &readError() const { return m_readError; }

private:
    static constexpr qsizetype kChunk = 256 * 1024;
    Ch peekAfterFill() { return fill() ? m_data[m_at] : '\0'; }
    // The next piece of the device; false at its end, at a failure, or past the limit.
    bool fill()
    {
        m_taken += m_at;
        m_at = m_end = 0;
        if (m_overLimit || !m_readError.isEmpty())
            return false;
        if (m_taken - m_mark > m_limit + 1024) {
            m_overLimit = true;
            return false;
        }
        const qint64 n = m_device.read(m_buffer.data(), kChunk);
        m_data = m_buffer.constData();
        if (n < 0) {
            m_readError = m_device.errorString();
            return false;
        }
        m_end = qsizetype(n);
        return n > 0;
    }

    QIODevice &m_device;
    qint64 m_limit;
    QByteArray m_buffer;
    const char *m_data = nullptr;
    qsizetype m_at = 0, m_end = 0;
    qint64 m_taken = 0, m_mark = 0; // bytes of the pieces before this one; where the last event was
    bool m_overLimit = false, m_notText = false;
    QString m_readError;
};

// JSON written into a buffer of RapidJSON's own, whose texts it escapes many characters at a
// time, and handed to a sink in pieces of about 1 MB, each after a whole snippet; after the
// first failure nothing more is written.
class BufferedJson {
public:
    explicit BufferedJson(ByteSink &sink) : m_sink(sink), m_writer(m_buffer) { m_writer.SetIndent(' ', 4); }
    rapidjson::PrettyWriter<rapidjson::StringBuffer> &writer() { return m_writer; }
    // Hands what is held to the sink once there is enough of it, or always when `all`.
    void pass(bool all = false)
    {
        if (m_buffer.GetSize() < kPiece && !all)
            return;
        if (m_ok && m_buffer.GetSize() > 0)
            m_ok = m_sink.write(m_buffer.GetString(), qsizetype(m_buffer.GetSize()));
        m_buffer.Clear();
        // The room a very large snippet took is given back.
        if (m_buffer.GetSize() == 0 && m_bigSeen)
            m_buffer.ShrinkToFit();
        m_bigSeen = false;
    }
    void noteSize(qsizetype bytes) { m_bigSeen = m_bigSeen || bytes > qsizetype(16 * kPiece); }
    bool ok() const { return m_ok; }

private:
    static constexpr size_t kPiece = 1024 * 1024;
    ByteSink &m_sink;
    rapidjson::StringBuffer m_buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> m_writer;
    bool m_ok = true, m_bigSeen = false;
};

using JsonWriter = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

// A JSON file written snippet by snippet: the derived class writes its opening when it is
// made and each snippet in add(), then passed(); closing() ends the document at finish().
class JsonSnippetWriter : public SnippetWriter {
public:
    JsonSnippetWriter(std::unique_ptr<ByteSink> sink, std::function<bool()> commit)
        : m_sink(std::move(sink)), m_commit(std::move(commit)), m_json(*m_sink), m_writer(m_json.writer())
    {}
    bool finish() override
    {
        closing();
        m_json.pass(true);
        const char lineBreak = '\n';
        return m_json.ok() && m_sink->write(&lineBreak, 1) && m_commit();
    }
    QString error() const override { return m_sink->error(); }

protected:
    virtual void closing() = 0;
    // After a snippet: what is held goes to the sink once there is enough of it.
    Took passed(const QVariant &code)
    {
        m_json.noteSize(code.typeId() == QMetaType::QByteArray ? code.toByteArray().size() : code.toString().size());
        m_json.pass();
        return m_json.ok() ? Took::Written : Took::Failed;
    }

private:
    std::unique_ptr<ByteSink> m_sink;
    std::function<bool()> m_commit;
    BufferedJson m_json;

protected:
    rapidjson::PrettyWriter<rapidjson::StringBuffer> &m_writer;
};

// A text as JSON takes it; null stays null.
inline void writeText(JsonWriter &writer, const QVariant &value)
{
    if (value.isNull()) {
        writer.Null();
        return;
    }
    // A column handed over as its UTF-8 bytes goes as it is when they are valid text.
    if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        if (QUtf8StringView(bytes).isValidUtf8()) {
            writer.String(bytes.constData(), rapidjson::SizeType(bytes.size()));
            return;
        }
    }
    const QByteArray bytes = value.toString().toUtf8();
    writer.String(bytes.constData(), rapidjson::SizeType(bytes.size()));
}

// The parse flags both readers use: a constant stack whatever the nesting. Texts and keys are
// checked for UTF-8 by the handlers, each whole, which is faster than byte by byte. The
// editor's files may hold comments and trailing commas.
inline constexpr unsigned kOwnFlags = rapidjson::kParseIterativeFlag;
inline constexpr unsigned kEditorFlags =
    kOwnFlags | rapidjson::kParseCommentsFlag | rapidjson::kParseTrailingCommasFlag;

// What a parse that stopped means, in words, for the input called `name`. `handlerError` is
// what the handler said when it stopped the parse itself.
QString parseFailure(const QString &name, const rapidjson::ParseResult &result, const DeviceStream &stream,
                     const QString &handlerError, qint64 limit);

// Keeps the nesting of a JSON text and skips values nobody reads; shared by both readers.
struct NestingGuard {
    int depth = 0;
    int skipFrom = -1; // the depth at which a skipped value started; -1 when none is skipped
    QString error;
    bool enter()
    {
        if (++depth > kNestingLimit) {
            error = QStringLiteral("it is nested deeper than %1 levels").arg(kNestingLimit);
            return false;
        }
        return true;
    }
    bool skipping() const { return skipFrom >= 0; }
    // True when the end closes a skipped value, or one inside it.
    bool leftSkipped()
    {
        if (!skipping())
            return false;
        if (depth-- == skipFrom)
            skipFrom = -1;
        return true;
    }
};

} // namespace quillbox::transfer
