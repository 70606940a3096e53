#include "store/libraryfolder.h"

#include "resources/data.h"

#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

namespace quillbox::store {

QString libraryFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quillbox");
}

QString databasePath()
{
    return libraryFolder() + QStringLiteral("/Quillbox.mdb");
}

QString helpFilePath()
{
    return libraryFolder() + QLatin1Char('/') + resources::helpFileName();
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
