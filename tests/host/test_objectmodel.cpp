// The host object model as an add-in meets it: command bars by name, controls added,
// recaptioned and deleted, click event sources, late binding, and reference counts.

#include "hostobjectmodel.h"
#include "hosttestsupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace qbx;
using namespace qbx::host;
using namespace hosttest;

TEST(HostObjectModel, CommandBarsAnswerByNameWithoutRegardToCaseAndMissingBarsFail)
{
    struct Case {
        bool withAddInsBar;
        QString name, found; // found empty: the call fails
    };
    const Case cases[] = {
        {true, "Add-Ins", "Add-Ins"},   {true, "add-ins", "Add-Ins"}, {true, "Menu Bar", "Menu Bar"},
        {true, "Add-Ins ", ""},         {false, "Add-Ins", ""},       {false, "Menu Bar", "Menu Bar"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QStringLiteral("bar '%1', Add-Ins bar %2").arg(c.name).arg(c.withAddInsBar).toStdString());
        ObjectModel model(ObjectModelOptions{c.withAddInsBar, QStringLiteral("6.00")});
        ComPtr<ICommandBars> bars;
        ASSERT_EQ(model.vbe()->get_CommandBars(bars.put()), S_OK);
        std::int32_t count = 0;
        EXPECT_TRUE(bars->get_Count(&count) == S_OK && count == (c.withAddInsBar ? 2 : 1)) << count;
        ComPtr<ICommandBar> bar;
        const HResult hr = bars->Item(c.name, bar.put());
        QString name;
        if (c.found.isEmpty()) {
            EXPECT_TRUE(Failed(hr) && !bar);
            EXPECT_EQ(bars->ErrorDescription(),
                      QStringLiteral("Invalid procedure call or argument: there is no command bar named '%1'.").arg(c.name));
        } else {
            ASSERT_EQ(hr, S_OK);
            EXPECT_TRUE(bar->get_Name(&name) == S_OK && name == c.found) << name.toStdString();
        }
    }
}

TEST(HostObjectModel, ControlsAreAddedAtTheEndRecaptionedAndDeleted)
{
    ObjectModel model;
    QSignalSpy added(&model, &ObjectModel::controlAdded), deleted(&model, &ObjectModel::controlDeleted),
        recaptioned(&model, &ObjectModel::captionChanged);
    auto controls = controlsOf(model);
    ComPtr<ICommandBarControl> first, item;
    ASSERT_EQ(controls->Add(msoControlButton, first.put()), S_OK);
    QString caption = QStringLiteral("not read");
    std::int32_t type = 0, count = 0;
    EXPECT_TRUE(first->get_Caption(&caption) == S_OK && caption.isEmpty());
    EXPECT_TRUE(first->get_Type(&type) == S_OK && type == msoControlButton);
    // Captions come back exactly as written.
    for (const QString &text : {QStringLiteral("&Quillbox ver 1.0"), QStringLiteral("  Größe — 大小  ")}) {
        ASSERT_EQ(first->put_Caption(text), S_OK);
        EXPECT_TRUE(first->get_Caption(&caption) == S_OK && caption == text) << caption.toStdString();
    }
    ASSERT_EQ(first->put_Caption(QStringLiteral("First")), S_OK);
    auto second = addButton(model, QStringLiteral("Second"));
    EXPECT_TRUE(controls->get_Count(&count) == S_OK && count == 2);
    EXPECT_TRUE(controls->Item(1, item.put()) == S_OK && item.get() == first.get());
    EXPECT_TRUE(controls->Item(2, item.put()) == S_OK && item.get() == second.get());
    for (int bad : {0, 3}) {
        EXPECT_TRUE(controls->Item(bad, item.put()) == E_INVALIDARG && !item);
        EXPECT_EQ(controls->ErrorDescription(), QStringLiteral("Invalid procedure call or argument: the command bar "
                                                               "'Add-Ins' has no control number %1 (it has 2).")
                                                    .arg(bad));
    }
    // Only buttons are made.
    EXPECT_TRUE(controls->Add(10, item.put()) == E_INVALIDARG && !item);
    EXPECT_TRUE(controls->ErrorDescription().contains(QStringLiteral("type 10")));

    const QList<ControlId> ids = model.controls(kAddInsBarName);
    ASSERT_EQ(ids.size(), 2);
    EXPECT_EQ((QStringList{model.caption(ids[0]), model.caption(ids[1])}), (QStringList{"First", "Second"}));
    ASSERT_EQ(added.size(), 2);
    EXPECT_EQ(added[1], (QVariantList{kAddInsBarName, ids[1], 1}));
    EXPECT_EQ(recaptioned.last(), (QVariantList{kAddInsBarName, ids[1], QStringLiteral("Second")}));

    // Deleting the first leaves the second as number 1; every call on the first fails and says why.
    ASSERT_EQ(first->Delete(), S_OK);
    EXPECT_TRUE(controls->get_Count(&count) == S_OK && count == 1);
    EXPECT_TRUE(controls->Item(1, item.put()) == S_OK && item.get() == second.get());
    EXPECT_EQ(model.controls(kAddInsBarName), QList<ControlId>{ids[1]});
    ASSERT_EQ(deleted.size(), 1);
    EXPECT_EQ(deleted.takeFirst(), (QVariantList{kAddInsBarName, ids[0]}));
    EXPECT_TRUE(Failed(first->get_Caption(&caption)) && Failed(first->put_Caption(QStringLiteral("Again")))
                && Failed(first->get_Type(&type)) && Failed(first->Delete()));
    EXPECT_EQ(first->ErrorDescription(),
              QStringLiteral("The command bar control 'First' has been deleted; it can no longer be used."));
    EXPECT_TRUE(deleted.isEmpty());
    EXPECT_EQ(model.caption(ids[1]), QStringLiteral("Second"));
}

