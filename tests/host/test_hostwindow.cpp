// The host's window and Add-In Manager, driven as the user drives them.

#include "addinmanagerdialog.h"
#include "hostwindow.h"
#include "hosttestsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace qbx;
using namespace qbx::host;
using hosttest::CapturedMessages;
using hosttest::FakeLog;
using hosttest::registerFake;

namespace {

QStringList texts(const QList<QAction *> &actions)
{
    QStringList out;
    for (const QAction *a : actions)
        out.append(a->isSeparator() ? QStringLiteral("---") : a->text());
    return out;
}

// The Add-Ins menu as the user sees it: visible entries only.
QStringList visibleEntries(QMenu *menu)
{
    QList<QAction *> shown;
    for (QAction *a : menu->actions()) {
        if (a->isVisible())
            shown.append(a);
    }
    return texts(shown);
}

ComPtr<ICommandBarControls> addInsControls(ObjectModel &model)
{
    ComPtr<ICommandBars> bars;
    ComPtr<ICommandBar> bar;
    ComPtr<ICommandBarControls> controls;
    model.vbe()->get_CommandBars(bars.put());
    if (bars && Succeeded(bars->Item(kAddInsBarName, bar.put())))
        bar->get_Controls(controls.put());
    return controls;
}

struct Dialog {
    explicit Dialog(AddInHost &host) : dialog(host)
    {
        dialog.show();
        list = dialog.findChild<QListWidget *>(QStringLiteral("addInList"));
        description = dialog.findChild<QLabel *>(QStringLiteral("descriptionLabel"));
        loaded = dialog.findChild<QCheckBox *>(QStringLiteral("loadedCheck"));
        startup = dialog.findChild<QCheckBox *>(QStringLiteral("startupCheck"));
        auto *buttons = dialog.findChild<QDialogButtonBox *>();
        ok = buttons ? buttons->button(QDialogButtonBox::Ok) : nullptr;
        cancel = buttons ? buttons->button(QDialogButtonBox::Cancel) : nullptr;
    }
    bool complete() const { return list && description && loaded && startup && ok && cancel; }
    void select(int row)
    {
        QListWidgetItem *item = list->item(row);
        ASSERT_TRUE(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    }
    QStringList names() const
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out.append(list->item(i)->text());
        return out;
    }

    AddInManagerDialog dialog;
    QListWidget *list = nullptr;
    QLabel *description = nullptr;
    QCheckBox *loaded = nullptr;
    QCheckBox *startup = nullptr;
    QPushButton *ok = nullptr;
    QPushButton *cancel = nullptr;
};

// The offscreen platform says this whenever a top-level window is shown.
class ShownWindows : public ::testing::Test {
protected:
    qbx::test::ExpectedWarning m_sizeHints{QStringLiteral("^This plugin does not support propagateSizeHints\\(\\)$")};
};
class HostWindowTest : public ShownWindows {};
class AddInManagerTest : public ShownWindows {};

} // namespace

