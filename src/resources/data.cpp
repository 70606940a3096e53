#include "resources/data.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringList>

namespace quillbox::resources {

namespace {

QByteArray readResource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("quillbox: the built-in resource %s is missing", qPrintable(path));
        return {};
    }
    return file.readAll();
}

QString joinLines(const QJsonValue &lines)
{
    QStringList text;
    const QJsonArray array = lines.toArray();
    for (const QJsonValue &line : array)
        text.append(line.toString());
    return text.join(QLatin1StringView("\r\n"));
}

} // namespace

QString helpPage()
{
    return QString::fromUtf8(readResource(QStringLiteral(":/quillbox/help/quillbox_help.html")));
}

QString helpFileName()
{
    return QStringLiteral("Quillbox Ver 1.html");
}

QList<SampleSnippet> sampleSnippets()
{
    const QByteArray data = readResource(QStringLiteral(":/quillbox/samples/samples.json"));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError) {
        qWarning("quillbox: the sample snippets cannot be read: %s", qPrintable(error.errorString()));
        return {};
    }

    QList<SampleSnippet> samples;
    const QJsonArray entries = document.array();
    for (const QJsonValue &entry : entries) {
        const QJsonObject object = entry.toObject();
        samples.append(SampleSnippet{object.value(QLatin1StringView("heading")).toString(),
                                     joinLines(object.value(QLatin1StringView("description"))),
                                     joinLines(object.value(QLatin1StringView("code")))});
    }
    return samples;
}

} // namespace quillbox::resources
