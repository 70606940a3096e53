// The search provider on a private session bus, called as GNOME Shell and KRunner call it.

#include "desktopsearch/searchprovider.h"
#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "support/privatebus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace ds = quillbox::desktopsearch;
namespace store = quillbox::store;

namespace {

QStringList warnings;
const QString gnome = ds::kGnomeInterface, krunner = ds::kKRunnerInterface;

class DesktopSearch : public testing::Test {
protected:
    void SetUp() override
    {
        if (!qbx::test::PrivateBus::available())
            GTEST_SKIP() << "dbus-daemon is not installed; there is no bus to offer the search on";
        bus.emplace();
        ASSERT_FALSE(bus->address().isEmpty()) << bus->fault().toStdString();
        // "swap values": a heading equal to it, a description and a code that hold it.
        ASSERT_TRUE(store::initLibrary(false).done());
        const store::SnippetLibrary library(store::libraryLocation());
        const char *snippets[][3] = {
            {"Quick sort", "'Sorts an array in place.", "Sub QuickSort(a)\r\n    ' swap values, not \\${a}\r\nEnd Sub"},
            {"Bubble sort", "'Passes that swap values of neighbours.\r\n'Slow.", "Sub BubbleSort(a)\r\nEnd Sub"},
            {"Swap values", "'  Exchanges two variables.\r\n'Any type.",
             "sub Swap(${x:first}, ${y:second})\r\n    dim t\r\n    t = ${x}: ${x} = ${y}: ${y} = t\r\nend sub"}};
        for (const auto &s : snippets)
            ASSERT_TRUE(library.add(s[0], s[1], s[2]).done());
        for (int i = 0; i < 22; ++i)
            ASSERT_TRUE(library.add(QStringLiteral("Loop %1").arg(i), {}, QStringLiteral("Do\r\nLoop")).done());
        old = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) { warnings << m; });
        start(ds::kIdleMilliseconds);
    }
    void TearDown() override
    {
        qInstallMessageHandler(old);
        start(0);
        QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
    }
    // Takes the provider off the bus and, unless idleMilliseconds is 0, puts a new one on.
    void start(int idleMilliseconds)
    {
        provider.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("provider"));
        if (idleMilliseconds == 0)
            return;
        const auto copy = [this](const QString &text) {
            copied << text;
            return copyFault;
        };
        provider =
            std::make_unique<ds::SearchProvider>(copy, QStringLiteral("/nonexistent/quillbox"), idleMilliseconds);
        QString error;
        ASSERT_TRUE(
            provider->registerOn(QDBusConnection::connectToBus(bus->address(), QStringLiteral("provider")), &error))
            << error.toStdString();
    }
    // Calls the provider from the desktop's own connection and waits for the answer.
    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(ds::kBusName, ds::kObjectPath, interface, method);
        message.setArguments(arguments);
        const QDBusPendingCall pending =
            QDBusConnection::connectToBus(bus->address(), QStringLiteral("desktop")).asyncCall(message, 10000);
        EXPECT_TRUE(qbx::test::waitFor([&] { return pending.isFinished(); }, 15000));
        return pending.reply();
    }

    std::optional<qbx::test::PrivateBus> bus;
    qbx::test::FreshUserFolders folders;
    QtMessageHandler old = nullptr;
    std::unique_ptr<ds::SearchProvider> provider;
    QStringList copied;
    QString copyFault;
};

TEST_F(DesktopSearch, ResultsComeBestFirstToBothDesktops)
{
    QStringList loops;
    for (int i = 0; i < ds::kMostResults; ++i)
        loops << QStringLiteral("Loop %1").arg(i);
    const std::pair<QString, QStringList> cases[] = {
        {"swap values", {"Swap values", "Bubble sort", "Quick sort"}}, // heading, description, code
        {"swpval", {"Swap values"}},                                   // a typing mistake
        {"loop", loops},                                               // the first kMostResults
        {"nothing", {}}};
    const QString subtexts[] = {"Exchanges two variables.", "Passes that swap values of neighbours.",
                                "Sorts an array in place."};
    for (const auto &[query, expected] : cases) {
        SCOPED_TRACE(query.toStdString());
        const QStringList terms = query.split(QLatin1Char(' '));
        EXPECT_EQ(call(gnome, "GetInitialResultSet", {terms}).arguments(), QVariantList{expected});
        EXPECT_EQ(call(gnome, "GetSubsearchResultSet", {QStringList{"Quick sort"}, terms}).arguments(),
                  QVariantList{expected});
        const auto matches = qdbus_cast<ds::RemoteMatches>(call(krunner, "Match", {query}).arguments().value(0));
        ASSERT_EQ(matches.size(), expected.size());
        for (qsizetype i = 0; i < matches.size(); ++i) {
            EXPECT_EQ(matches[i].id, expected[i]);
            EXPECT_EQ(matches[i].text, expected[i]);
            EXPECT_EQ(matches[i].type == 100, expected[i].compare(query, Qt::CaseInsensitive) == 0) << i;
            EXPECT_TRUE(matches[i].relevance > 0 && matches[i].relevance <= 1) << matches[i].relevance;
            EXPECT_TRUE(i == 0 || matches[i].relevance < matches[i - 1].relevance) << i;
            if (expected.size() == 3) {
                EXPECT_EQ(matches[i].properties.value("subtext"), subtexts[i]);
            }
        }
        // The shell's metas: the heading and the description's first line; a gone one said so.
        const auto metas = qdbus_cast<ds::ResultMetas>(
            call(gnome, "GetResultMetas", {expected + QStringList{"Gone"}}).arguments().value(0));
        ASSERT_EQ(metas.size(), expected.size() + 1);
        for (qsizetype i = 0; i < metas.size(); ++i) {
            EXPECT_EQ(metas[i].value("id"), metas[i].value("name"));
            EXPECT_EQ(metas[i].value("name"), i < expected.size() ? expected[i] : "Gone");
        }
        EXPECT_EQ(metas.back().value("description"), "No longer in the library");
        if (expected.size() == 3) {
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(metas[i].value("description"), subtexts[i]);
        }
    }
    EXPECT_EQ(call(krunner, "Actions", {}).signature(), QStringLiteral("a(sss)"));
    EXPECT_EQ(warnings, QStringList());
}

