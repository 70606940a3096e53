#include "host/hostobjectmodel.h"

#include <QMetaType>

#include <array>
#include <atomic>
#include <span>
#include <utility>
#include <vector>

namespace quillbox::host {

namespace {

std::atomic<int> g_liveObjects{0};
std::atomic<ControlId> g_nextControlId{1};

// Asked of a control by QueryInterface, it answers with its implementation, so that the
// host recognises its own controls when an add-in hands one back.
constexpr Guid kControlImplIid{0x51B0C3A0, 0x2F4D, 0x4C6B, {0x8A, 0x17, 0x6E, 0x90, 0x3D, 0x25, 0xB1, 0x4C}};

const QString kHostClosed = QStringLiteral("The host has closed; its objects can no longer be used.");
const QString kNoResultPlace = QStringLiteral("Object variable not set: no place was given for the result.");
const QString kBadParamCount = QStringLiteral("Wrong number of arguments or invalid property assignment");
const QString kMemberNotFound = QStringLiteral("Object doesn't support this property or method");
const QString kTypeMismatch = QStringLiteral("Type mismatch");

// What every object of one model shares: the model while it lives.
struct HostLink {
    ObjectModel *model = nullptr;
};
using Link = std::shared_ptr<HostLink>;

struct Member {
    const char *name;
    DispId id;
};

bool isGet(InvokeKind kind)
{
    return kind == InvokeKind::PropertyGet || kind == InvokeKind::Method;
}

// False when the argument is neither empty nor an object.
template <typename T>
bool variantObject(const QVariant &value, ComPtr<T> *out)
{
    *out = nullptr;
    if (!value.isValid() || value.isNull())
        return true;
    if (value.metaType() != QMetaType::fromType<void *>())
        return false;
    auto *dispatch = static_cast<IDispatch *>(value.value<void *>());
    if (!dispatch)
        return true;
    return Succeeded(dispatch->QueryInterface(T::IID, out->putVoid()));
}

template <typename T>
T *counted(T *object)
{
    if (object)
        object->AddRef();
    return object;
}

// Reference counting, interface identity, names for late binding and the description of
// the last failed call: what every object of the model shares.
template <typename Derived, typename Interface>
class Object : public Interface {
public:
    explicit Object(Link link) : m_link(std::move(link)) { ++g_liveObjects; }
    Object(const Object &) = delete;
    Object &operator=(const Object &) = delete;

    HResult QueryInterface(const Guid &iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid == IUnknown::IID)
            *object = static_cast<IUnknown *>(this);
        else if (iid == IDispatch::IID)
            *object = static_cast<IDispatch *>(this);
        else if (iid == Interface::IID)
            *object = static_cast<Interface *>(this);
        else if constexpr (requires { Derived::kImplIid; }) {
            if (iid == Derived::kImplIid)
                *object = static_cast<Derived *>(this);
        }
        if (!*object)
            return E_NOINTERFACE;
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

    HResult GetIDsOfNames(const QString &name, DispId *id) override
    {
        if (!id)
            return fail(E_POINTER, kNoResultPlace);
        for (const Member &m : Derived::members()) {
            if (name.compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0) {
                *id = m.id;
                return S_OK;
            }
        }
        *id = -1;
        return fail(DISP_E_UNKNOWNNAME, QStringLiteral("%1: %2").arg(kMemberNotFound, name));
    }
    QString ErrorDescription() override { return m_error; }

protected:
    ~Object() { --g_liveObjects; }

    HResult fail(HResult hr, const QString &description)
    {
        m_error = description;
        return hr;
    }
    bool closed() const { return !m_link->model; }
    ObjectModel *model() const { return m_link->model; }
    const Link &link() const { return m_link; }

