// The real add-in module in the host: registered through its own entry point, listed,
// started as the host starts, chosen from the Add-Ins menu, and let go again.

#include "hostaddins.h"
#include "hostobjectmodel.h"
#include "hostwindow.h"
#include "testsupport.h"

#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

using namespace qbx::host;

namespace {

const QString kProgId = QStringLiteral("Quillbox.Connect");

QString modulePath()
{
    return QFileInfo(qbx::test::binDir() + QStringLiteral("/quillbox-addin.so")).absoluteFilePath();
}

QWidget *quillboxWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("frmAddIn"))
            return w;
    return nullptr;
}

QString storedSetting()
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quillbox"), QStringLiteral("Quillbox"));
    return s.value(QStringLiteral("Settings/DisplayOnConnect")).toString();
}

} // namespace

TEST(AddInInHost, RegistrationAsTheHostSeesIt)
{
    qbx::test::FreshUserFolders folders;
    QString error;
    ASSERT_TRUE(loader::registerServer(modulePath(), &error)) << error.toStdString();
    AddInRegistry registry;
    const auto listed = registry.addIns();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].progId, kProgId);
    EXPECT_EQ(listed[0].displayName(), QStringLiteral("Quillbox Ver 1.0"));
    EXPECT_EQ(listed[0].description, QStringLiteral("This Addin saves Time by creating codes for common usage."));
    EXPECT_EQ(listed[0].loadBehavior, 5);
    EXPECT_TRUE(listed[0].loadsOnStartup());
    EXPECT_TRUE(listed[0].loadsFromCommandLine());
    const auto classId = registry.classIdOf(kProgId, &error);
    ASSERT_TRUE(classId.has_value()) << error.toStdString();
    EXPECT_EQ(registry.modulePathOf(*classId, &error), std::optional<QString>(modulePath()));

    ASSERT_TRUE(loader::unregisterServer(modulePath(), &error)) << error.toStdString();
    EXPECT_TRUE(AddInRegistry().addIns().isEmpty());
}

TEST(AddInInHost, StartsWithTheHostAndOpensFromTheAddInsMenu)
{
    qbx::test::FreshUserFolders folders;
    QString error;
    ASSERT_TRUE(loader::registerServer(modulePath(), &error)) << error.toStdString();
    {
        ObjectModel model;
        AddInHost host(model);
        HostWindow window(model, host);
        EXPECT_TRUE(host.connectStartupAddIns(false).empty());
        ASSERT_TRUE(host.isConnected(kProgId));

        // The command is on the host's Add-Ins menu, after the manager's own entry.
        const auto controls = model.controls(kAddInsBarName);
        ASSERT_EQ(controls.size(), 1);
        EXPECT_EQ(model.caption(controls[0]), QStringLiteral("Quillbox ver 1.0"));
        QStringList entries;
        for (QAction *a : window.addInsMenu()->actions())
            if (!a->isSeparator())
                entries << a->text();
        EXPECT_EQ(entries.last(), QStringLiteral("Quillbox ver 1.0"));
        EXPECT_EQ(quillboxWindow(), nullptr) << "a start-up connection never opens the window";

        window.actionFor(controls[0])->trigger();
        QWidget *form = quillboxWindow();
        ASSERT_NE(form, nullptr);
        EXPECT_TRUE(form->isVisible());

        ASSERT_TRUE(host.disconnectAddIn(kProgId, qbx::DisconnectMode::UserClosed, &error)) << error.toStdString();
        EXPECT_TRUE(model.controls(kAddInsBarName).isEmpty());
        EXPECT_EQ(quillboxWindow(), nullptr);
        EXPECT_EQ(storedSetting(), QStringLiteral("1"));
        QStringList after;
        for (QAction *a : window.addInsMenu()->actions())
            after << a->text();
        EXPECT_FALSE(after.contains(QStringLiteral("Quillbox ver 1.0")));
    }
    EXPECT_EQ(loader::canUnloadNow(modulePath()), std::optional<bool>(true));
}

TEST(AddInInHost, CommandLineConnectionAddsTheCommandButKeepsTheWindowClosed)
{
    qbx::test::FreshUserFolders folders;
    {
        QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quillbox"), QStringLiteral("Quillbox"));
        s.setValue(QStringLiteral("Settings/DisplayOnConnect"), QStringLiteral("1"));
    }
    QString error;
    ASSERT_TRUE(loader::registerServer(modulePath(), &error));
    ObjectModel model;
    AddInHost host(model);
    EXPECT_TRUE(host.connectStartupAddIns(true).empty());
    ASSERT_TRUE(host.isConnected(kProgId));
    EXPECT_EQ(host.connectMode(kProgId), std::optional<qbx::ConnectMode>(qbx::ConnectMode::CommandLine));
    EXPECT_EQ(model.controls(kAddInsBarName).size(), 1);
    EXPECT_EQ(quillboxWindow(), nullptr);
    host.disconnectAll();
    EXPECT_EQ(storedSetting(), QStringLiteral("0"));
}
