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
    struct Case {
        QString text;
        bool valid;
    };
    const Case cases[] = {
        {QStringLiteral("{6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7E10}"), true},
        {QStringLiteral("{6f1b52c4-0d7a-4e43-9b1e-2c5d8a4f7e10}"), true},
        {QStringLiteral("6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7E10"), false},
        {QStringLiteral("{6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7E1}"), false},
        {QStringLiteral("{6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7E100}"), false},
        {QStringLiteral("{6F1B52C40-D7A-4E43-9B1E-2C5D8A4F7E10}"), false},
        {QStringLiteral("{6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7EG0}"), false},
        {QStringLiteral("{6F1B52C4-0D7A-4E43-9B1E+2C5D8A4F7E10}"), false},
        {QStringLiteral("(6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7E10)"), false},
        {QString(), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const auto parsed = parseGuid(c.text);
        ASSERT_EQ(parsed.has_value(), c.valid);
        if (c.valid) {
            EXPECT_EQ(*parsed, sample);
        }
    }
    // Every id the host writes reads back as itself, including the awkward bytes.
    for (const Guid &g : {Guid{}, fake::classId(0xF2), Guid{0xFFFFFFFF, 0xFFFF, 0x0001, {0, 0xFF, 1, 2, 3, 4, 5, 0xA0}}})
        EXPECT_EQ(parseGuid(g.toString()), g);
}

