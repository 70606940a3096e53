#include "addin/connect.h"

#include "addin/settings.h"
#include "window/frmaddin.h"
#include "window/messageservice.h"

namespace quillbox::addin {

using namespace quillbox::host;

namespace module {
namespace {
std::atomic<int> g_objects{0};
std::atomic<int> g_locks{0};
} // namespace
void objectCreated()
{
    ++g_objects;
}
void objectDestroyed()
{
    --g_objects;
}
void lock(bool on)
{
    on ? ++g_locks : --g_locks;
}
bool canUnload()
{
    return g_objects.load() == 0 && g_locks.load() == 0;
}
} // namespace module

namespace {

const QString kMenuCaption = QStringLiteral("Quillbox ver 1.0");

// The member ids of _Connect for late binding; a property's read and write share one.
enum Member : DispId {
    dispFormDisplayed = 1,
    dispVBInstance,
    dispMenuHandler,
    dispHide,
    dispShow,
    dispAddToAddInCommandBar,
};

template <typename T>
ComPtr<T> variantObject(const QVariant &value, bool *ok)
{
    *ok = true;
    ComPtr<T> out;
    auto *unknown = static_cast<IUnknown *>(static_cast<IDispatch *>(value.value<void *>()));
    if (unknown && Failed(unknown->QueryInterface(T::IID, out.putVoid())))
        *ok = false;
    return out;
}

} // namespace

Connect::Connect()
{
    module::objectCreated();
}

Connect::~Connect()
{
    if (MenuHandler)
        MenuHandler->Unadvise(m_sinkCookie);
    delete AddInForm.data();
    module::objectDestroyed();
}

int Connect::liveObjects()
{
    return module::g_objects.load();
}

HResult Connect::QueryInterface(const Guid &iid, void **object)
{
    if (!object)
        return E_POINTER;
    if (iid == IUnknown::IID || iid == IDispatch::IID || iid == _Connect::IID)
        *object = static_cast<_Connect *>(this);
    else if (iid == IDTExtensibility2::IID)
        *object = static_cast<IDTExtensibility2 *>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

std::uint32_t Connect::AddRef()
{
    return ++m_refs;
}

std::uint32_t Connect::Release()
{
    const std::uint32_t left = --m_refs;
    if (left == 0)
        delete this;
    return left;
}

HResult Connect::GetIDsOfNames(const QString &name, DispId *id)
{
    static const struct {
        const char *name;
        DispId id;
    } members[] = {
        {"FormDisplayed", dispFormDisplayed},
        {"VBInstance", dispVBInstance},
        {"MenuHandler", dispMenuHandler},
        {"Hide", dispHide},
        {"Show", dispShow},
        {"AddToAddInCommandBar", dispAddToAddInCommandBar},
    };
    if (!id)
        return E_POINTER;
    for (const auto &m : members) {
        if (name.compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0) {
            *id = m.id;
            return S_OK;
        }
    }
    setError(QStringLiteral("Object doesn't support this property or method: %1").arg(name));
    return DISP_E_UNKNOWNNAME;
}

HResult Connect::Invoke(DispId id, InvokeKind kind, QVariantList &args, QVariant *result)
{
    auto needArgs = [&](qsizetype n) { return args.size() == n; };
    auto answer = [&](const QVariant &v) {
        if (result)
            *result = v;
    };
    switch (id) {
    case dispFormDisplayed:
        if (kind == InvokeKind::PropertyGet && needArgs(0)) {
            answer(FormDisplayed);
            return S_OK;
        }
        if (kind == InvokeKind::PropertyPut && needArgs(1))
            return put_FormDisplayed(args[0].toBool() ? VariantTrue : VariantFalse);
        break;
    case dispVBInstance:
    case dispMenuHandler: {
        const bool vbe = id == dispVBInstance;
        if (kind == InvokeKind::PropertyGet && needArgs(0)) {
            answer(vbe ? objectVariant(VBInstance.get()) : objectVariant(MenuHandler.get()));
            return S_OK;
        }
        if (kind == InvokeKind::PropertyPutRef && needArgs(1)) {
            bool ok = false;
            if (vbe) {
                auto object = variantObject<IVBE>(args[0], &ok);
                if (ok)
                    return putref_VBInstance(object.get());
            } else {
                auto object = variantObject<ICommandBarEvents>(args[0], &ok);
                if (ok)
                    return putref_MenuHandler(object.get());
            }
            setError(QStringLiteral("Type mismatch"));
            return DISP_E_TYPEMISMATCH;
        }
        break;
    }
    case dispHide:
    case dispShow:
        if (kind == InvokeKind::Method && needArgs(0))
            return id == dispHide ? Hide() : Show();
        break;
    case dispAddToAddInCommandBar:
        if (kind == InvokeKind::Method && needArgs(1)) {
            ComPtr<ICommandBarControl> control;
            const HResult hr = AddToAddInCommandBar(args[0].toString(), control.put());
            answer(objectVariant(control.get()));
            return hr;
        }
        break;
    default:
        setError(QStringLiteral("Object doesn't support this property or method"));
        return DISP_E_MEMBERNOTFOUND;
    }
    setError(QStringLiteral("Wrong number of arguments or invalid property assignment"));
    return DISP_E_BADPARAMCOUNT;
}

HResult Connect::get_FormDisplayed(VariantBool *value)
{
    if (!value)
        return E_POINTER;
    *value = FormDisplayed ? VariantTrue : VariantFalse;
    return S_OK;
}

HResult Connect::put_FormDisplayed(VariantBool value)
{
    FormDisplayed = value != VariantFalse;
    return S_OK;
}

HResult Connect::get_VBInstance(IVBE **value)
{
    if (!value)
        return E_POINTER;
    *value = VBInstance.get();
    if (*value)
        (*value)->AddRef();
    return S_OK;
}

HResult Connect::putref_VBInstance(IVBE *value)
{
    VBInstance = ComPtr<IVBE>(value);
    return S_OK;
}

HResult Connect::get_MenuHandler(ICommandBarEvents **value)
{
    if (!value)
        return E_POINTER;
    *value = MenuHandler.get();
    if (*value)
        (*value)->AddRef();
    return S_OK;
}

HResult Connect::putref_MenuHandler(ICommandBarEvents *value)
{
    // Receiving the events of a source: stop listening to the old one, listen to the new.
    if (MenuHandler)
        MenuHandler->Unadvise(m_sinkCookie);
    m_sinkCookie = 0;
    MenuHandler = ComPtr<ICommandBarEvents>(value);
    if (MenuHandler) {
        const HResult hr = MenuHandler->Advise(&m_sink, &m_sinkCookie);
        if (Failed(hr)) {
            setError(MenuHandler->ErrorDescription());
            MenuHandler = nullptr;
            return hr;
        }
    }
    return S_OK;
}

void Connect::loadWindow()
{
    auto *form = new window::frmAddIn;
    AddInForm = form;
    // The close box unloads the window; it is no longer shown, and the next Show loads a new one.
    QObject::connect(form, &window::frmAddIn::closedByUser, form, [this, form] {
        if (AddInForm == form) {
            FormDisplayed = false;
            AddInForm = nullptr;
        }
    });
    // Exit hides the window as the host's menu does.
    QObject::connect(form, &window::frmAddIn::exitRequested, form, [this] { Hide(); });
}

HResult Connect::Show()
{
    if (!AddInForm)
        loadWindow();
    FormDisplayed = true;
    AddInForm->show();
    AddInForm->raise();
    AddInForm->activateWindow();
    return S_OK;
}

HResult Connect::Hide()
{
    FormDisplayed = false;
    if (!AddInForm)
        loadWindow();
    AddInForm->hide();
    return S_OK;
}

HResult Connect::AddToAddInCommandBar(const QString &sCaption, ICommandBarControl **result)
{
    if (!result)
        return E_POINTER;
    *result = nullptr;
    // Any failure on the way yields no command, silently.
    if (!VBInstance)
        return S_OK;
    ComPtr<ICommandBars> bars;
    ComPtr<ICommandBar> bar;
    ComPtr<ICommandBarControls> controls;
    ComPtr<ICommandBarControl> control;
    if (Failed(VBInstance->get_CommandBars(bars.put())) || !bars)
        return S_OK;
    if (Failed(bars->Item(QStringLiteral("Add-Ins"), bar.put())) || !bar)
        return S_OK;
    if (Failed(bar->get_Controls(controls.put())) || !controls)
        return S_OK;
    if (Failed(controls->Add(msoControlButton, control.put())) || !control)
        return S_OK;
    if (Failed(control->put_Caption(sCaption)))
        return S_OK;
    *result = control.detach();
    return S_OK;
}

HResult Connect::OnConnection(IDispatch *Application, ConnectMode ConnectMode, IDispatch *, QVariantList &)
{
    AddinInstance_OnConnection(Application, ConnectMode);
    return S_OK;
}

void Connect::AddinInstance_OnConnection(IDispatch *Application, ConnectMode ConnectMode)
{
    // The first failure ends the sequence and is shown to the user; what is kept stays kept.
    auto run = [&]() -> QString {
        VBInstance = nullptr;
        if (Application && Failed(Application->QueryInterface(IVBE::IID, VBInstance.putVoid())))
            return QStringLiteral("Type mismatch: the host object is not a development environment.");

        if (ConnectMode != ConnectMode::External) {
            AddToAddInCommandBar(kMenuCaption, MenuCommand.put());
            if (!VBInstance)
                return QStringLiteral("Object variable or With block variable not set");
            ComPtr<IEvents> events;
            if (Failed(VBInstance->get_Events(events.put())) || !events)
                return VBInstance->ErrorDescription();
            ComPtr<ICommandBarEvents> source;
            if (Failed(events->get_CommandBarEvents(MenuCommand.get(), source.put())))
                return events->ErrorDescription();
            if (Failed(putref_MenuHandler(source.get())))
                return m_error;
        } else {
            Show();
        }

        if (ConnectMode == ConnectMode::AfterStartup) {
            QString value;
            if (const QString failure = settings::readDisplayOnConnect(value); !failure.isNull())
                return failure;
            if (value == QLatin1String("1"))
                Show();
        }
        return {};
    };
    const QString failure = run();
    if (!failure.isNull())
        window::MsgBox(nullptr, failure.isEmpty() ? QStringLiteral("Unexpected failure while connecting.") : failure);
}

HResult Connect::OnDisconnection(DisconnectMode, QVariantList &)
{
    AddinInstance_OnDisconnection();
    return S_OK;
}

void Connect::AddinInstance_OnDisconnection()
{
    // Every step runs, whatever the one before it did.
    if (MenuCommand)
        MenuCommand->Delete();

    // Whether the window comes back at the next start is not worth a box while the host
    // closes, but it is not kept from the user either.
    const QString failure = settings::writeDisplayOnConnect(FormDisplayed ? QStringLiteral("1") : QStringLiteral("0"));
    if (!failure.isNull())
        qWarning("%s", qPrintable(failure));
    FormDisplayed = false;

    delete AddInForm.data();
    AddInForm = nullptr;
}

HResult Connect::OnAddInsUpdate(QVariantList &)
{
    return S_OK;
}

HResult Connect::OnStartupComplete(QVariantList &)
{
    return S_OK;
}

HResult Connect::OnBeginShutdown(QVariantList &)
{
    return S_OK;
}

void Connect::MenuHandler_Click(ICommandBarControl *, VariantBool *, VariantBool *)
{
    Show();
}

HResult Connect::MenuSink::QueryInterface(const Guid &iid, void **object)
{
    if (!object)
        return E_POINTER;
    if (iid == IUnknown::IID || iid == ICommandBarEventsSink::IID) {
        *object = static_cast<ICommandBarEventsSink *>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

void Connect::MenuSink::Click(ICommandBarControl *control, VariantBool *handled, VariantBool *cancelDefault)
{
    m_owner->MenuHandler_Click(control, handled, cancelDefault);
}

} // namespace quillbox::addin
