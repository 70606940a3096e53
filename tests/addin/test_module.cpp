// The add-in module as a host meets it: loaded from its file, asked for its class factory,
// registered and unregistered, asked whether it may be unloaded, and read for its version.

#include "connectinterface.h"
#include "hostobjectmodel.h"
#include "qbx/registry.h"
#include "testsupport.h"
#include "versioninfo.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLibrary>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QTest>

#include <gtest/gtest.h>

using namespace qbx;

namespace {

QString modulePath()
{
    return QFileInfo(qbx::test::binDir() + QStringLiteral("/quillbox-addin.so")).absoluteFilePath();
}

struct Module {
    QLibrary library{modulePath()};
    DllGetClassObjectFn getClassObject = nullptr;
    DllCanUnloadNowFn canUnloadNow = nullptr;
    DllRegisterServerFn registerServer = nullptr;
    DllUnregisterServerFn unregisterServer = nullptr;
    Module()
    {
        EXPECT_TRUE(library.load()) << library.errorString().toStdString();
        getClassObject = reinterpret_cast<DllGetClassObjectFn>(library.resolve("DllGetClassObject"));
        canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(library.resolve("DllCanUnloadNow"));
        registerServer = reinterpret_cast<DllRegisterServerFn>(library.resolve("DllRegisterServer"));
        unregisterServer = reinterpret_cast<DllUnregisterServerFn>(library.resolve("DllUnregisterServer"));
    }
    ComPtr<IClassFactory> factory()
    {
        ComPtr<IClassFactory> f;
        EXPECT_EQ(getClassObject(&quillbox::kConnectClassId, &IClassFactory::IID, f.putVoid()), S_OK);
        return f;
    }
};

} // namespace

