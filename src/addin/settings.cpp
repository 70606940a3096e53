#include "addin/settings.h"

#include "store/libraryfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace quillbox::addin::settings {

namespace {

constexpr auto kGroup = "Settings";
constexpr auto kKey = "DisplayOnConnect";

// $XDG_CONFIG_HOME/Quillbox/Quillbox.ini, by the XDG rules (a relative XDG_CONFIG_HOME is
// ignored); no file at all when no folder can be named.
QSettings store()
{
    const QString home = quillbox::store::xdgHome("XDG_CONFIG_HOME", ".config");
    return QSettings(home.isEmpty() ? home : home + QStringLiteral("/Quillbox/Quillbox.ini"), QSettings::IniFormat);
}

// No folder for the file: said in words instead of reading or writing nowhere.
QString noFolder(const QSettings &s)
{
    return s.fileName().isEmpty() ? quillbox::store::noHomeMessage("XDG_CONFIG_HOME") : QString();
}

} // namespace

QString filePath()
{
    return store().fileName();
}

// The value is read from the file as it stands: QSettings would trim a hand-edited
// "DisplayOnConnect = 1 " to "1", where only exactly "1" counts as set. Everything after the
// key's "=" to the end of its line is the value; the last line of the key in the section wins,
// as QSettings has it.
QString readDisplayOnConnect(QString &value)
{
    QSettings s = store();
    if (const QString failure = noFolder(s); !failure.isNull())
        return failure;
    value = QStringLiteral("0");
    QFile file(s.fileName());
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("The settings file %1 could not be read.").arg(QDir::toNativeSeparators(s.fileName()));
    bool inGroup = false;
    for (QString line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('['))) {
            inGroup = trimmed == QLatin1Char('[') + QLatin1String(kGroup) + QLatin1Char(']');
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inGroup && equals > 0 && QStringView(line).left(equals).trimmed() == QLatin1String(kKey))
            value = line.mid(equals + 1);
    }
    return {};
}

QString writeDisplayOnConnect(const QString &value)
{
    QSettings s = store();
    if (const QString failure = noFolder(s); !failure.isNull())
        return failure;
    s.beginGroup(QLatin1String(kGroup));
    s.setValue(QLatin1String(kKey), value);
    s.endGroup();
    s.sync();
    if (s.status() != QSettings::NoError)
        return QStringLiteral("The settings file %1 could not be written.").arg(QDir::toNativeSeparators(s.fileName()));
    return {};
}

} // namespace quillbox::addin::settings
