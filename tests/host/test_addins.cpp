// The host's side of add-ins: their registration, loading a module as an in-process
// server, the start-up rules, and disconnection.

#include "hostaddins.h"
#include "hosttestsupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace qbx;
using namespace qbx::host;
using hosttest::FakeLog;
using hosttest::fakeAddInPath;
using hosttest::registerFake;

TEST(HostAddIns, ClassIdsParseBackFromText)
{
    const Guid sample{0x6F1B52C4, 0x0D7A, 0x4E43, {0x9B, 0x1E, 0x2C, 0x5D, 0x8A, 0x4F, 0x7E, 0x10}};
    const std::pair<QString, bool> cases[] = {
        {"{6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7E10}", true},  {"{6f1b52c4-0d7a-4e43-9b1e-2c5d8a4f7e10}", true},
        {"6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7E10", false},   {"{6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7E1}", false},
        {"{6F1B52C40-D7A-4E43-9B1E-2C5D8A4F7E10}", false}, {"{6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7EG0}", false},
    };
    for (const auto &[text, valid] : cases) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(parseGuid(text), valid ? std::optional<Guid>(sample) : std::nullopt);
    }
    // Every id the host writes reads back as itself, including the awkward bytes.
    for (const Guid &g : {Guid{}, Guid{0xFFFFFFFF, 0xFFFF, 0x0001, {0, 0xFF, 1, 2, 3, 4, 5, 0xA0}}})
        EXPECT_EQ(parseGuid(g.toString()), g);
}

