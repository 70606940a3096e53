#pragma once
// The add-in's public identity: the type library, the class Connect and its default
// interface _Connect, as clients of the module see them.

#include "host/extensibility.h"

namespace quillbox::addin {

// Fixed for good: hosts keep them in their registration of the add-in.
inline constexpr host::Guid kTypeLibId{0x3C9E5A10, 0x6B2D, 0x4F7A, {0x8E, 0x41, 0x0D, 0x92, 0x5B, 0x73, 0xC6, 0x18}};
inline constexpr host::Guid kConnectClassId{
    0x3C9E5A11, 0x6B2D, 0x4F7A, {0x8E, 0x41, 0x0D, 0x92, 0x5B, 0x73, 0xC6, 0x19}};
inline constexpr host::Guid kConnectInterfaceId{
    0x3C9E5A12, 0x6B2D, 0x4F7A, {0x8E, 0x41, 0x0D, 0x92, 0x5B, 0x73, 0xC6, 0x1A}};

inline constexpr const char *kProgId = "Quillbox.Connect";

// The default interface of Connect (dual: its members are also reachable by name through
// IDispatch). Members in slot order.
struct _Connect : host::IDispatch {
    static constexpr host::Guid IID = kConnectInterfaceId;
    virtual host::HResult get_FormDisplayed(host::VariantBool *value) = 0;
    virtual host::HResult put_FormDisplayed(host::VariantBool value) = 0;
    virtual host::HResult get_VBInstance(host::IVBE **value) = 0;
    virtual host::HResult putref_VBInstance(host::IVBE *value) = 0;
    virtual host::HResult get_MenuHandler(host::ICommandBarEvents **value) = 0;
    virtual host::HResult putref_MenuHandler(host::ICommandBarEvents *value) = 0;
    virtual host::HResult Hide() = 0;
    virtual host::HResult Show() = 0;
    virtual host::HResult AddToAddInCommandBar(const QString &sCaption, host::ICommandBarControl **result) = 0;

protected:
    ~_Connect() = default;
};

} // namespace quillbox::addin
