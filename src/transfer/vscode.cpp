// The editor's user-snippets file: {"name": {"prefix", "body", "description", "scope"}}.
// "body" and "description" are a text or a list of lines; "scope" lists the languages a
// snippet is for, separated by commas.

#include "transfer/jsonstream.h"
#include "transfer/placeholders.h"

#include <QSet>

namespace quillbox::transfer {

namespace {

// The language names that mean Visual Basic.
bool isOurLanguage(QStringView scope)
{
    for (QStringView language : scope.split(QLatin1Char(','))) {
        language = language.trimmed();
        for (const char *ours : {"vb", "vba", "vbs", "vbscript", "vbnet", "visualbasic"})
            if (language.compare(QLatin1String(ours), Qt::CaseInsensitive) == 0)
                return true;
    }
    return false;
}

// Depth 1 is the root object, 2 one snippet, 3 a list of lines in it.
class EditorHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, EditorHandler> {
public:
    EditorHandler(DeviceStream &stream, const ReadOptions &options, const Consumer &take, ReadReport &report)
        : m_stream(stream), m_options(options), m_take(take), m_report(report)
    {}

    QString error;

    bool Default() { return value(false, {}); }
    bool String(const char *s, rapidjson::SizeType n, bool)
    {
        m_stream.mark();
        if (!m_stream.fits(n) || !m_stream.isText(s, n))
            return false;
        if (m_nesting.skipping())
            return true;
        return value(true, QString::fromUtf8(s, n));
    }
    bool Key(const char *s, rapidjson::SizeType n, bool)
    {
        m_stream.mark();
        if (!m_stream.isText(s, n))
            return false;
        if (m_nesting.skipping())
            return true;
        if (m_nesting.depth == 1)
            startEntry(QString::fromUtf8(s, n));
        else
            m_key = QByteArray(s, n);
        return true;
    }
    bool StartObject()
    {
        m_stream.mark();
        if (m_nesting.skipping() || m_nesting.depth > 1)
            return startSkipped(m_nesting.depth == 2 ? field() : Field::None);
        if (!m_nesting.enter())
            return stop(m_nesting.error);
        return m_nesting.depth == 1 || m_nesting.depth == 2;
    }
    bool EndObject(rapidjson::SizeType)
    {
        m_stream.mark();
        if (m_nesting.leftSkipped())
            return true;
        if (m_nesting.depth-- == 2)
            return endEntry();
        return true;
    }
    bool StartArray()
    {
        m_stream.mark();
        if (m_nesting.skipping())
            return startSkipped(Field::None);
        if (m_nesting.depth == 0)
            return stop(QStringLiteral("it does not hold a JSON object"));
        if (m_nesting.depth == 1)
            return startSkipped(Field::Entry);
        const Field f = field();
        if (m_nesting.depth == 2 && (f == Field::Body || f == Field::Description)) {
            if (!m_nesting.enter())
                return stop(m_nesting.error);
            m_list = f;
            (f == Field::Body ? m_hasBody : m_hasDescription) = true;
            return true;
        }
        return startSkipped(f);
    }
    bool EndArray(rapidjson::SizeType)
    {
        m_stream.mark();
        if (m_nesting.leftSkipped())
            return true;
        m_list = Field::None;
        --m_nesting.depth;
        return true;
    }

private:
    enum class Field { None, Entry, Body, Description, Scope };

    Field field() const
    {
        if (m_key == "body")
            return Field::Body;
        if (m_key == "description")
            return Field::Description;
        if (m_key == "scope")
            return Field::Scope;
        return Field::None;
    }
    bool stop(const QString &why)
    {
        error = why;
        return false;
    }
    void bad(const QString &why)
    {
        if (m_entryBad)
            return;
        m_entryBad = true;
        m_report.badEntries.append(QStringLiteral("snippet \"%1\": %2").arg(m_name, why));
    }

    void startEntry(QString name)
    {
        m_name = std::move(name);
        m_body.clear();
        m_description.clear();
        m_scope.clear();
        m_hasBody = m_hasDescription = m_entryBad = false;
        m_key.clear();
        m_size = 0;
    }
    // A text must fit the limit, however many lines make it.
    bool fits(qsizetype more)
    {
        m_size += more;
        if (m_size > m_options.fieldLimit) {
            error = QStringLiteral("snippet \"%1\" is larger than %2").arg(m_name, limitInWords(m_options.fieldLimit));
            return false;
        }
        return true;
    }
    bool value(bool isText, QString text)
    {
        m_stream.mark();
        if (m_nesting.skipping())
            return true;
        if (m_nesting.depth == 0)
            return stop(QStringLiteral("it does not hold a JSON object"));
        if (m_nesting.depth == 1) {
            bad(QStringLiteral("it is not an object"));
            return true;
        }
        if (!fits(text.size()))
            return false;
        if (m_nesting.depth == 3) {
            if (!isText) {
                bad(m_list == Field::Body ? QStringLiteral("a line of \"body\" is not text")
                                          : QStringLiteral("a line of \"description\" is not text"));
                return true;
            }
            QStringList &lines = m_list == Field::Body ? m_body : m_description;
            lines.append(std::move(text));
            return true;
        }
        switch (field()) {
        case Field::Body:
            m_hasBody = true;
            if (isText)
                m_body = QStringList{std::move(text)};
            else
                bad(QStringLiteral("\"body\" is neither text nor a list of lines"));
            break;
        case Field::Description:
            m_hasDescription = true;
            if (isText)
                m_description = QStringList{std::move(text)};
            else
                bad(QStringLiteral("\"description\" is neither text nor a list of lines"));
            break;
        case Field::Scope:
            if (isText)
                m_scope = std::move(text);
            else
                bad(QStringLiteral("\"scope\" is not text"));
            break;
        case Field::None:
        case Field::Entry:
            break;
        }
        return true;
    }
    // A value nobody reads is skipped whole; one that should have been text is named.
    bool startSkipped(Field f)
    {
        if (!m_nesting.skipping()) {
            if (f == Field::Entry)
                bad(QStringLiteral("it is not an object"));
            else if (f == Field::Body)
                bad(QStringLiteral("\"body\" is neither text nor a list of lines"));
            else if (f == Field::Description)
                bad(QStringLiteral("\"description\" is neither text nor a list of lines"));
            else if (f == Field::Scope)
                bad(QStringLiteral("\"scope\" is not text"));
            else if (m_nesting.depth == 3)
                bad(m_list == Field::Body ? QStringLiteral("a line of \"body\" is not text")
                                          : QStringLiteral("a line of \"description\" is not text"));
            m_nesting.skipFrom = m_nesting.depth + 1;
        }
        return m_nesting.enter() ? true : stop(m_nesting.error);
    }

