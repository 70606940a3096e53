// The host object model as an add-in meets it: command bars by name, controls added,
// recaptioned and deleted, click event sources, late binding, and reference counts.

#include "hostobjectmodel.h"
#include "hosttestsupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace qbx;
using namespace qbx::host;
using hosttest::RecordingSink;

namespace {

ComPtr<ICommandBarControls> controlsOf(ObjectModel &model, const QString &barName)
{
    ComPtr<ICommandBars> bars;
    ComPtr<ICommandBar> bar;
    ComPtr<ICommandBarControls> controls;
    EXPECT_EQ(model.vbe()->get_CommandBars(bars.put()), S_OK);
    EXPECT_EQ(bars->Item(barName, bar.put()), S_OK) << bars->ErrorDescription().toStdString();
    if (bar) {
        EXPECT_EQ(bar->get_Controls(controls.put()), S_OK);
    }
    return controls;
}

ComPtr<ICommandBarControl> addButton(ICommandBarControls *controls, const QString &caption)
{
    ComPtr<ICommandBarControl> control;
    EXPECT_EQ(controls->Add(msoControlButton, control.put()), S_OK);
    EXPECT_EQ(control->put_Caption(caption), S_OK);
    return control;
}

ComPtr<ICommandBarEvents> eventsOf(ObjectModel &model, ICommandBarControl *control, HResult *hr = nullptr,
                                   QString *error = nullptr)
{
    ComPtr<IEvents> events;
    EXPECT_EQ(model.vbe()->get_Events(events.put()), S_OK);
    ComPtr<ICommandBarEvents> source;
    const HResult result = events->get_CommandBarEvents(control, source.put());
    if (hr)
        *hr = result;
    if (error)
        *error = events->ErrorDescription();
    return source;
}

ComPtr<RecordingSink> newSink()
{
    return ComPtr<RecordingSink>(new RecordingSink, false);
}

} // namespace

TEST(HostObjectModel, CommandBarsAnswerByNameAndFailForMissingBars)
{
    struct Case {
        bool withAddInsBar;
        QString name;
        QString expectedName; // empty: the call fails
    };
    const Case cases[] = {
        {true, QStringLiteral("Add-Ins"), QStringLiteral("Add-Ins")},
        {true, QStringLiteral("add-ins"), QStringLiteral("Add-Ins")},
        {true, QStringLiteral("Menu Bar"), QStringLiteral("Menu Bar")},
        {true, QStringLiteral("Add-Ins "), QString()},
        {true, QStringLiteral("Standard"), QString()},
        {true, QString(), QString()},
        {false, QStringLiteral("Add-Ins"), QString()},
        {false, QStringLiteral("Menu Bar"), QStringLiteral("Menu Bar")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QStringLiteral("bar '%1', Add-Ins bar %2").arg(c.name).arg(c.withAddInsBar).toStdString());
        ObjectModel model(ObjectModelOptions{c.withAddInsBar, QStringLiteral("6.00")});
        ComPtr<ICommandBars> bars;
        ASSERT_EQ(model.vbe()->get_CommandBars(bars.put()), S_OK);
        std::int32_t count = 0;
        ASSERT_EQ(bars->get_Count(&count), S_OK);
        EXPECT_EQ(count, c.withAddInsBar ? 2 : 1);

        ComPtr<ICommandBar> bar;
        const HResult hr = bars->Item(c.name, bar.put());
        if (c.expectedName.isEmpty()) {
            EXPECT_TRUE(Failed(hr));
            EXPECT_FALSE(bar);
            EXPECT_EQ(bars->ErrorDescription(),
                      QStringLiteral("Invalid procedure call or argument: there is no command bar named '%1'.")
                          .arg(c.name));
        } else {
            ASSERT_EQ(hr, S_OK);
            ASSERT_TRUE(bar);
            QString name;
            EXPECT_EQ(bar->get_Name(&name), S_OK);
            EXPECT_EQ(name, c.expectedName);
        }
    }
}

