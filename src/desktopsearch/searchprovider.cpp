#include "desktopsearch/searchprovider.h"

#include "colouring/snippethtml.h"
#include "store/libraryfolder.h"
#include "store/snippettext.h"
#include "text/placeholders.h"

#include <QDBusError>
#include <QDBusMetaType>
#include <QProcess>

#include <algorithm>
#include <utility>

namespace quillbox::desktopsearch {

QString copiedText(const text::Snippet &snippet)
{
    // Filled as Copy Code fills it: the defaults go in after the keywords' case is set, and a
    // snippet without blanks is copied as the box shows it (its "\${" kept).
    const QString shown =
        colouring::copyCodeText(store::composeDisplay(snippet.heading, snippet.description, snippet.code));
    const text::Placeholders blanks(shown);
    return blanks.isEmpty() ? shown : blanks.filled();
}

QString firstDescriptionLine(const QVariant &description)
{
    const QStringList lines = text::unmarkedDescriptionLines(description.toString());
    return lines.isEmpty() ? QString() : lines.first().trimmed();
}

QDBusArgument &operator<<(QDBusArgument &argument, const RemoteMatch &match)
{
    argument.beginStructure();
    argument << match.id << match.text << match.iconName << match.type << match.relevance << match.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, RemoteMatch &match)
{
    argument.beginStructure();
    argument >> match.id >> match.text >> match.iconName >> match.type >> match.relevance >> match.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const RemoteAction &action)
{
    argument.beginStructure();
    argument << action.id << action.text << action.iconName;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, RemoteAction &action)
{
    argument.beginStructure();
    argument >> action.id >> action.text >> action.iconName;
    argument.endStructure();
    return argument;
}

void registerTypes()
{
    qDBusRegisterMetaType<RemoteMatch>();
    qDBusRegisterMetaType<RemoteMatches>();
    qDBusRegisterMetaType<RemoteAction>();
    qDBusRegisterMetaType<RemoteActions>();
    qDBusRegisterMetaType<ResultMetas>();
}

int matchType(int rank)
{
    // KRunner's types: 100 an exact match, 70 a helper, 50 an informational one, 30 possible.
    if (rank == store::hitRank(store::HitField::Heading, store::HitKind::Equal))
        return 100;
    if (rank >= 1 && rank <= store::hitRank(store::HitField::Heading, store::HitKind::Anywhere))
        return 70;
    if (rank >= 1 && rank <= store::hitRank(store::HitField::Description, store::HitKind::Anywhere))
        return 50;
    return 30;
}

double matchRelevance(int rank, int position)
{
    // A rank steps the relevance down by 1/kFuzzyRank; a place in the list by less than that
    // over the most results there are.
    const double base =
        rank >= 1 && rank <= store::kFuzzyRank ? double(store::kFuzzyRank + 1 - rank) / store::kFuzzyRank : 0.5;
    return std::clamp(base - position * (0.5 / store::kFuzzyRank / kMostResults), 0.0, 1.0);
}

SearchProvider::SearchProvider(Copier copy, QString windowProgram, int idleMilliseconds, QObject *parent)
    : QObject(parent), m_copy(std::move(copy)), m_windowProgram(std::move(windowProgram))
{
    registerTypes();
    new GnomeSearchAdaptor(this);
    new KRunnerAdaptor(this);
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleMilliseconds);
    connect(&m_idle, &QTimer::timeout, this, &SearchProvider::idle);
    m_idle.start();
}

bool SearchProvider::registerOn(QDBusConnection bus, QString *error)
{
    if (!bus.isConnected()) {
        *error = QStringLiteral("There is no session bus to offer the search on: %1").arg(bus.lastError().message());
        return false;
    }
    if (!bus.registerObject(kObjectPath, this)) {
        *error = QStringLiteral("The search could not be offered at %1 on the session bus: %2")
                     .arg(kObjectPath, bus.lastError().message());
        return false;
    }
    if (!bus.registerService(kBusName)) {
        bus.unregisterObject(kObjectPath);
        *error = QStringLiteral("The search could not take the name %1 on the session bus (is it running already?): %2")
                     .arg(kBusName, bus.lastError().message());
        return false;
    }
    return true;
}

