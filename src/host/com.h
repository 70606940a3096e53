#pragma once
// The component contract shared by a host and the add-ins it loads: identities, result
// codes, reference counting and the class factory, in the shape of an in-process
// component server. Both sides are built with the same compiler and Qt, so QString and
// QVariant cross the boundary as they are.

#include <QString>
#include <QVariant>

#include <array>
#include <cstdint>

#define QBX_EXPORT_C extern "C" __attribute__((visibility("default")))

namespace quillbox::host {

using HResult = std::int32_t;

inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_NOTIMPL = static_cast<HResult>(0x80004001u);
inline constexpr HResult E_NOINTERFACE = static_cast<HResult>(0x80004002u);
inline constexpr HResult E_POINTER = static_cast<HResult>(0x80004003u);
inline constexpr HResult E_FAIL = static_cast<HResult>(0x80004005u);
inline constexpr HResult E_UNEXPECTED = static_cast<HResult>(0x8000FFFFu);
inline constexpr HResult E_INVALIDARG = static_cast<HResult>(0x80070057u);
inline constexpr HResult E_OUTOFMEMORY = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult DISP_E_MEMBERNOTFOUND = static_cast<HResult>(0x80020003u);
inline constexpr HResult DISP_E_UNKNOWNNAME = static_cast<HResult>(0x80020006u);
inline constexpr HResult DISP_E_BADPARAMCOUNT = static_cast<HResult>(0x8002000Eu);
inline constexpr HResult DISP_E_TYPEMISMATCH = static_cast<HResult>(0x80020005u);
inline constexpr HResult CLASS_E_NOAGGREGATION = static_cast<HResult>(0x80040110u);
inline constexpr HResult CLASS_E_CLASSNOTAVAILABLE = static_cast<HResult>(0x80040111u);
inline constexpr HResult SELFREG_E_CLASS = static_cast<HResult>(0x80040201u);

constexpr bool Failed(HResult hr)
{
    return hr < 0;
}
constexpr bool Succeeded(HResult hr)
{
    return hr >= 0;
}

// Automation Booleans: true is all bits set.
using VariantBool = std::int16_t;
inline constexpr VariantBool VariantTrue = -1;
inline constexpr VariantBool VariantFalse = 0;

struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    friend constexpr bool operator==(const Guid &, const Guid &) = default;

    // "{6F1B52C4-0D7A-4E43-9B1E-2C5D8A4F7E10}"
    QString toString() const
    {
        QString s = QStringLiteral("{%1-%2-%3-")
                        .arg(data1, 8, 16, QLatin1Char('0'))
                        .arg(data2, 4, 16, QLatin1Char('0'))
                        .arg(data3, 4, 16, QLatin1Char('0'));
        for (std::size_t i = 0; i < data4.size(); ++i) {
            if (i == 2)
                s += QLatin1Char('-');
            s += QStringLiteral("%1").arg(data4[i], 2, 16, QLatin1Char('0'));
        }
        s += QLatin1Char('}');
        return s.toUpper();
    }
};

// The base of every interface: identity by interface id, and shared ownership by count.
struct IUnknown {
    static constexpr Guid IID{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    virtual HResult QueryInterface(const Guid &iid, void **object) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    static constexpr Guid IID{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    virtual HResult CreateInstance(IUnknown *outer, const Guid &iid, void **object) = 0;
    virtual HResult LockServer(bool lock) = 0;

protected:
    ~IClassFactory() = default;
};

using DispId = std::int32_t;
enum class InvokeKind : std::int32_t { Method = 1, PropertyGet = 2, PropertyPut = 4, PropertyPutRef = 8 };

// Late binding by name, for automation clients that know no interface layout. Every object
// also keeps the description of its last failed call, the text a client shows for it.
struct IDispatch : IUnknown {
    static constexpr Guid IID{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    virtual HResult GetIDsOfNames(const QString &name, DispId *id) = 0;
    virtual HResult Invoke(DispId id, InvokeKind kind, QVariantList &args, QVariant *result) = 0;
    virtual QString ErrorDescription() = 0;

protected:
    ~IDispatch() = default;
};

// Objects travel through Invoke as a pointer to their IDispatch; a result carries one
// reference that the receiver owns, an argument is only lent.
inline QVariant objectVariant(IUnknown *object)
{
    IDispatch *dispatch = nullptr;
    if (object)
        object->QueryInterface(IDispatch::IID, reinterpret_cast<void **>(&dispatch));
    return QVariant::fromValue(static_cast<void *>(dispatch));
}

// Entry points of an in-process server module.
using DllGetClassObjectFn = HResult (*)(const Guid *clsid, const Guid *iid, void **object);
using DllCanUnloadNowFn = HResult (*)();
using DllRegisterServerFn = HResult (*)();
using DllUnregisterServerFn = HResult (*)();

// Smart pointer that owns one reference.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    explicit ComPtr(T *p, bool addRef = true) : m_p(p)
    {
        if (m_p && addRef)
            m_p->AddRef();
    }
    ComPtr(const ComPtr &o) : m_p(o.m_p)
    {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr(ComPtr &&o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    ~ComPtr() { reset(); }
    ComPtr &operator=(const ComPtr &o)
    {
        ComPtr(o).swap(*this);
        return *this;
    }
    ComPtr &operator=(ComPtr &&o) noexcept
    {
        ComPtr(std::move(o)).swap(*this);
        return *this;
    }
    ComPtr &operator=(std::nullptr_t)
    {
        reset();
        return *this;
    }
    void reset()
    {
        if (m_p) {
            T *p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    void swap(ComPtr &o) noexcept { std::swap(m_p, o.m_p); }
    T *get() const { return m_p; }
    T *operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // Receives an object whose reference the callee has already counted.
    T **put()
    {
        reset();
        return &m_p;
    }
    void **putVoid()
    {
        reset();
        return reinterpret_cast<void **>(&m_p);
    }
    T *detach()
    {
        T *p = m_p;
        m_p = nullptr;
        return p;
    }
    template <typename U>
    ComPtr<U> as() const
    {
        ComPtr<U> out;
        if (m_p)
            m_p->QueryInterface(U::IID, out.putVoid());
        return out;
    }

private:
    T *m_p = nullptr;
};

} // namespace quillbox::host
