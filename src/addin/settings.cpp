#include "addin/settings.h"

#include "store/libraryfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace quillbox::settings {

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
bool noFolder(const QSettings &s, QString *error)
{
    if (!s.fileName().isEmpty())
        return false;
    *error = quillbox::store::noHomeMessage("XDG_CONFIG_HOME");
    return true;
}

} // namespace

QString filePath()
{
    return store().fileName();
}

bool readDisplayOnConnect(QString *value, QString *error)
{
    QSettings s = store();
    if (noFolder(s, error))
        return false;
    s.beginGroup(QLatin1String(kGroup));
    *value = s.value(QLatin1String(kKey), QStringLiteral("0")).toString();
    s.endGroup();
    // A file that is there but cannot be read is a failure, not an absent value.
    const QFileInfo file(s.fileName());
    if (s.status() != QSettings::NoError || (file.exists() && !file.isReadable())) {
        *error = QStringLiteral("The settings file %1 could not be read.").arg(QDir::toNativeSeparators(s.fileName()));
        return false;
    }
    return true;
}

bool writeDisplayOnConnect(const QString &value, QString *error)
{
    QSettings s = store();
    if (noFolder(s, error))
        return false;
    s.beginGroup(QLatin1String(kGroup));
    s.setValue(QLatin1String(kKey), value);
    s.endGroup();
    s.sync();
    if (s.status() != QSettings::NoError) {
        *error =
            QStringLiteral("The settings file %1 could not be written.").arg(QDir::toNativeSeparators(s.fileName()));
        return false;
    }
    return true;
}

} // namespace quillbox::settings
