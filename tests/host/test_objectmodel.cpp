// The host object model as an add-in meets it: command bars by name, controls added,
// recaptioned and deleted, click event sources, reference counts and late binding.

#include "host/hostobjectmodel.h"
#include "host/hosttestsupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace qbx;
using namespace qbx::host;
using namespace hosttest;

TEST(HostObjectModel, CommandBarsAnswerByNameWithoutRegardToCase)
{
    ObjectModel model, bare(ObjectModelOptions{false});
    // The name of the bar found, or why there is none.
    const auto find = [](ObjectModel &host, const QString &name) {
        ComPtr<ICommandBars> bars;
        ComPtr<ICommandBar> bar;
        QString found;
        EXPECT_EQ(host.vbe()->get_CommandBars(bars.put()), S_OK);
        return bars->Item(name, bar.put()) == S_OK && bar->get_Name(&found) == S_OK ? found : bars->ErrorDescription();
    };
    EXPECT_EQ(find(model, "add-ins"), QStringLiteral("Add-Ins"));
    EXPECT_EQ(find(model, "Menu Bar"), QStringLiteral("Menu Bar"));
    EXPECT_EQ(find(model, "Add-Ins "), "Invalid procedure call or argument: there is no command bar named 'Add-Ins '.");
    EXPECT_EQ(find(bare, "Add-Ins"), "Invalid procedure call or argument: there is no command bar named 'Add-Ins'.");
}

TEST(HostObjectModel, ControlsAreAddedAtTheEndRecaptionedAndDeleted)
{
    ObjectModel model;
    QSignalSpy added(&model, &ObjectModel::controlAdded), deleted(&model, &ObjectModel::controlDeleted);
    auto controls = controlsOf(model);
    auto first = addButton(model, QStringLiteral("  Größe — &First  "));
    auto second = addButton(model, QStringLiteral("Second"));
    ComPtr<ICommandBarControl> item;
    QString caption;
    std::int32_t count = 0;
    EXPECT_TRUE(first->get_Caption(&caption) == S_OK && caption == QStringLiteral("  Größe — &First  "));
    EXPECT_TRUE(controls->get_Count(&count) == S_OK && count == 2);
    EXPECT_TRUE(controls->Item(2, item.put()) == S_OK && item.get() == second.get());
    EXPECT_EQ(controls->Item(3, item.put()), E_INVALIDARG);
    EXPECT_EQ(controls->ErrorDescription(),
              "Invalid procedure call or argument: the command bar 'Add-Ins' has no control number 3 (it has 2).");
    EXPECT_EQ(controls->Add(10, item.put()), E_INVALIDARG) << "only buttons are made";
    const QList<ControlId> ids = model.controls(kAddInsBarName);
    EXPECT_EQ(added.last(), (QVariantList{kAddInsBarName, ids.value(1), 1}));

    // Deleting the first makes the second number 1; every call on the first fails and says why.
    ASSERT_TRUE(first->put_Caption(QStringLiteral("First")) == S_OK && first->Delete() == S_OK);
    EXPECT_TRUE(controls->Item(1, item.put()) == S_OK && item.get() == second.get());
    EXPECT_EQ(model.controls(kAddInsBarName), QList<ControlId>{ids[1]});
    EXPECT_EQ(deleted.takeFirst(), (QVariantList{kAddInsBarName, ids[0]}));
    EXPECT_TRUE(Failed(first->get_Caption(&caption)) && Failed(first->Delete()) && deleted.isEmpty());
    EXPECT_EQ(first->ErrorDescription(), "The command bar control 'First' has been deleted; it can no longer be used.");
}

