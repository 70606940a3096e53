// The host as its add-ins and its user meet it: the object model (command bars, controls,
// click event sources), the registry, the start-up rules and the failures of loading an
// add-in, the window's menus and the Add-In Manager. The add-ins are fake ones from a real
// module (fakeaddin.cpp) that writes down every call it receives.

#include "host/addinmanagerdialog.h"
#include "host/fakeaddin.h"
#include "host/hostmessages.h"
#include "host/hostwindow.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLibrary>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace qbx;
using namespace qbx::host;

namespace {

const QString kFakeAddIn = QStringLiteral(QBX_FAKE_ADDIN_PATH);

// A sink on the stack: declare it before the model it is advised in.
struct RecordingSink final : ICommandBarEventsSink {
    HResult QueryInterface(const Guid &, void **object) override { return *object = nullptr, E_NOINTERFACE; }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
    void Click(ICommandBarControl *control, VariantBool *handled, VariantBool *) override
    {
        heard.push_back(*handled);
        if (onClick)
            onClick(control, handled);
    }

    std::uint32_t refs = 0;
    std::vector<VariantBool> heard; // what handled was as each click arrived
    std::function<void(ICommandBarControl *, VariantBool *handled)> onClick;
};

ComPtr<ICommandBarControls> controlsOf(ObjectModel &model, const QString &bar = kAddInsBarName)
{
    ComPtr<ICommandBars> bars;
    ComPtr<ICommandBar> found;
    ComPtr<ICommandBarControls> controls;
    EXPECT_TRUE(model.vbe()->get_CommandBars(bars.put()) == S_OK && bars->Item(bar, found.put()) == S_OK
                && found->get_Controls(controls.put()) == S_OK);
    return controls;
}

ComPtr<ICommandBarControl> addButton(ObjectModel &model, const QString &caption, const QString &bar = kAddInsBarName)
{
    ComPtr<ICommandBarControl> control;
    EXPECT_TRUE(controlsOf(model, bar)->Add(msoControlButton, control.put()) == S_OK
                && control->put_Caption(caption) == S_OK);
    return control;
}

// The control's click event source; on failure, null with the reason in *error.
ComPtr<ICommandBarEvents> eventsOf(ObjectModel &model, ICommandBarControl *control, QString *error = nullptr)
{
    ComPtr<IEvents> events;
    ComPtr<ICommandBarEvents> source;
    EXPECT_EQ(model.vbe()->get_Events(events.put()), S_OK);
    if (Failed(events->get_CommandBarEvents(control, source.put())) && error)
        *error = events->ErrorDescription();
    return source;
}

// What the fake add-ins heard since the log was last cleared, "<tag> <event>" a line.
QStringList &fakeLog()
{
    using Log = QStringList *(*)();
    static const Log log = reinterpret_cast<Log>(QLibrary::resolve(kFakeAddIn, "FakeAddInLog"));
    return *log();
}

void registerFake(AddInRegistry &registry, const QString &progId, std::uint8_t tag, int loadBehavior = 0,
                  int commandLineSafe = 0, const QString &modulePath = kFakeAddIn)
{
    EXPECT_TRUE(registry.registerAddIn({progId, fake::classId(tag), modulePath, progId.section(QLatin1Char('.'), 0, 0),
                                        QStringLiteral("About ") + progId, loadBehavior, commandLineSafe}));
}

// The entries as the user sees them: visible ones only, a separator as "---".
QStringList entries(const QList<QAction *> &actions)
{
    QStringList out;
    for (const QAction *a : actions)
        if (a->isVisible())
            out.append(a->isSeparator() ? QStringLiteral("---") : a->text());
    return out;
}

} // namespace