    // Late-binding replies shared by every object.
    HResult badCall() { return fail(DISP_E_BADPARAMCOUNT, kBadParamCount); }
    HResult noMember() { return fail(DISP_E_MEMBERNOTFOUND, kMemberNotFound); }
    HResult typeMismatch() { return fail(DISP_E_TYPEMISMATCH, kTypeMismatch); }
    static void answer(QVariant *result, const QVariant &value)
    {
        if (result)
            *result = value;
    }

private:
    std::atomic<std::uint32_t> m_refs{1}; // the creator's reference
    Link m_link;
    QString m_error;
};

class ControlObject;
class ControlsObject;

// The click event source of one control.
class EventSourceObject final : public Object<EventSourceObject, ICommandBarEvents> {
public:
    explicit EventSourceObject(Link link, ControlObject *control) : Object(std::move(link)), m_control(control) {}

    static std::span<const Member> members() { return {}; }

    HResult Invoke(DispId, InvokeKind, QVariantList &, QVariant *) override { return noMember(); }

    HResult Advise(ICommandBarEventsSink *sink, std::uint32_t *cookie) override
    {
        if (!cookie)
            return fail(E_POINTER, kNoResultPlace);
        *cookie = 0;
        if (!sink)
            return fail(E_POINTER, QStringLiteral("Object variable not set: no event sink was given."));
        if (closed())
            return fail(E_UNEXPECTED, kHostClosed);
        *cookie = m_nextCookie++;
        m_sinks.emplace_back(*cookie, ComPtr<ICommandBarEventsSink>(sink));
        return S_OK;
    }

    HResult Unadvise(std::uint32_t cookie) override
    {
        for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
            if (it->first == cookie) {
                // Let go of the sink after it has left the list: its release may call back.
                ComPtr<ICommandBarEventsSink> sink = std::move(it->second);
                m_sinks.erase(it);
                return S_OK;
            }
        }
        return fail(E_INVALIDARG,
                    QStringLiteral("Invalid procedure call or argument: there is no event connection with cookie %1.")
                        .arg(cookie));
    }

    // Every advised sink sees the same handled and cancelDefault, so a later one knows
    // what an earlier one did. Sinks advised or unadvised during the click do not change
    // who hears this one.
    void raise();

    int sinkCount() const { return static_cast<int>(m_sinks.size()); }
    void detach() { m_control = nullptr; }

private:
    ControlObject *m_control; // cleared when the control goes
    std::vector<std::pair<std::uint32_t, ComPtr<ICommandBarEventsSink>>> m_sinks;
    std::uint32_t m_nextCookie = 1;
};

class ControlObject final : public Object<ControlObject, ICommandBarControl> {
public:
    static constexpr Guid kImplIid = kControlImplIid;

    ControlObject(Link link, ControlsObject *parent, std::int32_t type)
        : Object(std::move(link)), m_id(g_nextControlId++), m_type(type), m_parent(parent)
    {}
    ~ControlObject()
    {
        if (m_events)
            m_events->detach();
    }

    enum : DispId { dispCaption = 1, dispType, dispDelete };
    static std::span<const Member> members()
    {
        static constexpr std::array<Member, 3> list{
            {{"Caption", dispCaption}, {"Type", dispType}, {"Delete", dispDelete}}};
        return list;
    }

    HResult Invoke(DispId id, InvokeKind kind, QVariantList &args, QVariant *result) override
    {
        switch (id) {
        case dispCaption:
            if (isGet(kind) && args.isEmpty()) {
                QString caption;
                const HResult hr = get_Caption(&caption);
                if (Succeeded(hr))
                    answer(result, caption);
                return hr;
            }
            if (kind == InvokeKind::PropertyPut && args.size() == 1)
                return put_Caption(args[0].toString());
            return badCall();
        case dispType:
            if (isGet(kind) && args.isEmpty()) {
                std::int32_t type = 0;
                const HResult hr = get_Type(&type);
                if (Succeeded(hr))
                    answer(result, type);
                return hr;
            }
            return badCall();
        case dispDelete:
            if (kind == InvokeKind::Method && args.isEmpty())
                return Delete();
            return badCall();
        default:
            return noMember();
        }
    }

