#include "store/location.h"

#include "store/libraryfolder.h"

#include <QDir>
#include <QUrl>
#include <QUrlQuery>

#include <utility>

namespace quillbox::store {

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

// Read by hand rather than by QUrl: a socket folder is no host name QUrl would accept. The
// reason is why the URL cannot be used; empty when it can.
struct ReadAddress {
    ServerAddress address;
    QString reason;
};

ReadAddress readAddress(const QString &location)
{
    ReadAddress read;
    ServerAddress &a = read.address;
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
            read.reason = QStringLiteral("its port \"%1\" is no port number").arg(hostPort.mid(colon + 1));
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
    if (read.reason.isEmpty() && a.database.isEmpty())
        read.reason = QStringLiteral("it names no database (postgresql://user@host:port/dbname)");
    return read;
}

} // namespace

QString shownServer(const QString &location)
{
    return isServerLocation(location) ? readAddress(location).address.display : QString();
}

Location::Location(const QString &text) : m_text(text)
{
    if (isServerLocation(text)) {
        m_kind = Kind::Server;
        ReadAddress read = readAddress(text);
        m_server = std::move(read.address);
        m_shown = m_server.display;
        if (!read.reason.isEmpty())
            m_fault = {Failure::CannotOpen,
                       QStringLiteral("The snippet library %1 cannot be used: %2.").arg(m_shown, read.reason)};
        return;
    }
    m_file = text;
    m_shown = QDir::toNativeSeparators(text);
    if (text.isEmpty())
        m_fault = {Failure::MissingFile, noHomeMessage("XDG_DATA_HOME")};
    else if (!QDir::isAbsolutePath(text))
        m_fault = {
            Failure::CannotOpen,
            QStringLiteral("The snippet library \"%1\" cannot be used: give a postgresql://user@host:port/dbname "
                           "URL for a library on a server, or nothing for the library file in your library "
                           "folder.")
                .arg(text)};
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
