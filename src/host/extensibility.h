#pragma once
// The host's extensibility object model, as an add-in sees it: the host object with its
// command bars and event factory, command bars and their controls, the per-control click
// event source, and the connection interface that the host calls on an add-in.
// A failing call returns a failure code; the object's ErrorDescription() tells why.

#include "host/com.h"

namespace quillbox::host {

struct ICommandBarControl : IDispatch {
    static constexpr Guid IID{0x7A3E1C01, 0x52B4, 0x4D0E, {0x9F, 0x11, 0x3B, 0x6C, 0x20, 0x8D, 0x41, 0xA1}};
    virtual HResult get_Caption(QString *caption) = 0;
    virtual HResult put_Caption(const QString &caption) = 0;
    virtual HResult get_Type(std::int32_t *type) = 0;
    // Removes the control from its bar; later calls on it fail.
    virtual HResult Delete() = 0;

protected:
    ~ICommandBarControl() = default;
};

inline constexpr std::int32_t msoControlButton = 1;

struct ICommandBarControls : IDispatch {
    static constexpr Guid IID{0x7A3E1C02, 0x52B4, 0x4D0E, {0x9F, 0x11, 0x3B, 0x6C, 0x20, 0x8D, 0x41, 0xA2}};
    virtual HResult get_Count(std::int32_t *count) = 0;
    // 1-based, as the host's collections count.
    virtual HResult Item(std::int32_t index, ICommandBarControl **control) = 0;
    // Adds a control of the given type at the end of the bar.
    virtual HResult Add(std::int32_t type, ICommandBarControl **control) = 0;

protected:
    ~ICommandBarControls() = default;
};

struct ICommandBar : IDispatch {
    static constexpr Guid IID{0x7A3E1C03, 0x52B4, 0x4D0E, {0x9F, 0x11, 0x3B, 0x6C, 0x20, 0x8D, 0x41, 0xA3}};
    virtual HResult get_Name(QString *name) = 0;
    virtual HResult get_Controls(ICommandBarControls **controls) = 0;

protected:
    ~ICommandBar() = default;
};

struct ICommandBars : IDispatch {
    static constexpr Guid IID{0x7A3E1C04, 0x52B4, 0x4D0E, {0x9F, 0x11, 0x3B, 0x6C, 0x20, 0x8D, 0x41, 0xA4}};
    virtual HResult get_Count(std::int32_t *count) = 0;
    // By name ("Add-Ins"); a name that no bar has fails.
    virtual HResult Item(const QString &name, ICommandBar **bar) = 0;

protected:
    ~ICommandBars() = default;
};

// What an add-in implements to receive a command bar control's clicks.
struct ICommandBarEventsSink : IUnknown {
    static constexpr Guid IID{0x7A3E1C05, 0x52B4, 0x4D0E, {0x9F, 0x11, 0x3B, 0x6C, 0x20, 0x8D, 0x41, 0xA5}};
    virtual void Click(ICommandBarControl *control, VariantBool *handled, VariantBool *cancelDefault) = 0;

protected:
    ~ICommandBarEventsSink() = default;
};

// The event source of one control: raises Click to every advised sink.
struct ICommandBarEvents : IDispatch {
    static constexpr Guid IID{0x7A3E1C06, 0x52B4, 0x4D0E, {0x9F, 0x11, 0x3B, 0x6C, 0x20, 0x8D, 0x41, 0xA6}};
    virtual HResult Advise(ICommandBarEventsSink *sink, std::uint32_t *cookie) = 0;
    virtual HResult Unadvise(std::uint32_t cookie) = 0;

protected:
    ~ICommandBarEvents() = default;
};

// The host's event factory.
struct IEvents : IDispatch {
    static constexpr Guid IID{0x7A3E1C07, 0x52B4, 0x4D0E, {0x9F, 0x11, 0x3B, 0x6C, 0x20, 0x8D, 0x41, 0xA7}};
    // The click event source of a control; a missing control fails.
    virtual HResult get_CommandBarEvents(ICommandBarControl *control, ICommandBarEvents **events) = 0;

protected:
    ~IEvents() = default;
};

// The host object.
struct IVBE : IDispatch {
    static constexpr Guid IID{0x7A3E1C08, 0x52B4, 0x4D0E, {0x9F, 0x11, 0x3B, 0x6C, 0x20, 0x8D, 0x41, 0xA8}};
    virtual HResult get_Version(QString *version) = 0;
    virtual HResult get_CommandBars(ICommandBars **bars) = 0;
    virtual HResult get_Events(IEvents **events) = 0;

protected:
    ~IVBE() = default;
};

enum class ConnectMode : std::int32_t {
    AfterStartup = 0, // connected by the user after the host has started
    Startup = 1,      // connected while the host starts
    External = 2,     // connected by an outside client
    CommandLine = 3,  // connected from the host's command line
};

enum class DisconnectMode : std::int32_t {
    HostShutdown = 0,
    UserClosed = 1,
};

// What the host calls on an add-in's connection object.
struct IDTExtensibility2 : IDispatch {
    static constexpr Guid IID{0xB65AD801, 0xABAF, 0x11D0, {0xBB, 0x8B, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x44}};
    virtual HResult OnConnection(IDispatch *application, ConnectMode mode, IDispatch *addInInst,
                                 QVariantList &custom) = 0;
    virtual HResult OnDisconnection(DisconnectMode mode, QVariantList &custom) = 0;
    virtual HResult OnAddInsUpdate(QVariantList &custom) = 0;
    virtual HResult OnStartupComplete(QVariantList &custom) = 0;
    virtual HResult OnBeginShutdown(QVariantList &custom) = 0;

protected:
    ~IDTExtensibility2() = default;
};

} // namespace quillbox::host