TEST_F(HostWindowTest, AddInsMenuFollowsTheAddInsBar)
{
    ObjectModel model;
    AddInHost host(model);
    // A control that exists before the window does is shown too.
    auto controls = addInsControls(model);
    ComPtr<ICommandBarControl> early;
    ASSERT_EQ(controls->Add(msoControlButton, early.put()), S_OK);
    ASSERT_EQ(early->put_Caption(QStringLiteral("Early")), S_OK);

    HostWindow window(model, host);
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Quillbox Host"));
    ASSERT_TRUE(window.codePane());
    EXPECT_EQ(window.codePane()->objectName(), QStringLiteral("CodePane"));
    EXPECT_EQ(window.centralWidget(), window.codePane());
    EXPECT_TRUE(QFontInfo(window.codePane()->font()).fixedPitch());
    QMenu *menu = window.findChild<QMenu *>(QStringLiteral("Add-Ins"));
    ASSERT_EQ(menu, window.addInsMenu());
    EXPECT_EQ(texts(window.menuBar()->actions()), (QStringList{QStringLiteral("&File"), QStringLiteral("&Add-Ins")}));
    EXPECT_EQ(visibleEntries(menu),
              (QStringList{QStringLiteral("Add-In &Manager..."), QStringLiteral("---"), QStringLiteral("Early")}));

    ComPtr<ICommandBarControl> second;
    ASSERT_EQ(controls->Add(msoControlButton, second.put()), S_OK);
    ASSERT_EQ(second->put_Caption(QStringLiteral("&Second")), S_OK);
    EXPECT_EQ(visibleEntries(menu), (QStringList{QStringLiteral("Add-In &Manager..."), QStringLiteral("---"),
                                                 QStringLiteral("Early"), QStringLiteral("&Second")}));
    ASSERT_EQ(early->put_Caption(QStringLiteral("Renamed")), S_OK);
    EXPECT_EQ(visibleEntries(menu), (QStringList{QStringLiteral("Add-In &Manager..."), QStringLiteral("---"),
                                                 QStringLiteral("Renamed"), QStringLiteral("&Second")}));

    // Choosing an entry clicks its control, and only that one.
    auto sink = ComPtr<hosttest::RecordingSink>(new hosttest::RecordingSink, false);
    ComPtr<IEvents> events;
    ComPtr<ICommandBarEvents> source;
    ASSERT_EQ(model.vbe()->get_Events(events.put()), S_OK);
    ASSERT_EQ(events->get_CommandBarEvents(second.get(), source.put()), S_OK);
    std::uint32_t cookie = 0;
    ASSERT_EQ(source->Advise(sink.get(), &cookie), S_OK);
    const QList<ControlId> ids = model.controls(kAddInsBarName);
    ASSERT_EQ(ids.size(), 2);
    window.actionFor(ids[0])->trigger();
    EXPECT_EQ(sink->clicks(), 0);
    window.actionFor(ids[1])->trigger();
    ASSERT_EQ(sink->clicks(), 1);
    EXPECT_EQ(sink->controls[0], second.get());

    // A control that deletes itself when chosen leaves the menu.
    sink->onClick = [](ICommandBarControl *c, VariantBool *, VariantBool *) { c->Delete(); };
    window.actionFor(ids[1])->trigger();
    EXPECT_EQ(visibleEntries(menu),
              (QStringList{QStringLiteral("Add-In &Manager..."), QStringLiteral("---"), QStringLiteral("Renamed")}));
    EXPECT_EQ(window.actionFor(ids[1]), nullptr);
    source->Unadvise(cookie);

    // A button on the menu bar itself sits after the menus.
    ComPtr<ICommandBars> bars;
    ComPtr<ICommandBar> menuBar;
    ComPtr<ICommandBarControls> menuBarControls;
    ComPtr<ICommandBarControl> topLevel;
    ASSERT_EQ(model.vbe()->get_CommandBars(bars.put()), S_OK);
    ASSERT_EQ(bars->Item(kMenuBarName, menuBar.put()), S_OK);
    ASSERT_EQ(menuBar->get_Controls(menuBarControls.put()), S_OK);
    ASSERT_EQ(menuBarControls->Add(msoControlButton, topLevel.put()), S_OK);
    ASSERT_EQ(topLevel->put_Caption(QStringLiteral("&Run")), S_OK);
    EXPECT_EQ(texts(window.menuBar()->actions()),
              (QStringList{QStringLiteral("&File"), QStringLiteral("&Add-Ins"), QStringLiteral("&Run")}));
    EXPECT_EQ(visibleEntries(menu),
              (QStringList{QStringLiteral("Add-In &Manager..."), QStringLiteral("---"), QStringLiteral("Renamed")}));
    ASSERT_EQ(topLevel->Delete(), S_OK);
    EXPECT_EQ(texts(window.menuBar()->actions()), (QStringList{QStringLiteral("&File"), QStringLiteral("&Add-Ins")}));

    // With the last control gone, no dangling separator.
    ASSERT_EQ(early->Delete(), S_OK);
    EXPECT_EQ(visibleEntries(menu), QStringList{QStringLiteral("Add-In &Manager...")});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(menu->actions().size(), 2);
}

