#pragma once
// What self-registration enters in the host's registry: the class with its module, its
// ProgID and type library, and the add-in's record in the host's list of add-ins.

#include "host/registry.h"

namespace quillbox::addin::registration {

// The host's list of add-ins, one record, the fields in this order.
struct HostRecord {
    QString registryRoot;
    QString displayName;
    QString description;
    int loadBehavior;
    QString satelliteDll;
    QString additionalRegistryKey;
    int commandLineSafe;
};
HostRecord hostRecord();

inline const QString kTypeLibName = QStringLiteral("Quillbox");
inline const QString kTypeLibVersion = QStringLiteral("1.0");
inline const QString kTypeLibHelpString = QStringLiteral("An Addin to generate codes");
inline constexpr int kTypeLibLocale = 0x409;

// The keys, as paths in the registry.
QString classKey();     // Software\Classes\CLSID\{class id}
QString progIdKey();    // Software\Classes\Quillbox.Connect
QString typeLibKey();   // Software\Classes\TypeLib\{type library id}
QString interfaceKey(); // Software\Classes\Interface\{interface id}
QString addInKey();     // <host root>\Addins\Quillbox.Connect

// Enters everything, with modulePath as the server of the class. False when the registry
// could not be written.
bool registerServer(host::Registry &registry, const QString &modulePath);
// Removes everything registerServer entered.
bool unregisterServer(host::Registry &registry);

} // namespace quillbox::addin::registration