void SearchProvider::refuseIdentifiers() const
{
    fail(QDBusError::errorString(QDBusError::InvalidArgs),
         QStringLiteral("At most %1 results are taken in one call.").arg(kMostIdentifiers));
}

void SearchProvider::called()
{
    m_idle.start();
}

void SearchProvider::fail(const QString &errorName, const QString &words) const
{
    qWarning("quillbox search-provider: %s", qUtf8Printable(words));
    if (calledFromDBus())
        sendErrorReply(errorName, words);
}

std::optional<QList<store::SearchHit>> SearchProvider::search(const QStringList &terms)
{
    if (terms.size() > store::kMostSearchWords) {
        fail(QDBusError::errorString(QDBusError::InvalidArgs), store::tooManyWords());
        return std::nullopt;
    }
    for (const QString &term : terms) {
        if (term.size() > kMostTermLength) {
            fail(QDBusError::errorString(QDBusError::InvalidArgs),
                 QStringLiteral("A search word may be at most %1 characters long.").arg(kMostTermLength));
            return std::nullopt;
        }
    }
    const store::SearchResult found =
        store::SnippetLibrary(store::libraryLocation())
            .search(terms.join(QLatin1Char(' ')), store::allSearchFields, 0, kMostResults);
    if (!found.done()) {
        fail(QDBusError::errorString(QDBusError::Failed), found.error.message);
        return std::nullopt;
    }
    return found.hits;
}

QStringList SearchProvider::results(const QStringList &terms, qsizetype previousResults)
{
    called();
    if (previousResults > kMostIdentifiers) {
        refuseIdentifiers();
        return {};
    }
    QStringList ids;
    if (const auto hits = search(terms)) {
        for (const store::SearchHit &hit : *hits)
            ids << hit.heading;
    }
    return ids;
}

RemoteActions SearchProvider::actions()
{
    called();
    return {}; // choosing a match copies it; there is nothing else to do with one
}

ResultMetas SearchProvider::metas(const QStringList &identifiers)
{
    called();
    if (identifiers.size() > kMostIdentifiers) {
        refuseIdentifiers();
        return {};
    }
    const store::SnippetLibrary library(store::libraryLocation());
    ResultMetas metas;
    // The shell wants one for every id it asked about, so a snippet gone since it was found
    // is still described, as gone.
    const QString gone = QStringLiteral("No longer in the library");
    for (const QString &id : identifiers) {
        const store::SnippetResult found = id.size() > kMostIdentifierLength
                                               ? store::SnippetResult{{store::Outcome::Vanished, {}}, {}}
                                               : library.find(id);
        if (found.outcome != store::Outcome::Vanished && !found.done()) {
            fail(QDBusError::errorString(QDBusError::Failed), found.error.message);
            return {};
        }
        metas.append(
            {{QStringLiteral("id"), id},
             {QStringLiteral("gicon"), QStringLiteral("quillbox")},
             {QStringLiteral("name"), found.done() ? found.snippet.heading.toString() : id.left(kMostTermLength)},
             {QStringLiteral("description"), found.done() ? firstDescriptionLine(found.snippet.description) : gone}});
    }
    return metas;
}