TEST(Module, ExportsTheFourEntryPointsAndNothingElse)
{
    QProcess nm;
    nm.start(QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--defined-only"), modulePath()});
    ASSERT_TRUE(nm.waitForFinished(30000));
    QStringList names;
    for (const QString &line : QString::fromUtf8(nm.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() == 3 && fields[1] != QLatin1String("A"))
            names << fields[2];
    }
    names.sort();
    EXPECT_EQ(names, QStringList({QStringLiteral("DllCanUnloadNow"), QStringLiteral("DllGetClassObject"),
                                  QStringLiteral("DllRegisterServer"), QStringLiteral("DllUnregisterServer")}));
    Module m;
    EXPECT_NE(m.getClassObject, nullptr);
    EXPECT_NE(m.canUnloadNow, nullptr);
    EXPECT_NE(m.registerServer, nullptr);
    EXPECT_NE(m.unregisterServer, nullptr);
}

TEST(Module, ClassFactoryServesOnlyConnect)
{
    Module m;
    void *object = reinterpret_cast<void *>(0x1);
    const Guid other{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(m.getClassObject(&other, &IClassFactory::IID, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(m.getClassObject(&quillbox::kConnectClassId, &other, &object), E_NOINTERFACE);
    EXPECT_EQ(m.getClassObject(nullptr, &IClassFactory::IID, &object), E_POINTER);

    auto factory = m.factory();
    ASSERT_TRUE(factory);
    ComPtr<IUnknown> outer = factory.as<IUnknown>();
    ComPtr<IDTExtensibility2> aggregated;
    EXPECT_EQ(factory->CreateInstance(outer.get(), IDTExtensibility2::IID, aggregated.putVoid()), CLASS_E_NOAGGREGATION);
    ComPtr<quillbox::_Connect> connect;
    ASSERT_EQ(factory->CreateInstance(nullptr, quillbox::_Connect::IID, connect.putVoid()), S_OK);
    // One object, several faces.
    auto extensibility = connect.as<IDTExtensibility2>();
    ASSERT_TRUE(extensibility);
    EXPECT_EQ(extensibility.as<IUnknown>().get(), connect.as<IUnknown>().get());
    EXPECT_FALSE(connect.as<IClassFactory>());
}

TEST(Module, MayBeUnloadedOnlyWhenNoObjectAndNoLockLives)
{
    Module m;
    ASSERT_EQ(m.canUnloadNow(), S_OK);
    auto factory = m.factory();
    EXPECT_EQ(m.canUnloadNow(), S_FALSE) << "the factory lives";
    ComPtr<quillbox::_Connect> connect;
    ASSERT_EQ(factory->CreateInstance(nullptr, quillbox::_Connect::IID, connect.putVoid()), S_OK);
    factory->LockServer(true);
    factory = nullptr;
    EXPECT_EQ(m.canUnloadNow(), S_FALSE) << "Connect lives";
    connect = nullptr;
    EXPECT_EQ(m.canUnloadNow(), S_FALSE) << "the server is locked";
    factory = m.factory();
    factory->LockServer(false);
    factory = nullptr;
    EXPECT_EQ(m.canUnloadNow(), S_OK);
}

TEST(Module, SelfRegistrationEntersTheClassAndTheHostRecord)
{
    qbx::test::FreshUserFolders folders;
    Module m;
    ASSERT_EQ(m.registerServer(), S_OK);
    Registry registry;
    const QString clsid = quillbox::kConnectClassId.toString();
    const QString classes = QStringLiteral("Software\\Classes");
    struct Value {
        QString key, name;
        QVariant expected;
    };
    const QString addin = QStringLiteral("Software\\Microsoft\\Visual Basic\\6.0\\Addins\\Quillbox.Connect");
    const Value values[] = {
        {classes + QStringLiteral("\\CLSID\\") + clsid + QStringLiteral("\\InprocServer32"), {}, modulePath()},
        {classes + QStringLiteral("\\CLSID\\") + clsid + QStringLiteral("\\ProgID"), {}, QStringLiteral("Quillbox.Connect")},
        {classes + QStringLiteral("\\Quillbox.Connect\\CLSID"), {}, clsid},
        {classes + QStringLiteral("\\TypeLib\\") + quillbox::kTypeLibId.toString() + QStringLiteral("\\1.0"),
         QStringLiteral("Name"), QStringLiteral("Quillbox")},
        {classes + QStringLiteral("\\TypeLib\\") + quillbox::kTypeLibId.toString() + QStringLiteral("\\1.0"), {},
         QStringLiteral("An Addin to generate codes")},
        {classes + QStringLiteral("\\Interface\\") + quillbox::kConnectInterfaceId.toString(), {},
         QStringLiteral("_Connect")},
        {addin, QStringLiteral("FriendlyName"), QStringLiteral("Quillbox Ver 1.0")},
        {addin, QStringLiteral("Description"),
         QStringLiteral("This Addin saves Time by creating codes for common usage.")},
        {addin, QStringLiteral("LoadBehavior"), 5},
        {addin, QStringLiteral("SatelliteDllName"), QString()},
        {addin, QStringLiteral("AdditionalRegistryKey"), QString()},
        {addin, QStringLiteral("CommandLineSafe"), 1},
    };
    for (const Value &v : values) {
        SCOPED_TRACE((v.key + QLatin1Char(':') + v.name).toStdString());
        ASSERT_TRUE(registry.contains(v.key, v.name));
        EXPECT_EQ(registry.value(v.key, v.name).toString(), v.expected.toString());
    }

    ASSERT_EQ(m.unregisterServer(), S_OK);
    Registry after;
    for (const Value &v : values)
        EXPECT_FALSE(after.contains(v.key, v.name)) << v.key.toStdString();
    EXPECT_TRUE(after.subkeys(QStringLiteral("Software\\Microsoft\\Visual Basic\\6.0\\Addins")).isEmpty());
}

TEST(Module, RegistrationLeavesOtherAddInsAlone)
{
    qbx::test::FreshUserFolders folders;
    {
        Registry registry;
        registry.setValue(QStringLiteral("Software\\Microsoft\\Visual Basic\\6.0\\Addins\\Other.Connect"),
                          QStringLiteral("FriendlyName"), QStringLiteral("Other"));
        ASSERT_TRUE(registry.sync());
    }
    Module m;
    ASSERT_EQ(m.registerServer(), S_OK);
    ASSERT_EQ(m.unregisterServer(), S_OK);
    Registry registry;
    EXPECT_EQ(registry.value(QStringLiteral("Software\\Microsoft\\Visual Basic\\6.0\\Addins\\Other.Connect"),
                             QStringLiteral("FriendlyName")),
              QVariant(QStringLiteral("Other")));
}

TEST(Module, CarriesItsVersionInformation)
{
    QString error;
    const auto info = quillbox::version::readVersionInfo(modulePath(), &error);
    EXPECT_EQ(info.value(QStringLiteral("ProductName")), QStringLiteral("Quillbox"));
    EXPECT_EQ(info.value(QStringLiteral("InternalName")), QStringLiteral("Quillbox Ver 1.0"));
    EXPECT_EQ(info.value(QStringLiteral("FileVersion")), QStringLiteral("1.00"));
    EXPECT_EQ(info.value(QStringLiteral("ProductVersion")), QStringLiteral("1.00"));
    EXPECT_TRUE(error.isEmpty());
    // A file without the section says so.
    const auto none = quillbox::version::readVersionInfo(QCoreApplication::applicationFilePath(), &error);
    EXPECT_TRUE(none.isEmpty());
    EXPECT_TRUE(error.contains(QStringLiteral("no version information")));
    quillbox::version::readVersionInfo(QStringLiteral("/no/such/module.so"), &error);
    EXPECT_TRUE(error.contains(QStringLiteral("could not be read")));
}

TEST(Module, ConnectionFailureIsShownInARealMessageBox)
{
    qbx::test::FreshUserFolders folders;
    Module m;
    auto factory = m.factory();
    ComPtr<IDTExtensibility2> connect;
    ASSERT_EQ(factory->CreateInstance(nullptr, IDTExtensibility2::IID, connect.putVoid()), S_OK);
    qbx::host::ObjectModel host(qbx::host::ObjectModelOptions{false});

    QString title, text;
    bool hadIcon = true;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        hadIcon = box->icon() != QMessageBox::NoIcon;
        for (QAbstractButton *b : box->buttons())
            buttons << b->text().remove(QLatin1Char('&'));
        QTest::keyClick(box, Qt::Key_Return);
    });
    QVariantList custom;
    EXPECT_EQ(connect->OnConnection(host.application(), ConnectMode::AfterStartup, nullptr, custom), S_OK);
    EXPECT_EQ(title, QStringLiteral("Quillbox"));
    EXPECT_FALSE(text.isEmpty());
    EXPECT_FALSE(hadIcon);
    EXPECT_EQ(buttons, QStringList{QStringLiteral("OK")});
    connect->OnDisconnection(DisconnectMode::HostShutdown, custom);
}
