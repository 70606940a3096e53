// A small add-in module for the host's tests: a real in-process server with the four
// entry points, whose connection objects use the host's object model the way an add-in
// does and write down every call they receive.

#include "fakeaddin.h"

#include "qbx/extensibility.h"
#include "qbx/registry.h"

#include <QFile>

#include <atomic>
#include <type_traits>

#include <dlfcn.h>

using namespace qbx;

namespace {

std::atomic<int> g_objects{0};
std::atomic<int> g_locks{0};

void record(std::uint8_t tag, const QString &line)
{
    QFile file(qEnvironmentVariable(fake::kLogVariable));
    if (!file.fileName().isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        file.write(QStringLiteral("%1 %2\n").arg(tag).arg(line).toUtf8());
}

// Counting and identity of every object of the module: it answers for IUnknown, its
// interface and the interfaces that one derives from.
template <typename Derived, typename Interface>
class Object : public Interface {
public:
    explicit Object(std::uint8_t tag) : m_tag(tag) { ++g_objects; }
    Object(const Object &) = delete;
    Object &operator=(const Object &) = delete;

    HResult QueryInterface(const Guid &iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid != IUnknown::IID && iid != Interface::IID
            && !(std::is_base_of_v<IDispatch, Interface> && iid == IDispatch::IID))
            return E_NOINTERFACE;
        *object = static_cast<Interface *>(this);
        AddRef();
        return S_OK;
    }
    std::uint32_t AddRef() override { return ++m_refs; }
    std::uint32_t Release() override
    {
        const std::uint32_t left = --m_refs;
        if (left == 0)
            delete static_cast<Derived *>(this);
        return left;
    }

protected:
    ~Object() { --g_objects; }
    const std::uint8_t m_tag;

private:
    std::atomic<std::uint32_t> m_refs{1};
};

class Sink final : public Object<Sink, ICommandBarEventsSink> {
public:
    using Object::Object;
    void Click(ICommandBarControl *control, VariantBool *handled, VariantBool *) override
    {
        QString caption;
        if (control)
            control->get_Caption(&caption);
        record(m_tag, QStringLiteral("Click handled=%1 caption=%2").arg(*handled ? 1 : 0).arg(caption));
    }
};

class Connect final : public Object<Connect, IDTExtensibility2> {
public:
    using Object::Object;
    HResult GetIDsOfNames(const QString &, DispId *) override { return DISP_E_UNKNOWNNAME; }
    HResult Invoke(DispId, InvokeKind, QVariantList &, QVariant *) override { return DISP_E_MEMBERNOTFOUND; }
    QString ErrorDescription() override { return m_error; }

    // Adds a button "Fake Add-In <tag>" to the Add-Ins bar and listens to its clicks.
    HResult OnConnection(IDispatch *application, ConnectMode mode, IDispatch *, QVariantList &) override
    {
        record(m_tag, QStringLiteral("OnConnection %1").arg(static_cast<int>(mode)));
        if (m_tag == fake::kConnectionFails) {
            m_error = QStringLiteral("The fake add-in refuses to connect.");
            return E_FAIL;
        }
        if (!application || Failed(application->QueryInterface(IVBE::IID, m_vbe.putVoid()))) {
            record(m_tag, QStringLiteral("Failed host object"));
            return S_OK;
        }
        ComPtr<ICommandBars> bars;
        ComPtr<ICommandBar> bar;
        ComPtr<ICommandBarControls> controls;
        ComPtr<IEvents> events;
        ComPtr<Sink> sink(new Sink(m_tag), false);
        // The steps stop at the first that fails, whose reason is written down.
        auto failed = [this](const char *step, IDispatch *on, HResult hr) {
            if (Failed(hr))
                record(m_tag, QStringLiteral("Failed %1: %2").arg(QLatin1String(step), on->ErrorDescription()));
            return Failed(hr);
        };
        [[maybe_unused]] const bool stopped =
            failed("CommandBars", m_vbe.get(), m_vbe->get_CommandBars(bars.put()))
            || failed("Item", bars.get(), bars->Item(QStringLiteral("Add-Ins"), bar.put()))
            || failed("Controls", bar.get(), bar->get_Controls(controls.put()))
            || failed("Add", controls.get(), controls->Add(msoControlButton, m_control.put()))
            || failed("Caption", m_control.get(), m_control->put_Caption(QStringLiteral("Fake Add-In %1").arg(m_tag)))
            || failed("Events", m_vbe.get(), m_vbe->get_Events(events.put()))
            || failed("CommandBarEvents", events.get(), events->get_CommandBarEvents(m_control.get(), m_source.put()))
            || failed("Advise", m_source.get(), m_source->Advise(sink.get(), &m_cookie));
        return S_OK;
    }

