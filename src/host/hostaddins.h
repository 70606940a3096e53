#pragma once
// The host's add-ins: their registration in the registry, loading a module the way an
// in-process server is loaded, and the connections the host keeps with the add-ins it has
// loaded.
//
// Registration, per add-in (ProgID "Some.Connect"):
//   <kAddinsKey>\Some.Connect                  FriendlyName, Description, LoadBehavior (int),
//                                              SatelliteDllName, AdditionalRegistryKey,
//                                              CommandLineSafe (int)
//   Software\Classes\Some.Connect\CLSID        (default) = "{class id}"
//   Software\Classes\CLSID\{class id}\InprocServer32   (default) = module path

#include "host/hostobjectmodel.h"
#include "host/registry.h"

#include <QObject>

#include <optional>
#include <vector>

namespace quillbox::host {

// The bits of LoadBehavior.
namespace LoadBehavior {
inline constexpr int Startup = 0x1;     // connected while the host starts
inline constexpr int CommandLine = 0x4; // connected when the host is started with --command-line
} // namespace LoadBehavior

struct AddInInfo {
    QString progId;
    QString friendlyName;
    QString description;
    int loadBehavior = 0;
    QString satelliteDllName;
    QString additionalRegistryKey;
    int commandLineSafe = 0;

    // What the Add-In Manager lists: the friendly name, or the ProgID without one.
    QString displayName() const { return friendlyName.isEmpty() ? progId : friendlyName; }
    bool loadsOnStartup() const { return (loadBehavior & LoadBehavior::Startup) != 0; }
    // Bit 4 set and declared safe for the command line.
    bool loadsFromCommandLine() const
    {
        return (loadBehavior & LoadBehavior::CommandLine) != 0 && commandLineSafe == 1;
    }
};

// Everything registerAddIn writes.
struct AddInRegistration {
    QString progId;
    Guid classId;
    QString modulePath;
    QString friendlyName;
    QString description;
    int loadBehavior = 0;
    int commandLineSafe = 0;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (either case) back into a class id.
std::optional<Guid> parseGuid(QStringView text);

class AddInRegistry {
public:
    explicit AddInRegistry(const QString &path = Registry::defaultPath());

    QString path() const { return m_registry.path(); }
    Registry &registry() { return m_registry; }

    // The add-ins registered under kAddinsKey, in the registry's order of keys.
    QList<AddInInfo> addIns() const;
    std::optional<AddInInfo> addIn(const QString &progId) const;

    // ProgID -> class id -> module path. Each fails with a plain-words reason.
    std::optional<Guid> classIdOf(const QString &progId, QString *error = nullptr) const;
    std::optional<QString> modulePathOf(const Guid &classId, QString *error = nullptr) const;

    // Writes LoadBehavior; false (with the reason) when the add-in is not registered or
    // the registry cannot be written.
    bool setLoadBehavior(const QString &progId, int loadBehavior, QString *error = nullptr);

    // Writes the three keys above in one go (what a module's DllRegisterServer does).
    bool registerAddIn(const AddInRegistration &registration, QString *error = nullptr);
    // Removes them again.
    bool unregisterAddIn(const QString &progId, QString *error = nullptr);

private:
    mutable Registry m_registry;
};

// Loading a module as a host does. Every failure names the module's path.
namespace loader {
// DllGetClassObject(classId, IClassFactory), then CreateInstance(IDTExtensibility2). The
// module stays loaded for good.
ComPtr<IDTExtensibility2> createAddIn(const QString &modulePath, const Guid &classId, QString *error = nullptr);
// Calls the module's DllRegisterServer / DllUnregisterServer.
bool registerServer(const QString &modulePath, QString *error = nullptr);
bool unregisterServer(const QString &modulePath, QString *error = nullptr);
// Asks the module's DllCanUnloadNow: true when it has no live objects. Nothing when the
// module or the entry point cannot be found.
std::optional<bool> canUnloadNow(const QString &modulePath, QString *error = nullptr);
} // namespace loader

// The add-ins connected to one host object model.
class AddInHost : public QObject {
    Q_OBJECT

public:
    explicit AddInHost(ObjectModel &model, const QString &registryPath = Registry::defaultPath(),
                       QObject *parent = nullptr);
    // Disconnects whatever is still connected, as at the end of the host's run.
    ~AddInHost() override;

    ObjectModel &model() const { return m_model; }
    AddInRegistry &registry() { return m_registry; }

    // Resolves the add-in through the registry, loads its module, creates its connection
    // object and calls OnConnection(host object, mode, nullptr, {}). False with the reason
    // in plain words when any step fails (nothing stays connected then).
    bool connectAddIn(const QString &progId, ConnectMode mode, QString *error = nullptr);
    // OnDisconnection(mode, {}) and the host's reference released. False when the add-in
    // is not connected, or (with its reason) when OnDisconnection failed; it is
    // disconnected either way.
    bool disconnectAddIn(const QString &progId, DisconnectMode mode, QString *error = nullptr);

    bool isConnected(const QString &progId) const;
    std::optional<ConnectMode> connectMode(const QString &progId) const;
    // In the order they were connected.
    QStringList connectedAddIns() const;
    // The connection object of a connected add-in (query it for the add-in's own interface).
    ComPtr<IDTExtensibility2> connection(const QString &progId) const;
    // The module a connected add-in was loaded from.
    QString modulePath(const QString &progId) const;

    struct Failure {
        QString progId;
        QString message;
    };
    // At start-up: every add-in with LoadBehavior bit 1, mode Startup; or with
    // commandLine, every one with bit 4 and CommandLineSafe=1, mode CommandLine. Then
    // OnStartupComplete to each of them. Returns the ones that failed.
    std::vector<Failure> connectStartupAddIns(bool commandLine);

    // OnAddInsUpdate to every connected add-in (after the Add-In Manager changed the set).
    void notifyAddInsUpdate();

    // At the end of the host's run: OnBeginShutdown to every connected add-in, then each is
    // disconnected with HostShutdown, the last connected first.
    void disconnectAll();

Q_SIGNALS:
    void addInConnected(const QString &progId, int mode);
    void addInDisconnected(const QString &progId, int mode);

private:
    struct Connection {
        QString progId;
        ConnectMode mode;
        QString modulePath;
        ComPtr<IDTExtensibility2> addIn;
    };
    const Connection *find(const QString &progId) const;

    ObjectModel &m_model;
    AddInRegistry m_registry;
    std::vector<Connection> m_connections;
};

} // namespace quillbox::host