TEST_F(HostWindowTest, ConnectedAddInsAppearInTheMenuAndHearTheirEntries)
{
    qbx::test::FreshUserFolders folders;
    FakeLog log(folders.configHome());
    ObjectModel model;
    AddInHost host(model);
    HostWindow window(model, host);
    registerFake(host.registry(), QStringLiteral("Menu.Connect"), 3, QStringLiteral("Menu"));
    ASSERT_TRUE(host.connectAddIn(QStringLiteral("Menu.Connect"), ConnectMode::AfterStartup));
    const QList<QAction *> entries = window.controlActions(kAddInsBarName);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0]->text(), QStringLiteral("Fake Add-In 3"));
    entries[0]->trigger();
    EXPECT_EQ(log.linesOf(3).last(), QStringLiteral("Click handled=0 caption=Fake Add-In 3"));
    ASSERT_TRUE(host.disconnectAddIn(QStringLiteral("Menu.Connect"), DisconnectMode::UserClosed));
    EXPECT_TRUE(window.controlActions(kAddInsBarName).isEmpty());
    EXPECT_EQ(visibleEntries(window.addInsMenu()), QStringList{QStringLiteral("Add-In &Manager...")});
}

TEST_F(HostWindowTest, AddInManagerEntryOpensTheModalManager)
{
    qbx::test::FreshUserFolders folders;
    ObjectModel model;
    AddInHost host(model);
    HostWindow window(model, host);
    window.show();
    QString seen;
    bool modal = false;
    QTimer::singleShot(0, &window, [&] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            seen = w->windowTitle();
            modal = w->isModal();
            if (auto *dialog = qobject_cast<QDialog *>(w))
                dialog->reject();
        }
    });
    QAction *manager = window.addInsMenu()->actions().value(0);
    ASSERT_TRUE(manager);
    manager->trigger();
    EXPECT_EQ(seen, QStringLiteral("Add-In Manager"));
    EXPECT_TRUE(modal);
}

TEST_F(AddInManagerTest, CheckBoxesConnectDisconnectAndWriteTheRegistry)
{
    qbx::test::FreshUserFolders folders;
    FakeLog log(folders.configHome());
    ObjectModel model;
    AddInHost host(model);
    registerFake(host.registry(), QStringLiteral("A.Connect"), 1, QStringLiteral("Fake One"), 4, 1,
                 QStringLiteral("The first fake."));
    registerFake(host.registry(), QStringLiteral("B.Connect"), 2, QStringLiteral("Fake Two"), 1, 0,
                 QStringLiteral("The second fake."));
    auto behaviourOf = [&](const char *progId) {
        return AddInRegistry().addIn(QLatin1String(progId))->loadBehavior;
    };

    {
        Dialog d(host);
        ASSERT_TRUE(d.complete());
        EXPECT_EQ(d.dialog.windowTitle(), QStringLiteral("Add-In Manager"));
        EXPECT_TRUE(d.dialog.isModal());
        EXPECT_EQ(d.names(), (QStringList{QStringLiteral("Fake One"), QStringLiteral("Fake Two")}));
        EXPECT_EQ(d.list->currentRow(), 0);
        EXPECT_EQ(d.description->text(), QStringLiteral("The first fake."));
        EXPECT_FALSE(d.loaded->isChecked());
        EXPECT_FALSE(d.startup->isChecked()) << "bit 4 alone is not start-up";
        d.select(1);
        EXPECT_EQ(d.description->text(), QStringLiteral("The second fake."));
        EXPECT_FALSE(d.loaded->isChecked());
        EXPECT_TRUE(d.startup->isChecked());

        d.select(0);
        QTest::mouseClick(d.loaded, Qt::LeftButton);
        EXPECT_TRUE(d.loaded->isChecked());
        // Moving away and back keeps the pending choice; nothing has happened yet.
        d.select(1);
        EXPECT_FALSE(d.loaded->isChecked());
        d.select(0);
        EXPECT_TRUE(d.loaded->isChecked());
        EXPECT_FALSE(host.isConnected(QStringLiteral("A.Connect")));
        QTest::mouseClick(d.ok, Qt::LeftButton);
        EXPECT_EQ(d.dialog.result(), QDialog::Accepted);
    }
    EXPECT_TRUE(host.isConnected(QStringLiteral("A.Connect")));
    EXPECT_EQ(host.connectMode(QStringLiteral("A.Connect")), ConnectMode::AfterStartup);
    EXPECT_FALSE(host.isConnected(QStringLiteral("B.Connect")));
    EXPECT_EQ(log.linesOf(1), (QStringList{QStringLiteral("OnConnection 0"), QStringLiteral("OnAddInsUpdate")}));
    EXPECT_EQ(model.controls(kAddInsBarName).size(), 1);
    EXPECT_EQ(behaviourOf("A.Connect"), 4);

    // Cancel drops everything chosen.
    {
        Dialog d(host);
        EXPECT_TRUE(d.loaded->isChecked());
        QTest::mouseClick(d.loaded, Qt::LeftButton);
        QTest::mouseClick(d.startup, Qt::LeftButton);
        d.select(1);
        QTest::mouseClick(d.loaded, Qt::LeftButton);
        QTest::mouseClick(d.cancel, Qt::LeftButton);
        EXPECT_EQ(d.dialog.result(), QDialog::Rejected);
    }
    EXPECT_TRUE(host.isConnected(QStringLiteral("A.Connect")));
    EXPECT_FALSE(host.isConnected(QStringLiteral("B.Connect")));
    EXPECT_EQ(behaviourOf("A.Connect"), 4);
    EXPECT_EQ(log.linesOf(2), QStringList());

    // Unload A and have it load on start-up; B stops loading on start-up.
    log.clear();
    {
        Dialog d(host);
        QTest::mouseClick(d.loaded, Qt::LeftButton);
        QTest::mouseClick(d.startup, Qt::LeftButton);
        EXPECT_FALSE(d.loaded->isChecked());
        EXPECT_TRUE(d.startup->isChecked());
        d.select(1);
        QTest::mouseClick(d.startup, Qt::LeftButton);
        QTest::mouseClick(d.ok, Qt::LeftButton);
    }
    EXPECT_FALSE(host.isConnected(QStringLiteral("A.Connect")));
    EXPECT_EQ(log.linesOf(1), QStringList{QStringLiteral("OnDisconnection 1")});
    EXPECT_TRUE(model.controls(kAddInsBarName).isEmpty());
    EXPECT_EQ(behaviourOf("A.Connect"), 5) << "the start-up bit is added, the command-line bit kept";
    EXPECT_EQ(behaviourOf("B.Connect"), 0);
    EXPECT_EQ(log.linesOf(2), QStringList()) << "only a change of the loaded set is announced";
}

