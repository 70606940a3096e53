// The search provider on a private session bus, called as GNOME Shell and KRunner call it.

#include "desktopsearch/searchprovider.h"
#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "support/privatebus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace ds = quillbox::desktopsearch;
namespace store = quillbox::store;

namespace {

QStringList warnings;

const QString gnome = ds::kGnomeInterface, krunner = ds::kKRunnerInterface;

// Swap values holds blanks and keywords in lower case; Quick sort holds "swap values" in its
// code only; 22 loops hold "loop" in their headings.
void seedLibrary()
{
    ASSERT_TRUE(store::initLibrary(false).done());
    const store::SnippetLibrary library(store::libraryLocation());
    ASSERT_TRUE(library
                    .add(QStringLiteral("Quick sort"), QStringLiteral("'Sorts an array in place."),
                         QStringLiteral("Sub QuickSort(a)\r\n    ' swap values around the pivot\r\nEnd Sub"))
                    .done());
    ASSERT_TRUE(library
                    .add(QStringLiteral("Swap values"), QStringLiteral("'  Exchanges two variables.\r\n'Any type."),
                         QStringLiteral("sub Swap(${x:first}, ${y:second})\r\n    dim t\r\n    t = ${x}: ${x} = "
                                        "${y}: ${y} = t\r\nend sub"))
                    .done());
    for (int i = 0; i < 22; ++i)
        ASSERT_TRUE(library.add(QStringLiteral("Loop %1").arg(i), {}, QStringLiteral("Do\r\nLoop")).done());
}

class DesktopSearch : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(bus.address().isEmpty()) << bus.fault().toStdString();
        seedLibrary();
        old = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) { warnings << m; });
        start(60000);
    }
    void TearDown() override
    {
        qInstallMessageHandler(old);
        provider.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("provider"));
        QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
    }
    void start(int idleMilliseconds)
    {
        provider = std::make_unique<ds::SearchProvider>(
            [this](const QString &text) {
                copied << text;
                return copyFault;
            },
            QStringLiteral("/nonexistent/quillbox"), idleMilliseconds);
        QString error;
        ASSERT_TRUE(
            provider->registerOn(QDBusConnection::connectToBus(bus.address(), QStringLiteral("provider")), &error))
            << error.toStdString();
    }
    // Calls the provider from the desktop's own connection and waits for the answer.
    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(ds::kBusName, ds::kObjectPath, interface, method);
        message.setArguments(arguments);
        const QDBusPendingCall pending =
            QDBusConnection::connectToBus(bus.address(), QStringLiteral("desktop")).asyncCall(message, 10000);
        EXPECT_TRUE(qbx::test::waitFor([&] { return pending.isFinished(); }, 15000));
        return pending.reply();
    }

    qbx::test::PrivateBus bus;
    qbx::test::FreshUserFolders folders;
    QtMessageHandler old = nullptr;
    std::unique_ptr<ds::SearchProvider> provider;
    QStringList copied;
    QString copyFault;
};

TEST_F(DesktopSearch, ResultsFollowTheRankAndAreLimited)
{
    struct Case {
        QString query;
        QStringList first; // the best results, in order
        qsizetype count;
    };
    for (const Case &c : std::vector<Case>{{QStringLiteral("swap values"), {"Swap values", "Quick sort"}, 2},
                                           {QStringLiteral("loop"), {"Loop 0", "Loop 1"}, ds::kMostResults},
                                           {QStringLiteral("nothing"), {}, 0}}) {
        SCOPED_TRACE(c.query.toStdString());
        const QStringList terms = c.query.split(QLatin1Char(' '));
        const QStringList initial =
            call(gnome, QStringLiteral("GetInitialResultSet"), {terms}).arguments().value(0).toStringList();
        EXPECT_EQ(initial.size(), c.count);
        EXPECT_EQ(initial.mid(0, c.first.size()), c.first);
        EXPECT_EQ(call(gnome, QStringLiteral("GetSubsearchResultSet"), {QStringList{"Quick sort"}, terms}).arguments(),
                  QVariantList{initial});

        const auto matches =
            qdbus_cast<ds::RemoteMatches>(call(krunner, QStringLiteral("Match"), {c.query}).arguments().value(0));
        ASSERT_EQ(matches.size(), c.count);
        for (qsizetype i = 0; i < matches.size(); ++i) {
            EXPECT_EQ(matches[i].id, initial[i]);
            EXPECT_EQ(matches[i].text, initial[i]);
            EXPECT_EQ(matches[i].iconName, QStringLiteral("quillbox"));
            // Only the heading equal to the query is an exact match.
            EXPECT_EQ(matches[i].type == 100, matches[i].text.compare(c.query, Qt::CaseInsensitive) == 0) << i;
            EXPECT_TRUE(matches[i].relevance > 0 && matches[i].relevance <= 1) << matches[i].relevance;
            if (i > 0) {
                EXPECT_LT(matches[i].relevance, matches[i - 1].relevance) << i;
            }
        }
        if (c.count == 2) {
            EXPECT_EQ(matches[1].properties.value(QStringLiteral("subtext")),
                      QStringLiteral("Sorts an array in place."));
        }
    }
    EXPECT_EQ(call(krunner, QStringLiteral("Actions"), {}).signature(), QStringLiteral("a(sss)"));
    EXPECT_EQ(warnings, QStringList());
}