TEST(HostAddIns, RegistryListsAddInsAndResolvesTheirModules)
{
    qbx::test::FreshUserFolders folders;
    AddInRegistry registry;
    EXPECT_TRUE(registry.path().startsWith(folders.configHome()));
    registerFake(registry, QStringLiteral("Alpha.Connect"), 1, QStringLiteral("Alpha"), 5, 1, QStringLiteral("Does alpha."));
    // Written by hand, as another program's registration would be: every value there is.
    Registry &raw = registry.registry();
    const QString beta = kAddinsKey + QStringLiteral("\\Beta.Connect");
    raw.setValue(beta, QStringLiteral("FriendlyName"), QStringLiteral("Beta"));
    raw.setValue(beta, QStringLiteral("LoadBehavior"), 3);
    raw.setValue(beta, QStringLiteral("SatelliteDllName"), QStringLiteral("beta-strings.so"));
    raw.setValue(beta, QStringLiteral("AdditionalRegistryKey"), QStringLiteral("Software\\Beta"));
    raw.setValue(QStringLiteral("Software\\Classes\\Beta.Connect\\CLSID"), QString(),
                 QStringLiteral("{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}"));
    raw.setValue(QStringLiteral("Software\\Classes\\CLSID\\{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}\\InprocServer32"),
                 QString(), QStringLiteral("/opt/beta/beta.so"));
    // Only a ProgID, no values: listed under its ProgID.
    raw.setValue(kAddinsKey + QStringLiteral("\\Gamma.Connect"), QStringLiteral("LoadBehavior"), 0);
    ASSERT_TRUE(raw.sync());

    const QList<AddInInfo> list = registry.addIns();
    ASSERT_EQ(list.size(), 3);
    const AddInInfo &a = list[0], &b = list[1];
    EXPECT_EQ(QStringList({a.progId, a.displayName(), a.description}),
              QStringList({"Alpha.Connect", "Alpha", "Does alpha."}));
    EXPECT_TRUE(a.loadBehavior == 5 && a.commandLineSafe == 1 && a.loadsOnStartup() && a.loadsFromCommandLine());
    EXPECT_EQ(QStringList({b.progId, b.displayName(), b.satelliteDllName, b.additionalRegistryKey}),
              QStringList({"Beta.Connect", "Beta", "beta-strings.so", "Software\\Beta"}));
    EXPECT_TRUE(b.loadBehavior == 3 && b.commandLineSafe == 0 && b.loadsOnStartup() && !b.loadsFromCommandLine());
    EXPECT_EQ(list[2].displayName(), QStringLiteral("Gamma.Connect"));

    // ProgID -> class id -> module path, also for a lower-case id.
    QString error;
    EXPECT_EQ(registry.modulePathOf(*registry.classIdOf(QStringLiteral("Alpha.Connect"))), fakeAddInPath());
    EXPECT_EQ(registry.modulePathOf(*registry.classIdOf(QStringLiteral("Beta.Connect"))), QStringLiteral("/opt/beta/beta.so"));
    // Gamma has no class; a broken id and a class without a module fail with the key named.
    EXPECT_FALSE(registry.classIdOf(QStringLiteral("Gamma.Connect"), &error));
    EXPECT_EQ(error, QStringLiteral("its class is not registered (the key Software\\Classes\\Gamma.Connect\\CLSID has "
                                    "no class id)"));
    raw.setValue(QStringLiteral("Software\\Classes\\Gamma.Connect\\CLSID"), QString(), QStringLiteral("{not-a-guid}"));
    EXPECT_FALSE(registry.classIdOf(QStringLiteral("Gamma.Connect"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("'{not-a-guid}'"))) << error.toStdString();
    EXPECT_FALSE(registry.modulePathOf(fake::classId(7), &error));
    EXPECT_TRUE(error.contains(fake::classId(7).toString())) << error.toStdString();

    // LoadBehavior is written for registered add-ins only.
    ASSERT_TRUE(registry.setLoadBehavior(QStringLiteral("Beta.Connect"), 2, &error));
    EXPECT_EQ(AddInRegistry().addIn(QStringLiteral("Beta.Connect"))->loadBehavior, 2);
    EXPECT_FALSE(registry.setLoadBehavior(QStringLiteral("Delta.Connect"), 1, &error));
    EXPECT_FALSE(AddInRegistry().addIn(QStringLiteral("Delta.Connect")));

    ASSERT_TRUE(registry.unregisterAddIn(QStringLiteral("Alpha.Connect"), &error));
    EXPECT_FALSE(registry.addIn(QStringLiteral("Alpha.Connect")) || registry.classIdOf(QStringLiteral("Alpha.Connect"))
                 || registry.modulePathOf(fake::classId(1)));
    EXPECT_EQ(registry.addIns().size(), 2);
}

TEST(HostAddIns, ModuleRegistersItselfAndIsLoadedThroughTheRegistry)
{
    qbx::test::FreshUserFolders folders;
    FakeLog log(folders.configHome());
    QString error;
    ASSERT_TRUE(loader::registerServer(fakeAddInPath(), &error)) << error.toStdString();
    ObjectModel model;
    AddInHost host(model);
    const QString progId = QLatin1String(fake::kProgId);
    const auto info = host.registry().addIn(progId);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->friendlyName + info->description, QLatin1String(fake::kFriendlyName) + QLatin1String(fake::kDescription));

    QSignalSpy connected(&host, &AddInHost::addInConnected), disconnected(&host, &AddInHost::addInDisconnected);
    ASSERT_TRUE(host.connectAddIn(progId, ConnectMode::AfterStartup, &error)) << error.toStdString();
    EXPECT_TRUE(host.isConnected(progId) && host.connection(progId));
    EXPECT_EQ(host.connectMode(progId), ConnectMode::AfterStartup);
    EXPECT_EQ(host.modulePath(progId), fakeAddInPath());
    EXPECT_EQ(connected.takeFirst(), (QVariantList{progId, 0}));
    EXPECT_EQ(log.linesOf(0), QStringList{QStringLiteral("OnConnection 0")});
    EXPECT_EQ(loader::canUnloadNow(fakeAddInPath()), false);
    // Its button is on the Add-Ins bar and its sink hears the clicks.
    const QList<ControlId> ids = model.controls(kAddInsBarName);
    ASSERT_EQ(ids.size(), 1);
    EXPECT_EQ(model.sinkCount(ids[0]), 1);
    ASSERT_TRUE(model.click(ids[0]));
    EXPECT_EQ(log.linesOf(0).last(), QStringLiteral("Click handled=0 caption=Fake Add-In 0"));
    EXPECT_FALSE(host.connectAddIn(progId, ConnectMode::AfterStartup, &error));
    EXPECT_EQ(error, QStringLiteral("The add-in 'Fake Add-In' is already loaded."));

    ASSERT_TRUE(host.disconnectAddIn(progId, DisconnectMode::UserClosed, &error));
    EXPECT_FALSE(host.isConnected(progId));
    EXPECT_EQ(disconnected.takeFirst(), (QVariantList{progId, 1}));
    EXPECT_EQ(log.linesOf(0).last(), QStringLiteral("OnDisconnection 1"));
    EXPECT_TRUE(model.controls(kAddInsBarName).isEmpty());
    EXPECT_EQ(loader::canUnloadNow(fakeAddInPath()), true) << "the host let go of the add-in's objects";
    EXPECT_FALSE(host.disconnectAddIn(progId, DisconnectMode::UserClosed, &error));
    EXPECT_EQ(log.lines().filter(QStringLiteral("Failed")), QStringList());

    ASSERT_TRUE(loader::unregisterServer(fakeAddInPath(), &error)) << error.toStdString();
    EXPECT_FALSE(host.connectAddIn(progId, ConnectMode::AfterStartup, &error));
    EXPECT_EQ(error, QStringLiteral("The add-in 'QuillboxTest.FakeAddIn' is not registered (there is no key "
                                    "Software\\Microsoft\\Visual Basic\\6.0\\Addins\\QuillboxTest.FakeAddIn)."));
}

