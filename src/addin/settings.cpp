#include "addin/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace quillbox::settings {

namespace {

constexpr auto kGroup = "Settings";
constexpr auto kKey = "DisplayOnConnect";

QSettings store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quillbox"),
                     QStringLiteral("Quillbox"));
}

} // namespace

QString filePath()
{
    return store().fileName();
}

bool readDisplayOnConnect(QString *value, QString *error)
{
    QSettings s = store();
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
