// A small add-in module for the host's tests: a real in-process server whose connection
// objects write down every call they receive (FakeAddInLog).

#include "host/fakeaddin.h"

#include "host/extensibility.h"

#include <QStringList>

using namespace qbx;

namespace {

int g_objects = 0;
QStringList g_log;

// One class is both the class factory and the connection object the factory makes.
class Fake final : public IClassFactory, public IDTExtensibility2 {
public:
    explicit Fake(std::uint8_t tag) : m_tag(tag) { ++g_objects; }

    HResult QueryInterface(const Guid &iid, void **object) override
    {
        if (iid == IClassFactory::IID)
            *object = static_cast<IClassFactory *>(this);
        else if (iid == IUnknown::IID || iid == IDispatch::IID || iid == IDTExtensibility2::IID)
            *object = static_cast<IDTExtensibility2 *>(this);
        else
            return *object = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    std::uint32_t AddRef() override { return ++m_refs; }
    std::uint32_t Release() override
    {
        const std::uint32_t left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

    HResult CreateInstance(IUnknown *, const Guid &iid, void **object) override
    {
        ComPtr<IDTExtensibility2> made(new Fake(m_tag), false);
        return made->QueryInterface(iid, object);
    }
    HResult LockServer(bool) override { return S_OK; }

    HResult GetIDsOfNames(const QString &, DispId *) override { return DISP_E_UNKNOWNNAME; }
    HResult Invoke(DispId, InvokeKind, QVariantList &, QVariant *) override { return DISP_E_MEMBERNOTFOUND; }
    QString ErrorDescription() override { return QStringLiteral("The fake add-in refuses to connect."); }
    HResult OnConnection(IDispatch *, ConnectMode mode, IDispatch *, QVariantList &) override
    {
        record(QStringLiteral("OnConnection %1").arg(int(mode)));
        return m_tag == fake::kConnectionFails ? E_FAIL : S_OK;
    }
    HResult OnDisconnection(DisconnectMode mode, QVariantList &) override
    {
        return record(QStringLiteral("OnDisconnection %1").arg(int(mode)));
    }
    HResult OnAddInsUpdate(QVariantList &) override { return record(QStringLiteral("OnAddInsUpdate")); }
    HResult OnStartupComplete(QVariantList &) override { return record(QStringLiteral("OnStartupComplete")); }
    HResult OnBeginShutdown(QVariantList &) override { return record(QStringLiteral("OnBeginShutdown")); }

private:
    ~Fake() { --g_objects; }
    HResult record(const QString &event)
    {
        g_log.append(QString::number(m_tag) + QLatin1Char(' ') + event);
        return S_OK;
    }

    const std::uint8_t m_tag;
    std::uint32_t m_refs = 1;
};

} // namespace

QBX_EXPORT_C HResult DllGetClassObject(const Guid *clsid, const Guid *iid, void **object)
{
    const auto tag = static_cast<std::uint8_t>(clsid->data1 & 0xFFu);
    *object = nullptr;
    if (*clsid != fake::classId(tag))
        return CLASS_E_CLASSNOTAVAILABLE;
    ComPtr<IClassFactory> factory(new Fake(tag), false);
    return factory->QueryInterface(*iid, object);
}

QBX_EXPORT_C HResult DllCanUnloadNow()
{
    return g_objects == 0 ? S_OK : S_FALSE;
}

QBX_EXPORT_C QStringList *FakeAddInLog()
{
    return &g_log;
}