    HResult get_Caption(QString *caption) override
    {
        if (!caption)
            return fail(E_POINTER, kNoResultPlace);
        if (const HResult hr = checkUsable(); Failed(hr))
            return hr;
        *caption = m_caption;
        return S_OK;
    }
    HResult put_Caption(const QString &caption) override;
    HResult get_Type(std::int32_t *type) override
    {
        if (!type)
            return fail(E_POINTER, kNoResultPlace);
        if (const HResult hr = checkUsable(); Failed(hr))
            return hr;
        *type = m_type;
        return S_OK;
    }
    HResult Delete() override;

    ControlId id() const { return m_id; }
    bool sameHost(const Link &other) const { return link() == other; }
    QString caption() const { return m_caption; }
    bool deleted() const { return m_deleted; }
    int sinkCount() const { return m_events ? m_events->sinkCount() : 0; }

    // The control's event source, made on first request; the same one afterwards.
    EventSourceObject *events()
    {
        if (!m_events)
            m_events = ComPtr<EventSourceObject>(new EventSourceObject(link(), this), false);
        return m_events.get();
    }
    void click()
    {
        if (m_events)
            m_events->raise();
    }

    // The collection holding the control lets go of it (deleted or going away itself).
    void detach(bool deleted)
    {
        m_parent = nullptr;
        m_deleted = deleted;
        if (m_events) {
            // The source stays with whoever holds it, but can no longer fire.
            m_events->detach();
            m_events = nullptr;
        }
    }

    QString deletedDescription() const
    {
        return m_caption.isEmpty()
                   ? QStringLiteral("The command bar control has been deleted; it can no longer be used.")
                   : QStringLiteral("The command bar control '%1' has been deleted; it can no longer be used.")
                         .arg(m_caption);
    }

private:
    HResult checkUsable()
    {
        if (closed())
            return fail(E_UNEXPECTED, kHostClosed);
        if (!m_parent)
            return fail(E_FAIL, deletedDescription());
        return S_OK;
    }

    ControlId m_id;
    std::int32_t m_type;
    QString m_caption;
    ControlsObject *m_parent; // cleared when the control leaves its bar
    bool m_deleted = false;
    ComPtr<EventSourceObject> m_events;
};

class ControlsObject final : public Object<ControlsObject, ICommandBarControls> {
public:
    ControlsObject(Link link, QString bar) : Object(std::move(link)), m_bar(std::move(bar)) {}
    ~ControlsObject()
    {
        for (const auto &control : m_controls)
            control->detach(false);
    }

    enum : DispId { dispCount = 1, dispItem, dispAdd };
    static std::span<const Member> members()
    {
        static constexpr std::array<Member, 3> list{{{"Count", dispCount}, {"Item", dispItem}, {"Add", dispAdd}}};
        return list;
    }

    HResult Invoke(DispId id, InvokeKind kind, QVariantList &args, QVariant *result) override
    {
        switch (id) {
        case dispCount:
            if (isGet(kind) && args.isEmpty()) {
                std::int32_t count = 0;
                const HResult hr = get_Count(&count);
                if (Succeeded(hr))
                    answer(result, count);
                return hr;
            }
            return badCall();
        case dispItem:
            if (isGet(kind) && args.size() == 1) {
                bool ok = false;
                const int index = args[0].toInt(&ok);
                if (!ok)
                    return typeMismatch();
                ComPtr<ICommandBarControl> control;
                const HResult hr = Item(index, control.put());
                if (Succeeded(hr))
                    answer(result, objectVariant(control.get()));
                return hr;
            }
            return badCall();
        case dispAdd:
            // Type is the only argument this host takes; without it, a button.
            if (kind == InvokeKind::Method && args.size() <= 1) {
                std::int32_t type = msoControlButton;
                if (!args.isEmpty() && args[0].isValid()) {
                    bool ok = false;
                    type = args[0].toInt(&ok);
                    if (!ok)
                        return typeMismatch();
                }
                ComPtr<ICommandBarControl> control;
                const HResult hr = Add(type, control.put());
                if (Succeeded(hr))
                    answer(result, objectVariant(control.get()));
                return hr;
            }
            return badCall();
        default:
            return noMember();
        }
    }

