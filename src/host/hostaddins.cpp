#include "host/hostaddins.h"

#include <QFileInfo>
#include <QLibrary>

#include <algorithm>

namespace quillbox::host {

namespace {

const QString kClassesKey = QStringLiteral("Software\\Classes");

QString addInKey(const QString &progId)
{
    return kAddinsKey + QLatin1Char('\\') + progId;
}
QString progIdClassKey(const QString &progId)
{
    return kClassesKey + QLatin1Char('\\') + progId + QStringLiteral("\\CLSID");
}
QString classKey(const Guid &classId)
{
    return kClassesKey + QStringLiteral("\\CLSID\\") + classId.toString();
}
QString serverKey(const Guid &classId)
{
    return classKey(classId) + QStringLiteral("\\InprocServer32");
}

QString hex(HResult hr)
{
    return QStringLiteral("0x")
           + QString::number(static_cast<quint32>(hr), 16).rightJustified(8, QLatin1Char('0')).toUpper();
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Loads the module and finds one of its entry points; the module is never unloaded.
QFunctionPointer entryPoint(const QString &modulePath, const char *name, QString *error)
{
    if (!QFileInfo(modulePath).isFile()) {
        setError(error, QStringLiteral("the file '%1' does not exist").arg(modulePath));
        return nullptr;
    }
    QLibrary library(modulePath);
    if (!library.load()) {
        setError(error, QStringLiteral("the file '%1' could not be loaded as a module (%2)")
                            .arg(modulePath, library.errorString()));
        return nullptr;
    }
    const QFunctionPointer entry = library.resolve(name);
    if (!entry)
        setError(error, QStringLiteral("the module '%1' has no entry point %2").arg(modulePath, QLatin1String(name)));
    return entry;
}

} // namespace

std::optional<Guid> parseGuid(QStringView text)
{
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (text.size() != 38 || text.front() != u'{' || text.back() != u'}')
        return std::nullopt;
    for (qsizetype dash : {9, 14, 19, 24}) {
        if (text[dash] != u'-')
            return std::nullopt;
    }
    std::array<std::uint8_t, 16> bytes{};
    std::size_t n = 0;
    for (qsizetype i = 1; i < 37; ++i) {
        if (i == 9 || i == 14 || i == 19 || i == 24)
            continue;
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[n++] = static_cast<std::uint8_t>(high * 16 + low);
        ++i;
    }
    Guid guid;
    guid.data1 =
        (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
    guid.data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    guid.data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    std::copy(bytes.begin() + 8, bytes.end(), guid.data4.begin());
    return guid;
}

// ---- Registry ----------------------------------------------------------------------------

AddInRegistry::AddInRegistry(const QString &path) : m_registry(path)
{}

QList<AddInInfo> AddInRegistry::addIns() const
{
    QList<AddInInfo> list;
    for (const QString &progId : m_registry.subkeys(kAddinsKey)) {
        if (auto info = addIn(progId))
            list.append(*info);
    }
    return list;
}

std::optional<AddInInfo> AddInRegistry::addIn(const QString &progId) const
{
    const QString key = addInKey(progId);
    if (progId.isEmpty() || !m_registry.keyExists(key))
        return std::nullopt;
    AddInInfo info;
    info.progId = progId;
    info.friendlyName = m_registry.value(key, QStringLiteral("FriendlyName")).toString();
    info.description = m_registry.value(key, QStringLiteral("Description")).toString();
    info.loadBehavior = m_registry.value(key, QStringLiteral("LoadBehavior"), 0).toInt();
    info.satelliteDllName = m_registry.value(key, QStringLiteral("SatelliteDllName")).toString();
    info.additionalRegistryKey = m_registry.value(key, QStringLiteral("AdditionalRegistryKey")).toString();
    info.commandLineSafe = m_registry.value(key, QStringLiteral("CommandLineSafe"), 0).toInt();
    return info;
}

std::optional<Guid> AddInRegistry::classIdOf(const QString &progId, QString *error) const
{
    const QString key = progIdClassKey(progId);
    const QString text = m_registry.value(key, QString()).toString();
    if (text.isEmpty()) {
        setError(error, QStringLiteral("its class is not registered (the key %1 has no class id)").arg(key));
        return std::nullopt;
    }
    auto classId = parseGuid(text.trimmed());
    if (!classId)
        setError(error, QStringLiteral("its class id '%1' (in %2) is not a valid class id").arg(text, key));
    return classId;
}

std::optional<QString> AddInRegistry::modulePathOf(const Guid &classId, QString *error) const
{
    const QString key = serverKey(classId);
    const QString path = m_registry.value(key, QString()).toString();
    if (path.isEmpty()) {
        setError(error, QStringLiteral("no module is registered for its class %1 (the key %2 has no path)")
                            .arg(classId.toString(), key));
        return std::nullopt;
    }
    return path;
}

bool AddInRegistry::setLoadBehavior(const QString &progId, int loadBehavior, QString *error)
{
    if (!addIn(progId)) {
        setError(error, QStringLiteral("The add-in '%1' is not registered.").arg(progId));
        return false;
    }
    m_registry.setValue(addInKey(progId), QStringLiteral("LoadBehavior"), loadBehavior);
    if (!m_registry.sync()) {
        setError(error, QStringLiteral("The registry file '%1' could not be written.").arg(m_registry.path()));
        return false;
    }
    return true;
}

bool AddInRegistry::registerAddIn(const AddInRegistration &r, QString *error)
{
    const QString key = addInKey(r.progId);
    m_registry.setValue(key, QStringLiteral("FriendlyName"), r.friendlyName);
    m_registry.setValue(key, QStringLiteral("Description"), r.description);
    m_registry.setValue(key, QStringLiteral("LoadBehavior"), r.loadBehavior);
    m_registry.setValue(key, QStringLiteral("CommandLineSafe"), r.commandLineSafe);
    m_registry.setValue(progIdClassKey(r.progId), QString(), r.classId.toString());
    m_registry.setValue(classKey(r.classId), QString(), r.progId);
    m_registry.setValue(serverKey(r.classId), QString(), r.modulePath);
    if (!m_registry.sync()) {
        setError(error, QStringLiteral("The registry file '%1' could not be written.").arg(m_registry.path()));
        return false;
    }
    return true;
}

bool AddInRegistry::unregisterAddIn(const QString &progId, QString *error)
{
    if (auto classId = classIdOf(progId))
        m_registry.removeKey(classKey(*classId));
    m_registry.removeKey(kClassesKey + QLatin1Char('\\') + progId);
    m_registry.removeKey(addInKey(progId));
    if (!m_registry.sync()) {
        setError(error, QStringLiteral("The registry file '%1' could not be written.").arg(m_registry.path()));
        return false;
    }
    return true;
}

// ---- Loading -----------------------------------------------------------------------------

namespace loader {

ComPtr<IDTExtensibility2> createAddIn(const QString &modulePath, const Guid &classId, QString *error)
{
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(entryPoint(modulePath, "DllGetClassObject", error));
    if (!getClassObject)
        return {};
    ComPtr<IClassFactory> factory;
    HResult hr = getClassObject(&classId, &IClassFactory::IID, factory.putVoid());
    if (Failed(hr) || !factory) {
        setError(error, QStringLiteral("the module '%1' does not provide the class %2 (error %3)")
                            .arg(modulePath, classId.toString(), hex(Failed(hr) ? hr : E_POINTER)));
        return {};
    }
    ComPtr<IDTExtensibility2> addIn;
    hr = factory->CreateInstance(nullptr, IDTExtensibility2::IID, addIn.putVoid());
    if (Failed(hr) || !addIn) {
        setError(error, QStringLiteral("the class factory of '%1' could not create the add-in (error %2)")
                            .arg(modulePath, hex(Failed(hr) ? hr : E_POINTER)));
        return {};
    }
    return addIn;
}

bool registerServer(const QString &modulePath, QString *error)
{
    QString reason;
    auto entry = reinterpret_cast<DllRegisterServerFn>(entryPoint(modulePath, "DllRegisterServer", &reason));
    if (!entry) {
        setError(error, QStringLiteral("The module could not be registered: %1.").arg(reason));
        return false;
    }
    const HResult hr = entry();
    if (Failed(hr)) {
        setError(error,
                 QStringLiteral("The module '%1' could not register itself (error %2).").arg(modulePath, hex(hr)));
        return false;
    }
    return true;
}

bool unregisterServer(const QString &modulePath, QString *error)
{
    QString reason;
    auto entry = reinterpret_cast<DllUnregisterServerFn>(entryPoint(modulePath, "DllUnregisterServer", &reason));
    if (!entry) {
        setError(error, QStringLiteral("The module could not be unregistered: %1.").arg(reason));
        return false;
    }
    const HResult hr = entry();
    if (Failed(hr)) {
        setError(error,
                 QStringLiteral("The module '%1' could not unregister itself (error %2).").arg(modulePath, hex(hr)));
        return false;
    }
    return true;
}

std::optional<bool> canUnloadNow(const QString &modulePath, QString *error)
{
    auto entry = reinterpret_cast<DllCanUnloadNowFn>(entryPoint(modulePath, "DllCanUnloadNow", error));
    if (!entry)
        return std::nullopt;
    return entry() == S_OK;
}

} // namespace loader

// ---- Connections -------------------------------------------------------------------------

AddInHost::AddInHost(ObjectModel &model, const QString &registryPath, QObject *parent)
    : QObject(parent), m_model(model), m_registry(registryPath)
{}

AddInHost::~AddInHost()
{
    disconnectAll();
}

const AddInHost::Connection *AddInHost::find(const QString &progId) const
{
    for (const Connection &c : m_connections) {
        if (c.progId == progId)
            return &c;
    }
    return nullptr;
}

bool AddInHost::connectAddIn(const QString &progId, ConnectMode mode, QString *error)
{
    const auto info = m_registry.addIn(progId);
    if (!info) {
        setError(
            error,
            QStringLiteral("The add-in '%1' is not registered (there is no key %2).").arg(progId, addInKey(progId)));
        return false;
    }
    const QString name = info->displayName();
    if (find(progId)) {
        setError(error, QStringLiteral("The add-in '%1' is already loaded.").arg(name));
        return false;
    }
    auto cannotLoad = [&](const QString &reason) {
        setError(error, QStringLiteral("The add-in '%1' could not be loaded: %2.").arg(name, reason));
        return false;
    };
    QString reason;
    const auto classId = m_registry.classIdOf(progId, &reason);
    if (!classId)
        return cannotLoad(reason);
    const auto path = m_registry.modulePathOf(*classId, &reason);
    if (!path)
        return cannotLoad(reason);
    ComPtr<IDTExtensibility2> addIn = loader::createAddIn(*path, *classId, &reason);
    if (!addIn)
        return cannotLoad(reason);

    QVariantList custom;
    const HResult hr = addIn->OnConnection(m_model.application(), mode, nullptr, custom);
    if (Failed(hr)) {
        const QString description = addIn->ErrorDescription();
        setError(error, QStringLiteral("The add-in '%1' failed to connect (error %2)%3")
                            .arg(name, hex(hr),
                                 description.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + description));
        return false;
    }
    m_connections.push_back({progId, mode, *path, std::move(addIn)});
    Q_EMIT addInConnected(progId, static_cast<int>(mode));
    return true;
}

bool AddInHost::disconnectAddIn(const QString &progId, DisconnectMode mode, QString *error)
{
    auto it = std::find_if(m_connections.begin(), m_connections.end(),
                           [&](const Connection &c) { return c.progId == progId; });
    if (it == m_connections.end()) {
        setError(error, QStringLiteral("The add-in '%1' is not loaded.").arg(progId));
        return false;
    }
    // Out of the list first: whatever the add-in does while it disconnects, it is no longer
    // one of the host's connections.
    Connection connection = std::move(*it);
    m_connections.erase(it);
    QVariantList custom;
    const HResult hr = connection.addIn->OnDisconnection(mode, custom);
    const QString description = Failed(hr) ? connection.addIn->ErrorDescription() : QString();
    connection.addIn = nullptr;
    Q_EMIT addInDisconnected(progId, static_cast<int>(mode));
    if (Failed(hr)) {
        setError(error, QStringLiteral("The add-in '%1' reported a failure while disconnecting (error %2)%3")
                            .arg(progId, hex(hr),
                                 description.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + description));
        return false;
    }
    return true;
}

bool AddInHost::isConnected(const QString &progId) const
{
    return find(progId) != nullptr;
}

std::optional<ConnectMode> AddInHost::connectMode(const QString &progId) const
{
    if (const Connection *c = find(progId))
        return c->mode;
    return std::nullopt;
}

QStringList AddInHost::connectedAddIns() const
{
    QStringList list;
    for (const Connection &c : m_connections)
        list.append(c.progId);
    return list;
}

ComPtr<IDTExtensibility2> AddInHost::connection(const QString &progId) const
{
    const Connection *c = find(progId);
    return c ? c->addIn : ComPtr<IDTExtensibility2>();
}

QString AddInHost::modulePath(const QString &progId) const
{
    const Connection *c = find(progId);
    return c ? c->modulePath : QString();
}

std::vector<AddInHost::Failure> AddInHost::connectStartupAddIns(bool commandLine)
{
    std::vector<Failure> failures;
    QStringList connected;
    const ConnectMode mode = commandLine ? ConnectMode::CommandLine : ConnectMode::Startup;
    for (const AddInInfo &info : m_registry.addIns()) {
        const bool wanted = commandLine ? info.loadsFromCommandLine() : info.loadsOnStartup();
        if (!wanted || isConnected(info.progId))
            continue;
        QString error;
        if (connectAddIn(info.progId, mode, &error))
            connected.append(info.progId);
        else
            failures.push_back({info.progId, error});
    }
    for (const QString &progId : connected) {
        if (auto addIn = connection(progId)) {
            QVariantList custom;
            addIn->OnStartupComplete(custom);
        }
    }
    return failures;
}

void AddInHost::notifyAddInsUpdate()
{
    for (const QString &progId : connectedAddIns()) {
        if (auto addIn = connection(progId)) {
            QVariantList custom;
            addIn->OnAddInsUpdate(custom);
        }
    }
}

void AddInHost::disconnectAll()
{
    for (const QString &progId : connectedAddIns()) {
        if (auto addIn = connection(progId)) {
            QVariantList custom;
            addIn->OnBeginShutdown(custom);
        }
    }
    while (!m_connections.empty())
        disconnectAddIn(m_connections.back().progId, DisconnectMode::HostShutdown);
}

} // namespace quillbox::host
