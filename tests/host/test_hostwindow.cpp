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
using hosttest::FakeLog;
using hosttest::registerFake;
using hosttest::addButton;

namespace {

// The entries as the user sees them: visible ones only, a separator as "---".
QStringList entries(const QList<QAction *> &actions)
{
    QStringList out;
    for (const QAction *a : actions) {
        if (a->isVisible())
            out.append(a->isSeparator() ? QStringLiteral("---") : a->text());
    }
    return out;
}

// The Add-In Manager shown, with its controls found by name.
struct Dialog {
    explicit Dialog(AddInHost &host) : dialog(host)
    {
        dialog.show();
        auto *buttons = dialog.findChild<QDialogButtonBox *>();
        ok = buttons->button(QDialogButtonBox::Ok);
        cancel = buttons->button(QDialogButtonBox::Cancel);
    }
    void select(int row)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }
    void toggle(QCheckBox *box) { QTest::mouseClick(box, Qt::LeftButton); }

    AddInManagerDialog dialog;
    QListWidget *list = dialog.findChild<QListWidget *>(QStringLiteral("addInList"));
    QLabel *description = dialog.findChild<QLabel *>(QStringLiteral("descriptionLabel"));
    QCheckBox *loaded = dialog.findChild<QCheckBox *>(QStringLiteral("loadedCheck"));
    QCheckBox *startup = dialog.findChild<QCheckBox *>(QStringLiteral("startupCheck"));
    QPushButton *ok = nullptr, *cancel = nullptr;
};

// The offscreen platform says this whenever a top-level window is shown.
class ShownWindows : public ::testing::Test {
protected:
    qbx::test::ExpectedWarning m_sizeHints{QStringLiteral("^This plugin does not support propagateSizeHints\\(\\)$")};
    qbx::test::FreshUserFolders m_folders;
    FakeLog m_log{m_folders.configHome()};
};
class HostWindowTest : public ShownWindows {};
class AddInManagerTest : public ShownWindows {};

} // namespace

TEST_F(HostWindowTest, AddInsMenuFollowsTheAddInsBar)
{
    ObjectModel model;
    AddInHost host(model);
    // A control that exists before the window does is shown too.
    auto early = addButton(model, QStringLiteral("Early"));
    HostWindow window(model, host);
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Quillbox Host"));
    EXPECT_TRUE(window.centralWidget() == window.codePane() && QFontInfo(window.codePane()->font()).fixedPitch());
    QMenu *menu = window.addInsMenu();
    const QString manager = QStringLiteral("Add-In &Manager...");
    EXPECT_EQ(entries(window.menuBar()->actions()), (QStringList{"&File", "&Add-Ins"}));
    EXPECT_EQ(entries(menu->actions()), (QStringList{manager, "---", "Early"}));

    auto second = addButton(model, QStringLiteral("&Second"));
    ASSERT_EQ(early->put_Caption(QStringLiteral("Renamed")), S_OK);
    EXPECT_EQ(entries(menu->actions()), (QStringList{manager, "---", "Renamed", "&Second"}));

    // Choosing an entry clicks its control, and only that one; a control that deletes itself
    // when chosen leaves the menu.
    auto sink = hosttest::newSink();
    auto source = hosttest::eventsOf(model, second.get());
    std::uint32_t cookie = 0;
    ASSERT_EQ(source->Advise(sink.get(), &cookie), S_OK);
    const QList<ControlId> ids = model.controls(kAddInsBarName);
    window.actionFor(ids[0])->trigger();
    EXPECT_TRUE(sink->heard.empty());
    sink->onClick = [](ICommandBarControl *c, VariantBool *) { c->Delete(); };
    window.actionFor(ids[1])->trigger();
    ASSERT_EQ(sink->heard.size(), 1u);
    EXPECT_EQ(sink->heard[0].control, second.get());
    EXPECT_EQ(entries(menu->actions()), (QStringList{manager, "---", "Renamed"}));
    EXPECT_EQ(window.actionFor(ids[1]), nullptr);
    source->Unadvise(cookie);

    // A button on the menu bar itself sits after the menus.
    auto topLevel = addButton(model, QStringLiteral("&Run"), kMenuBarName);
    EXPECT_EQ(entries(window.menuBar()->actions()), (QStringList{"&File", "&Add-Ins", "&Run"}));
    EXPECT_EQ(entries(menu->actions()), (QStringList{manager, "---", "Renamed"}));
    ASSERT_EQ(topLevel->Delete(), S_OK);
    EXPECT_EQ(entries(window.menuBar()->actions()), (QStringList{"&File", "&Add-Ins"}));

    // With the last control gone, no dangling separator.
    ASSERT_EQ(early->Delete(), S_OK);
    EXPECT_EQ(entries(menu->actions()), QStringList{manager});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(menu->actions().size(), 2);

    // An add-in connected through the host adds its entry, which it hears, and takes it away.
    registerFake(host.registry(), QStringLiteral("Menu.Connect"), 3, QStringLiteral("Menu"));
    ASSERT_TRUE(host.connectAddIn(QStringLiteral("Menu.Connect"), ConnectMode::AfterStartup));
    ASSERT_EQ(entries(window.controlActions(kAddInsBarName)), QStringList{"Fake Add-In 3"});
    window.controlActions(kAddInsBarName)[0]->trigger();
    EXPECT_EQ(m_log.linesOf(3).last(), QStringLiteral("Click handled=0 caption=Fake Add-In 3"));
    ASSERT_TRUE(host.disconnectAddIn(QStringLiteral("Menu.Connect"), DisconnectMode::UserClosed));
    EXPECT_EQ(entries(menu->actions()), QStringList{manager});
}

