// The add-in module's entry points: the class factory for Connect, the unload test, and
// self-registration with the host. Nothing else is exported.

#include "addin/connect.h"
#include "addin/registration.h"

#include <QFileInfo>

#include <dlfcn.h>

using namespace quillbox::host;

namespace {

// The module's version information, readable from the file itself.
[[gnu::used, gnu::section(".qbx_version")]] const char kVersionInfo[] =
    "ProductName=Quillbox\0"
    "InternalName=Quillbox Ver 1.0\0"
    "FileVersion=1.00\0"
    "ProductVersion=1.00\0"
    "OriginalFilename=Quillbox Ver 1.0.dll\0"
    "FileDescription=Quillbox add-in: a library of Visual Basic code snippets\0";

class ClassFactory final : public IClassFactory {
public:
    ClassFactory() { quillbox::addin::module::objectCreated(); }
    ClassFactory(const ClassFactory &) = delete;
    ClassFactory &operator=(const ClassFactory &) = delete;

    HResult QueryInterface(const Guid &iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IUnknown::IID || iid == IClassFactory::IID) {
            *object = static_cast<IClassFactory *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++m_refs; }
    std::uint32_t Release() override
    {
        const std::uint32_t left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

    HResult CreateInstance(IUnknown *outer, const Guid &iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto *connect = new quillbox::addin::Connect; // one reference, ours
        const HResult hr = connect->QueryInterface(iid, object);
        connect->Release();
        return hr;
    }

    HResult LockServer(bool lock) override
    {
        quillbox::addin::module::lock(lock);
        return S_OK;
    }

private:
    ~ClassFactory() { quillbox::addin::module::objectDestroyed(); }
    std::atomic<std::uint32_t> m_refs{1};
};

QString modulePath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&modulePath), &info) == 0 || !info.dli_fname)
        return {};
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteFilePath();
}

} // namespace

QBX_EXPORT_C HResult DllGetClassObject(const Guid *clsid, const Guid *iid, void **object)
{
    if (!clsid || !iid || !object)
        return E_POINTER;
    *object = nullptr;
    if (!(*clsid == quillbox::addin::kConnectClassId))
        return CLASS_E_CLASSNOTAVAILABLE;
    auto *factory = new ClassFactory;
    const HResult hr = factory->QueryInterface(*iid, object);
    factory->Release();
    return hr;
}

QBX_EXPORT_C HResult DllCanUnloadNow()
{
    return quillbox::addin::module::canUnload() ? S_OK : S_FALSE;
}

QBX_EXPORT_C HResult DllRegisterServer()
{
    const QString path = modulePath();
    if (path.isEmpty())
        return SELFREG_E_CLASS;
    Registry registry;
    return quillbox::addin::registration::registerServer(registry, path) ? S_OK : SELFREG_E_CLASS;
}

QBX_EXPORT_C HResult DllUnregisterServer()
{
    Registry registry;
    return quillbox::addin::registration::unregisterServer(registry) ? S_OK : SELFREG_E_CLASS;
}