TEST(HostObjectModel, CommandBarsAnswerByNameWithoutRegardToCase)
{
    ObjectModel model, bare(ObjectModelOptions{false});
    // The name of the bar found, or why there is none.
    const auto find = [](ObjectModel &host, const QString &name) {
        ComPtr<ICommandBars> bars;
        ComPtr<ICommandBar> bar;
        QString found;
        EXPECT_EQ(host.vbe()->get_CommandBars(bars.put()), S_OK);
        return bars->Item(name, bar.put()) == S_OK && bar->get_Name(&found) == S_OK ? found : bars->ErrorDescription();
    };
    EXPECT_EQ(find(model, "add-ins"), QStringLiteral("Add-Ins"));
    EXPECT_EQ(find(model, "Add-Ins "), "Invalid procedure call or argument: there is no command bar named 'Add-Ins '.");
    EXPECT_EQ(find(bare, "Add-Ins"), "Invalid procedure call or argument: there is no command bar named 'Add-Ins'.");
}

TEST(HostObjectModel, ControlsAreNumberedInTheirBarAndRefuseCallsOnceDeletedOrTheHostHasClosed)
{
    const int before = ObjectModel::liveObjectCount();
    ComPtr<ICommandBarControl> kept;
    QString caption;
    {
        ObjectModel model;
        auto controls = controlsOf(model);
        auto first = addButton(model, QStringLiteral("  Größe — &First  "));
        kept = addButton(model, QStringLiteral("Second"));
        ComPtr<ICommandBarControl> item;
        EXPECT_TRUE(first->get_Caption(&caption) == S_OK && caption == QStringLiteral("  Größe — &First  "));
        EXPECT_EQ(controls->Item(3, item.put()), E_INVALIDARG);
        EXPECT_EQ(controls->ErrorDescription(),
                  "Invalid procedure call or argument: the command bar 'Add-Ins' has no control number 3 (it has 2).");
        EXPECT_EQ(controls->Add(10, item.put()), E_INVALIDARG) << "only buttons are made";
        // Deleting the first makes the second number 1; every call on the first fails and says why.
        ASSERT_TRUE(first->put_Caption(QStringLiteral("First")) == S_OK && first->Delete() == S_OK);
        EXPECT_TRUE(controls->Item(1, item.put()) == S_OK && item.get() == kept.get());
        EXPECT_TRUE(Failed(first->get_Caption(&caption)) && Failed(first->Delete()));
        EXPECT_EQ(first->ErrorDescription(),
                  "The command bar control 'First' has been deleted; it can no longer be used.");
    }
    EXPECT_EQ(kept->get_Caption(&caption), E_UNEXPECTED);
    EXPECT_EQ(kept->ErrorDescription(), "The host has closed; its objects can no longer be used.");
    EXPECT_EQ(ObjectModel::liveObjectCount(), before + 1) << "a control held lives on";
    kept = nullptr;
    EXPECT_EQ(ObjectModel::liveObjectCount(), before);
}

TEST(HostObjectModel, ClickReachesEveryAdvisedSinkOfThatControlOnly)
{
    RecordingSink a, b, bystander;
    ObjectModel model, elsewhere;
    auto control = addButton(model, QStringLiteral("Click me"));
    auto other = addButton(model, QStringLiteral("Other"));
    const ControlId id = model.controls(kAddInsBarName).value(0);
    auto source = eventsOf(model, control.get());
    ASSERT_EQ(eventsOf(model, control.get()).get(), source.get()) << "one source per control";
    std::uint32_t cookieA = 0, cookieB = 0, cookieC = 0;
    ASSERT_TRUE(source->Advise(&a, &cookieA) == S_OK && source->Advise(&b, &cookieB) == S_OK);
    ASSERT_EQ(eventsOf(model, other.get())->Advise(&bystander, &cookieC), S_OK);

    // The second sink sees that the first handled the click; the next click starts unhandled.
    a.onClick = [](ICommandBarControl *, VariantBool *handled) { *handled = VariantTrue; };
    ASSERT_TRUE(model.click(id));
    a.onClick = nullptr;
    ASSERT_TRUE(model.click(id));
    EXPECT_EQ(b.heard, (std::vector<VariantBool>{VariantTrue, VariantFalse}));
    EXPECT_TRUE(bystander.heard.empty());
    ASSERT_EQ(source->Unadvise(cookieA), S_OK);
    EXPECT_EQ(a.refs, 0u) << "the source let go of the sink";
    // A sink deletes the control from inside its click: the others advised still hear it.
    b.onClick = [](ICommandBarControl *clicked, VariantBool *) { clicked->Delete(); };
    ASSERT_EQ(source->Advise(&a, &cookieA), S_OK);
    ASSERT_TRUE(model.click(id));
    EXPECT_TRUE(a.heard.size() == 3 && b.heard.size() == 3);
    EXPECT_FALSE(model.hasControl(id) || model.click(id) || eventsOf(model, control.get()));
    // Nor is there a source for another host's control.
    QString error;
    EXPECT_FALSE(eventsOf(model, addButton(elsewhere, QStringLiteral("Foreign")).get(), &error));
    EXPECT_EQ(error, "Invalid procedure call or argument: the command bar control belongs to another host.");
}

