// The add-in module as a host meets it: loaded from its file, its entry points, its class
// factory, and whether it may be unloaded.

#include "addin/connectinterface.h"
#include "support/testsupport.h"

#include <QLibrary>
#include <QProcess>

#include <gtest/gtest.h>

using namespace qbx;

namespace {

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
    QLibrary library(modulePath());
    const auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(library.resolve("DllGetClassObject"));
    const auto canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(library.resolve("DllCanUnloadNow"));
    ASSERT_TRUE(getClassObject && canUnloadNow) << library.errorString().toStdString();
    void *object = reinterpret_cast<void *>(0x1);
    const Guid other{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(getClassObject(&other, &IClassFactory::IID, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(canUnloadNow(), S_OK);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(&quillbox::kConnectClassId, &IClassFactory::IID, factory.putVoid()), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "the factory lives";
    ComPtr<IDTExtensibility2> aggregated;
    EXPECT_EQ(factory->CreateInstance(factory.get(), IDTExtensibility2::IID, aggregated.putVoid()),
              CLASS_E_NOAGGREGATION);
    ComPtr<quillbox::_Connect> connect;
    ASSERT_EQ(factory->CreateInstance(nullptr, quillbox::_Connect::IID, connect.putVoid()), S_OK);
    // One object, several faces.
    EXPECT_EQ(connect.as<IDTExtensibility2>().as<IUnknown>().get(), connect.as<IUnknown>().get());
    factory->LockServer(true);
    factory = nullptr;
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "Connect lives";
    connect = nullptr;
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "the server is locked";
    ASSERT_EQ(getClassObject(&quillbox::kConnectClassId, &IClassFactory::IID, factory.putVoid()), S_OK);
    factory->LockServer(false);
    factory = nullptr;
    EXPECT_EQ(canUnloadNow(), S_OK);
}
