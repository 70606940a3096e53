// The --json forms of list, show and search: one JSON document on standard output, written
// as it is made through a small buffer, so that a large library or a large snippet is never
// held a second time as its JSON text.
//
// Texts are written exactly as stored, every character: the control characters escaped as
// JSON requires, everything beyond ASCII as UTF-8. A lone surrogate, which no valid text
// holds (invalid bytes another program stored read back so), is written as U+FFFD, so the
// output is always valid UTF-8 and valid JSON. A column the library holds as NULL is null.

#include "app/cli.h"

#include <rapidjson/writer.h>

#include <array>

namespace quillbox::app::cli {

using namespace store;

namespace {

// RapidJSON's output stream over the program's standard output, in pieces of 64 KB.
class OutStream {
public:
    using Ch = char;
    ~OutStream() { Flush(); }
    void Put(Ch c)
    {
        m_buffer[m_used++] = c;
        if (m_used == m_buffer.size())
            Flush();
    }
    void Flush()
    {
        out() << QByteArray(m_buffer.data(), qsizetype(m_used));
        m_used = 0;
    }

private:
    std::array<char, 64 * 1024> m_buffer;
    size_t m_used = 0;
};

// Found by the writer's templates beside the stream (RapidJSON declares its own ones after
// the templates that use them).
void PutUnsafe(OutStream &stream, char c)
{
    stream.Put(c);
}
void PutReserve(OutStream &, size_t)
{}

// The texts are handed over as QString's UTF-16, which the writer turns into UTF-8 as it
// writes them: no UTF-8 copy of a large code is made.
using Writer = rapidjson::Writer<OutStream, rapidjson::UTF16<char16_t>, rapidjson::UTF8<>>;

// The text with every lone surrogate replaced by U+FFFD; the text itself when it has none.
QString withoutLoneSurrogates(const QString &text)
{
    QString fixed;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (pair) {
            ++i;
            continue;
        }
        if (!c.isSurrogate())
            continue;
        if (fixed.isNull())
            fixed = text;
        fixed[i] = QChar::ReplacementCharacter;
    }
    return fixed.isNull() ? text : fixed;
}

void writeText(Writer &writer, const QString &text)
{
    const QString valid = withoutLoneSurrogates(text);
    writer.String(reinterpret_cast<const char16_t *>(valid.utf16()), rapidjson::SizeType(valid.size()));
}

// A column: null when the library holds NULL.
void writeColumn(Writer &writer, const char16_t *key, const QVariant &column)
{
    writer.Key(key);
    if (column.isNull())
        writer.Null();
    else
        writeText(writer, column.toString());
}

} // namespace

void writeHeadingsJson(const QStringList &headings)
{
    OutStream stream;
    Writer writer(stream);
    writer.StartObject();
    writer.Key(u"headings");
    writer.StartArray();
    for (const QString &heading : headings)
        writeText(writer, heading);
    writer.EndArray();
    writer.EndObject();
    stream.Put('\n');
}

void writeSnippetJson(const Snippet &snippet)
{
    OutStream stream;
    Writer writer(stream);
    writer.StartObject();
    writeColumn(writer, u"heading", snippet.heading);
    writeColumn(writer, u"description", snippet.description);
    writeColumn(writer, u"code", snippet.code);
    writer.EndObject();
    stream.Put('\n');
}

void writeHitsJson(const QList<SearchHit> &hits)
{
    OutStream stream;
    Writer writer(stream);
    writer.StartObject();
    writer.Key(u"hits");
    writer.StartArray();
    for (const SearchHit &hit : hits) {
        writer.StartObject();
        writer.Key(u"heading");
        writeText(writer, hit.heading);
        // Null only for a line that was not read, which a search for every line leaves none of.
        writeColumn(writer, u"line", hit.line.isNull() ? QVariant() : QVariant(hit.line));
        writer.Key(u"rank");
        writer.Int(hit.rank);
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
    stream.Put('\n');
}

} // namespace quillbox::app::cli