TEST(HostAddIns, RegistryListsAddInsAndResolvesTheirModules)
{
    qbx::test::FreshUserFolders folders;
    AddInRegistry registry;
    EXPECT_TRUE(registry.path().startsWith(folders.configHome()));
    // Written by hand, as another program's registration would be.
    Registry &raw = registry.registry();
    raw.setValue(kAddinsKey + "\\Beta.Connect", QStringLiteral("SatelliteDllName"), QStringLiteral("beta.so"));
    raw.setValue(QStringLiteral("Software\\Classes\\Beta.Connect\\CLSID"), {},
                 "{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}");
    raw.setValue("Software\\Classes\\CLSID\\{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}\\InprocServer32", {}, "/opt/b.so");
    ASSERT_TRUE(raw.sync());
    const QList<AddInInfo> list = AddInRegistry().addIns();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ((QStringList{list[0].displayName(), list[0].satelliteDllName}), (QStringList{"Beta.Connect", "beta.so"}));
    EXPECT_EQ(registry.modulePathOf(*registry.classIdOf(QStringLiteral("Beta.Connect"))), QStringLiteral("/opt/b.so"));
}

TEST(HostAddIns, StartupConnectsByLoadBehaviourAndShutdownDisconnectsTheLastFirst)
{
    // LoadBehavior and CommandLineSafe of the add-ins tagged 1 to 9; 8 is connected by hand
    // first, 9 has lost its module.
    const int rows[][2] = {{0, 0}, {1, 0}, {2, 1}, {4, 0}, {4, 1}, {5, 1}, {4, 2}, {5, 1}, {1, 0}};
    const std::pair<bool, QStringList> cases[] = {
        {false,
         {"2 OnConnection 1", "6 OnConnection 1", "2 OnStartupComplete", "6 OnStartupComplete", "8 OnBeginShutdown",
          "2 OnBeginShutdown", "6 OnBeginShutdown", "6 OnDisconnection 0", "2 OnDisconnection 0",
          "8 OnDisconnection 0"}},
        {true,
         {"5 OnConnection 3", "6 OnConnection 3", "5 OnStartupComplete", "6 OnStartupComplete", "8 OnBeginShutdown",
          "5 OnBeginShutdown", "6 OnBeginShutdown", "6 OnDisconnection 0", "5 OnDisconnection 0",
          "8 OnDisconnection 0"}},
    };
    for (const auto &[commandLine, expected] : cases) {
        SCOPED_TRACE(commandLine ? "--command-line" : "plain start");
        qbx::test::FreshUserFolders folders;
        ObjectModel model;
        AddInHost host(model);
        for (int tag = 1; tag <= 9; ++tag)
            registerFake(host.registry(), QStringLiteral("Row%1.Connect").arg(tag), tag, rows[tag - 1][0],
                         rows[tag - 1][1], tag == 9 ? folders.configHome() + "/lost.so" : kFakeAddIn);
        const QString byHand = QStringLiteral("Row8.Connect");
        QString error;
        ASSERT_TRUE(host.connectAddIn(byHand, ConnectMode::AfterStartup));
        EXPECT_FALSE(host.connectAddIn(byHand, ConnectMode::AfterStartup, &error));
        EXPECT_EQ(error, QStringLiteral("The add-in 'Row8' is already loaded."));
        fakeLog().clear();
        QStringList failed;
        for (const AddInHost::Failure &failure : host.connectStartupAddIns(commandLine))
            failed << failure.progId + ": " + failure.message;
        EXPECT_EQ(failed, commandLine ? QStringList()
                                      : QStringList{"Row9.Connect: The add-in 'Row9' could not be loaded: the file '"
                                                    + folders.configHome() + "/lost.so' does not exist."});
        host.disconnectAll();
        EXPECT_EQ(fakeLog(), expected) << "the one already connected is left alone";
        EXPECT_FALSE(host.disconnectAddIn(byHand, DisconnectMode::UserClosed, &error));
        EXPECT_EQ(error, QStringLiteral("The add-in 'Row8.Connect' is not loaded."));
        EXPECT_EQ(loader::canUnloadNow(kFakeAddIn), true) << "the host let go of the add-ins' objects";
    }
}

