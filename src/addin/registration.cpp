#include "addin/registration.h"

#include "addin/connectinterface.h"

namespace quillbox::addin::registration {

namespace {
const QString kClasses = QStringLiteral("Software\\Classes");
const QString kProgIdText = QString::fromLatin1(kProgId);
} // namespace

HostRecord hostRecord()
{
    return HostRecord{
        QStringLiteral("HKEY_CURRENT_USER\\") + host::kHostRegistryRoot,
        QStringLiteral("Quillbox Ver 1.0"),
        QStringLiteral("This Addin saves Time by creating codes for common usage."),
        5,
        QString(),
        QString(),
        1,
    };
}

QString classKey()
{
    return kClasses + QStringLiteral("\\CLSID\\") + kConnectClassId.toString();
}

QString progIdKey()
{
    return kClasses + QLatin1Char('\\') + kProgIdText;
}

QString typeLibKey()
{
    return kClasses + QStringLiteral("\\TypeLib\\") + kTypeLibId.toString();
}

QString interfaceKey()
{
    return kClasses + QStringLiteral("\\Interface\\") + kConnectInterfaceId.toString();
}

QString addInKey()
{
    return host::kAddinsKey + QLatin1Char('\\') + kProgIdText;
}

bool registerServer(host::Registry &registry, const QString &modulePath)
{
    const QString clsid = kConnectClassId.toString();
    const QString libid = kTypeLibId.toString();

    registry.setValue(classKey(), QString(), kProgIdText);
    registry.setValue(classKey() + QStringLiteral("\\InprocServer32"), QString(), modulePath);
    registry.setValue(classKey() + QStringLiteral("\\InprocServer32"), QStringLiteral("ThreadingModel"),
                      QStringLiteral("Apartment"));
    registry.setValue(classKey() + QStringLiteral("\\ProgID"), QString(), kProgIdText);
    registry.setValue(classKey() + QStringLiteral("\\TypeLib"), QString(), libid);
    registry.setValue(classKey() + QStringLiteral("\\VERSION"), QString(), kTypeLibVersion);

    registry.setValue(progIdKey(), QString(), QStringLiteral("Connect"));
    registry.setValue(progIdKey() + QStringLiteral("\\CLSID"), QString(), clsid);

    const QString version = typeLibKey() + QLatin1Char('\\') + kTypeLibVersion;
    registry.setValue(version, QString(), kTypeLibHelpString);
    registry.setValue(version, QStringLiteral("Name"), kTypeLibName);
    registry.setValue(version + QLatin1Char('\\') + QString::number(kTypeLibLocale, 16) + QStringLiteral("\\linux64"),
                      QString(), modulePath);

    registry.setValue(interfaceKey(), QString(), QStringLiteral("_Connect"));
    registry.setValue(interfaceKey() + QStringLiteral("\\TypeLib"), QString(), libid);
    registry.setValue(interfaceKey() + QStringLiteral("\\TypeLib"), QStringLiteral("Version"), kTypeLibVersion);

    const HostRecord record = hostRecord();
    registry.setValue(addInKey(), QStringLiteral("FriendlyName"), record.displayName);
    registry.setValue(addInKey(), QStringLiteral("Description"), record.description);
    registry.setValue(addInKey(), QStringLiteral("LoadBehavior"), record.loadBehavior);
    registry.setValue(addInKey(), QStringLiteral("SatelliteDllName"), record.satelliteDll);
    registry.setValue(addInKey(), QStringLiteral("AdditionalRegistryKey"), record.additionalRegistryKey);
    registry.setValue(addInKey(), QStringLiteral("CommandLineSafe"), record.commandLineSafe);
    return registry.sync();
}

bool unregisterServer(host::Registry &registry)
{
    registry.removeKey(classKey());
    registry.removeKey(progIdKey());
    registry.removeKey(typeLibKey());
    registry.removeKey(interfaceKey());
    registry.removeKey(addInKey());
    return registry.sync();
}

} // namespace quillbox::addin::registration