    bool endEntry()
    {
        if (text::isEmptyEntry(m_name))
            bad(QStringLiteral("it has no name"));
        else if (const auto fault = text::headingFault(m_name); fault != text::HeadingFault::None)
            bad(text::headingFaultMessage(fault));
        if (!m_hasBody)
            bad(QStringLiteral("\"body\" is missing"));
        if (m_entryBad)
            return true;
        if (!m_options.allScopes && !m_scope.trimmed().isEmpty() && !isOurLanguage(m_scope)) {
            ++m_report.otherScopes;
            return true;
        }
        const Converted code = blanksFromEditor(m_body.join(QLatin1Char('\n')), kPlaceholderNesting);
        if (code.tooDeep) {
            bad(QStringLiteral("its placeholders are nested deeper than %1 levels").arg(kPlaceholderNesting));
            return true;
        }
        if (!m_report.badEntries.isEmpty())
            return true; // nothing will be imported; the rest is read only to name every bad entry
        if (m_report.read >= kSnippetLimit)
            return stop(QStringLiteral("it holds more than %1 snippets").arg(kSnippetLimit));
        m_report.rewritten += code.found > 0 ? 1 : 0;
        ++m_report.read;
        if (!m_take(text::windowSnippet(m_name, m_description.join(QLatin1Char('\n')), code.text))) {
            m_report.stopped = true;
            return false;
        }
        return true;
    }

    DeviceStream &m_stream;
    const ReadOptions &m_options;
    const Consumer &m_take;
    ReadReport &m_report;
    NestingGuard m_nesting;
    QByteArray m_key;
    Field m_list = Field::None;
    QString m_name, m_scope;
    QStringList m_body, m_description;
    bool m_hasBody = false, m_hasDescription = false, m_entryBad = false;
    qint64 m_size = 0;
};

} // namespace

ReadReport readVsCode(QIODevice &in, const QString &name, const ReadOptions &options, const Consumer &take)
{
    ReadReport report;
    DeviceStream stream(in, options.fieldLimit);
    EditorHandler handler(stream, options, take, report);
    rapidjson::Reader reader;
    const rapidjson::ParseResult result = reader.Parse<kEditorFlags>(stream, handler);
    if (result.IsError() && !report.stopped)
        report.error = parseFailure(name, result, stream, handler.error, options.fieldLimit);
    return report;
}

namespace {

// A name not used yet (compared without case), made from `wanted` by adding " (2)", " (3)"...
QString unique(const QString &wanted, QSet<QString> *used)
{
    QString name = wanted;
    for (int n = 2; used->contains(name.toUpper()); ++n)
        name = QStringLiteral("%1 (%2)").arg(wanted).arg(n);
    used->insert(name.toUpper());
    return name;
}

void writeString(JsonWriter &writer, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    writer.String(bytes.constData(), rapidjson::SizeType(bytes.size()));
}

class EditorWriter : public JsonSnippetWriter {
public:
    EditorWriter(std::unique_ptr<ByteSink> sink, std::function<bool()> commit)
        : JsonSnippetWriter(std::move(sink), std::move(commit))
    {
        m_writer.StartObject();
    }
    Took add(const Snippet &s) override
    {
        if (s.heading.isNull() || text::isEmptyEntry(s.heading.toString()))
            return Took::LeftOut;
        const QString heading = unique(text::trimSpaces(s.heading.toString()), &m_used);
        writeString(m_writer, heading);
        m_writer.StartObject();
        m_writer.Key("prefix");
        writeString(m_writer, heading.toLower().replace(QLatin1Char(' '), QLatin1Char('-')));
        m_writer.Key("description");
        writeString(m_writer, text::unmarkedDescriptionLines(s.description.toString()).join(QLatin1Char('\n')));
        m_writer.Key("body");
        m_writer.StartArray();
        // The blanks become tab stops and variables; a blank's default may span lines.
        text::forEachLine(editorFromBlanks(s.code.toString()),
                          [&](QStringView line) { writeString(m_writer, line.toString()); });
        m_writer.EndArray();
        m_writer.Key("scope");
        m_writer.String("vb");
        m_writer.EndObject();
        return passed(s.code);
    }

private:
    void closing() override { m_writer.EndObject(); }

    QSet<QString> m_used;
};

} // namespace

std::unique_ptr<SnippetWriter> vsCodeWriter(std::unique_ptr<ByteSink> sink, std::function<bool()> commit)
{
    return std::make_unique<EditorWriter>(std::move(sink), std::move(commit));
}

} // namespace quillbox::transfer
