// The host's window and Add-In Manager, driven as the user drives them.

#include "host/addinmanagerdialog.h"
#include "host/hostmessages.h"
#include "host/hosttestsupport.h"
#include "host/hostwindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace qbx;
using namespace qbx::host;
using namespace hosttest;

namespace {

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

TEST(HostWindowTest, MenusFollowTheCommandBarsAndChoosingAnEntryClicksItsControl)
{
    qbx::test::FreshUserFolders folders;
    ObjectModel model;
    AddInHost host(model);
    auto early = addButton(model, QStringLiteral("Early")); // there before the window
    HostWindow window(model, host);
    window.show();
    QMenu *menu = window.addInsMenu();
    const QString manager = QStringLiteral("Add-In &Manager...");
    EXPECT_EQ(entries(menu->actions()), (QStringList{manager, "---", "Early"}));

    auto second = addButton(model, QStringLiteral("&Second"));
    auto topLevel = addButton(model, QStringLiteral("&Run"), kMenuBarName);
    ASSERT_EQ(early->put_Caption(QStringLiteral("Renamed")), S_OK);
    EXPECT_EQ(entries(menu->actions()), (QStringList{manager, "---", "Renamed", "&Second"}));
    EXPECT_EQ(entries(window.menuBar()->actions()), (QStringList{"&File", "&Add-Ins", "&Run"}));

    // Only the chosen control hears the click; one that deletes itself leaves the menu.
    auto sink = newSink();
    std::uint32_t cookie = 0;
    ASSERT_EQ(eventsOf(model, second.get())->Advise(sink.get(), &cookie), S_OK);
    const QList<ControlId> ids = model.controls(kAddInsBarName);
    window.actionFor(ids[0])->trigger();
    EXPECT_TRUE(sink->heard.empty());
    sink->onClick = [](ICommandBarControl *c, VariantBool *) { c->Delete(); };
    window.actionFor(ids[1])->trigger();
    EXPECT_EQ(sink->heard.size(), 1u);
    EXPECT_EQ(entries(menu->actions()), (QStringList{manager, "---", "Renamed"}));

    // With the last control gone, no dangling separator.
    ASSERT_TRUE(early->Delete() == S_OK && topLevel->Delete() == S_OK);
    EXPECT_EQ(entries(menu->actions()), QStringList{manager});
    EXPECT_EQ(entries(window.menuBar()->actions()), (QStringList{"&File", "&Add-Ins"}));

    // The manager's entry opens the manager, modal.
    QString seen;
    QTimer::singleShot(0, &window, [&] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            seen = dialog->windowTitle();
            dialog->reject();
        }
    });
    menu->actions().value(0)->trigger();
    EXPECT_EQ(seen, QStringLiteral("Add-In Manager"));
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
    registerFake(host.registry(), QStringLiteral("Gone.Connect"), 3, 0, 0, folders.configHome() + "/gone.so");
    const auto behaviour = [](const char *progId) {
        return AddInRegistry().addIn(QLatin1String(progId))->loadBehavior;
    };
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
    // Load A and the missing module, and move away and back: the choices are kept until OK.
    EXPECT_EQ(round({{0, "loadedCheck"}, {2, "loadedCheck"}, {1, "startupCheck"}, {0, "startupCheck"}}, true),
              std::pair(QStringLiteral("About A.Connect"), true));
    EXPECT_EQ(host.connectMode(QStringLiteral("A.Connect")), ConnectMode::AfterStartup);
    EXPECT_EQ(heardBy(1), (QStringList{"OnConnection 0", "OnAddInsUpdate"}));
    EXPECT_EQ(messages, QStringList{"Add-In Manager: The add-in 'Gone' could not be loaded: the file '"
                                    + folders.configHome() + "/gone.so' does not exist."});
    EXPECT_EQ((std::pair(behaviour("A.Connect"), behaviour("B.Connect"))), std::pair(5, 0))
        << "only the start-up bit is the manager's";

    fakeLog().clear();
    round({{0, "loadedCheck"}, {1, "startupCheck"}}, false);
    EXPECT_TRUE(host.isConnected(QStringLiteral("A.Connect")) && fakeLog().isEmpty());
    EXPECT_EQ(behaviour("B.Connect"), 0) << "Cancel drops the choices";
    round({{1, "startupCheck"}}, true);
    EXPECT_TRUE(fakeLog().isEmpty()) << "only a change of the loaded set is announced";
    round({{0, "loadedCheck"}}, true);
    EXPECT_EQ(heardBy(1), QStringList{"OnDisconnection 1"});
    setMessageHandler(previous);
}