TEST(HostAddIns, RegistryListsAddInsAndResolvesTheirModules)
{
    qbx::test::FreshUserFolders folders;
    AddInRegistry registry;
    EXPECT_TRUE(registry.path().startsWith(folders.configHome()));
    EXPECT_TRUE(registry.addIns().isEmpty());

    registerFake(registry, QStringLiteral("Alpha.Connect"), 1, QStringLiteral("Alpha"), 5, 1,
                 QStringLiteral("Does alpha things."));
    // Written by hand, as another program's registration would be: every value there is.
    Registry &raw = registry.registry();
    const QString beta = kAddinsKey + QStringLiteral("\\Beta.Connect");
    raw.setValue(beta, QStringLiteral("FriendlyName"), QStringLiteral("Beta"));
    raw.setValue(beta, QStringLiteral("Description"), QStringLiteral("Does beta things."));
    raw.setValue(beta, QStringLiteral("LoadBehavior"), 3);
    raw.setValue(beta, QStringLiteral("SatelliteDllName"), QStringLiteral("beta-strings.so"));
    raw.setValue(beta, QStringLiteral("AdditionalRegistryKey"), QStringLiteral("Software\\Beta"));
    raw.setValue(beta, QStringLiteral("CommandLineSafe"), 0);
    raw.setValue(QStringLiteral("Software\\Classes\\Beta.Connect\\CLSID"), QString(),
                 QStringLiteral("{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}"));
    raw.setValue(QStringLiteral("Software\\Classes\\CLSID\\{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}\\InprocServer32"),
                 QString(), QStringLiteral("/opt/beta/beta.so"));
    // Only a ProgID, no values: listed under its ProgID.
    raw.setValue(kAddinsKey + QStringLiteral("\\Gamma.Connect"), QStringLiteral("LoadBehavior"), 0);
    ASSERT_TRUE(raw.sync());

    const QList<AddInInfo> list = registry.addIns();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].progId, QStringLiteral("Alpha.Connect"));
    EXPECT_EQ(list[0].displayName(), QStringLiteral("Alpha"));
    EXPECT_EQ(list[0].description, QStringLiteral("Does alpha things."));
    EXPECT_EQ(list[0].loadBehavior, 5);
    EXPECT_EQ(list[0].commandLineSafe, 1);
    EXPECT_TRUE(list[0].loadsOnStartup());
    EXPECT_TRUE(list[0].loadsFromCommandLine());
    const AddInInfo &b = list[1];
    EXPECT_EQ(b.progId, QStringLiteral("Beta.Connect"));
    EXPECT_EQ(b.friendlyName, QStringLiteral("Beta"));
    EXPECT_EQ(b.loadBehavior, 3);
    EXPECT_EQ(b.satelliteDllName, QStringLiteral("beta-strings.so"));
    EXPECT_EQ(b.additionalRegistryKey, QStringLiteral("Software\\Beta"));
    EXPECT_EQ(b.commandLineSafe, 0);
    EXPECT_TRUE(b.loadsOnStartup());
    EXPECT_FALSE(b.loadsFromCommandLine());
    EXPECT_EQ(list[2].displayName(), QStringLiteral("Gamma.Connect"));

    // ProgID -> class id -> module path, also for a lower-case id.
    QString error;
    EXPECT_EQ(registry.classIdOf(QStringLiteral("Alpha.Connect"), &error), fake::classId(1));
    EXPECT_EQ(registry.modulePathOf(fake::classId(1), &error), fakeAddInPath());
    const auto betaClass = registry.classIdOf(QStringLiteral("Beta.Connect"), &error);
    ASSERT_TRUE(betaClass);
    EXPECT_EQ(registry.modulePathOf(*betaClass, &error), QStringLiteral("/opt/beta/beta.so"));

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
    EXPECT_FALSE(registry.addIn(QStringLiteral("Alpha.Connect")));
    EXPECT_FALSE(registry.classIdOf(QStringLiteral("Alpha.Connect")));
    EXPECT_FALSE(registry.modulePathOf(fake::classId(1)));
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
    EXPECT_EQ(info->friendlyName, QLatin1String(fake::kFriendlyName));
    EXPECT_EQ(info->description, QLatin1String(fake::kDescription));
    EXPECT_EQ(host.registry().modulePathOf(*host.registry().classIdOf(progId)), fakeAddInPath());

    QSignalSpy connected(&host, &AddInHost::addInConnected);
    QSignalSpy disconnected(&host, &AddInHost::addInDisconnected);
    ASSERT_TRUE(host.connectAddIn(progId, ConnectMode::AfterStartup, &error)) << error.toStdString();
    EXPECT_TRUE(host.isConnected(progId));
    EXPECT_EQ(host.connectMode(progId), ConnectMode::AfterStartup);
    EXPECT_EQ(host.modulePath(progId), fakeAddInPath());
    EXPECT_TRUE(host.connection(progId));
    ASSERT_EQ(connected.size(), 1);
    EXPECT_EQ(connected[0][1].toInt(), 0);
    EXPECT_EQ(log.linesOf(0), QStringList{QStringLiteral("OnConnection 0")});
    EXPECT_EQ(loader::canUnloadNow(fakeAddInPath()), false);

    // Its button is on the Add-Ins bar and its sink hears the clicks.
    const QList<ControlId> ids = model.controls(kAddInsBarName);
    ASSERT_EQ(ids.size(), 1);
    EXPECT_EQ(model.caption(ids[0]), QStringLiteral("Fake Add-In 0"));
    EXPECT_EQ(model.sinkCount(ids[0]), 1);
    ASSERT_TRUE(model.click(ids[0]));
    EXPECT_EQ(log.linesOf(0).last(), QStringLiteral("Click handled=0 caption=Fake Add-In 0"));

    EXPECT_FALSE(host.connectAddIn(progId, ConnectMode::AfterStartup, &error));
    EXPECT_EQ(error, QStringLiteral("The add-in 'Fake Add-In' is already loaded."));

    ASSERT_TRUE(host.disconnectAddIn(progId, DisconnectMode::UserClosed, &error));
    EXPECT_FALSE(host.isConnected(progId));
    ASSERT_EQ(disconnected.size(), 1);
    EXPECT_EQ(disconnected[0][1].toInt(), 1);
    EXPECT_EQ(log.linesOf(0).last(), QStringLiteral("OnDisconnection 1"));
    EXPECT_TRUE(model.controls(kAddInsBarName).isEmpty());
    EXPECT_EQ(loader::canUnloadNow(fakeAddInPath()), true) << "the host let go of the add-in's objects";
    EXPECT_FALSE(host.disconnectAddIn(progId, DisconnectMode::UserClosed, &error));
    EXPECT_EQ(log.lines().filter(QStringLiteral("Failed")), QStringList());

    ASSERT_TRUE(loader::unregisterServer(fakeAddInPath(), &error)) << error.toStdString();
    EXPECT_FALSE(host.registry().addIn(progId));
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
    {
        QFile file(notModule);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("this is not a module\n");
    }
    const QString noExports = hosttest::noExportsPath();
    struct Case {
        const char *what;
        std::uint8_t tag;
        QString path;
        QString expected; // the whole message
        bool reachedConnection;
    };
    const Case cases[] = {
        {"missing file", 1, missing,
         QStringLiteral("The add-in 'Broken' could not be loaded: the file '%1' does not exist.").arg(missing), false},
        {"not a module", 2, notModule,
         QStringLiteral("The add-in 'Broken' could not be loaded: the file '%1' could not be loaded as a module (")
             .arg(notModule),
         false},
        {"no entry point", 3, noExports,
         QStringLiteral("The add-in 'Broken' could not be loaded: the module '%1' has no entry point DllGetClassObject.")
             .arg(noExports),
         false},
        {"unknown class", fake::kUnknownClass, fakeAddInPath(),
         QStringLiteral("The add-in 'Broken' could not be loaded: the module '%1' does not provide the class %2 (error "
                        "0x80040111).")
             .arg(fakeAddInPath(), fake::classId(fake::kUnknownClass).toString()),
         false},
        {"factory fails", fake::kFactoryFails, fakeAddInPath(),
         QStringLiteral("The add-in 'Broken' could not be loaded: the class factory of '%1' could not create the "
                        "add-in (error 0x8007000E).")
             .arg(fakeAddInPath()),
         false},
        {"connection refused", fake::kConnectionFails, fakeAddInPath(),
         QStringLiteral("The add-in 'Broken' failed to connect (error 0x80004005): The fake add-in refuses to connect."),
         true},
    };
    ObjectModel model;
    AddInHost host(model);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString progId = QStringLiteral("Broken.Connect");
        registerFake(host.registry(), progId, c.tag, QStringLiteral("Broken"), 0, 0, QString(), c.path);
        QString error;
        EXPECT_FALSE(host.connectAddIn(progId, ConnectMode::AfterStartup, &error));
        if (QLatin1String(c.what) == QLatin1String("not a module")) {
            EXPECT_TRUE(error.startsWith(c.expected) && error.endsWith(QStringLiteral(").")))
                << error.toStdString();
        } else {
            EXPECT_EQ(error, c.expected);
        }
        EXPECT_FALSE(host.isConnected(progId));
        EXPECT_EQ(log.linesOf(c.tag).size(), c.reachedConnection ? 1 : 0);
        host.registry().unregisterAddIn(progId);
    }
    EXPECT_TRUE(model.controls(kAddInsBarName).isEmpty());
    EXPECT_EQ(loader::canUnloadNow(fakeAddInPath()), true) << "a refused connection object was released";

    // The class resolves, but its registration is incomplete.
    Registry &raw = host.registry().registry();
    raw.setValue(kAddinsKey + QStringLiteral("\\Half.Connect"), QStringLiteral("FriendlyName"), QStringLiteral("Half"));
    QString error;
    EXPECT_FALSE(host.connectAddIn(QStringLiteral("Half.Connect"), ConnectMode::Startup, &error));
    EXPECT_EQ(error, QStringLiteral("The add-in 'Half' could not be loaded: its class is not registered (the key "
                                    "Software\\Classes\\Half.Connect\\CLSID has no class id)."));
    raw.setValue(QStringLiteral("Software\\Classes\\Half.Connect\\CLSID"), QString(), fake::classId(4).toString());
    EXPECT_FALSE(host.connectAddIn(QStringLiteral("Half.Connect"), ConnectMode::Startup, &error));
    EXPECT_EQ(error, QStringLiteral("The add-in 'Half' could not be loaded: no module is registered for its class %1 "
                                    "(the key Software\\Classes\\CLSID\\%1\\InprocServer32 has no path).")
                         .arg(fake::classId(4).toString()));

    EXPECT_FALSE(loader::registerServer(noExports, &error));
    EXPECT_EQ(error, QStringLiteral("The module could not be registered: the module '%1' has no entry point "
                                    "DllRegisterServer.")
                         .arg(noExports));
}