TEST(HostAddIns, LoadFailuresAreReportedInPlainWords)
{
    qbx::test::FreshUserFolders folders;
    FakeLog log(folders.configHome());
    const QString missing = folders.configHome() + QStringLiteral("/nowhere/gone.so");
    const QString notModule = folders.configHome() + QStringLiteral("/notes.so");
    QFile file(notModule);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("this is not a module\n") > 0);
    file.close();
    const QString noExports = hosttest::noExportsPath(), fakePath = fakeAddInPath();
    const QString cannot = QStringLiteral("The add-in 'Broken' could not be loaded: ");
    const QString classKey = QStringLiteral("Software\\Classes\\CLSID\\") + fake::classId(4).toString();
    struct Case {
        const char *what;
        std::uint8_t tag;
        QString path;
        QString removedKey; // taken out of the registration
        QString expected;   // the whole message, or its start when it ends in the loader's words
        bool reachedConnection = false;
    };
    const Case cases[] = {
        {"missing file", 1, missing, {}, cannot + QStringLiteral("the file '%1' does not exist.").arg(missing)},
        {"not a module", 2, notModule, {},
         cannot + QStringLiteral("the file '%1' could not be loaded as a module (").arg(notModule)},
        {"no entry point", 3, noExports, {},
         cannot + QStringLiteral("the module '%1' has no entry point DllGetClassObject.").arg(noExports)},
        {"class not registered", 4, fakePath, QStringLiteral("Software\\Classes\\Broken.Connect"),
         cannot + QStringLiteral("its class is not registered (the key Software\\Classes\\Broken.Connect\\CLSID has "
                                 "no class id).")},
        {"no module registered", 4, fakePath, classKey + QStringLiteral("\\InprocServer32"),
         cannot + QStringLiteral("no module is registered for its class %1 (the key %2\\InprocServer32 has no path).")
                      .arg(fake::classId(4).toString(), classKey)},
        {"unknown class", fake::kUnknownClass, fakePath, {},
         cannot + QStringLiteral("the module '%1' does not provide the class %2 (error 0x80040111).")
                      .arg(fakePath, fake::classId(fake::kUnknownClass).toString())},
        {"factory fails", fake::kFactoryFails, fakePath, {},
         cannot + QStringLiteral("the class factory of '%1' could not create the add-in (error 0x8007000E).").arg(fakePath)},
        {"connection refused", fake::kConnectionFails, fakePath, {},
         QStringLiteral("The add-in 'Broken' failed to connect (error 0x80004005): The fake add-in refuses to connect."),
         true},
    };
    ObjectModel model;
    AddInHost host(model);
    const QString progId = QStringLiteral("Broken.Connect");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        registerFake(host.registry(), progId, c.tag, QStringLiteral("Broken"), 0, 0, QString(), c.path);
        if (!c.removedKey.isEmpty())
            host.registry().registry().removeKey(c.removedKey);
        QString error;
        EXPECT_FALSE(host.connectAddIn(progId, ConnectMode::AfterStartup, &error));
        EXPECT_TRUE(error == c.expected || (c.expected.endsWith(QLatin1Char('(')) && error.startsWith(c.expected)
                                            && error.endsWith(QStringLiteral(")."))))
            << error.toStdString();
        EXPECT_FALSE(host.isConnected(progId));
        EXPECT_EQ(log.linesOf(c.tag).size(), c.reachedConnection ? 1 : 0);
        host.registry().unregisterAddIn(progId);
    }
    EXPECT_TRUE(model.controls(kAddInsBarName).isEmpty());
    EXPECT_EQ(loader::canUnloadNow(fakeAddInPath()), true) << "a refused connection object was released";
    QString error;
    EXPECT_FALSE(loader::registerServer(noExports, &error));
    EXPECT_EQ(error, QStringLiteral("The module could not be registered: the module '%1' has no entry point "
                                    "DllRegisterServer.")
                         .arg(noExports));
}