TEST(HostObjectModel, ClickReachesEveryAdvisedSinkOfThatControlOnly)
{
    ObjectModel model, elsewhere;
    auto control = addButton(model, QStringLiteral("Click me"));
    auto other = addButton(model, QStringLiteral("Other"));
    const QList<ControlId> ids = model.controls(kAddInsBarName);
    auto source = eventsOf(model, control.get());
    ASSERT_EQ(eventsOf(model, control.get()).get(), source.get()) << "one source per control";
    auto a = newSink(), b = newSink(), bystander = newSink();
    std::uint32_t cookieA = 0, cookieB = 0, cookieC = 0;
    ASSERT_TRUE(source->Advise(a.get(), &cookieA) == S_OK && source->Advise(b.get(), &cookieB) == S_OK);
    ASSERT_EQ(eventsOf(model, other.get())->Advise(bystander.get(), &cookieC), S_OK);

    // The second sink sees that the first handled the click; the next click starts unhandled.
    a->onClick = [](ICommandBarControl *, VariantBool *handled) { *handled = VariantTrue; };
    ASSERT_TRUE(model.click(ids[0]));
    a->onClick = nullptr;
    ASSERT_TRUE(model.click(ids[0]));
    EXPECT_EQ(b->heard, (std::vector<VariantBool>{VariantTrue, VariantFalse}));
    EXPECT_TRUE(bystander->heard.empty());
    ASSERT_EQ(source->Unadvise(cookieA), S_OK);
    EXPECT_EQ(a->refs, 1u) << "the source let go of the sink";
    // A sink deletes the control from inside its click: the others advised still hear it.
    b->onClick = [](ICommandBarControl *clicked, VariantBool *) { clicked->Delete(); };
    ASSERT_EQ(source->Advise(a.get(), &cookieA), S_OK);
    ASSERT_TRUE(model.click(ids[0]));
    EXPECT_TRUE(a->heard.size() == 3 && b->heard.size() == 3);
    EXPECT_FALSE(model.hasControl(ids[0]) || model.click(ids[0]));

    // Event sources only for live controls of this host.
    auto foreign = addButton(elsewhere, QStringLiteral("Foreign"));
    for (const auto &[c, message] : std::initializer_list<std::pair<ICommandBarControl *, QString>>{
             {nullptr, "Object variable not set: no command bar control was given."},
             {control.get(), "Invalid procedure call or argument: The command bar control 'Click me' has been "
                             "deleted; it can no longer be used."},
             {foreign.get(), "Invalid procedure call or argument: the command bar control belongs to another host."}}) {
        QString error;
        EXPECT_FALSE(eventsOf(model, c, &error));
        EXPECT_EQ(error, message);
    }
}

TEST(HostObjectModel, ObjectsLiveWhileHeldAndRefuseEveryCallOnceTheHostHasClosed)
{
    const int before = ObjectModel::liveObjectCount();
    ComPtr<ICommandBarControl> kept;
    ComPtr<ICommandBarEvents> keptSource;
    auto sink = newSink();
    {
        ObjectModel model;
        kept = addButton(model, QStringLiteral("Kept"));
        keptSource = eventsOf(model, kept.get());
    }
    QString caption;
    std::uint32_t cookie = 0;
    EXPECT_EQ(kept->get_Caption(&caption), E_UNEXPECTED);
    EXPECT_EQ(kept->ErrorDescription(), "The host has closed; its objects can no longer be used.");
    EXPECT_EQ(keptSource->Advise(sink.get(), &cookie), E_UNEXPECTED);
    EXPECT_EQ(ObjectModel::liveObjectCount(), before + 2);
    kept = nullptr;
    keptSource = nullptr;
    EXPECT_EQ(ObjectModel::liveObjectCount(), before);
}

TEST(HostObjectModel, LateBoundCallsReachTheSameMembersAndHandOutCountedObjects)
{
    ObjectModel model;
    const int before = ObjectModel::liveObjectCount();
    const auto call = [](IDispatch *object, const char *name, InvokeKind kind, QVariantList args, HResult expected) {
        DispId id = -1;
        QVariant result;
        EXPECT_EQ(object->GetIDsOfNames(QLatin1String(name), &id), S_OK) << name;
        EXPECT_EQ(object->Invoke(id, kind, args, &result), expected) << name;
        // An object result carries one reference, which the ComPtr takes over.
        return ComPtr<IDispatch>(static_cast<IDispatch *>(result.value<void *>()), false);
    };
    {
        auto bars = call(model.application(), "commandbars", InvokeKind::PropertyGet, {}, S_OK);
        auto bar = call(bars.get(), "Item", InvokeKind::Method, {2}, S_OK);
        auto controls = call(bar.get(), "Controls", InvokeKind::PropertyGet, {}, S_OK);
        auto control = call(controls.get(), "Add", InvokeKind::Method, {1}, S_OK);
        call(control.get(), "Caption", InvokeKind::PropertyPut, {QStringLiteral("Late bound")}, S_OK);
        EXPECT_EQ(model.caption(model.controls(kAddInsBarName).value(0)), QStringLiteral("Late bound"));
        call(controls.get(), "Count", InvokeKind::PropertyPut, {3}, DISP_E_BADPARAMCOUNT);
        DispId id = 0;
        EXPECT_EQ(model.application()->GetIDsOfNames(QStringLiteral("VBProjects"), &id), DISP_E_UNKNOWNNAME);
    }
    EXPECT_EQ(ObjectModel::liveObjectCount(), before + 1) << "only the added control lives on, in its bar";
}
