// Quillbox's own JSON: {"quillbox": 1, "snippets": [{"heading", "description", "code"}]},
// every column text or null, every row exactly as stored.

#include "transfer/jsonstream.h"

namespace quillbox::transfer {

namespace {

constexpr int kFormatVersion = 1;
const char *const kColumns[3] = {"heading", "description", "code"};

// Reads the file's events as they come. Depth 1 is the root object, 2 the list of snippets,
// 3 one snippet.
class OwnHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, OwnHandler> {
public:
    OwnHandler(DeviceStream &stream, const Consumer &take, ReadReport &report)
        : m_stream(stream), m_take(take), m_report(report)
    {}

    QString error;

    bool Default() { return value(Kind::Other, {}); }
    bool Null() { return value(Kind::Null, {}); }
    bool Int(int i) { return number(double(i)); }
    bool Uint(unsigned i) { return number(double(i)); }
    bool Int64(int64_t i) { return number(double(i)); }
    bool Uint64(uint64_t i) { return number(double(i)); }
    bool Double(double d) { return number(d); }
    bool String(const char *s, rapidjson::SizeType n, bool)
    {
        return m_stream.fits(n) && m_stream.isText(s, n) && value(Kind::Text, QByteArray(s, n));
    }
    bool Key(const char *s, rapidjson::SizeType n, bool)
    {
        m_stream.mark();
        m_key = QByteArray(s, n);
        return m_stream.isText(s, n);
    }
    bool StartObject()
    {
        m_stream.mark();
        if (m_nesting.skipping() || !(m_nesting.depth == 0 || (m_nesting.depth == 2 && m_inSnippets)))
            return startSkippedOrWrong();
        if (!m_nesting.enter())
            return stop(m_nesting.error);
        if (m_nesting.depth == 3) {
            ++m_entry;
            for (bool &seen : m_seen)
                seen = false;
        }
        return true;
    }
    bool EndObject(rapidjson::SizeType)
    {
        m_stream.mark();
        if (m_nesting.leftSkipped())
            return true;
        if (m_nesting.depth == 3) {
            for (int c = 0; c < 3; ++c)
                if (!m_seen[c])
                    return stop(entryError(QStringLiteral("\"%1\" is missing").arg(QLatin1String(kColumns[c]))));
            if (m_report.read >= kSnippetLimit)
                return stop(QStringLiteral("it holds more than %1 snippets").arg(kSnippetLimit));
            ++m_report.read;
            if (!m_take(std::move(m_snippet))) {
                m_report.stopped = true;
                return false;
            }
            m_snippet = {};
        } else if (m_nesting.depth == 1) {
            if (!m_version)
                return stop(QStringLiteral("\"quillbox\" is missing, so it is not a file of Quillbox's own"));
            if (!m_sawSnippets)
                return stop(QStringLiteral("\"snippets\" is missing or is not a list"));
        }
        --m_nesting.depth;
        return true;
    }
    bool StartArray()
    {
        m_stream.mark();
        if (!m_nesting.skipping() && m_nesting.depth == 1 && m_key == "snippets") {
            if (!m_nesting.enter())
                return stop(m_nesting.error);
            m_inSnippets = m_sawSnippets = true;
            return true;
        }
        return startSkippedOrWrong();
    }
    bool EndArray(rapidjson::SizeType)
    {
        m_stream.mark();
        if (m_nesting.leftSkipped())
            return true;
        m_inSnippets = false;
        --m_nesting.depth;
        return true;
    }

private:
    enum class Kind { Null, Text, Other };

    bool stop(const QString &why)
    {
        error = why;
        return false;
    }
    QString entryError(const QString &what) const { return QStringLiteral("entry %1: %2").arg(m_entry).arg(what); }

    bool number(double d)
    {
        if (!m_nesting.skipping() && m_nesting.depth == 1 && m_key == "quillbox")
            return version(QString::number(d), d == kFormatVersion);
        return value(Kind::Other, {});
    }
    bool version(const QString &shown, bool known)
    {
        if (!known)
            return stop(QStringLiteral("it is format %1 of Quillbox's own, and this Quillbox reads format %2")
                            .arg(shown)
                            .arg(kFormatVersion));
        m_version = true;
        return true;
    }