TEST(HostObjectModel, EachControlHasOneEventSourceAndBadControlsFail)
{
    ObjectModel model, elsewhere;
    auto control = addButton(model, QStringLiteral("Mine"));
    auto other = addButton(model, QStringLiteral("Other"));
    auto source = eventsOf(model, control.get());
    ASSERT_TRUE(source);
    EXPECT_EQ(eventsOf(model, control.get()).get(), source.get());
    EXPECT_NE(eventsOf(model, other.get()).get(), source.get());

    ASSERT_EQ(other->Delete(), S_OK);
    auto foreign = addButton(elsewhere, QStringLiteral("Foreign"));
    const std::pair<ICommandBarControl *, QString> bad[] = {
        {nullptr, "Object variable not set: no command bar control was given."},
        {other.get(), "Invalid procedure call or argument: The command bar control 'Other' has been deleted; it can no "
                      "longer be used."},
        {foreign.get(), "Invalid procedure call or argument: the command bar control belongs to another host."},
    };
    for (const auto &[c, message] : bad) {
        HResult hr = S_OK;
        QString error;
        EXPECT_FALSE(eventsOf(model, c, &hr, &error));
        EXPECT_TRUE(Failed(hr));
        EXPECT_EQ(error, message);
    }
}

TEST(HostObjectModel, ClickReachesEveryAdvisedSinkUntilUnadvised)
{
    ObjectModel model;
    auto control = addButton(model, QStringLiteral("Click me"));
    auto other = addButton(model, QStringLiteral("Not me"));
    const QList<ControlId> ids = model.controls(kAddInsBarName);
    auto source = eventsOf(model, control.get());
    auto a = newSink(), b = newSink(), bystander = newSink();
    std::uint32_t cookieA = 0, cookieB = 0, cookieC = 0;
    ASSERT_EQ(source->Advise(a.get(), &cookieA), S_OK);
    ASSERT_EQ(source->Advise(b.get(), &cookieB), S_OK);
    ASSERT_EQ(eventsOf(model, other.get())->Advise(bystander.get(), &cookieC), S_OK);
    EXPECT_NE(cookieA, cookieB);
    EXPECT_EQ(model.sinkCount(ids[0]), 2);
    EXPECT_EQ(a->refs, 2u) << "the source keeps its own reference to an advised sink";

    // The first sink says it handled the click and the second sees that; the next click
    // starts unhandled again.
    a->onClick = [](ICommandBarControl *, VariantBool *handled) { *handled = VariantTrue; };
    ASSERT_TRUE(model.click(ids[0]));
    a->onClick = nullptr;
    ASSERT_TRUE(model.click(ids[0]));
    ASSERT_TRUE(a->heard.size() == 2 && b->heard.size() == 2);
    EXPECT_EQ(a->heard[0].control, control.get());
    EXPECT_TRUE(a->heard[0].handled == VariantFalse && a->heard[0].cancelDefault == VariantFalse);
    EXPECT_TRUE(b->heard[0].handled == VariantTrue && b->heard[0].cancelDefault == VariantFalse);
    EXPECT_EQ(b->heard[1].handled, VariantFalse);
    EXPECT_TRUE(bystander->heard.empty());

    ASSERT_EQ(source->Unadvise(cookieA), S_OK);
    EXPECT_EQ(a->refs, 1u);
    ASSERT_TRUE(model.click(ids[0]));
    EXPECT_TRUE(a->heard.size() == 2 && b->heard.size() == 3);
    EXPECT_EQ(source->Unadvise(cookieA), E_INVALIDARG);
    EXPECT_EQ(source->ErrorDescription(),
              QStringLiteral("Invalid procedure call or argument: there is no event connection with cookie %1.").arg(cookieA));
    std::uint32_t cookie = 99;
    EXPECT_EQ(source->Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(cookie, 0u);

    // A sink deletes the control from inside its click: every sink advised when the click
    // began hears it, and nothing clicks the control any more.
    b->onClick = [](ICommandBarControl *clicked, VariantBool *) { clicked->Delete(); };
    ASSERT_EQ(source->Advise(a.get(), &cookieA), S_OK);
    ASSERT_TRUE(model.click(ids[0]));
    EXPECT_TRUE(a->heard.size() == 3 && b->heard.size() == 4);
    EXPECT_FALSE(model.hasControl(ids[0]) || model.click(ids[0]));
    // The source of a deleted control still lets its sinks go.
    EXPECT_TRUE(source->Unadvise(cookieB) == S_OK && source->Unadvise(cookieA) == S_OK);
    EXPECT_EQ(b->refs, 1u);
    EXPECT_TRUE(model.click(ids[1]));
    EXPECT_EQ(bystander->heard.size(), 1u);
}

TEST(HostObjectModel, ObjectsAreFreedWhenTheLastReferenceGoes)
{
    const int before = ObjectModel::liveObjectCount();
    ComPtr<ICommandBarControl> kept;
    ComPtr<ICommandBarEvents> keptSource;
    ComPtr<IVBE> keptHost;
    auto sink = newSink();
    {
        ObjectModel model;
        // Host object, bars collection, two bars with a control collection each, events.
        EXPECT_EQ(ObjectModel::liveObjectCount(), before + 7);
        auto controls = controlsOf(model);
        ComPtr<ICommandBarControl> control;
        ASSERT_EQ(controls->Add(msoControlButton, control.put()), S_OK);
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
        // Deleted, the control and its source live on only while someone still holds them.
        ASSERT_EQ(control->Delete(), S_OK);
        EXPECT_EQ(control->AddRef(), 2u);
        EXPECT_EQ(control->Release(), 1u);
        source = nullptr;
        EXPECT_EQ(ObjectModel::liveObjectCount(), before + 8);
        control = nullptr;
        EXPECT_EQ(ObjectModel::liveObjectCount(), before + 7);

        ASSERT_EQ(controls->Add(msoControlButton, kept.put()), S_OK);
        keptSource = eventsOf(model, kept.get());
        keptHost = ComPtr<IVBE>(model.vbe());
    }
    // The model is gone; what an add-in still holds stays alive but refuses every call.
    EXPECT_EQ(ObjectModel::liveObjectCount(), before + 9);
    QString caption;
    EXPECT_EQ(kept->get_Caption(&caption), E_UNEXPECTED);
    EXPECT_EQ(kept->ErrorDescription(), QStringLiteral("The host has closed; its objects can no longer be used."));
    ComPtr<ICommandBars> bars;
    EXPECT_EQ(keptHost->get_CommandBars(bars.put()), E_UNEXPECTED);
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
    ObjectModel model;
    auto invoke = [](IDispatch *object, const char *name, InvokeKind kind, QVariantList args, HResult expected = S_OK) {
        DispId id = -1;
        QVariant result;
        EXPECT_EQ(object->GetIDsOfNames(QLatin1String(name), &id), S_OK) << name;
        EXPECT_EQ(object->Invoke(id, kind, args, &result), expected) << name << ": " << object->ErrorDescription().toStdString();
        return result;
    };
    // An object result carries one reference, which the ComPtr takes over.
    auto take = [](const QVariant &value) { return ComPtr<IDispatch>(static_cast<IDispatch *>(value.value<void *>()), false); };
    const int before = ObjectModel::liveObjectCount();
    {
        IDispatch *host = model.application();
        EXPECT_EQ(invoke(host, "version", InvokeKind::PropertyGet, {}).toString(), QStringLiteral("6.00"));
        auto bars = take(invoke(host, "CommandBars", InvokeKind::PropertyGet, {}));
        invoke(bars.get(), "Item", InvokeKind::PropertyGet, {QStringLiteral("Nowhere")}, E_INVALIDARG);
        EXPECT_EQ(bars->ErrorDescription(),
                  QStringLiteral("Invalid procedure call or argument: there is no command bar named 'Nowhere'."));
        auto byNumber = take(invoke(bars.get(), "Item", InvokeKind::Method, {2}));
        auto bar = take(invoke(bars.get(), "Item", InvokeKind::PropertyGet, {QStringLiteral("Add-Ins")}));
        ASSERT_TRUE(bar);
        EXPECT_EQ(byNumber.get(), bar.get());
        auto controls = take(invoke(bar.get(), "Controls", InvokeKind::PropertyGet, {}));
        auto control = take(invoke(controls.get(), "Add", InvokeKind::Method, {1}));
        ASSERT_TRUE(control);
        invoke(control.get(), "Caption", InvokeKind::PropertyPut, {QStringLiteral("Late bound")});
        EXPECT_EQ(invoke(control.get(), "Caption", InvokeKind::PropertyGet, {}).toString(), QStringLiteral("Late bound"));
        EXPECT_EQ(model.caption(model.controls(kAddInsBarName).value(0)), QStringLiteral("Late bound"));
        EXPECT_EQ(invoke(controls.get(), "Count", InvokeKind::PropertyGet, {}).toInt(), 1);

        // An object argument is only lent.
        auto events = take(invoke(host, "Events", InvokeKind::PropertyGet, {}));
        auto source = take(invoke(events.get(), "CommandBarEvents", InvokeKind::PropertyGet,
                                  {QVariant::fromValue(static_cast<void *>(control.get()))}));
        ASSERT_TRUE(source);
        EXPECT_EQ(source.get(), eventsOf(model, control.as<ICommandBarControl>().get()).get());
        invoke(events.get(), "CommandBarEvents", InvokeKind::PropertyGet, {QVariant()}, E_POINTER);
        invoke(events.get(), "CommandBarEvents", InvokeKind::PropertyGet, {42}, DISP_E_TYPEMISMATCH);
        invoke(control.get(), "Delete", InvokeKind::Method, {});
        EXPECT_TRUE(model.controls(kAddInsBarName).isEmpty());
        invoke(control.get(), "Caption", InvokeKind::PropertyGet, {}, E_FAIL);

        // Wrong shapes of call.
        DispId id = 0;
        EXPECT_EQ(host->GetIDsOfNames(QStringLiteral("VBProjects"), &id), DISP_E_UNKNOWNNAME);
        EXPECT_EQ(host->ErrorDescription(), QStringLiteral("Object doesn't support this property or method: VBProjects"));
        invoke(controls.get(), "Add", InvokeKind::Method, {1, 2}, DISP_E_BADPARAMCOUNT);
        invoke(controls.get(), "Count", InvokeKind::PropertyPut, {3}, DISP_E_BADPARAMCOUNT);
        QVariantList none;
        QVariant result;
        EXPECT_EQ(host->Invoke(777, InvokeKind::Method, none, &result), DISP_E_MEMBERNOTFOUND);
    }
    EXPECT_EQ(ObjectModel::liveObjectCount(), before) << "every object handed out through Invoke was released";
}
