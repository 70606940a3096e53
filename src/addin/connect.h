#pragma once
// The add-in's connection object, the one object of the add-in that the host creates. It
// puts the add-in's command on the host's Add-Ins menu, owns the main window, shows and
// hides it, and remembers whether it was open when the add-in was last disconnected.

#include "addin/connectinterface.h"
#include "window/frmaddin.h"

#include <QPointer>

#include <atomic>

namespace quillbox {

class Connect final : public _Connect, public qbx::IDTExtensibility2 {
public:
    Connect();
    Connect(const Connect &) = delete;
    Connect &operator=(const Connect &) = delete;

    // IUnknown
    qbx::HResult QueryInterface(const qbx::Guid &iid, void **object) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;

    // IDispatch: the members of _Connect by name.
    qbx::HResult GetIDsOfNames(const QString &name, qbx::DispId *id) override;
    qbx::HResult Invoke(qbx::DispId id, qbx::InvokeKind kind, QVariantList &args, QVariant *result) override;
    QString ErrorDescription() override { return m_error; }

    // _Connect
    qbx::HResult get_FormDisplayed(qbx::VariantBool *value) override;
    qbx::HResult put_FormDisplayed(qbx::VariantBool value) override;
    qbx::HResult get_VBInstance(qbx::IVBE **value) override;
    qbx::HResult putref_VBInstance(qbx::IVBE *value) override;
    qbx::HResult get_MenuHandler(qbx::ICommandBarEvents **value) override;
    qbx::HResult putref_MenuHandler(qbx::ICommandBarEvents *value) override;
    qbx::HResult Hide() override;
    qbx::HResult Show() override;
    qbx::HResult AddToAddInCommandBar(const QString &sCaption, qbx::ICommandBarControl **result) override;

    // IDTExtensibility2: only connection and disconnection are handled.
    qbx::HResult OnConnection(qbx::IDispatch *Application, qbx::ConnectMode ConnectMode, qbx::IDispatch *AddInInst,
                              QVariantList &custom) override;
    qbx::HResult OnDisconnection(qbx::DisconnectMode RemoveMode, QVariantList &custom) override;
    qbx::HResult OnAddInsUpdate(QVariantList &custom) override;
    qbx::HResult OnStartupComplete(QVariantList &custom) override;
    qbx::HResult OnBeginShutdown(QVariantList &custom) override;

    void AddinInstance_OnConnection(qbx::IDispatch *Application, qbx::ConnectMode ConnectMode);
    void AddinInstance_OnDisconnection();
    void MenuHandler_Click(qbx::ICommandBarControl *CommandBarControl, qbx::VariantBool *handled,
                           qbx::VariantBool *CancelDefault);

    // For inspection: the window, while one is loaded.
    frmAddIn *addInForm() const { return AddInForm; }
    bool formDisplayed() const { return FormDisplayed; }
    qbx::ICommandBarControl *menuCommand() const { return MenuCommand.get(); }

    // The objects of this module that are alive, for unloading decisions.
    static int liveObjects();

private:
    ~Connect();

    // Receives the menu command's clicks. It lives inside Connect and does not keep it
    // alive, so that the host's event source and this object hold no cycle.
    class MenuSink final : public qbx::ICommandBarEventsSink {
    public:
        explicit MenuSink(Connect *owner) : m_owner(owner) {}
        qbx::HResult QueryInterface(const qbx::Guid &iid, void **object) override;
        std::uint32_t AddRef() override { return 1; }
        std::uint32_t Release() override { return 1; }
        void Click(qbx::ICommandBarControl *control, qbx::VariantBool *handled,
                   qbx::VariantBool *cancelDefault) override;

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
    qbx::ComPtr<qbx::IVBE> VBInstance;
    qbx::ComPtr<qbx::ICommandBarControl> MenuCommand;
    QPointer<frmAddIn> AddInForm;
    qbx::ComPtr<qbx::ICommandBarEvents> MenuHandler;
};

// The module's count of live objects and server locks.
namespace module {
void objectCreated();
void objectDestroyed();
void lock(bool on);
bool canUnload();
} // namespace module

} // namespace quillbox