TEST_F(DesktopSearch, MetasCarryTheDescriptionsFirstLine)
{
    const auto metas = qdbus_cast<ds::ResultMetas>(
        call(gnome, QStringLiteral("GetResultMetas"), {QStringList{"Swap values", "Quick sort", "Gone"}})
            .arguments()
            .value(0));
    ASSERT_EQ(metas.size(), 3);
    const QStringList expected[] = {{"Swap values", "Swap values", "Exchanges two variables."},
                                    {"Quick sort", "Quick sort", "Sorts an array in place."},
                                    {"Gone", "Gone", "No longer in the library"}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(metas[i].value(QStringLiteral("id")), expected[i][0]);
        EXPECT_EQ(metas[i].value(QStringLiteral("name")), expected[i][1]);
        EXPECT_EQ(metas[i].value(QStringLiteral("description")), expected[i][2]);
    }
}

// Every call that copies, or is refused: what the copier got, and the error's words.
TEST_F(DesktopSearch, ChoosingCopiesTheComposedSnippetAndFailuresAreSaid)
{
    const QString swapValues = QStringLiteral(
        "'Swap values\r\n\r\n'  Exchanges two variables.\r\n'Any type.\r\n\r\nSub Swap(first, second)\r\n    Dim t\r\n"
        "    t = first: first = second: second = t\r\nEnd Sub");
    struct Case {
        QString interface, method;
        QVariantList arguments;
        QString copyFault, library; // what the copier says; QUILLBOX_LIBRARY
        QStringList copies;
        QString error; // a part of the error reply's words; empty for none
    };
    const QStringList many(65, QStringLiteral("w"));
    for (const Case &c : std::vector<Case>{
             {gnome, "ActivateResult", {"Swap values", QStringList{"swap"}, 0u}, {}, {}, {swapValues}, {}},
             {krunner, "Run", {"Swap values", QString()}, {}, {}, {swapValues}, {}},
             {gnome, "ActivateResult", {"Nothing like it", QStringList{}, 0u}, {}, {}, {}, "\"Nothing like it\""},
             {krunner, "Run", {"Nothing like it", QString()}, {}, {}, {}, "\"Nothing like it\""},
             {krunner, "Run", {"Swap values", "edit"}, {}, {}, {}, "no action \"edit\""},
             {gnome,
              "ActivateResult",
              {"Swap values", QStringList{}, 0u},
              "the display is gone",
              {},
              {swapValues},
              "could not be copied: the display is gone"},
             {gnome, "GetInitialResultSet", {many}, {}, {}, {}, store::tooManyWords()},
             {gnome, "GetInitialResultSet", {QStringList{QString(257, 'w')}}, {}, {}, {}, "at most 256 characters"},
             {krunner, "Match", {QString(1025, 'w')}, {}, {}, {}, "at most 1024 characters"},
             {gnome, "GetInitialResultSet", {QStringList{"swap"}}, {}, "not/absolute", {}, "not/absolute"},
             {gnome, "ActivateResult", {"Swap values", QStringList{}, 0u}, {}, "not/absolute", {}, "not/absolute"},
             {gnome,
              "LaunchSearch",
              {QStringList{"swap"}, 0u},
              {},
              {},
              {},
              "/nonexistent/quillbox could not be started"},
         }) {
        SCOPED_TRACE((c.method + QLatin1Char(' ') + c.arguments.value(0).toString() + c.copyFault).toStdString());
        copied.clear();
        warnings.clear();
        copyFault = c.copyFault;
        if (!c.library.isEmpty())
            qputenv("QUILLBOX_LIBRARY", c.library.toUtf8());
        const QDBusMessage reply = call(c.interface, c.method, c.arguments);
        qunsetenv("QUILLBOX_LIBRARY");
        EXPECT_EQ(copied, c.copies);
        EXPECT_EQ(reply.type(), c.error.isEmpty() ? QDBusMessage::ReplyMessage : QDBusMessage::ErrorMessage)
            << reply.errorMessage().toStdString();
        EXPECT_TRUE(reply.errorMessage().contains(c.error)) << reply.errorMessage().toStdString();
        // The log says it too.
        EXPECT_EQ(warnings.size(), c.error.isEmpty() ? 0 : 1);
        EXPECT_TRUE(warnings.join(QString()).contains(c.error)) << warnings.join(QString()).toStdString();
    }
}

TEST_F(DesktopSearch, IdleTimeEndsTheProviderAndEveryCallPutsItOff)
{
    provider.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("provider"));
    start(1000);
    QSignalSpy idle(provider.get(), &ds::SearchProvider::idle);
    QTest::qWait(600);
    EXPECT_EQ(idle.count(), 0);
    QElapsedTimer sinceCall;
    call(gnome, QStringLiteral("GetInitialResultSet"), {QStringList{"swap"}});
    sinceCall.start();
    ASSERT_TRUE(idle.wait(5000));
    EXPECT_GE(sinceCall.elapsed(), 900);
    EXPECT_EQ(idle.count(), 1);
}

} // namespace