TEST(HostObjectModel, ControlsAreAddedAtTheEndRecaptionedAndDeleted)
{
    ObjectModel model;
    QSignalSpy added(&model, &ObjectModel::controlAdded);
    QSignalSpy deleted(&model, &ObjectModel::controlDeleted);
    QSignalSpy recaptioned(&model, &ObjectModel::captionChanged);
    auto controls = controlsOf(model, kAddInsBarName);
    ASSERT_TRUE(controls);

    ComPtr<ICommandBarControl> first;
    ASSERT_EQ(controls->Add(msoControlButton, first.put()), S_OK);
    QString caption = QStringLiteral("not read");
    ASSERT_EQ(first->get_Caption(&caption), S_OK);
    EXPECT_EQ(caption, QString());
    std::int32_t type = 0;
    ASSERT_EQ(first->get_Type(&type), S_OK);
    EXPECT_EQ(type, msoControlButton);

    // Captions come back exactly as written: mnemonics, non-Latin text, spaces.
    for (const QString &text : {QStringLiteral("&Quillbox ver 1.0"), QStringLiteral("Größe — 大小"),
                                QStringLiteral("  padded  "), QString()}) {
        ASSERT_EQ(first->put_Caption(text), S_OK);
        ASSERT_EQ(first->get_Caption(&caption), S_OK);
        EXPECT_EQ(caption, text);
    }
    ASSERT_EQ(first->put_Caption(QStringLiteral("First")), S_OK);
    auto second = addButton(controls.get(), QStringLiteral("Second"));

    std::int32_t count = 0;
    ASSERT_EQ(controls->get_Count(&count), S_OK);
    EXPECT_EQ(count, 2);
    ComPtr<ICommandBarControl> item;
    ASSERT_EQ(controls->Item(2, item.put()), S_OK);
    EXPECT_EQ(item.get(), second.get());
    ASSERT_EQ(controls->Item(1, item.put()), S_OK);
    EXPECT_EQ(item.get(), first.get());
    for (int bad : {0, 3, -1}) {
        EXPECT_EQ(controls->Item(bad, item.put()), E_INVALIDARG);
        EXPECT_FALSE(item);
        EXPECT_EQ(controls->ErrorDescription(),
                  QStringLiteral("Invalid procedure call or argument: the command bar 'Add-Ins' has no control "
                                 "number %1 (it has 2).")
                      .arg(bad));
    }
    // Only buttons are made.
    ComPtr<ICommandBarControl> popup;
    EXPECT_EQ(controls->Add(10, popup.put()), E_INVALIDARG);
    EXPECT_FALSE(popup);
    EXPECT_TRUE(controls->ErrorDescription().contains(QStringLiteral("type 10")));

    const QList<ControlId> ids = model.controls(kAddInsBarName);
    ASSERT_EQ(ids.size(), 2);
    EXPECT_EQ(model.caption(ids[0]), QStringLiteral("First"));
    EXPECT_EQ(model.caption(ids[1]), QStringLiteral("Second"));
    ASSERT_EQ(added.size(), 2);
    EXPECT_EQ(added[1][0].toString(), kAddInsBarName);
    EXPECT_EQ(added[1][1].toULongLong(), ids[1]);
    EXPECT_EQ(added[1][2].toInt(), 1);
    ASSERT_FALSE(recaptioned.isEmpty());
    EXPECT_EQ(recaptioned.last()[1].toULongLong(), ids[1]);
    EXPECT_EQ(recaptioned.last()[2].toString(), QStringLiteral("Second"));

    // Deleting the first leaves the second as number 1.
    ASSERT_EQ(first->Delete(), S_OK);
    ASSERT_EQ(controls->get_Count(&count), S_OK);
    EXPECT_EQ(count, 1);
    ASSERT_EQ(controls->Item(1, item.put()), S_OK);
    EXPECT_EQ(item.get(), second.get());
    EXPECT_EQ(model.controls(kAddInsBarName), QList<ControlId>{ids[1]});
    ASSERT_EQ(deleted.size(), 1);
    EXPECT_EQ(deleted[0][0].toString(), kAddInsBarName);
    EXPECT_EQ(deleted[0][1].toULongLong(), ids[0]);

    // Every call on the deleted control fails and says why.
    const QString gone = QStringLiteral("The command bar control 'First' has been deleted; it can no longer be used.");
    EXPECT_TRUE(Failed(first->get_Caption(&caption)));
    EXPECT_EQ(first->ErrorDescription(), gone);
    EXPECT_TRUE(Failed(first->put_Caption(QStringLiteral("Again"))));
    EXPECT_TRUE(Failed(first->get_Type(&type)));
    EXPECT_TRUE(Failed(first->Delete()));
    EXPECT_EQ(first->ErrorDescription(), gone);
    EXPECT_EQ(deleted.size(), 1);
    EXPECT_EQ(model.caption(ids[1]), QStringLiteral("Second"));
}