TEST_F(AddInManagerTest, AFailedLoadIsShownWithTheReason)
{
    qbx::test::FreshUserFolders folders;
    FakeLog log(folders.configHome());
    CapturedMessages messages;
    ObjectModel model;
    AddInHost host(model);
    const QString missing = folders.configHome() + QStringLiteral("/gone/missing.so");
    registerFake(host.registry(), QStringLiteral("Gone.Connect"), 6, QStringLiteral("Gone"), 0, 0, QString(), missing);
    registerFake(host.registry(), QStringLiteral("Here.Connect"), 7, QStringLiteral("Here"));
    {
        Dialog d(host);
        ASSERT_TRUE(d.complete());
        QTest::mouseClick(d.loaded, Qt::LeftButton);
        d.select(1);
        QTest::mouseClick(d.loaded, Qt::LeftButton);
        QTest::mouseClick(d.ok, Qt::LeftButton);
    }
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].title, QStringLiteral("Add-In Manager"));
    EXPECT_EQ(messages.messages[0].text,
              QStringLiteral("The add-in 'Gone' could not be loaded: the file '%1' does not exist.").arg(missing));
    EXPECT_FALSE(host.isConnected(QStringLiteral("Gone.Connect")));
    EXPECT_TRUE(host.isConnected(QStringLiteral("Here.Connect")));
    // The dialog shows the truth afterwards.
    Dialog again(host);
    EXPECT_FALSE(again.loaded->isChecked());
    again.select(1);
    EXPECT_TRUE(again.loaded->isChecked());
}

TEST_F(AddInManagerTest, WithNoAddInsRegisteredNothingCanBeChecked)
{
    qbx::test::FreshUserFolders folders;
    ObjectModel model;
    AddInHost host(model);
    Dialog d(host);
    ASSERT_TRUE(d.complete());
    EXPECT_EQ(d.list->count(), 0);
    EXPECT_FALSE(d.loaded->isEnabled());
    EXPECT_FALSE(d.startup->isEnabled());
    EXPECT_TRUE(d.description->text().isEmpty());
    QTest::mouseClick(d.ok, Qt::LeftButton);
    EXPECT_TRUE(host.connectedAddIns().isEmpty());
}