    // A text comes as its UTF-8 bytes, which the description and the code keep as they are.
    bool value(Kind kind, QByteArray text)
    {
        m_stream.mark();
        if (m_nesting.skipping())
            return true;
        if (m_nesting.depth == 1 && m_key == "quillbox")
            return version(kind == Kind::Text ? QLatin1Char('"') + QString::fromUtf8(text) + QLatin1Char('"')
                                              : QStringLiteral("?"),
                           false);
        if (m_nesting.depth == 1 && m_key == "snippets")
            return stop(QStringLiteral("\"snippets\" is missing or is not a list"));
        if (m_nesting.depth == 2)
            return stop(QStringLiteral("entry %1: it is not an object").arg(++m_entry));
        if (m_nesting.depth != 3)
            return true;
        for (int c = 0; c < 3; ++c) {
            if (m_key != kColumns[c])
                continue;
            if (kind == Kind::Other)
                return stop(
                    entryError(QStringLiteral("\"%1\" is neither text nor null").arg(QLatin1String(kColumns[c]))));
            QVariant &column = c == 0 ? m_snippet.heading : c == 1 ? m_snippet.description : m_snippet.code;
            column = kind == Kind::Null ? QVariant()
                     : c == 0           ? QVariant(QString::fromUtf8(text))
                                        : QVariant(std::move(text));
            m_seen[c] = true;
        }
        return true;
    }

    // An object or list where none is read: a column's value is wrong; anything else is
    // skipped whole.
    bool startSkippedOrWrong()
    {
        if (!m_nesting.skipping()) {
            if (m_nesting.depth == 0)
                return stop(QStringLiteral("it does not hold a JSON object"));
            if (m_nesting.depth == 1 && m_key == "quillbox")
                return version(QStringLiteral("?"), false);
            if (m_nesting.depth == 1 && m_key == "snippets")
                return stop(QStringLiteral("\"snippets\" is missing or is not a list"));
            if (m_nesting.depth == 2)
                return stop(QStringLiteral("entry %1: it is not an object").arg(++m_entry));
            for (int c = 0; c < 3; ++c)
                if (m_nesting.depth == 3 && m_key == kColumns[c])
                    return stop(
                        entryError(QStringLiteral("\"%1\" is neither text nor null").arg(QLatin1String(kColumns[c]))));
            m_nesting.skipFrom = m_nesting.depth + 1;
        }
        return m_nesting.enter() ? true : stop(m_nesting.error);
    }

    DeviceStream &m_stream;
    const Consumer &m_take;
    ReadReport &m_report;
    NestingGuard m_nesting;
    QByteArray m_key;
    bool m_inSnippets = false, m_sawSnippets = false, m_version = false;
    qint64 m_entry = 0;
    bool m_seen[3] = {};
    Snippet m_snippet;
};

} // namespace

ReadReport readJson(QIODevice &in, const QString &name, const ReadOptions &options, const Consumer &take)
{
    ReadReport report;
    DeviceStream stream(in, options.fieldLimit);
    OwnHandler handler(stream, take, report);
    rapidjson::Reader reader;
    const rapidjson::ParseResult result = reader.Parse<kOwnFlags>(stream, handler);
    if (result.IsError() && !report.stopped)
        report.error = parseFailure(name, result, stream, handler.error, options.fieldLimit);
    return report;
}

// The writer of the own format: the rows exactly as stored, null columns as null.
class OwnWriter : public JsonSnippetWriter {
public:
    OwnWriter(std::unique_ptr<ByteSink> sink, std::function<bool()> commit)
        : JsonSnippetWriter(std::move(sink), std::move(commit))
    {
        m_writer.StartObject();
        m_writer.Key("quillbox");
        m_writer.Int(kFormatVersion);
        m_writer.Key("snippets");
        m_writer.StartArray();
    }
    Took add(const Snippet &s) override
    {
        m_writer.StartObject();
        m_writer.Key("heading");
        writeText(m_writer, s.heading);
        m_writer.Key("description");
        writeText(m_writer, s.description);
        m_writer.Key("code");
        writeText(m_writer, s.code);
        m_writer.EndObject();
        return passed(s.code);
    }

private:
    void closing() override
    {
        m_writer.EndArray();
        m_writer.EndObject();
    }
};

std::unique_ptr<SnippetWriter> ownJsonWriter(std::unique_ptr<ByteSink> sink, std::function<bool()> commit)
{
    return std::make_unique<OwnWriter>(std::move(sink), std::move(commit));
}

} // namespace quillbox::transfer
