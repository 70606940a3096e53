#pragma once
// Helpers shared by the host's tests: a click sink that remembers what it heard, controls
// reached as an add-in reaches them, and fake add-ins registered and heard.

#include "host/fakeaddin.h"
#include "host/hostaddins.h"
#include "support/testsupport.h"

#include <QLibrary>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace hosttest {

inline QString fakeAddInPath()
{
    return QStringLiteral(QBX_FAKE_ADDIN_PATH);
}

// Counted like any add-in object; made with newSink().
class RecordingSink final : public qbx::ICommandBarEventsSink {
public:
    qbx::HResult QueryInterface(const qbx::Guid &, void **object) override
    {
        *object = nullptr;
        return qbx::E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override
    {
        const std::uint32_t left = --refs;
        if (left == 0)
            delete this;
        return left;
    }
    void Click(qbx::ICommandBarControl *control, qbx::VariantBool *handled, qbx::VariantBool *) override
    {
        heard.push_back(*handled);
        if (onClick)
            onClick(control, handled);
    }

    std::uint32_t refs = 1;
    std::vector<qbx::VariantBool> heard; // what handled was as each click arrived
    std::function<void(qbx::ICommandBarControl *, qbx::VariantBool *handled)> onClick;

private:
    ~RecordingSink() = default;
};

inline qbx::ComPtr<RecordingSink> newSink()
{
    return qbx::ComPtr<RecordingSink>(new RecordingSink, false);
}

inline qbx::ComPtr<qbx::ICommandBarControls> controlsOf(qbx::host::ObjectModel &model,
                                                        const QString &bar = qbx::host::kAddInsBarName)
{
    qbx::ComPtr<qbx::ICommandBars> bars;
    qbx::ComPtr<qbx::ICommandBar> found;
    qbx::ComPtr<qbx::ICommandBarControls> controls;
    EXPECT_TRUE(model.vbe()->get_CommandBars(bars.put()) == qbx::S_OK && bars->Item(bar, found.put()) == qbx::S_OK
                && found->get_Controls(controls.put()) == qbx::S_OK);
    return controls;
}

inline qbx::ComPtr<qbx::ICommandBarControl> addButton(qbx::host::ObjectModel &model, const QString &caption,
                                                      const QString &bar = qbx::host::kAddInsBarName)
{
    qbx::ComPtr<qbx::ICommandBarControl> control;
    EXPECT_TRUE(controlsOf(model, bar)->Add(qbx::msoControlButton, control.put()) == qbx::S_OK
                && control->put_Caption(caption) == qbx::S_OK);
    return control;
}

// The control's click event source; on failure, null with the reason in *error.
inline qbx::ComPtr<qbx::ICommandBarEvents> eventsOf(qbx::host::ObjectModel &model, qbx::ICommandBarControl *control,
                                                    QString *error = nullptr)
{
    qbx::ComPtr<qbx::IEvents> events;
    qbx::ComPtr<qbx::ICommandBarEvents> source;
    EXPECT_EQ(model.vbe()->get_Events(events.put()), qbx::S_OK);
    if (qbx::Failed(events->get_CommandBarEvents(control, source.put())) && error)
        *error = events->ErrorDescription();
    return source;
}

// What the fake add-ins heard since the log was last cleared, "<tag> <event>" a line.
inline QStringList &fakeLog()
{
    using Log = QStringList *(*)();
    static const Log log = reinterpret_cast<Log>(QLibrary::resolve(fakeAddInPath(), "FakeAddInLog"));
    return *log();
}
// What the fake add-in with this tag heard, without the tag.
inline QStringList heardBy(int tag)
{
    QStringList out;
    for (const QString &line : fakeLog())
        if (line.startsWith(QString::number(tag) + QLatin1Char(' ')))
            out.append(line.section(QLatin1Char(' '), 1));
    return out;
}

inline void registerFake(qbx::host::AddInRegistry &registry, const QString &progId, std::uint8_t tag,
                         int loadBehavior = 0, int commandLineSafe = 0, const QString &modulePath = fakeAddInPath())
{
    EXPECT_TRUE(registry.registerAddIn({progId, fake::classId(tag), modulePath, progId.section(QLatin1Char('.'), 0, 0),
                                        QStringLiteral("About ") + progId, loadBehavior, commandLineSafe}));
}

} // namespace hosttest