    HResult get_Count(std::int32_t *count) override
    {
        if (!count)
            return fail(E_POINTER, kNoResultPlace);
        if (closed())
            return fail(E_UNEXPECTED, kHostClosed);
        *count = static_cast<std::int32_t>(m_controls.size());
        return S_OK;
    }

    HResult Item(std::int32_t index, ICommandBarControl **control) override
    {
        if (!control)
            return fail(E_POINTER, kNoResultPlace);
        *control = nullptr;
        if (closed())
            return fail(E_UNEXPECTED, kHostClosed);
        if (index < 1 || index > static_cast<std::int32_t>(m_controls.size()))
            return fail(E_INVALIDARG,
                        QStringLiteral("Invalid procedure call or argument: the command bar '%1' has no control "
                                       "number %2 (it has %3).")
                            .arg(m_bar)
                            .arg(index)
                            .arg(m_controls.size()));
        *control = counted(m_controls[static_cast<std::size_t>(index - 1)].get());
        return S_OK;
    }

    HResult Add(std::int32_t type, ICommandBarControl **control) override
    {
        if (!control)
            return fail(E_POINTER, kNoResultPlace);
        *control = nullptr;
        if (closed())
            return fail(E_UNEXPECTED, kHostClosed);
        if (type != msoControlButton)
            return fail(E_INVALIDARG, QStringLiteral("Invalid procedure call or argument: this host adds only buttons "
                                                     "(control type %1), not controls of type %2.")
                                          .arg(msoControlButton)
                                          .arg(type));
        ComPtr<ControlObject> added(new ControlObject(link(), this, type), false);
        m_controls.push_back(added);
        *control = counted(added.get());
        Q_EMIT model()->controlAdded(m_bar, added->id(), static_cast<int>(m_controls.size()) - 1);
        return S_OK;
    }

    // Called by a control's Delete.
    void remove(ControlObject *control)
    {
        for (auto it = m_controls.begin(); it != m_controls.end(); ++it) {
            if (it->get() == control) {
                ComPtr<ControlObject> keep = std::move(*it);
                m_controls.erase(it);
                keep->detach(true);
                if (ObjectModel *host = model())
                    Q_EMIT host->controlDeleted(m_bar, keep->id());
                return;
            }
        }
    }

    void captionChanged(ControlObject *control)
    {
        if (ObjectModel *host = model())
            Q_EMIT host->captionChanged(m_bar, control->id(), control->caption());
    }

    const QString &bar() const { return m_bar; }
    const std::vector<ComPtr<ControlObject>> &list() const { return m_controls; }

private:
    QString m_bar;
    std::vector<ComPtr<ControlObject>> m_controls;
};

void EventSourceObject::raise()
{
    if (!m_control)
        return;
    ComPtr<EventSourceObject> self(this);
    ComPtr<ControlObject> control(m_control);
    std::vector<ComPtr<ICommandBarEventsSink>> sinks;
    sinks.reserve(m_sinks.size());
    for (const auto &entry : m_sinks)
        sinks.push_back(entry.second);
    VariantBool handled = VariantFalse;
    VariantBool cancelDefault = VariantFalse;
    for (const auto &sink : sinks)
        sink->Click(control.get(), &handled, &cancelDefault);
}

HResult ControlObject::put_Caption(const QString &caption)
{
    if (const HResult hr = checkUsable(); Failed(hr))
        return hr;
    if (caption == m_caption)
        return S_OK;
    m_caption = caption;
    m_parent->captionChanged(this);
    return S_OK;
}

HResult ControlObject::Delete()
{
    if (const HResult hr = checkUsable(); Failed(hr))
        return hr;
    m_parent->remove(this);
    return S_OK;
}

class BarObject final : public Object<BarObject, ICommandBar> {
public:
    BarObject(const Link &link, const QString &name)
        : Object(link), m_name(name), m_controls(new ControlsObject(link, name), false)
    {}