TEST(HostAddIns, StartupConnectsByLoadBehaviourAndCommandLine)
{
    struct Row {
        std::uint8_t tag;
        int loadBehavior;
        int commandLineSafe;
        int modeWithoutFlag; // -1: not connected
        int modeWithFlag;
    };
    const Row rows[] = {
        {1, 0, 0, -1, -1}, {2, 1, 0, 1, -1}, {3, 1, 1, 1, -1}, {4, 2, 1, -1, -1}, {5, 3, 0, 1, -1},
        {6, 4, 0, -1, -1}, {7, 4, 1, -1, 3}, {8, 5, 1, 1, 3},   {9, 5, 0, 1, -1}, {10, 4, 2, -1, -1},
        {11, 7, 1, 1, 3},
    };
    for (bool commandLine : {false, true}) {
        SCOPED_TRACE(commandLine ? "--command-line" : "plain start");
        qbx::test::FreshUserFolders folders;
        FakeLog log(folders.configHome());
        ObjectModel model;
        {
            AddInHost host(model);
            for (const Row &row : rows)
                registerFake(host.registry(), QStringLiteral("Row%1.Connect").arg(row.tag, 2, 10, QLatin1Char('0')),
                             row.tag, QStringLiteral("Row %1").arg(row.tag), row.loadBehavior, row.commandLineSafe);
            const auto failures = host.connectStartupAddIns(commandLine);
            EXPECT_TRUE(failures.empty());

            int expectedControls = 0;
            for (const Row &row : rows) {
                SCOPED_TRACE(QStringLiteral("LoadBehavior %1, CommandLineSafe %2")
                                 .arg(row.loadBehavior)
                                 .arg(row.commandLineSafe)
                                 .toStdString());
                const QString progId = QStringLiteral("Row%1.Connect").arg(row.tag, 2, 10, QLatin1Char('0'));
                const int mode = commandLine ? row.modeWithFlag : row.modeWithoutFlag;
                EXPECT_EQ(host.isConnected(progId), mode >= 0);
                if (mode < 0) {
                    EXPECT_TRUE(log.linesOf(row.tag).isEmpty());
                    continue;
                }
                ++expectedControls;
                EXPECT_EQ(host.connectMode(progId), static_cast<ConnectMode>(mode));
                EXPECT_EQ(log.linesOf(row.tag),
                          (QStringList{QStringLiteral("OnConnection %1").arg(mode), QStringLiteral("OnStartupComplete")}));
            }
            EXPECT_EQ(model.controls(kAddInsBarName).size(), expectedControls);
            log.clear();
        }
        // The host's end: every connected add-in hears of the shutdown, then is disconnected.
        for (const Row &row : rows) {
            const int mode = commandLine ? row.modeWithFlag : row.modeWithoutFlag;
            const QStringList expected = mode >= 0 ? QStringList{QStringLiteral("OnBeginShutdown"),
                                                                 QStringLiteral("OnDisconnection 0")}
                                                   : QStringList();
            EXPECT_EQ(log.linesOf(row.tag), expected) << int(row.tag);
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
    EXPECT_EQ(log.lines(), (QStringList{QStringLiteral("2 OnAddInsUpdate"), QStringLiteral("1 OnAddInsUpdate")}));
    log.clear();
    host.disconnectAll();
    EXPECT_EQ(log.lines(), (QStringList{QStringLiteral("2 OnBeginShutdown"), QStringLiteral("1 OnBeginShutdown"),
                                        QStringLiteral("1 OnDisconnection 0"), QStringLiteral("2 OnDisconnection 0")}));
    EXPECT_TRUE(host.connectedAddIns().isEmpty());
    EXPECT_TRUE(model.controls(kAddInsBarName).isEmpty());
}

TEST(HostAddIns, AnAddInCopesWithAHostWithoutAnAddInsBar)
{
    qbx::test::FreshUserFolders folders;
    FakeLog log(folders.configHome());
    ObjectModel model(ObjectModelOptions{false, QStringLiteral("6.00")});
    AddInHost host(model);
    registerFake(host.registry(), QStringLiteral("Lonely.Connect"), 5, QStringLiteral("Lonely"), 1);
    EXPECT_TRUE(host.connectStartupAddIns(false).empty());
    EXPECT_TRUE(host.isConnected(QStringLiteral("Lonely.Connect")));
    EXPECT_EQ(log.linesOf(5),
              (QStringList{QStringLiteral("OnConnection 1"),
                           QStringLiteral("Failed Item: Invalid procedure call or argument: there is no command bar "
                                          "named 'Add-Ins'."),
                           QStringLiteral("OnStartupComplete")}));
}
