// The real add-in module as a host meets it: its exported entry points, its class factory
// and whether it may be unloaded, and what its own registration writes. The host's tests
// run it in the host: started, chosen from the Add-Ins menu, disconnected and let go.

#include "addin/connectinterface.h"
#include "host/hostaddins.h"
#include "support/testsupport.h"

#include <QLibrary>
#include <QProcess>

#include <gtest/gtest.h>

using namespace quillbox::host;

namespace {

const QString kProgId = QStringLiteral("Quillbox.Connect");

QString modulePath()
{
    return qbx::test::binDir() + QStringLiteral("/quillbox-addin.so");
}

} // namespace

TEST(Module, ExportsTheFourEntryPointsAndNothingElse)
{
    QProcess nm;
    nm.start(QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--defined-only"), modulePath()});
    ASSERT_TRUE(nm.waitForFinished(30000) && nm.exitCode() == 0) << nm.readAllStandardError().toStdString();
    QStringList names;
    for (const QString &line : QString::fromUtf8(nm.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(' ', Qt::SkipEmptyParts);
        if (fields.size() == 3 && fields[1] != QLatin1String("A"))
            names << fields[2];
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"}));
}

TEST(Module, ServesOnlyConnectAndMayBeUnloadedOnlyWhenNothingLivesOrLocksIt)
{
    const auto getClassObject =
        reinterpret_cast<DllGetClassObjectFn>(QLibrary::resolve(modulePath(), "DllGetClassObject"));
    ASSERT_TRUE(getClassObject);
    const auto unloadable = [] { return loader::canUnloadNow(modulePath()); };
    void *object = reinterpret_cast<void *>(0x1);
    const Guid other{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(getClassObject(&other, &IClassFactory::IID, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(&quillbox::addin::kConnectClassId, &IClassFactory::IID, factory.putVoid()), S_OK);
    ComPtr<quillbox::addin::_Connect> connect;
    ASSERT_EQ(factory->CreateInstance(nullptr, quillbox::addin::_Connect::IID, connect.putVoid()), S_OK);
    factory->LockServer(true);
    factory = nullptr;
    EXPECT_EQ(unloadable(), false) << "Connect lives";
    connect = nullptr;
    EXPECT_EQ(unloadable(), false) << "the server is locked";
    ASSERT_EQ(getClassObject(&quillbox::addin::kConnectClassId, &IClassFactory::IID, factory.putVoid()), S_OK);
    factory->LockServer(false);
    factory = nullptr;
    EXPECT_EQ(unloadable(), true);
}

TEST(AddInInHost, RegistersItselfAsTheHostExpectsAndUnregistersOnlyItself)
{
    qbx::test::FreshUserFolders folders;
    AddInRegistry().registry().setValue(kAddinsKey + "\\Other.Connect", QStringLiteral("LoadBehavior"), 1);
    QString error;
    ASSERT_TRUE(loader::registerServer(modulePath(), &error)) << error.toStdString();
    const auto info = AddInRegistry().addIn(kProgId);
    ASSERT_TRUE(info);
    // Its name and description are checked where the user sees them, in the host's Add-In Manager.
    EXPECT_EQ(std::pair(info->loadBehavior, info->commandLineSafe), std::pair(5, 1));

    ASSERT_TRUE(loader::unregisterServer(modulePath(), &error)) << error.toStdString();
    const QList<AddInInfo> left = AddInRegistry().addIns();
    EXPECT_TRUE(left.size() == 1 && left[0].progId == "Other.Connect" && !AddInRegistry().classIdOf(kProgId));
}