    enum : DispId { dispName = 1, dispControls };
    static std::span<const Member> members()
    {
        static constexpr std::array<Member, 2> list{{{"Name", dispName}, {"Controls", dispControls}}};
        return list;
    }

    HResult Invoke(DispId id, InvokeKind kind, QVariantList &args, QVariant *result) override
    {
        if (id != dispName && id != dispControls)
            return noMember();
        if (!isGet(kind) || !args.isEmpty())
            return badCall();
        if (id == dispName) {
            QString name;
            const HResult hr = get_Name(&name);
            if (Succeeded(hr))
                answer(result, name);
            return hr;
        }
        ComPtr<ICommandBarControls> controls;
        const HResult hr = get_Controls(controls.put());
        if (Succeeded(hr))
            answer(result, objectVariant(controls.get()));
        return hr;
    }

    HResult get_Name(QString *name) override
    {
        if (!name)
            return fail(E_POINTER, kNoResultPlace);
        *name = m_name;
        return S_OK;
    }
    HResult get_Controls(ICommandBarControls **controls) override
    {
        if (!controls)
            return fail(E_POINTER, kNoResultPlace);
        *controls = nullptr;
        if (closed())
            return fail(E_UNEXPECTED, kHostClosed);
        *controls = counted(m_controls.get());
        return S_OK;
    }

    const QString &name() const { return m_name; }
    ControlsObject *controls() const { return m_controls.get(); }

private:
    QString m_name;
    ComPtr<ControlsObject> m_controls;
};

class BarsObject final : public Object<BarsObject, ICommandBars> {
public:
    explicit BarsObject(const Link &link, const QStringList &names) : Object(link)
    {
        for (const QString &name : names)
            m_bars.emplace_back(new BarObject(link, name), false);
    }

    enum : DispId { dispCount = 1, dispItem };
    static std::span<const Member> members()
    {
        static constexpr std::array<Member, 2> list{{{"Count", dispCount}, {"Item", dispItem}}};
        return list;
    }

    HResult Invoke(DispId id, InvokeKind kind, QVariantList &args, QVariant *result) override
    {
        switch (id) {
        case dispCount:
            if (isGet(kind) && args.isEmpty()) {
                std::int32_t count = 0;
                const HResult hr = get_Count(&count);
                if (Succeeded(hr))
                    answer(result, count);
                return hr;
            }
            return badCall();
        case dispItem: {
            if (!isGet(kind) || args.size() != 1)
                return badCall();
            // A text index names the bar; a number counts from 1.
            ComPtr<ICommandBar> bar;
            HResult hr = S_OK;
            const QVariant &index = args[0];
            if (index.typeId() == QMetaType::QString) {
                hr = Item(index.toString(), bar.put());
            } else {
                bool ok = false;
                const int number = index.toInt(&ok);
                if (!ok)
                    return typeMismatch();
                hr = itemAt(number, bar.put());
            }
            if (Succeeded(hr))
                answer(result, objectVariant(bar.get()));
            return hr;
        }
        default:
            return noMember();
        }
    }

    HResult get_Count(std::int32_t *count) override
    {
        if (!count)
            return fail(E_POINTER, kNoResultPlace);
        *count = static_cast<std::int32_t>(m_bars.size());
        return S_OK;
    }

    HResult Item(const QString &name, ICommandBar **bar) override
    {
        if (!bar)
            return fail(E_POINTER, kNoResultPlace);
        *bar = nullptr;
        if (closed())
            return fail(E_UNEXPECTED, kHostClosed);
        // Bar names are matched as the user reads them, without regard to case.
        for (const auto &candidate : m_bars) {
            if (candidate->name().compare(name, Qt::CaseInsensitive) == 0) {
                *bar = counted(candidate.get());
                return S_OK;
            }
        }
        return fail(
            E_INVALIDARG,
            QStringLiteral("Invalid procedure call or argument: there is no command bar named '%1'.").arg(name));
    }