TEST(HostObjectModel, EachControlHasOneEventSourceAndBadControlsFail)
{
    ObjectModel model;
    auto controls = controlsOf(model, kAddInsBarName);
    auto control = addButton(controls.get(), QStringLiteral("Mine"));
    auto other = addButton(controls.get(), QStringLiteral("Other"));

    auto source = eventsOf(model, control.get());
    ASSERT_TRUE(source);
    EXPECT_EQ(eventsOf(model, control.get()).get(), source.get());
    // Reached through another interface of the same control: still the same source.
    EXPECT_EQ(eventsOf(model, control.as<IDispatch>().as<ICommandBarControl>().get()).get(), source.get());
    EXPECT_NE(eventsOf(model, other.get()).get(), source.get());

    HResult hr = S_OK;
    QString error;
    EXPECT_FALSE(eventsOf(model, nullptr, &hr, &error));
    EXPECT_TRUE(Failed(hr));
    EXPECT_EQ(error, QStringLiteral("Object variable not set: no command bar control was given."));

    ASSERT_EQ(other->Delete(), S_OK);
    EXPECT_FALSE(eventsOf(model, other.get(), &hr, &error));
    EXPECT_TRUE(Failed(hr));
    EXPECT_EQ(error, QStringLiteral("Invalid procedure call or argument: The command bar control 'Other' has been "
                                    "deleted; it can no longer be used."));

    // A control of another host is not this host's to give events for.
    ObjectModel elsewhere;
    auto foreign = addButton(controlsOf(elsewhere, kAddInsBarName).get(), QStringLiteral("Foreign"));
    EXPECT_FALSE(eventsOf(model, foreign.get(), &hr, &error));
    EXPECT_EQ(hr, E_INVALIDARG);
    EXPECT_EQ(error, QStringLiteral("Invalid procedure call or argument: the command bar control belongs to another "
                                    "host."));
}

