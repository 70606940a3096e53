// The real add-in module in the host: registered through its own entry point, listed,
// started as the host starts, chosen from the Add-Ins menu, and let go again.

#include "host/hostaddins.h"
#include "host/hostwindow.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

#include <gtest/gtest.h>

using namespace qbx::host;

namespace {

const QString kProgId = QStringLiteral("Quillbox.Connect");

QString modulePath()
{
    return qbx::test::binDir() + QStringLiteral("/quillbox-addin.so");
}

QWidget *quillboxWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("frmAddIn"))
            return w;
    return nullptr;
}

QSettings setting()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quillbox"),
                     QStringLiteral("Quillbox"));
}

} // namespace

TEST(AddInInHost, RegistersItselfAsTheHostExpectsAndUnregistersOnlyItself)
{
    qbx::test::FreshUserFolders folders;
    AddInRegistry registry;
    registry.registry().setValue(qbx::kAddinsKey + QStringLiteral("\\Other.Connect"), QStringLiteral("LoadBehavior"),
                                 1);
    QString error;
    ASSERT_TRUE(loader::registerServer(modulePath(), &error)) << error.toStdString();
    const auto info = AddInRegistry().addIn(kProgId);
    ASSERT_TRUE(info);
    EXPECT_EQ(
        (QStringList{info->displayName(), info->description, info->satelliteDllName, info->additionalRegistryKey}),
        (QStringList{"Quillbox Ver 1.0", "This Addin saves Time by creating codes for common usage.", "", ""}));
    EXPECT_EQ(std::pair(info->loadBehavior, info->commandLineSafe), std::pair(5, 1));
    const auto classId = registry.classIdOf(kProgId, &error);
    ASSERT_TRUE(classId) << error.toStdString();
    EXPECT_EQ(registry.modulePathOf(*classId), QFileInfo(modulePath()).absoluteFilePath());

    ASSERT_TRUE(loader::unregisterServer(modulePath(), &error)) << error.toStdString();
    const QList<AddInInfo> left = AddInRegistry().addIns();
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left[0].progId, QStringLiteral("Other.Connect"));
    EXPECT_FALSE(AddInRegistry().classIdOf(kProgId));
}

TEST(AddInInHost, StartsWithTheHostOpensFromTheAddInsMenuAndRemembersTheOpenWindow)
{
    qbx::test::FreshUserFolders folders;
    ASSERT_TRUE(loader::registerServer(modulePath()));
    {
        ObjectModel model;
        AddInHost host(model);
        HostWindow window(model, host);
        EXPECT_TRUE(host.connectStartupAddIns(false).empty());
        EXPECT_EQ(host.connectMode(kProgId), qbx::ConnectMode::Startup);
        // The command is on the host's Add-Ins menu, after the manager's own entry.
        const QList<QAction *> entries = window.addInsMenu()->actions();
        ASSERT_EQ(entries.size(), 3);
        EXPECT_EQ(entries[2]->text(), QStringLiteral("Quillbox ver 1.0"));
        EXPECT_EQ(quillboxWindow(), nullptr) << "a start-up connection never opens the window";

        entries[2]->trigger();
        ASSERT_NE(quillboxWindow(), nullptr);
        EXPECT_TRUE(quillboxWindow()->isVisible());
        ASSERT_TRUE(host.disconnectAddIn(kProgId, qbx::DisconnectMode::UserClosed));
        EXPECT_EQ(window.addInsMenu()->actions().size(), 2);
        EXPECT_EQ(quillboxWindow(), nullptr);
        EXPECT_EQ(setting().value(QStringLiteral("Settings/DisplayOnConnect")), QStringLiteral("1"));

        // Loaded again by the user, it opens the window it had open.
        ASSERT_TRUE(host.connectAddIn(kProgId, qbx::ConnectMode::AfterStartup));
        EXPECT_TRUE(quillboxWindow() && quillboxWindow()->isVisible());
    }
    EXPECT_EQ(quillboxWindow(), nullptr);
    EXPECT_EQ(loader::canUnloadNow(modulePath()), std::optional<bool>(true));
}

TEST(AddInInHost, CommandLineConnectionAddsTheCommandButKeepsTheWindowClosed)
{
    qbx::test::FreshUserFolders folders;
    setting().setValue(QStringLiteral("Settings/DisplayOnConnect"), QStringLiteral("1"));
    ASSERT_TRUE(loader::registerServer(modulePath()));
    ObjectModel model;
    AddInHost host(model);
    EXPECT_TRUE(host.connectStartupAddIns(true).empty());
    EXPECT_EQ(host.connectMode(kProgId), qbx::ConnectMode::CommandLine);
    EXPECT_EQ(model.controls(kAddInsBarName).size(), 1);
    EXPECT_EQ(quillboxWindow(), nullptr);
    host.disconnectAll();
    EXPECT_EQ(setting().value(QStringLiteral("Settings/DisplayOnConnect")), QStringLiteral("0"));
}