TEST(HostAddIns, StartupConnectsByLoadBehaviourAndCommandLine)
{
    struct Row {
        std::uint8_t tag;
        int loadBehavior, commandLineSafe;
        int modeWithoutFlag, modeWithFlag; // -1: not connected
    };
    const Row rows[] = {
        {1, 0, 0, -1, -1}, {2, 1, 0, 1, -1}, {3, 2, 1, -1, -1}, {4, 4, 0, -1, -1},
        {5, 4, 1, -1, 3},  {6, 5, 1, 1, 3},  {7, 4, 2, -1, -1},
    };
    for (bool commandLine : {false, true}) {
        SCOPED_TRACE(commandLine ? "--command-line" : "plain start");
        qbx::test::FreshUserFolders folders;
        FakeLog log(folders.configHome());
        ObjectModel model;
        auto progId = [](const Row &row) { return QStringLiteral("Row%1.Connect").arg(row.tag); };
        {
            AddInHost host(model);
            for (const Row &row : rows)
                registerFake(host.registry(), progId(row), row.tag, progId(row), row.loadBehavior, row.commandLineSafe);
            EXPECT_TRUE(host.connectStartupAddIns(commandLine).empty());
            int connected = 0;
            for (const Row &row : rows) {
                SCOPED_TRACE(progId(row).toStdString());
                const int mode = commandLine ? row.modeWithFlag : row.modeWithoutFlag;
                EXPECT_EQ(host.connectMode(progId(row)), mode < 0 ? std::nullopt : std::optional(ConnectMode(mode)));
                EXPECT_EQ(log.linesOf(row.tag), mode < 0 ? QStringList()
                                                         : QStringList({QStringLiteral("OnConnection %1").arg(mode),
                                                                        QStringLiteral("OnStartupComplete")}));
                connected += mode >= 0;
            }
            EXPECT_EQ(model.controls(kAddInsBarName).size(), connected);
            log.clear();
        }
        // The host's end: every connected add-in hears of the shutdown, then is disconnected.
        for (const Row &row : rows) {
            const bool wasConnected = (commandLine ? row.modeWithFlag : row.modeWithoutFlag) >= 0;
            EXPECT_EQ(log.linesOf(row.tag), wasConnected ? QStringList({"OnBeginShutdown", "OnDisconnection 0"})
                                                         : QStringList())
                << int(row.tag);
        }
        EXPECT_TRUE(model.controls(kAddInsBarName).isEmpty());
    }
}

TEST(HostAddIns, ShutdownWarnsEveryoneFirstThenDisconnectsTheLastConnectedFirst)
{
    qbx::test::FreshUserFolders folders;
    FakeLog log(folders.configHome());
    ObjectModel model;
    AddInHost host(model);
    registerFake(host.registry(), QStringLiteral("First.Connect"), 1, QStringLiteral("First"));
    registerFake(host.registry(), QStringLiteral("Second.Connect"), 2, QStringLiteral("Second"));
    // Connected in the other order than the registry lists them.
    ASSERT_TRUE(host.connectAddIn(QStringLiteral("Second.Connect"), ConnectMode::AfterStartup));
    ASSERT_TRUE(host.connectAddIn(QStringLiteral("First.Connect"), ConnectMode::External));
    EXPECT_EQ(host.connectedAddIns(), (QStringList{QStringLiteral("Second.Connect"), QStringLiteral("First.Connect")}));
    log.clear();
    host.notifyAddInsUpdate();
    host.disconnectAll();
    EXPECT_EQ(log.lines(), (QStringList{"2 OnAddInsUpdate", "1 OnAddInsUpdate", "2 OnBeginShutdown", "1 OnBeginShutdown",
                                        "1 OnDisconnection 0", "2 OnDisconnection 0"}));
    EXPECT_TRUE(host.connectedAddIns().isEmpty() && model.controls(kAddInsBarName).isEmpty());
}
