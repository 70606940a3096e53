#include "store/libraryfolder.h"

#include "store/location.h"

#include "resources/data.h"

#include <QDir>
#include <QSettings>

namespace quillbox::store {

QString xdgHome(const char *variable, const char *underHome)
{
    // A relative value is ignored, as the rules say; a home of "/" names no folder of the user's.
    const QString set = qEnvironmentVariable(variable);
    if (QDir::isAbsolutePath(set))
        return QDir::cleanPath(set);
    const QString home = qEnvironmentVariable("HOME");
    if (!QDir::isAbsolutePath(home) || QDir::cleanPath(home) == QDir::rootPath())
        return {};
    return QDir::cleanPath(home) + QLatin1Char('/') + QLatin1String(underHome);
}

QString noHomeMessage(const char *variable)
{
    return QStringLiteral("Quillbox cannot tell where your files belong: neither %1 nor HOME names a folder. Set "
                          "HOME, or %1 to an absolute path, and try again.")
        .arg(QLatin1String(variable));
}

QString libraryFolder()
{
    const QString base = xdgHome("XDG_DATA_HOME", ".local/share");
    return base.isEmpty() ? base : base + QStringLiteral("/Quillbox");
}

QString databasePath()
{
    const QString folder = libraryFolder();
    return folder.isEmpty() ? folder : folder + QStringLiteral("/Quillbox.mdb");
}

QString helpFilePath()
{
    const QString folder = libraryFolder();
    return folder.isEmpty() ? folder : folder + QLatin1Char('/') + resources::helpFileName();
}

QString settingsFilePath()
{
    const QString home = xdgHome("XDG_CONFIG_HOME", ".config");
    return home.isEmpty() ? home : home + QStringLiteral("/Quillbox/Quillbox.ini");
}

QString libraryLocation()
{
    QString location = qEnvironmentVariable("QUILLBOX_LIBRARY").trimmed();
    const QString settings = settingsFilePath();
    if (location.isEmpty() && !settings.isEmpty()) {
        location =
            QSettings(settings, QSettings::IniFormat).value(QStringLiteral("Library/Location")).toString().trimmed();
        // A password is never taken from the settings file: the server's client library finds
        // it (PGPASSWORD, ~/.pgpass, a service file).
        if (isServerLocation(location))
            location = shownServer(location);
    }
    return location.isEmpty() ? databasePath() : location;
}

} // namespace quillbox::store