    HResult itemAt(int number, ICommandBar **bar)
    {
        *bar = nullptr;
        if (closed())
            return fail(E_UNEXPECTED, kHostClosed);
        if (number < 1 || number > static_cast<int>(m_bars.size()))
            return fail(E_INVALIDARG,
                        QStringLiteral("Invalid procedure call or argument: there is no command bar number %1 "
                                       "(there are %2).")
                            .arg(number)
                            .arg(m_bars.size()));
        *bar = counted(m_bars[static_cast<std::size_t>(number - 1)].get());
        return S_OK;
    }

    const std::vector<ComPtr<BarObject>> &list() const { return m_bars; }

private:
    std::vector<ComPtr<BarObject>> m_bars;
};

class EventsObject final : public Object<EventsObject, IEvents> {
public:
    explicit EventsObject(const Link &link) : Object(link) {}

    enum : DispId { dispCommandBarEvents = 1 };
    static std::span<const Member> members()
    {
        static constexpr std::array<Member, 1> list{{{"CommandBarEvents", dispCommandBarEvents}}};
        return list;
    }

    HResult Invoke(DispId id, InvokeKind kind, QVariantList &args, QVariant *result) override
    {
        if (id != dispCommandBarEvents)
            return noMember();
        if (!isGet(kind) || args.size() != 1)
            return badCall();
        ComPtr<ICommandBarControl> control;
        if (!variantObject(args[0], &control))
            return typeMismatch();
        ComPtr<ICommandBarEvents> events;
        const HResult hr = get_CommandBarEvents(control.get(), events.put());
        if (Succeeded(hr))
            answer(result, objectVariant(events.get()));
        return hr;
    }

    HResult get_CommandBarEvents(ICommandBarControl *control, ICommandBarEvents **events) override
    {
        if (!events)
            return fail(E_POINTER, kNoResultPlace);
        *events = nullptr;
        if (closed())
            return fail(E_UNEXPECTED, kHostClosed);
        if (!control)
            return fail(E_POINTER, QStringLiteral("Object variable not set: no command bar control was given."));
        void *impl = nullptr;
        if (Failed(control->QueryInterface(ControlObject::kImplIid, &impl)) || !impl)
            return fail(E_INVALIDARG, QStringLiteral("Invalid procedure call or argument: the command bar control "
                                                     "does not belong to this host."));
        ComPtr<ControlObject> own(static_cast<ControlObject *>(impl), false);
        if (!own->sameHost(link()))
            return fail(E_INVALIDARG, QStringLiteral("Invalid procedure call or argument: the command bar control "
                                                     "belongs to another host."));
        if (own->deleted())
            return fail(E_INVALIDARG,
                        QStringLiteral("Invalid procedure call or argument: %1").arg(own->deletedDescription()));
        *events = counted(own->events());
        return S_OK;
    }
};

class VbeObject final : public Object<VbeObject, IVBE> {
public:
    VbeObject(const Link &link, const ObjectModelOptions &options)
        : Object(link), m_version(options.version),
          m_bars(new BarsObject(link, options.withAddInsBar ? QStringList{kMenuBarName, kAddInsBarName}
                                                            : QStringList{kMenuBarName}),
                 false),
          m_events(new EventsObject(link), false)
    {}

    enum : DispId { dispVersion = 1, dispCommandBars, dispEvents };
    static std::span<const Member> members()
    {
        static constexpr std::array<Member, 3> list{
            {{"Version", dispVersion}, {"CommandBars", dispCommandBars}, {"Events", dispEvents}}};
        return list;
    }