TEST(HostWindowTest, MenusFollowTheCommandBarsAndChoosingAnEntryClicksItsControl)
{
    RecordingSink sink;
    ObjectModel model;
    AddInHost host(model);
    auto early = addButton(model, QStringLiteral("Early")); // there before the window
    HostWindow window(model, host);
    QMenu *menu = window.addInsMenu();
    const QString manager = QStringLiteral("Add-In &Manager...");
    EXPECT_EQ(entries(menu->actions()), (QStringList{manager, "---", "Early"}));

    auto second = addButton(model, QStringLiteral("&Second"));
    auto topLevel = addButton(model, QStringLiteral("&Run"), kMenuBarName);
    ASSERT_EQ(early->put_Caption(QStringLiteral("Renamed")), S_OK);
    EXPECT_EQ(entries(menu->actions()), (QStringList{manager, "---", "Renamed", "&Second"}));
    EXPECT_EQ(entries(window.menuBar()->actions()), (QStringList{"&File", "&Add-Ins", "&Run"}));

    // Only the chosen control hears the click; one that deletes itself leaves the menu.
    std::uint32_t cookie = 0;
    ASSERT_EQ(eventsOf(model, second.get())->Advise(&sink, &cookie), S_OK);
    sink.onClick = [](ICommandBarControl *c, VariantBool *) { c->Delete(); };
    const QList<ControlId> ids = model.controls(kAddInsBarName);
    window.actionFor(ids[0])->trigger();
    window.actionFor(ids[1])->trigger();
    EXPECT_EQ(sink.heard.size(), 1u);
    EXPECT_EQ(entries(menu->actions()), (QStringList{manager, "---", "Renamed"}));
    // With the last control gone, no dangling separator.
    ASSERT_TRUE(early->Delete() == S_OK && topLevel->Delete() == S_OK);
    EXPECT_EQ(entries(menu->actions()), QStringList{manager});
    EXPECT_EQ(entries(window.menuBar()->actions()), (QStringList{"&File", "&Add-Ins"}));

    // The manager's entry opens the manager, modal.
    QString seen;
    QTimer::singleShot(0, &window, [&] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            seen = dialog->windowTitle();
            dialog->close();
        }
    });
    menu->actions().value(0)->trigger();
    EXPECT_EQ(seen, QStringLiteral("Add-In Manager"));
}

