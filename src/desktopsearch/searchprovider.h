#pragma once
// The desktop's own search finds snippets: GNOME Shell's overview and KDE's KRunner ask a
// search provider on the session bus while the user types, show the headings it finds, and
// tell it which one the user chose. Choosing one copies the composed snippet as Copy Code
// does, its blanks filled with their defaults (there is no one to ask for values).
//
// One object on the bus answers both: org.gnome.Shell.SearchProvider2 and org.kde.krunner1.
// Every call searches the library named by store::libraryLocation() anew, so the answers
// follow the library as it is now. A result's id is its snippet's heading.

#include "store/snippets.h"
#include "text/snippettext.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace quillbox::desktopsearch {

// Where the desktop finds the provider; the ini file, the runner's .desktop file and the bus's
// .service file in packaging/ name the same.
inline const QString kBusName = QStringLiteral("org.example.quillbox.SearchProvider");
inline const QString kObjectPath = QStringLiteral("/org/example/quillbox/SearchProvider");
inline const QString kGnomeInterface = QStringLiteral("org.gnome.Shell.SearchProvider2");
inline const QString kKRunnerInterface = QStringLiteral("org.kde.krunner1");

// The most results one search gives, best first.
inline constexpr int kMostResults = 20;
// What a call may hand in: longer terms, or more of them, are refused in words.
inline constexpr int kMostTermLength = 256;
inline constexpr int kMostQueryLength = 1024;
inline constexpr int kMostIdentifiers = 100;
inline constexpr int kMostIdentifierLength = 64 * 1024;
// The provider ends itself after this long without a call; the bus starts it again.
inline constexpr int kIdleMilliseconds = 60 * 1000;

// Puts the text where the user pastes it. Empty when it did, else why not, in words.
using Copier = std::function<QString(const QString &text)>;

// The text Copy Code puts on the clipboard for the snippet, its blanks at their defaults.
QString copiedText(const text::Snippet &snippet);
// The first line of a stored description, its comment mark and spaces taken off.
QString firstDescriptionLine(const QVariant &description);

// One of KRunner's matches, a(sssida{sv}): the match's id, its text, an icon's name, its type
// (100 for an exact match), its relevance from 0 to 1, and "subtext" among its properties.
struct RemoteMatch {
    QString id, text, iconName;
    int type = 0;
    double relevance = 0;
    QVariantMap properties;
};
// One of the actions KRunner offers beside a match, a(sss): id, text, icon name.
struct RemoteAction {
    QString id, text, iconName;
};
using RemoteMatches = QList<RemoteMatch>;
using RemoteActions = QList<RemoteAction>;
using ResultMetas = QList<QVariantMap>;

QDBusArgument &operator<<(QDBusArgument &argument, const RemoteMatch &match);
const QDBusArgument &operator>>(const QDBusArgument &argument, RemoteMatch &match);
QDBusArgument &operator<<(QDBusArgument &argument, const RemoteAction &action);
const QDBusArgument &operator>>(const QDBusArgument &argument, RemoteAction &action);
// Makes the types above known to Qt D-Bus; done by the provider, and by a client reading them.
void registerTypes();

// KRunner's match type for a hit of this rank, and its relevance (1 for the best rank, less the
// further down the list it stands, so that hits of one rank keep their order).
int matchType(int rank);
double matchRelevance(int rank, int position);

class SearchProvider : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    // windowProgram opens the Quillbox window when started without arguments.
    SearchProvider(Copier copy, QString windowProgram, int idleMilliseconds = kIdleMilliseconds,
                   QObject *parent = nullptr);

    // Puts the object on the bus and takes the bus name. False, with why not in words, when the
    // bus refused either.
    bool registerOn(QDBusConnection bus, QString *error);

    // What the adaptors answer with; a failure is reported to the caller and the log.
    // previousResults: how many results the caller hands back with the terms (bounded only).
    QStringList results(const QStringList &terms, qsizetype previousResults = 0);
    RemoteActions actions();
    ResultMetas metas(const QStringList &identifiers);
    void activate(const QString &identifier);
    void launch();
    RemoteMatches match(const QString &query);
    void run(const QString &matchId, const QString &actionId);

signals:
    // No call came for the idle interval: time to end.
    void idle();

private:
    // The best hits for the terms, or nothing when the terms are refused or the search failed
    // (reported).
    std::optional<QList<store::SearchHit>> search(const QStringList &terms);
    // Logs the failure and, in a call from the bus, sends it back as the call's error.
    void fail(const QString &errorName, const QString &words) const;
    // Refuses a call handing in more than kMostIdentifiers results.
    void refuseIdentifiers() const;
    // Restarts the idle interval; called on every call.
    void called();

    Copier m_copy;
    QString m_windowProgram;
    QTimer m_idle;
};

// org.gnome.Shell.SearchProvider2 on the provider's object.
class GnomeSearchAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Shell.SearchProvider2")
public:
    explicit GnomeSearchAdaptor(SearchProvider *provider);

public slots:
    QStringList GetInitialResultSet(const QStringList &terms);
    QStringList GetSubsearchResultSet(const QStringList &previousResults, const QStringList &terms);
    quillbox::desktopsearch::ResultMetas GetResultMetas(const QStringList &identifiers);
    void ActivateResult(const QString &identifier, const QStringList &terms, uint timestamp);
    void LaunchSearch(const QStringList &terms, uint timestamp);

private:
    SearchProvider *m_provider;
};

// org.kde.krunner1 on the provider's object.
class KRunnerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.krunner1")
public:
    explicit KRunnerAdaptor(SearchProvider *provider);

public slots:
    quillbox::desktopsearch::RemoteActions Actions();
    quillbox::desktopsearch::RemoteMatches Match(const QString &query);
    void Run(const QString &matchId, const QString &actionId);

private:
    SearchProvider *m_provider;
};

} // namespace quillbox::desktopsearch

Q_DECLARE_METATYPE(quillbox::desktopsearch::RemoteMatch)
Q_DECLARE_METATYPE(quillbox::desktopsearch::RemoteAction)
