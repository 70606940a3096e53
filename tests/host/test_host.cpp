// The host as the add-in meets it: click event sources, connection at start-up and disconnection at shutdown, the
// Add-Ins menu, File > Exit and the Add-In Manager. The add-in is the real module, registered by its own entry point.

#include "host/addinmanagerdialog.h"
#include "host/hostwindow.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

using namespace quillbox::host;

namespace {

// A sink on the stack: declare it before the model it is advised in.
struct RecordingSink final : ICommandBarEventsSink {
    HResult QueryInterface(const Guid &, void **object) override { return *object = nullptr, E_NOINTERFACE; }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
    void Click(ICommandBarControl *, VariantBool *, VariantBool *) override { ++clicks; }

    std::uint32_t refs = 0;
    int clicks = 0;
};

// A button on the Add-Ins bar, made as an add-in makes one.
ComPtr<ICommandBarControl> addButton(ObjectModel &model, const QString &caption)
{
    ComPtr<ICommandBars> bars;
    ComPtr<ICommandBar> bar;
    ComPtr<ICommandBarControls> controls;
    ComPtr<ICommandBarControl> control;
    EXPECT_TRUE(model.vbe()->get_CommandBars(bars.put()) == S_OK && bars->Item(kAddInsBarName, bar.put()) == S_OK
                && bar->get_Controls(controls.put()) == S_OK && controls->Add(msoControlButton, control.put()) == S_OK
                && control->put_Caption(caption) == S_OK);
    return control;
}

// The control's click event source, or null.
ComPtr<ICommandBarEvents> eventsOf(ObjectModel &model, ICommandBarControl *control)
{
    ComPtr<IEvents> events;
    ComPtr<ICommandBarEvents> source;
    EXPECT_EQ(model.vbe()->get_Events(events.put()), S_OK);
    events->get_CommandBarEvents(control, source.put());
    return source;
}

const QString kProgId = QStringLiteral("Quillbox.Connect");

QString modulePath()
{
    return qbx::test::binDir() + QStringLiteral("/quillbox-addin.so");
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

TEST(HostAddIns, StartupConnectsInTheModeOfTheStartTellsWhatFailedAndShutdownLetsGo)
{
    for (const bool commandLine : {false, true}) {
        SCOPED_TRACE(commandLine ? "--command-line" : "plain start");
        qbx::test::FreshUserFolders folders;
        // The add-in registered by its own entry point, beside one whose module is gone.
        const QString lost = folders.configHome() + "/lost.so";
        const Guid lostId{0x0B0B0B0B, 0x1D2C, 0x4B3A, {0x9E, 0x8F, 0x70, 0x61, 0x52, 0x43, 0x34, 0x25}};
        ASSERT_TRUE(loader::registerServer(modulePath()));
        ASSERT_TRUE(AddInRegistry().registerAddIn({"Lost.Connect", lostId, lost, "Lost", "About Lost", 5, 1}));
        ObjectModel model;
        AddInHost host(model);
        QStringList failed;
        for (const AddInHost::Failure &failure : host.connectStartupAddIns(commandLine))
            failed << failure.progId + ": " + failure.message;
        EXPECT_EQ(failed, QStringList{"Lost.Connect: The add-in 'Lost' could not be loaded: the file '" + lost
                                      + "' does not exist."});
        EXPECT_EQ(host.connectMode(kProgId), commandLine ? ConnectMode::CommandLine : ConnectMode::Startup);
        host.disconnectAll();
        EXPECT_FALSE(host.isConnected(kProgId));
        EXPECT_EQ(loader::canUnloadNow(modulePath()), true) << "the host let go of the add-in's objects";
    }
}

TEST(HostWindowTest, AnAddInsEntryFollowsItsControlAndReachesItsAdvisedSinksUntilUnadvisedOrDeleted)
{
    RecordingSink a, b, bystander;
    ObjectModel model;
    AddInHost host(model);
    auto control = addButton(model, QStringLiteral("Early")); // there before the window
    HostWindow window(model, host);
    QMenu *menu = window.addInsMenu();
    auto other = addButton(model, QStringLiteral("&Other"));
    const QString manager = QStringLiteral("Add-In &Manager...");
    EXPECT_EQ(entries(menu->actions()), (QStringList{manager, "---", "Early", "&Other"}));
    auto source = eventsOf(model, control.get());
    ASSERT_EQ(eventsOf(model, control.get()).get(), source.get()) << "one source per control";
    std::uint32_t cookieA = 0, cookieB = 0, cookieC = 0;
    ASSERT_TRUE(source->Advise(&a, &cookieA) == S_OK && source->Advise(&b, &cookieB) == S_OK);
    ASSERT_EQ(eventsOf(model, other.get())->Advise(&bystander, &cookieC), S_OK);
    menu->actions().value(2)->trigger();
    ASSERT_EQ(source->Unadvise(cookieA), S_OK);
    EXPECT_EQ(a.refs, 0u) << "the source let go of the sink";
    menu->actions().value(2)->trigger();
    EXPECT_EQ((std::vector{a.clicks, b.clicks, bystander.clicks}), (std::vector{1, 2, 0}));
    // With the last control gone, no dangling separator, and no source for a deleted control.
    ASSERT_TRUE(control->Delete() == S_OK && other->Delete() == S_OK);
    EXPECT_EQ(entries(menu->actions()), QStringList{manager});
    EXPECT_FALSE(eventsOf(model, control.get()));

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

// File > Exit (the window's close box does the same), with the add-in's window open: the
// add-in is disconnected, remembering the open window, and the host quits.
TEST(HostWindowTest, ExitDisconnectsEveryAddInAndQuits)
{
    qbx::test::FreshUserFolders folders;
    ASSERT_TRUE(loader::registerServer(modulePath()));
    ObjectModel model;
    AddInHost host(model);
    ASSERT_TRUE(host.connectAddIn(kProgId, ConnectMode::AfterStartup));
    HostWindow window(model, host);
    window.show();
    // The command is on the Add-Ins menu, after the manager's own entry, and opens the window.
    QAction *command = window.addInsMenu()->actions().value(2);
    ASSERT_TRUE(command && command->text() == QStringLiteral("Quillbox ver 1.0"));
    command->trigger();
    EXPECT_TRUE(qbx::test::waitFor([] {
        return std::ranges::any_of(QApplication::topLevelWidgets(),
                                   [](QWidget *w) { return w->objectName() == "frmAddIn" && w->isVisible(); });
    }));
    QTimer::singleShot(0, &window,
                       [&] { window.menuBar()->actions().value(0)->menu()->actions().value(0)->trigger(); });
    QTimer::singleShot(5000, &window, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0) << "the host did not quit";
    EXPECT_FALSE(host.isConnected(kProgId));
    EXPECT_EQ(QSettings(folders.configHome() + "/Quillbox/Quillbox.ini", QSettings::IniFormat)
                  .value("Settings/DisplayOnConnect"),
              QStringLiteral("1"));
}

TEST(AddInManagerTest, CheckBoxesConnectDisconnectAndWriteTheStartupBit)
{
    qbx::test::FreshUserFolders folders;
    ASSERT_TRUE(loader::registerServer(modulePath()));
    ObjectModel model;
    AddInHost host(model);
    // Each round: the check boxes clicked, then OK or Cancel; what the dialog showed.
    const auto round = [&](const QStringList &boxes, bool ok) {
        AddInManagerDialog dialog(host);
        dialog.show();
        auto *list = dialog.findChild<QListWidget *>(QStringLiteral("addInList"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        for (const QString &box : boxes)
            QTest::mouseClick(dialog.findChild<QCheckBox *>(box), Qt::LeftButton);
        auto *buttons = dialog.findChild<QDialogButtonBox *>();
        QTest::mouseClick(buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel), Qt::LeftButton);
        return QStringList{list->item(0)->text(), dialog.findChild<QLabel *>("descriptionLabel")->text()};
    };
    EXPECT_EQ(round({"loadedCheck", "startupCheck"}, true),
              (QStringList{"Quillbox Ver 1.0", "This Addin saves Time by creating codes for common usage."}));
    EXPECT_EQ(host.connectMode(kProgId), ConnectMode::AfterStartup);
    EXPECT_EQ(AddInRegistry().addIn(kProgId)->loadBehavior, 4) << "the start-up bit cleared, the others kept";
    round({"loadedCheck", "startupCheck"}, false);
    EXPECT_TRUE(host.isConnected(kProgId) && AddInRegistry().addIn(kProgId)->loadBehavior == 4) << "Cancel";
    round({"loadedCheck"}, true);
    EXPECT_FALSE(host.isConnected(kProgId));
}