TEST_F(HostWindowTest, AddInManagerEntryOpensTheModalManager)
{
    ObjectModel model;
    AddInHost host(model);
    HostWindow window(model, host);
    window.show();
    QString seen;
    QTimer::singleShot(0, &window, [&] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            seen = dialog->windowTitle();
            dialog->reject();
        }
    });
    window.addInsMenu()->actions().value(0)->trigger();
    EXPECT_EQ(seen, QStringLiteral("Add-In Manager"));
}

TEST_F(AddInManagerTest, CheckBoxesConnectDisconnectAndWriteTheRegistry)
{
    ObjectModel model;
    AddInHost host(model);
    registerFake(host.registry(), QStringLiteral("A.Connect"), 1, QStringLiteral("Fake One"), 4, 1,
                 QStringLiteral("The first fake."));
    registerFake(host.registry(), QStringLiteral("B.Connect"), 2, QStringLiteral("Fake Two"), 1, 0,
                 QStringLiteral("The second fake."));
    auto behaviourOf = [](const char *progId) { return AddInRegistry().addIn(QLatin1String(progId))->loadBehavior; };
    {
        Dialog d(host);
        EXPECT_TRUE(d.dialog.isModal());
        EXPECT_EQ(d.list->currentRow(), 0);
        EXPECT_EQ(d.list->item(1)->text(), QStringLiteral("Fake Two"));
        EXPECT_EQ(d.description->text(), QStringLiteral("The first fake."));
        EXPECT_FALSE(d.loaded->isChecked() || d.startup->isChecked()) << "bit 4 alone is not start-up";
        d.select(1);
        EXPECT_EQ(d.description->text(), QStringLiteral("The second fake."));
        EXPECT_TRUE(!d.loaded->isChecked() && d.startup->isChecked());
        // Moving away and back keeps the pending choice; nothing has happened yet.
        d.select(0);
        d.toggle(d.loaded);
        d.select(1);
        EXPECT_FALSE(d.loaded->isChecked());
        d.select(0);
        EXPECT_TRUE(d.loaded->isChecked());
        EXPECT_FALSE(host.isConnected(QStringLiteral("A.Connect")));
        QTest::mouseClick(d.ok, Qt::LeftButton);
    }
    EXPECT_EQ(host.connectMode(QStringLiteral("A.Connect")), ConnectMode::AfterStartup);
    EXPECT_FALSE(host.isConnected(QStringLiteral("B.Connect")));
    EXPECT_EQ(m_log.linesOf(1), (QStringList{"OnConnection 0", "OnAddInsUpdate"}));
    EXPECT_EQ(behaviourOf("A.Connect"), 4);

    // Cancel drops everything chosen.
    {
        Dialog d(host);
        EXPECT_TRUE(d.loaded->isChecked());
        d.toggle(d.loaded);
        d.toggle(d.startup);
        d.select(1);
        d.toggle(d.loaded);
        QTest::mouseClick(d.cancel, Qt::LeftButton);
    }
    EXPECT_TRUE(host.isConnected(QStringLiteral("A.Connect")) && !host.isConnected(QStringLiteral("B.Connect")));
    EXPECT_EQ(behaviourOf("A.Connect"), 4);
    EXPECT_EQ(m_log.linesOf(2), QStringList());

    // Unload A and have it load on start-up; B stops loading on start-up.
    m_log.clear();
    {
        Dialog d(host);
        d.toggle(d.loaded);
        d.toggle(d.startup);
        d.select(1);
        d.toggle(d.startup);
        QTest::mouseClick(d.ok, Qt::LeftButton);
    }
    EXPECT_FALSE(host.isConnected(QStringLiteral("A.Connect")));
    EXPECT_EQ(m_log.linesOf(1), QStringList{"OnDisconnection 1"});
    EXPECT_EQ(behaviourOf("A.Connect"), 5) << "the start-up bit is added, the command-line bit kept";
    EXPECT_EQ(behaviourOf("B.Connect"), 0);
    EXPECT_EQ(m_log.linesOf(2), QStringList()) << "only a change of the loaded set is announced";
}

