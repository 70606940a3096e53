// The host's side of add-ins: their registration, loading a module as an in-process
// server, the start-up rules, and disconnection.

#include "host/hostaddins.h"
#include "host/hosttestsupport.h"

#include <gtest/gtest.h>

using namespace qbx;
using namespace qbx::host;
using namespace hosttest;

TEST(HostAddIns, ClassIdsParseBackFromText)
{
    const Guid sample{0x6F1B52C4, 0x0D7A, 0x4E43, {0x9B, 0x1E, 0x2C, 0x5D, 0x8A, 0x4F, 0x7E, 0x10}};
    const std::pair<QString, bool> cases[] = {
        {"{6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7E10}", true},  {"{6f1b52c4-0d7a-4e43-9b1e-2c5d8a4f7e10}", true},
        {"6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7E10", false},   {"{6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7E1}", false},
        {"{6F1B52C40-D7A-4E43-9B1E-2C5D8A4F7E10}", false}, {"{6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7EG0}", false},
    };
    for (const auto &[text, valid] : cases)
        EXPECT_EQ(parseGuid(text), valid ? std::optional<Guid>(sample) : std::nullopt) << text.toStdString();
    const Guid awkward{0xFFFFFFFF, 0xFFFF, 0x0001, {0, 0xFF, 1, 2, 3, 4, 5, 0xA0}};
    EXPECT_EQ(parseGuid(awkward.toString()), awkward);
}

TEST(HostAddIns, RegistryListsAddInsAndResolvesTheirModules)
{
    qbx::test::FreshUserFolders folders;
    AddInRegistry registry;
    EXPECT_TRUE(registry.path().startsWith(folders.configHome()));
    registerFake(registry, QStringLiteral("Alpha.Connect"), 1, 5, 1);
    // Written by hand, as another program's registration would be.
    Registry &raw = registry.registry();
    const QString beta = kAddinsKey + QStringLiteral("\\Beta.Connect");
    raw.setValue(beta, QStringLiteral("LoadBehavior"), 3);
    raw.setValue(beta, QStringLiteral("SatelliteDllName"), QStringLiteral("beta-strings.so"));
    raw.setValue(QStringLiteral("Software\\Classes\\Beta.Connect\\CLSID"), {},
                 "{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}");
    raw.setValue("Software\\Classes\\CLSID\\{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}\\InprocServer32", {},
                 "/opt/beta.so");
    ASSERT_TRUE(raw.sync());

    const QList<AddInInfo> list = registry.addIns();
    ASSERT_EQ(list.size(), 2);
    const AddInInfo &a = list[0], &b = list[1];
    EXPECT_EQ((QStringList{a.progId, a.displayName(), a.description, b.displayName(), b.satelliteDllName}),
              (QStringList{"Alpha.Connect", "Alpha", "About Alpha.Connect", "Beta.Connect", "beta-strings.so"}));
    EXPECT_EQ(b.loadBehavior, 3);
    EXPECT_EQ(registry.modulePathOf(*registry.classIdOf(QStringLiteral("Beta.Connect"))),
              QStringLiteral("/opt/beta.so"));
    EXPECT_FALSE(registry.addIn(QStringLiteral("Delta.Connect")));
}

TEST(HostAddIns, ConnectsThroughTheRegistryAndLetsGoOnDisconnection)
{
    qbx::test::FreshUserFolders folders;
    ObjectModel model;
    AddInHost host(model);
    const QString progId = QStringLiteral("Fake.Connect");
    registerFake(host.registry(), progId, 1);
    fakeLog().clear();
    QString error;
    ASSERT_TRUE(host.connectAddIn(progId, ConnectMode::External, &error)) << error.toStdString();
    EXPECT_FALSE(host.connectAddIn(progId, ConnectMode::AfterStartup, &error));
    EXPECT_EQ(error, QStringLiteral("The add-in 'Fake' is already loaded."));
    EXPECT_EQ(std::pair(host.connectMode(progId), loader::canUnloadNow(fakeAddInPath())),
              std::pair(std::optional(ConnectMode::External), std::optional(false)));
    ASSERT_TRUE(host.disconnectAddIn(progId, DisconnectMode::UserClosed));
    EXPECT_EQ(heardBy(1), (QStringList{"OnConnection 2", "OnDisconnection 1"}));
    EXPECT_EQ(loader::canUnloadNow(fakeAddInPath()), true) << "the host let go of the add-in's objects";
    EXPECT_FALSE(host.disconnectAddIn(progId, DisconnectMode::UserClosed, &error) || host.isConnected(progId));
    EXPECT_EQ(error, QStringLiteral("The add-in 'Fake.Connect' is not loaded."));
}