    HResult Invoke(DispId id, InvokeKind kind, QVariantList &args, QVariant *result) override
    {
        if (id != dispVersion && id != dispCommandBars && id != dispEvents)
            return noMember();
        if (!isGet(kind) || !args.isEmpty())
            return badCall();
        HResult hr = S_OK;
        if (id == dispVersion) {
            QString version;
            hr = get_Version(&version);
            if (Succeeded(hr))
                answer(result, version);
        } else if (id == dispCommandBars) {
            ComPtr<ICommandBars> bars;
            hr = get_CommandBars(bars.put());
            if (Succeeded(hr))
                answer(result, objectVariant(bars.get()));
        } else {
            ComPtr<IEvents> events;
            hr = get_Events(events.put());
            if (Succeeded(hr))
                answer(result, objectVariant(events.get()));
        }
        return hr;
    }

    HResult get_Version(QString *version) override
    {
        if (!version)
            return fail(E_POINTER, kNoResultPlace);
        *version = m_version;
        return S_OK;
    }
    HResult get_CommandBars(ICommandBars **bars) override
    {
        if (!bars)
            return fail(E_POINTER, kNoResultPlace);
        *bars = nullptr;
        if (closed())
            return fail(E_UNEXPECTED, kHostClosed);
        *bars = counted(m_bars.get());
        return S_OK;
    }
    HResult get_Events(IEvents **events) override
    {
        if (!events)
            return fail(E_POINTER, kNoResultPlace);
        *events = nullptr;
        if (closed())
            return fail(E_UNEXPECTED, kHostClosed);
        *events = counted(m_events.get());
        return S_OK;
    }

    BarsObject *bars() const { return m_bars.get(); }

private:
    QString m_version;
    ComPtr<BarsObject> m_bars;
    ComPtr<EventsObject> m_events;
};

} // namespace

struct ObjectModel::Private {
    Link link = std::make_shared<HostLink>();
    ComPtr<VbeObject> vbe;

    ControlObject *find(ControlId id, QString *bar = nullptr) const
    {
        for (const auto &b : vbe->bars()->list()) {
            for (const auto &control : b->controls()->list()) {
                if (control->id() == id) {
                    if (bar)
                        *bar = b->name();
                    return control.get();
                }
            }
        }
        return nullptr;
    }
};

ObjectModel::ObjectModel(const ObjectModelOptions &options, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->link->model = this;
    d->vbe = ComPtr<VbeObject>(new VbeObject(d->link, options), false);
}

ObjectModel::~ObjectModel()
{
    // From here on, objects that add-ins still hold refuse every call.
    d->link->model = nullptr;
    d->vbe = nullptr;
}

IVBE *ObjectModel::vbe() const
{
    return d->vbe.get();
}

IDispatch *ObjectModel::application() const
{
    return static_cast<IDispatch *>(d->vbe.get());
}

QStringList ObjectModel::barNames() const
{
    QStringList names;
    for (const auto &bar : d->vbe->bars()->list())
        names.append(bar->name());
    return names;
}

QList<ControlId> ObjectModel::controls(const QString &bar) const
{
    QList<ControlId> ids;
    for (const auto &b : d->vbe->bars()->list()) {
        if (b->name() == bar) {
            for (const auto &control : b->controls()->list())
                ids.append(control->id());
        }
    }
    return ids;
}

bool ObjectModel::hasControl(ControlId id) const
{
    return d->find(id) != nullptr;
}

QString ObjectModel::caption(ControlId id) const
{
    const ControlObject *control = d->find(id);
    return control ? control->caption() : QString();
}

QString ObjectModel::barOf(ControlId id) const
{
    QString bar;
    d->find(id, &bar);
    return bar;
}

int ObjectModel::sinkCount(ControlId id) const
{
    const ControlObject *control = d->find(id);
    return control ? control->sinkCount() : 0;
}

bool ObjectModel::click(ControlId id)
{
    ControlObject *found = d->find(id);
    if (!found)
        return false;
    ComPtr<ControlObject> control(found); // a sink may delete it while it is being clicked
    control->click();
    return true;
}

int ObjectModel::liveObjectCount()
{
    return g_liveObjects.load();
}

} // namespace quillbox::host