TEST_F(AddInManagerTest, AFailedLoadIsShownWithTheReason)
{
    hosttest::CapturedMessages messages;
    ObjectModel model;
    AddInHost host(model);
    const QString missing = m_folders.configHome() + QStringLiteral("/gone/missing.so");
    registerFake(host.registry(), QStringLiteral("Gone.Connect"), 6, QStringLiteral("Gone"), 0, 0, QString(), missing);
    registerFake(host.registry(), QStringLiteral("Here.Connect"), 7, QStringLiteral("Here"));
    {
        Dialog d(host);
        d.toggle(d.loaded);
        d.select(1);
        d.toggle(d.loaded);
        QTest::mouseClick(d.ok, Qt::LeftButton);
    }
    EXPECT_EQ(messages.shown, QStringList{QStringLiteral("Add-In Manager: The add-in 'Gone' could not be loaded: the "
                                                         "file '%1' does not exist.")
                                              .arg(missing)});
    EXPECT_TRUE(!host.isConnected(QStringLiteral("Gone.Connect")) && host.isConnected(QStringLiteral("Here.Connect")));
    // The dialog shows the truth afterwards.
    Dialog again(host);
    EXPECT_FALSE(again.loaded->isChecked());
    again.select(1);
    EXPECT_TRUE(again.loaded->isChecked());
}

TEST_F(AddInManagerTest, WithNoAddInsRegisteredNothingCanBeChecked)
{
    ObjectModel model;
    AddInHost host(model);
    Dialog d(host);
    EXPECT_EQ(d.list->count(), 0);
    EXPECT_FALSE(d.loaded->isEnabled() || d.startup->isEnabled());
    EXPECT_TRUE(d.description->text().isEmpty());
    QTest::mouseClick(d.ok, Qt::LeftButton);
    EXPECT_TRUE(host.connectedAddIns().isEmpty());
}
