// A small add-in module for the host's tests: a real in-process server with the four
// entry points, whose connection objects use the host's object model the way an add-in
// does and write down every call they receive.

#include "fakeaddin.h"

#include "qbx/extensibility.h"
#include "qbx/registry.h"

#include <QFile>

#include <atomic>

#include <dlfcn.h>

using namespace qbx;

namespace {

std::atomic<int> g_objects{0};
std::atomic<int> g_locks{0};

void record(std::uint8_t tag, const QString &line)
{
    const QString path = qEnvironmentVariable(fake::kLogVariable);
    if (path.isEmpty())
        return;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        file.write(QStringLiteral("%1 %2\n").arg(tag).arg(line).toUtf8());
}

template <typename Derived>
class Counted {
public:
    Counted() { ++g_objects; }
    Counted(const Counted &) = delete;
    Counted &operator=(const Counted &) = delete;

protected:
    ~Counted() { --g_objects; }
    std::uint32_t addRef() { return ++m_refs; }
    std::uint32_t release()
    {
        const std::uint32_t left = --m_refs;
        if (left == 0)
            delete static_cast<Derived *>(this);
        return left;
    }

private:
    std::atomic<std::uint32_t> m_refs{1};
};

class Sink final : public ICommandBarEventsSink, public Counted<Sink> {
public:
    explicit Sink(std::uint8_t tag) : m_tag(tag) {}
    HResult QueryInterface(const Guid &iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid != IUnknown::IID && iid != ICommandBarEventsSink::IID)
            return E_NOINTERFACE;
        *object = static_cast<ICommandBarEventsSink *>(this);
        AddRef();
        return S_OK;
    }
    std::uint32_t AddRef() override { return addRef(); }
    std::uint32_t Release() override { return release(); }
    void Click(ICommandBarControl *control, VariantBool *handled, VariantBool *) override
    {
        QString caption;
        if (control)
            control->get_Caption(&caption);
        record(m_tag, QStringLiteral("Click handled=%1 caption=%2").arg(*handled ? 1 : 0).arg(caption));
    }

private:
    std::uint8_t m_tag;
};

class Connect final : public IDTExtensibility2, public Counted<Connect> {
public:
    explicit Connect(std::uint8_t tag) : m_tag(tag) {}

    HResult QueryInterface(const Guid &iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid == IUnknown::IID)
            *object = static_cast<IUnknown *>(this);
        else if (iid == IDispatch::IID)
            *object = static_cast<IDispatch *>(this);
        else if (iid == IDTExtensibility2::IID)
            *object = static_cast<IDTExtensibility2 *>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    std::uint32_t AddRef() override { return addRef(); }
    std::uint32_t Release() override { return release(); }
    HResult GetIDsOfNames(const QString &, DispId *) override { return DISP_E_UNKNOWNNAME; }
    HResult Invoke(DispId, InvokeKind, QVariantList &, QVariant *) override { return DISP_E_MEMBERNOTFOUND; }
    QString ErrorDescription() override { return m_error; }

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
        auto failed = [this](const char *step, IDispatch *on) {
            record(m_tag, QStringLiteral("Failed %1: %2").arg(QLatin1String(step), on->ErrorDescription()));
            return S_OK;
        };
        if (Failed(m_vbe->get_CommandBars(bars.put())))
            return failed("CommandBars", m_vbe.get());
        if (Failed(bars->Item(QStringLiteral("Add-Ins"), bar.put())))
            return failed("Item", bars.get());
        if (Failed(bar->get_Controls(controls.put())))
            return failed("Controls", bar.get());
        if (Failed(controls->Add(msoControlButton, m_control.put())))
            return failed("Add", controls.get());
        if (Failed(m_control->put_Caption(QStringLiteral("Fake Add-In %1").arg(m_tag))))
            return failed("Caption", m_control.get());
        if (Failed(m_vbe->get_Events(events.put())))
            return failed("Events", m_vbe.get());
        if (Failed(events->get_CommandBarEvents(m_control.get(), m_source.put())))
            return failed("CommandBarEvents", events.get());
        ComPtr<Sink> sink(new Sink(m_tag), false);
        if (Failed(m_source->Advise(sink.get(), &m_cookie)))
            return failed("Advise", m_source.get());
        return S_OK;
    }

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
    HResult OnAddInsUpdate(QVariantList &) override
    {
        record(m_tag, QStringLiteral("OnAddInsUpdate"));
        return S_OK;
    }
    HResult OnStartupComplete(QVariantList &) override
    {
        record(m_tag, QStringLiteral("OnStartupComplete"));
        return S_OK;
    }
    HResult OnBeginShutdown(QVariantList &) override
    {
        record(m_tag, QStringLiteral("OnBeginShutdown"));
        return S_OK;
    }

private:
    friend class Counted<Connect>;
    ~Connect() = default;

    std::uint8_t m_tag;
    QString m_error;
    ComPtr<IVBE> m_vbe;
    ComPtr<ICommandBarControl> m_control;
    ComPtr<ICommandBarEvents> m_source;
    std::uint32_t m_cookie = 0;
};

class Factory final : public IClassFactory, public Counted<Factory> {
public:
    explicit Factory(std::uint8_t tag) : m_tag(tag) {}
    HResult QueryInterface(const Guid &iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid != IUnknown::IID && iid != IClassFactory::IID)
            return E_NOINTERFACE;
        *object = static_cast<IClassFactory *>(this);
        AddRef();
        return S_OK;
    }
    std::uint32_t AddRef() override { return addRef(); }
    std::uint32_t Release() override { return release(); }
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

private:
    std::uint8_t m_tag;
};

const int g_anchor = 0;

QString modulePath()
{
    Dl_info info{};
    if (dladdr(&g_anchor, &info) == 0 || !info.dli_fname)
        return {};
    return QFile::decodeName(info.dli_fname);
}

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
    const QString progId = QLatin1String(fake::kProgId);
    const QString classId = fake::classId(0).toString();
    Registry registry;
    const QString addIn = kAddinsKey + QLatin1Char('\\') + progId;
    registry.setValue(addIn, QStringLiteral("FriendlyName"), QLatin1String(fake::kFriendlyName));
    registry.setValue(addIn, QStringLiteral("Description"), QLatin1String(fake::kDescription));
    registry.setValue(addIn, QStringLiteral("LoadBehavior"), 0);
    registry.setValue(addIn, QStringLiteral("CommandLineSafe"), 0);
    registry.setValue(QStringLiteral("Software\\Classes\\") + progId + QStringLiteral("\\CLSID"), QString(), classId);
    registry.setValue(QStringLiteral("Software\\Classes\\CLSID\\") + classId + QStringLiteral("\\InprocServer32"),
                      QString(), path);
    return registry.sync() ? S_OK : SELFREG_E_CLASS;
}

QBX_EXPORT_C HResult DllUnregisterServer()
{
    const QString progId = QLatin1String(fake::kProgId);
    Registry registry;
    registry.removeKey(kAddinsKey + QLatin1Char('\\') + progId);
    registry.removeKey(QStringLiteral("Software\\Classes\\") + progId);
    registry.removeKey(QStringLiteral("Software\\Classes\\CLSID\\") + fake::classId(0).toString());
    return registry.sync() ? S_OK : SELFREG_E_CLASS;
}