TEST(HostObjectModel, ClickReachesEveryAdvisedSinkUntilUnadvised)
{
    ObjectModel model;
    auto controls = controlsOf(model, kAddInsBarName);
    auto control = addButton(controls.get(), QStringLiteral("Click me"));
    auto other = addButton(controls.get(), QStringLiteral("Not me"));
    const ControlId id = model.controls(kAddInsBarName).at(0);
    const ControlId otherId = model.controls(kAddInsBarName).at(1);
    auto source = eventsOf(model, control.get());

    auto a = newSink();
    auto b = newSink();
    auto bystander = newSink();
    std::uint32_t cookieA = 0, cookieB = 0, cookieC = 0;
    ASSERT_EQ(source->Advise(a.get(), &cookieA), S_OK);
    ASSERT_EQ(source->Advise(b.get(), &cookieB), S_OK);
    ASSERT_EQ(eventsOf(model, other.get())->Advise(bystander.get(), &cookieC), S_OK);
    EXPECT_NE(cookieA, cookieB);
    EXPECT_EQ(model.sinkCount(id), 2);
    EXPECT_EQ(a->refs, 2u) << "the source keeps its own reference to an advised sink";

    // The first sink says it handled the click; the second sees that.
    a->onClick = [](ICommandBarControl *, VariantBool *handled, VariantBool *) { *handled = VariantTrue; };
    ASSERT_TRUE(model.click(id));
    ASSERT_EQ(a->clicks(), 1);
    ASSERT_EQ(b->clicks(), 1);
    EXPECT_EQ(a->handledSeen[0], VariantFalse);
    EXPECT_EQ(a->cancelSeen[0], VariantFalse);
    EXPECT_EQ(b->handledSeen[0], VariantTrue);
    EXPECT_EQ(b->cancelSeen[0], VariantFalse);
    EXPECT_EQ(a->controls[0], static_cast<ICommandBarControl *>(control.get()));
    EXPECT_EQ(bystander->clicks(), 0);

    // Every click starts unhandled again.
    a->onClick = nullptr;
    ASSERT_TRUE(model.click(id));
    EXPECT_EQ(b->handledSeen[1], VariantFalse);

    ASSERT_EQ(source->Unadvise(cookieA), S_OK);
    EXPECT_EQ(a->refs, 1u);
    ASSERT_TRUE(model.click(id));
    EXPECT_EQ(a->clicks(), 2);
    EXPECT_EQ(b->clicks(), 3);
    EXPECT_EQ(source->Unadvise(cookieA), E_INVALIDARG);
    EXPECT_EQ(source->ErrorDescription(), QStringLiteral("Invalid procedure call or argument: there is no event "
                                                         "connection with cookie %1.")
                                              .arg(cookieA));
    std::uint32_t cookie = 99;
    EXPECT_EQ(source->Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(cookie, 0u);

    // A sink that deletes the control from inside its click: the rest of the click is
    // safe, the control is gone, and nothing clicks it any more.
    b->onClick = [](ICommandBarControl *clicked, VariantBool *, VariantBool *) { clicked->Delete(); };
    ASSERT_EQ(source->Advise(a.get(), &cookieA), S_OK);
    ASSERT_TRUE(model.click(id));
    EXPECT_EQ(b->clicks(), 4);
    EXPECT_EQ(a->clicks(), 3) << "sinks advised when the click began all hear it";
    EXPECT_FALSE(model.hasControl(id));
    EXPECT_FALSE(model.click(id));
    EXPECT_EQ(b->clicks(), 4);
    // The source of a deleted control still lets its sinks go.
    EXPECT_EQ(source->Unadvise(cookieB), S_OK);
    EXPECT_EQ(source->Unadvise(cookieA), S_OK);
    EXPECT_TRUE(model.click(otherId));
    EXPECT_EQ(bystander->clicks(), 1);
}

TEST(HostObjectModel, ObjectsAreFreedWhenTheLastReferenceGoes)
{
    const int before = ObjectModel::liveObjectCount();
    ComPtr<ICommandBarControl> kept;
    ComPtr<ICommandBarEvents> keptSource;
    ComPtr<IVBE> keptHost;
    {
        ObjectModel model;
        // Host object, bars collection, two bars with a control collection each, events.
        EXPECT_EQ(ObjectModel::liveObjectCount(), before + 7);

        auto controls = controlsOf(model, kAddInsBarName);
        ComPtr<ICommandBarControl> control;
        ASSERT_EQ(controls->Add(msoControlButton, control.put()), S_OK);
        EXPECT_EQ(ObjectModel::liveObjectCount(), before + 8);
        // The bar holds one reference, the caller the other.
        EXPECT_EQ(control->AddRef(), 3u);
        EXPECT_EQ(control->Release(), 2u);

        // QueryInterface counts; an interface the object lacks gives nothing.
        void *raw = reinterpret_cast<void *>(0x1);
        EXPECT_EQ(control->QueryInterface(IVBE::IID, &raw), E_NOINTERFACE);
        EXPECT_EQ(raw, nullptr);
        for (const Guid &iid : {IUnknown::IID, IDispatch::IID, ICommandBarControl::IID}) {
            ASSERT_EQ(control->QueryInterface(iid, &raw), S_OK);
            EXPECT_EQ(static_cast<IUnknown *>(raw), static_cast<IUnknown *>(control.get()));
            EXPECT_EQ(control->Release(), 2u);
        }

        auto source = eventsOf(model, control.get());
        EXPECT_EQ(ObjectModel::liveObjectCount(), before + 9);

        // Deleted, the control lives on only while someone still holds it.
        ASSERT_EQ(control->Delete(), S_OK);
        EXPECT_EQ(control->AddRef(), 2u);
        EXPECT_EQ(control->Release(), 1u);
        source = nullptr;
        EXPECT_EQ(ObjectModel::liveObjectCount(), before + 8) << "a deleted control's source goes with its last holder";
        control = nullptr;
        EXPECT_EQ(ObjectModel::liveObjectCount(), before + 7);

        ASSERT_EQ(controls->Add(msoControlButton, kept.put()), S_OK);
        keptSource = eventsOf(model, kept.get());
        keptHost = ComPtr<IVBE>(model.vbe());
        EXPECT_EQ(ObjectModel::liveObjectCount(), before + 9);
    }
    // The model is gone; what an add-in still holds stays alive but refuses every call.
    EXPECT_EQ(ObjectModel::liveObjectCount(), before + 9);
    QString caption;
    EXPECT_EQ(kept->get_Caption(&caption), E_UNEXPECTED);
    EXPECT_EQ(kept->ErrorDescription(), QStringLiteral("The host has closed; its objects can no longer be used."));
    ComPtr<ICommandBars> bars;
    EXPECT_EQ(keptHost->get_CommandBars(bars.put()), E_UNEXPECTED);
    auto sink = newSink();
    std::uint32_t cookie = 0;
    EXPECT_EQ(keptSource->Advise(sink.get(), &cookie), E_UNEXPECTED);
    keptHost = nullptr;
    EXPECT_EQ(ObjectModel::liveObjectCount(), before + 2);
    kept = nullptr;
    keptSource = nullptr;
    EXPECT_EQ(ObjectModel::liveObjectCount(), before);
    EXPECT_EQ(sink->refs, 1u);
}

TEST(HostObjectModel, LateBoundCallsReachTheSameMembers)
{
    using hosttest::lend;
    using hosttest::takeObject;
    ObjectModel model;
    auto invoke = [](IDispatch *object, const char *name, InvokeKind kind, QVariantList args, QVariant *result,
                     HResult expected = S_OK) {
        DispId id = -1;
        EXPECT_EQ(object->GetIDsOfNames(QLatin1String(name), &id), S_OK) << name;
        const HResult hr = object->Invoke(id, kind, args, result);
        EXPECT_EQ(hr, expected) << name << ": " << object->ErrorDescription().toStdString();
        return hr;
    };
    const int before = ObjectModel::liveObjectCount();
    {
        IDispatch *host = model.application();
        QVariant result;
        invoke(host, "version", InvokeKind::PropertyGet, {}, &result);
        EXPECT_EQ(result.toString(), QStringLiteral("6.00"));

        invoke(host, "CommandBars", InvokeKind::PropertyGet, {}, &result);
        auto bars = takeObject(result);
        ASSERT_TRUE(bars);
        invoke(bars.get(), "Item", InvokeKind::PropertyGet, {QStringLiteral("Nowhere")}, &result, E_INVALIDARG);
        EXPECT_EQ(bars->ErrorDescription(),
                  QStringLiteral("Invalid procedure call or argument: there is no command bar named 'Nowhere'."));
        invoke(bars.get(), "Item", InvokeKind::Method, {2}, &result);
        auto byNumber = takeObject<ICommandBar>(result);
        invoke(bars.get(), "Item", InvokeKind::PropertyGet, {QStringLiteral("Add-Ins")}, &result);
        auto bar = takeObject<ICommandBar>(result);
        ASSERT_TRUE(bar);
        EXPECT_EQ(byNumber.get(), bar.get());

        invoke(bar.get(), "Controls", InvokeKind::PropertyGet, {}, &result);
        auto controls = takeObject(result);
        invoke(controls.get(), "Add", InvokeKind::Method, {1}, &result);
        auto control = takeObject(result);
        ASSERT_TRUE(control);
        invoke(control.get(), "Caption", InvokeKind::PropertyPut, {QStringLiteral("Late bound")}, nullptr);
        invoke(control.get(), "Caption", InvokeKind::PropertyGet, {}, &result);
        EXPECT_EQ(result.toString(), QStringLiteral("Late bound"));
        EXPECT_EQ(model.caption(model.controls(kAddInsBarName).value(0)), QStringLiteral("Late bound"));
        invoke(controls.get(), "Count", InvokeKind::PropertyGet, {}, &result);
        EXPECT_EQ(result.toInt(), 1);

        invoke(host, "Events", InvokeKind::PropertyGet, {}, &result);
        auto events = takeObject(result);
        invoke(events.get(), "CommandBarEvents", InvokeKind::PropertyGet, {lend(control.get())}, &result);
        auto source = takeObject<ICommandBarEvents>(result);
        ASSERT_TRUE(source);
        EXPECT_EQ(eventsOf(model, control.as<ICommandBarControl>().get()).get(), source.get());
        invoke(events.get(), "CommandBarEvents", InvokeKind::PropertyGet, {QVariant()}, &result, E_POINTER);
        EXPECT_EQ(events->ErrorDescription(), QStringLiteral("Object variable not set: no command bar control was given."));
        invoke(events.get(), "CommandBarEvents", InvokeKind::PropertyGet, {42}, &result, DISP_E_TYPEMISMATCH);

        invoke(control.get(), "Delete", InvokeKind::Method, {}, nullptr);
        EXPECT_TRUE(model.controls(kAddInsBarName).isEmpty());
        invoke(control.get(), "Caption", InvokeKind::PropertyGet, {}, &result, E_FAIL);

        // Wrong shapes of call.
        DispId id = 0;
        EXPECT_EQ(host->GetIDsOfNames(QStringLiteral("VBProjects"), &id), DISP_E_UNKNOWNNAME);
        EXPECT_EQ(host->ErrorDescription(), QStringLiteral("Object doesn't support this property or method: VBProjects"));
        invoke(controls.get(), "Add", InvokeKind::Method, {1, 2}, &result, DISP_E_BADPARAMCOUNT);
        invoke(controls.get(), "Count", InvokeKind::PropertyPut, {3}, &result, DISP_E_BADPARAMCOUNT);
        QVariantList none;
        EXPECT_EQ(host->Invoke(777, InvokeKind::Method, none, &result), DISP_E_MEMBERNOTFOUND);
    }
    EXPECT_EQ(ObjectModel::liveObjectCount(), before) << "every object handed out through Invoke was released";
}