    // Stops listening and deletes the button.
    HResult OnDisconnection(DisconnectMode mode, QVariantList &) override
    {
        record(m_tag, QStringLiteral("OnDisconnection %1").arg(static_cast<int>(mode)));
        if (m_source && Failed(m_source->Unadvise(m_cookie)))
            record(m_tag, QStringLiteral("Failed Unadvise: %1").arg(m_source->ErrorDescription()));
        if (m_control && Failed(m_control->Delete()))
            record(m_tag, QStringLiteral("Failed Delete: %1").arg(m_control->ErrorDescription()));
        m_source = nullptr;
        m_control = nullptr;
        m_vbe = nullptr;
        return S_OK;
    }
    HResult OnAddInsUpdate(QVariantList &) override { return noted("OnAddInsUpdate"); }
    HResult OnStartupComplete(QVariantList &) override { return noted("OnStartupComplete"); }
    HResult OnBeginShutdown(QVariantList &) override { return noted("OnBeginShutdown"); }

private:
    HResult noted(const char *event)
    {
        record(m_tag, QLatin1String(event));
        return S_OK;
    }

    QString m_error;
    ComPtr<IVBE> m_vbe;
    ComPtr<ICommandBarControl> m_control;
    ComPtr<ICommandBarEvents> m_source;
    std::uint32_t m_cookie = 0;
};

class Factory final : public Object<Factory, IClassFactory> {
public:
    using Object::Object;
    HResult CreateInstance(IUnknown *outer, const Guid &iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (m_tag == fake::kFactoryFails)
            return E_OUTOFMEMORY;
        ComPtr<Connect> connect(new Connect(m_tag), false);
        return connect->QueryInterface(iid, object);
    }
    HResult LockServer(bool lock) override
    {
        lock ? ++g_locks : --g_locks;
        return S_OK;
    }
};

const int g_anchor = 0;

QString modulePath()
{
    Dl_info info{};
    return dladdr(&g_anchor, &info) != 0 && info.dli_fname ? QFile::decodeName(info.dli_fname) : QString();
}

const QString kProgId = QLatin1String(fake::kProgId);
const QString kClassesKey = QStringLiteral("Software\\Classes\\");

} // namespace

QBX_EXPORT_C HResult DllGetClassObject(const Guid *clsid, const Guid *iid, void **object)
{
    if (!clsid || !iid || !object)
        return E_POINTER;
    *object = nullptr;
    Guid family = *clsid;
    const auto tag = static_cast<std::uint8_t>(family.data1 & 0xFFu);
    family.data1 &= ~0xFFu;
    if (family != fake::classId(0) || tag == fake::kUnknownClass)
        return CLASS_E_CLASSNOTAVAILABLE;
    ComPtr<Factory> factory(new Factory(tag), false);
    return factory->QueryInterface(*iid, object);
}

QBX_EXPORT_C HResult DllCanUnloadNow()
{
    return g_objects.load() == 0 && g_locks.load() == 0 ? S_OK : S_FALSE;
}

QBX_EXPORT_C HResult DllRegisterServer()
{
    const QString path = modulePath();
    if (path.isEmpty())
        return SELFREG_E_CLASS;
    Registry registry;
    const QString addIn = kAddinsKey + QLatin1Char('\\') + kProgId;
    registry.setValue(addIn, QStringLiteral("FriendlyName"), QLatin1String(fake::kFriendlyName));
    registry.setValue(addIn, QStringLiteral("Description"), QLatin1String(fake::kDescription));
    registry.setValue(addIn, QStringLiteral("LoadBehavior"), 0);
    registry.setValue(addIn, QStringLiteral("CommandLineSafe"), 0);
    registry.setValue(kClassesKey + kProgId + QStringLiteral("\\CLSID"), QString(), fake::classId(0).toString());
    registry.setValue(kClassesKey + QStringLiteral("CLSID\\") + fake::classId(0).toString() + QStringLiteral("\\InprocServer32"),
                      QString(), path);
    return registry.sync() ? S_OK : SELFREG_E_CLASS;
}

QBX_EXPORT_C HResult DllUnregisterServer()
{
    Registry registry;
    registry.removeKey(kAddinsKey + QLatin1Char('\\') + kProgId);
    registry.removeKey(kClassesKey + kProgId);
    registry.removeKey(kClassesKey + QStringLiteral("CLSID\\") + fake::classId(0).toString());
    return registry.sync() ? S_OK : SELFREG_E_CLASS;
}