void SearchProvider::activate(const QString &identifier)
{
    called();
    if (identifier.size() > kMostIdentifierLength) {
        fail(QDBusError::errorString(QDBusError::InvalidArgs), QStringLiteral("No snippet has so long a heading."));
        return;
    }
    const store::SnippetResult found = store::SnippetLibrary(store::libraryLocation()).find(identifier);
    if (found.outcome == store::Outcome::Vanished) {
        fail(QDBusError::errorString(QDBusError::InvalidArgs),
             QStringLiteral("No snippet is headed \"%1\"; it was not copied.").arg(identifier.left(kMostTermLength)));
        return;
    }
    if (!found.done()) {
        fail(QDBusError::errorString(QDBusError::Failed), found.error.message);
        return;
    }
    if (const QString error = m_copy(copiedText(found.snippet)); !error.isEmpty())
        fail(QDBusError::errorString(QDBusError::Failed),
             QStringLiteral("The snippet \"%1\" could not be copied: %2").arg(identifier.left(kMostTermLength), error));
}

void SearchProvider::launch()
{
    called();
    if (!QProcess::startDetached(m_windowProgram, {}))
        fail(QDBusError::errorString(QDBusError::Failed),
             QStringLiteral("The Quillbox window could not be opened: %1 could not be started.").arg(m_windowProgram));
}

RemoteMatches SearchProvider::match(const QString &query)
{
    called();
    if (query.size() > kMostQueryLength) {
        fail(QDBusError::errorString(QDBusError::InvalidArgs),
             QStringLiteral("A search may be at most %1 characters long.").arg(kMostQueryLength));
        return {};
    }
    const auto hits = search(store::searchWords(query));
    if (!hits)
        return {};
    const store::SnippetLibrary library(store::libraryLocation());
    RemoteMatches matches;
    for (const store::SearchHit &hit : *hits) {
        const store::SnippetResult found = library.find(hit.heading);
        if (found.outcome == store::Outcome::Vanished)
            continue; // gone since the search
        if (!found.done()) {
            fail(QDBusError::errorString(QDBusError::Failed), found.error.message);
            return {};
        }
        matches.append({hit.heading,
                        hit.heading,
                        QStringLiteral("quillbox"),
                        matchType(hit.rank),
                        matchRelevance(hit.rank, int(matches.size())),
                        {{QStringLiteral("subtext"), firstDescriptionLine(found.snippet.description)}}});
    }
    return matches;
}

void SearchProvider::run(const QString &matchId, const QString &actionId)
{
    if (!actionId.isEmpty()) {
        called();
        fail(QDBusError::errorString(QDBusError::InvalidArgs),
             QStringLiteral("There is no action \"%1\" on a snippet.").arg(actionId.left(kMostTermLength)));
        return;
    }
    activate(matchId);
}

GnomeSearchAdaptor::GnomeSearchAdaptor(SearchProvider *provider) : QDBusAbstractAdaptor(provider), m_provider(provider)
{}

QStringList GnomeSearchAdaptor::GetInitialResultSet(const QStringList &terms)
{
    return m_provider->results(terms);
}

QStringList GnomeSearchAdaptor::GetSubsearchResultSet(const QStringList &previousResults, const QStringList &terms)
{
    // A search is quick enough to be made again over the whole library; the previous results
    // are only bounded.
    return m_provider->results(terms, previousResults.size());
}

ResultMetas GnomeSearchAdaptor::GetResultMetas(const QStringList &identifiers)
{
    return m_provider->metas(identifiers);
}

void GnomeSearchAdaptor::ActivateResult(const QString &identifier, const QStringList &, uint)
{
    m_provider->activate(identifier);
}

void GnomeSearchAdaptor::LaunchSearch(const QStringList &, uint)
{
    m_provider->launch();
}

KRunnerAdaptor::KRunnerAdaptor(SearchProvider *provider) : QDBusAbstractAdaptor(provider), m_provider(provider)
{}

RemoteActions KRunnerAdaptor::Actions()
{
    return m_provider->actions();
}

RemoteMatches KRunnerAdaptor::Match(const QString &query)
{
    return m_provider->match(query);
}

void KRunnerAdaptor::Run(const QString &matchId, const QString &actionId)
{
    m_provider->run(matchId, actionId);
}

} // namespace quillbox::desktopsearch