// Every call that copies, or is refused: what the copier got, and the error's words.
TEST_F(DesktopSearch, ChoosingCopiesTheComposedSnippetAndRefusalsAreSaid)
{
    const QString swap = "'Swap values\r\n\r\n'  Exchanges two variables.\r\n'Any type.\r\n\r\nSub Swap(first, "
                         "second)\r\n    Dim t\r\n    t = first: first = second: second = t\r\nEnd Sub";
    const QString quick = "'Quick sort\r\n\r\n'Sorts an array in place.\r\n\r\nSub QuickSort(a)\r\n    ' swap "
                          "values, not \\${a}\r\nEnd Sub";
    struct Case {
        QString interface, method;
        QVariantList arguments;
        QString copyFault, library; // what the copier says; QUILLBOX_LIBRARY
        QStringList copies;
        QString error; // a part of the error reply's words; empty for none
    };
    const QStringList none;
    const QString huge(ds::kMostIdentifierLength + 1, 'w');
    for (const Case &c : std::vector<Case>{
             {gnome, "ActivateResult", {"Swap values", QStringList{"swap"}, 0u}, {}, {}, {swap}, {}},
             {krunner, "Run", {"Quick sort", QString()}, {}, {}, {quick}, {}},
             {gnome, "ActivateResult", {"Nothing like it", none, 0u}, {}, {}, {}, "\"Nothing like it\""},
             {krunner, "Run", {"Swap values", "edit"}, {}, {}, {}, "no action \"edit\""},
             {gnome, "ActivateResult", {"Swap values", none, 0u}, "no display", {}, {swap}, "copied: no display"},
             {gnome, "ActivateResult", {huge, none, 0u}, {}, {}, {}, "so long a heading"},
             {gnome, "GetInitialResultSet", {QStringList(65, "w")}, {}, {}, {}, store::tooManyWords()},
             {gnome, "GetInitialResultSet", {QStringList{QString(257, 'w')}}, {}, {}, {}, "at most 256 characters"},
             {gnome, "GetSubsearchResultSet", {QStringList(101, "w"), none}, {}, {}, {}, "At most 100 results"},
             {gnome, "GetResultMetas", {QStringList(101, "w")}, {}, {}, {}, "At most 100 results"},
             {krunner, "Match", {QString(1025, 'w')}, {}, {}, {}, "at most 1024 characters"},
             {gnome, "GetInitialResultSet", {QStringList{"swap"}}, {}, "not/absolute", {}, "not/absolute"},
             {gnome, "LaunchSearch", {QStringList{"swap"}, 0u}, {}, {}, {}, "/nonexistent/quillbox could not be"},
         }) {
        SCOPED_TRACE((c.method + ' ' + c.arguments.value(0).toString().left(20) + c.copyFault).toStdString());
        copied.clear();
        warnings.clear();
        copyFault = c.copyFault;
        if (!c.library.isEmpty())
            qputenv("QUILLBOX_LIBRARY", c.library.toUtf8());
        const QDBusMessage reply = call(c.interface, c.method, c.arguments);
        qunsetenv("QUILLBOX_LIBRARY");
        EXPECT_EQ(copied, c.copies);
        EXPECT_EQ(reply.type(), c.error.isEmpty() ? QDBusMessage::ReplyMessage : QDBusMessage::ErrorMessage);
        EXPECT_TRUE(reply.errorMessage().contains(c.error)) << reply.errorMessage().toStdString();
        EXPECT_EQ(warnings.size(), c.error.isEmpty() ? 0 : 1); // the log says it too
    }
}

TEST_F(DesktopSearch, IdleTimeEndsTheProviderAndEveryCallPutsItOff)
{
    start(2000);
    QSignalSpy idle(provider.get(), &ds::SearchProvider::idle);
    QTest::qWait(1200);
    call(gnome, "GetInitialResultSet", {QStringList{"swap"}});
    QTest::qWait(1200);
    EXPECT_EQ(idle.count(), 0); // 2.4 s since the start, 1.2 s since the call
    EXPECT_TRUE(idle.wait(5000));
}

} // namespace
