#pragma once
// The add-in's connection object, the one object of the add-in that the host creates. It
// puts the add-in's command on the host's Add-Ins menu, owns the main window, shows and
// hides it, and remembers whether it was open when the add-in was last disconnected.

#include "addin/connectinterface.h"
#include "window/frmaddin.h"

#include <QPointer>

#include <atomic>

namespace quillbox::addin {

class Connect final : public _Connect, public host::IDTExtensibility2 {
public:
    Connect();
    Connect(const Connect &) = delete;
    Connect &operator=(const Connect &) = delete;

    // IUnknown
    host::HResult QueryInterface(const host::Guid &iid, void **object) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;

    // IDispatch: the members of _Connect by name.
    host::HResult GetIDsOfNames(const QString &name, host::DispId *id) override;
    host::HResult Invoke(host::DispId id, host::InvokeKind kind, QVariantList &args, QVariant *result) override;
    QString ErrorDescription() override { return m_error; }

    // _Connect
    host::HResult get_FormDisplayed(host::VariantBool *value) override;
    host::HResult put_FormDisplayed(host::VariantBool value) override;
    host::HResult get_VBInstance(host::IVBE **value) override;
    host::HResult putref_VBInstance(host::IVBE *value) override;
    host::HResult get_MenuHandler(host::ICommandBarEvents **value) override;
    host::HResult putref_MenuHandler(host::ICommandBarEvents *value) override;
    host::HResult Hide() override;
    host::HResult Show() override;
    host::HResult AddToAddInCommandBar(const QString &sCaption, host::ICommandBarControl **result) override;

    // IDTExtensibility2: only connection and disconnection are handled.
    host::HResult OnConnection(host::IDispatch *Application, host::ConnectMode ConnectMode, host::IDispatch *AddInInst,
                               QVariantList &custom) override;
    host::HResult OnDisconnection(host::DisconnectMode RemoveMode, QVariantList &custom) override;
    host::HResult OnAddInsUpdate(QVariantList &custom) override;
    host::HResult OnStartupComplete(QVariantList &custom) override;
    host::HResult OnBeginShutdown(QVariantList &custom) override;

    void AddinInstance_OnConnection(host::IDispatch *Application, host::ConnectMode ConnectMode);
    void AddinInstance_OnDisconnection();
    void MenuHandler_Click(host::ICommandBarControl *CommandBarControl, host::VariantBool *handled,
                           host::VariantBool *CancelDefault);

    // For inspection: the window, while one is loaded.
    window::frmAddIn *addInForm() const { return AddInForm; }
    bool formDisplayed() const { return FormDisplayed; }
    host::ICommandBarControl *menuCommand() const { return MenuCommand.get(); }

    // The objects of this module that are alive, for unloading decisions.
    static int liveObjects();

private:
    ~Connect();

    // Receives the menu command's clicks. It lives inside Connect and does not keep it
    // alive, so that the host's event source and this object hold no cycle.
    class MenuSink final : public host::ICommandBarEventsSink {
    public:
        explicit MenuSink(Connect *owner) : m_owner(owner) {}
        host::HResult QueryInterface(const host::Guid &iid, void **object) override;
        std::uint32_t AddRef() override { return 1; }
        std::uint32_t Release() override { return 1; }
        void Click(host::ICommandBarControl *control, host::VariantBool *handled,
                   host::VariantBool *cancelDefault) override;

    private:
        Connect *m_owner;
    };

    void loadWindow();
    void setError(const QString &description) { m_error = description; }

    std::atomic<std::uint32_t> m_refs{1};
    QString m_error;
    MenuSink m_sink{this};
    std::uint32_t m_sinkCookie = 0;

    // The members, as the host and the window know them.
    bool FormDisplayed = false;
    host::ComPtr<host::IVBE> VBInstance;
    host::ComPtr<host::ICommandBarControl> MenuCommand;
    QPointer<window::frmAddIn> AddInForm;
    host::ComPtr<host::ICommandBarEvents> MenuHandler;
};

// The module's count of live objects and server locks.
namespace module {
void objectCreated();
void objectDestroyed();
void lock(bool on);
bool canUnload();
} // namespace module

} // namespace quillbox::addin