// File > Exit (the window's close box does the same), with an add-in's own window still open:
// every add-in is disconnected, and the host quits.
TEST(HostWindowTest, ExitDisconnectsEveryAddInAndQuits)
{
    qbx::test::FreshUserFolders folders;
    ObjectModel model;
    AddInHost host(model);
    registerFake(host.registry(), QStringLiteral("A.Connect"), 1);
    ASSERT_TRUE(host.connectAddIn(QStringLiteral("A.Connect"), ConnectMode::AfterStartup));
    HostWindow window(model, host);
    QWidget addInWindow;
    window.show();
    addInWindow.show();
    fakeLog().clear();
    QTimer::singleShot(0, &window,
                       [&] { window.menuBar()->actions().value(0)->menu()->actions().value(0)->trigger(); });
    QTimer::singleShot(5000, &window, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0) << "the host did not quit";
    EXPECT_EQ(fakeLog(), (QStringList{"1 OnBeginShutdown", "1 OnDisconnection 0"}));
}

TEST(AddInManagerTest, CheckBoxesConnectDisconnectAndWriteTheStartupBit)
{
    qbx::test::FreshUserFolders folders;
    QStringList messages;
    const MessageHandler previous = setMessageHandler(
        [&](QWidget *, const QString &title, const QString &text) { messages << title + ": " + text; });
    ObjectModel model;
    AddInHost host(model);
    registerFake(host.registry(), QStringLiteral("A.Connect"), 1, 4, 1);
    registerFake(host.registry(), QStringLiteral("B.Connect"), 2, 1, 0);
    registerFake(host.registry(), QStringLiteral("Refusing.Connect"), fake::kConnectionFails);
    const auto behaviour = [](const char *id) { return AddInRegistry().addIn(QLatin1String(id))->loadBehavior; };
    // Each round: the rows and check boxes clicked, then OK or Cancel.
    const auto round = [&](const QList<std::pair<int, QString>> &clicks, bool ok) {
        AddInManagerDialog dialog(host);
        dialog.show();
        auto *list = dialog.findChild<QListWidget *>(QStringLiteral("addInList"));
        for (const auto &[row, box] : clicks) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
            QTest::mouseClick(dialog.findChild<QCheckBox *>(box), Qt::LeftButton);
        }
        auto *buttons = dialog.findChild<QDialogButtonBox *>();
        QTest::mouseClick(buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel), Qt::LeftButton);
        return std::pair(dialog.findChild<QLabel *>(QStringLiteral("descriptionLabel"))->text(),
                         dialog.findChild<QCheckBox *>(QStringLiteral("loadedCheck"))->isChecked());
    };
    fakeLog().clear();
    // Load A and the one that refuses, and move away and back: the choices are kept until OK.
    EXPECT_EQ(round({{0, "loadedCheck"}, {2, "loadedCheck"}, {1, "startupCheck"}, {0, "startupCheck"}}, true),
              std::pair(QStringLiteral("About A.Connect"), true));
    EXPECT_EQ(fakeLog(), (QStringList{"1 OnConnection 0", "242 OnConnection 0", "1 OnAddInsUpdate"}));
    EXPECT_EQ(messages, QStringList{"Add-In Manager: The add-in 'Refusing' failed to connect (error 0x80004005): The "
                                    "fake add-in refuses to connect."});
    EXPECT_EQ((std::pair(behaviour("A.Connect"), behaviour("B.Connect"))), std::pair(5, 0))
        << "only the start-up bit is the manager's";

    fakeLog().clear();
    round({{0, "loadedCheck"}, {1, "startupCheck"}}, false);
    EXPECT_TRUE(host.isConnected(QStringLiteral("A.Connect")) && fakeLog().isEmpty());
    EXPECT_EQ(behaviour("B.Connect"), 0) << "Cancel drops the choices";
    round({{1, "startupCheck"}}, true);
    EXPECT_TRUE(fakeLog().isEmpty()) << "only a change of the loaded set is announced";
    round({{0, "loadedCheck"}}, true);
    EXPECT_EQ(fakeLog(), QStringList{"1 OnDisconnection 1"});
    EXPECT_EQ(loader::canUnloadNow(kFakeAddIn), true) << "the host let go of every object, the refused one too";
    setMessageHandler(previous);
}
