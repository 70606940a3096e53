#include "resources/data.h"

#include "resources/installpaths.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringList>

namespace quillbox::resources {

namespace {

// The installed data file when there is one (a packager may replace it), otherwise the copy
// built into the program.
QByteArray readData(const QString &name)
{
    QFile installed(install::dataFolder() + QLatin1Char('/') + name);
    if (installed.open(QIODevice::ReadOnly))
        return installed.readAll();
    if (installed.exists())
        qWarning("quillbox: %s cannot be read (%s); the built-in copy is used", qPrintable(installed.fileName()),
                 qPrintable(installed.errorString()));
    QFile builtIn(QStringLiteral(":/quillbox/data/") + name);
    if (!builtIn.open(QIODevice::ReadOnly)) {
        qWarning("quillbox: the built-in resource %s is missing", qPrintable(builtIn.fileName()));
        return {};
    }
    return builtIn.readAll();
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
    return QString::fromUtf8(readData(QStringLiteral("quillbox_help.html")));
}

QString helpFileName()
{
    return QStringLiteral("Quillbox Ver 1.html");
}

QList<SampleSnippet> sampleSnippets()
{
    const QByteArray data = readData(QStringLiteral("samples.json"));
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