TEST(HostAddIns, LoadFailuresAreReportedInPlainWords)
{
    qbx::test::FreshUserFolders folders;
    const QString missing = folders.configHome() + QStringLiteral("/gone.so");
    const QString notModule = folders.configHome() + QStringLiteral("/notes.so");
    QFile file(notModule);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("not a module\n") > 0);
    file.close();
    const QString fakePath = fakeAddInPath(), cannot = QStringLiteral("The add-in 'Broken' could not be loaded: ");
    const QString classKey = QStringLiteral("Software\\Classes\\CLSID\\") + fake::classId(4).toString();
    const struct {
        std::uint8_t tag;
        QString path, removedKey; // removedKey is taken out of the registration
        QString expected;         // the whole message, or its start when it ends in "("
    } cases[] = {
        {1, missing, {}, cannot + "the file '" + missing + "' does not exist."},
        {2, notModule, {}, cannot + "the file '" + notModule + "' could not be loaded as a module ("},
        {4, fakePath, "Software\\Classes\\Broken.Connect",
         cannot + "its class is not registered (the key Software\\Classes\\Broken.Connect\\CLSID has no class id)."},
        {4, fakePath, classKey + "\\InprocServer32",
         cannot + "no module is registered for its class " + fake::classId(4).toString() + " (the key " + classKey
             + "\\InprocServer32 has no path)."},
        {fake::kUnknownClass,
         fakePath,
         {},
         cannot + "the module '" + fakePath + "' does not provide the class "
             + fake::classId(fake::kUnknownClass).toString() + " (error 0x80040111)."},
        {fake::kFactoryFails,
         fakePath,
         {},
         cannot + "the class factory of '" + fakePath + "' could not create the add-in (error 0x8007000E)."},
        {fake::kConnectionFails,
         fakePath,
         {},
         "The add-in 'Broken' failed to connect (error 0x80004005): The fake add-in refuses to connect."},
    };
    ObjectModel model;
    AddInHost host(model);
    const QString progId = QStringLiteral("Broken.Connect");
    for (const auto &c : cases) {
        registerFake(host.registry(), progId, c.tag, 0, 0, c.path);
        if (!c.removedKey.isEmpty())
            host.registry().registry().removeKey(c.removedKey);
        QString error;
        EXPECT_FALSE(host.connectAddIn(progId, ConnectMode::AfterStartup, &error));
        EXPECT_TRUE(error == c.expected || (c.expected.endsWith('(') && error.startsWith(c.expected)))
            << error.toStdString() << "\nexpected: " << c.expected.toStdString();
        EXPECT_FALSE(host.isConnected(progId));
        host.registry().unregisterAddIn(progId);
    }
    EXPECT_EQ(loader::canUnloadNow(fakePath), true) << "a refused connection object was released";
    QString error;
    EXPECT_FALSE(loader::registerServer(fakePath, &error));
    EXPECT_EQ(error, "The module could not be registered: the module '" + fakePath
                         + "' has no entry point "
                           "DllRegisterServer.");
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
                         rows[tag - 1][1], tag == 9 ? folders.configHome() + "/lost.so" : fakeAddInPath());
        ASSERT_TRUE(host.connectAddIn(QStringLiteral("Row8.Connect"), ConnectMode::AfterStartup));
        fakeLog().clear();
        QStringList failed;
        for (const AddInHost::Failure &failure : host.connectStartupAddIns(commandLine))
            failed << failure.progId + ": " + failure.message;
        EXPECT_EQ(failed, commandLine ? QStringList()
                                      : QStringList{"Row9.Connect: The add-in 'Row9' could not be "
                                                    "loaded: the file '"
                                                    + folders.configHome() + "/lost.so' does not exist."});
        host.disconnectAll();
        EXPECT_EQ(fakeLog(), expected) << "the one already connected is left alone";
    }
}
