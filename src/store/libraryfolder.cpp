#include "store/libraryfolder.h"

#include "resources/data.h"

#include <QDir>
#include <QUrl>
#include <QUrlQuery>

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

QString readWriteUri(const QString &path)
{
    // Built from a file URL, so that '#', '?' and '%' in the path stay part of the name.
    QUrl url = QUrl::fromLocalFile(path);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("mode"), QStringLiteral("rw"));
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

} // namespace quillbox::store
