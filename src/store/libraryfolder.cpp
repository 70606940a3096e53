#include "store/libraryfolder.h"

#include "resources/data.h"

#include <QDir>
#include <QSettings>
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
            location = serverAddress(location).display;
    }
    return location.isEmpty() ? databasePath() : location;
}

bool isServerLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
           || location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

namespace {

QString decoded(const QString &part)
{
    return QUrl::fromPercentEncoding(part.toUtf8());
}

// Where the user part of a URL ends: at the last '@' before the path, so that a password may
// hold '@' and '?' as typed; -1 when there is none. An '@' in the query starts no user part.
qsizetype userInfoEnd(const QString &rest)
{
    const qsizetype path = rest.indexOf(QLatin1Char('/'));
    return path == 0 ? -1 : rest.lastIndexOf(QLatin1Char('@'), path < 0 ? -1 : path - 1);
}

// A query key as the server's client library reads it, and whether it names the password in
// any spelling a user might try.
bool isPasswordKey(const QString &key)
{
    return key.trimmed().compare(QLatin1String("password"), Qt::CaseInsensitive) == 0;
}

} // namespace

// Read by hand rather than by QUrl: a socket folder is no host name QUrl would accept.
ServerAddress serverAddress(const QString &location)
{
    ServerAddress a;
    const QString afterScheme = location.section(QStringLiteral("://"), 1);
    const qsizetype at = userInfoEnd(afterScheme);
    const QString userInfo = at >= 0 ? afterScheme.left(at) : QString();
    QString rest = afterScheme.mid(at + 1);
    const QString query = rest.section(QLatin1Char('?'), 1);
    rest = rest.section(QLatin1Char('?'), 0, 0);
    const qsizetype slash = rest.lastIndexOf(QLatin1Char('/'));
    QString hostPort = slash < 0 ? rest : rest.left(slash);
    if (slash >= 0)
        a.database = decoded(rest.mid(slash + 1));
    // What is shown of the user part is the user alone, never what follows it.
    QString shown = rest;
    if (at >= 0) {
        const QString user = userInfo.section(QLatin1Char(':'), 0, 0);
        a.user = decoded(user);
        if (userInfo.contains(QLatin1Char(':')))
            a.password = decoded(userInfo.section(QLatin1Char(':'), 1));
        shown = user + QLatin1Char('@') + rest;
    }
    const qsizetype colon = hostPort.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0 && !hostPort.endsWith(QLatin1Char(']'))) {
        bool ok = false;
        a.port = hostPort.mid(colon + 1).toInt(&ok);
        if (!ok || a.port <= 0 || a.port > 65535)
            a.error = QStringLiteral("its port \"%1\" is no port number").arg(hostPort.mid(colon + 1));
        hostPort.truncate(colon);
    }
    a.host = decoded(hostPort);
    if (a.host.startsWith(QLatin1Char('[')) && a.host.endsWith(QLatin1Char(']')))
        a.host = a.host.mid(1, a.host.size() - 2);
    QStringList shownItems;
    for (const QString &item : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        // Keys are judged as the client library reads them: decoded, spaces aside.
        const QString key = decoded(item.section(QLatin1Char('='), 0, 0)).trimmed();
        const QString value =
            decoded(QString(item).replace(QLatin1Char('+'), QLatin1Char(' ')).section(QLatin1Char('='), 1));
        if (isPasswordKey(key)) {
            a.password = value;
            continue;
        }
        shownItems << item;
        if (key == QLatin1String("host"))
            a.host = value;
        else if (key == QLatin1String("port"))
            a.port = value.toInt();
        else if (key == QLatin1String("user"))
            a.user = value;
        else if (key == QLatin1String("dbname"))
            a.database = value;
        else
            a.options << key + QLatin1Char('=') + value;
    }
    a.display = location.section(QStringLiteral("://"), 0, 0) + QStringLiteral("://") + shown;
    if (!shownItems.isEmpty())
        a.display += QLatin1Char('?') + shownItems.join(QLatin1Char('&'));
    if (a.error.isEmpty() && a.database.isEmpty())
        a.error = QStringLiteral("it names no database (postgresql://user@host:port/dbname)");
    return a;
}

QString shownServer(const QString &location)
{
    return isServerLocation(location) ? serverAddress(location).display : QString();
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
