#pragma once
// Helpers shared by the host's tests: a click sink that remembers what it heard, the fake
// add-in's log, message boxes answered in place, and fake add-ins registered.

#include "fakeaddin.h"
#include "hostaddins.h"
#include "hostmessages.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <functional>
#include <vector>

namespace hosttest {

inline QString fakeAddInPath() { return QStringLiteral(QBX_FAKE_ADDIN_PATH); }
inline QString noExportsPath() { return QStringLiteral(QBX_NOEXPORTS_PATH); }

// Counted like any add-in object; the test holds it in a ComPtr (see newSink).
class RecordingSink final : public qbx::ICommandBarEventsSink {
public:
    struct Heard {
        qbx::ICommandBarControl *control;
        qbx::VariantBool handled, cancelDefault;
    };
    qbx::HResult QueryInterface(const qbx::Guid &iid, void **object) override
    {
        const bool known = iid == qbx::IUnknown::IID || iid == qbx::ICommandBarEventsSink::IID;
        *object = known ? static_cast<qbx::ICommandBarEventsSink *>(this) : nullptr;
        if (known)
            AddRef();
        return known ? qbx::S_OK : qbx::E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override
    {
        const std::uint32_t left = --refs;
        if (left == 0)
            delete this;
        return left;
    }
    void Click(qbx::ICommandBarControl *control, qbx::VariantBool *handled, qbx::VariantBool *cancelDefault) override
    {
        heard.push_back({control, *handled, *cancelDefault});
        if (onClick)
            onClick(control, handled);
    }

    std::uint32_t refs = 1;
    std::vector<Heard> heard;
    std::function<void(qbx::ICommandBarControl *, qbx::VariantBool *handled)> onClick;

private:
    ~RecordingSink() = default;
};

inline qbx::ComPtr<RecordingSink> newSink()
{
    return qbx::ComPtr<RecordingSink>(new RecordingSink, false);
}

// The controls of a bar, reached as an add-in reaches them.
inline qbx::ComPtr<qbx::ICommandBarControls> controlsOf(qbx::host::ObjectModel &model,
                                                      const QString &barName = qbx::host::kAddInsBarName)
{
    qbx::ComPtr<qbx::ICommandBars> bars;
    qbx::ComPtr<qbx::ICommandBar> bar;
    qbx::ComPtr<qbx::ICommandBarControls> controls;
    EXPECT_TRUE(qbx::Succeeded(model.vbe()->get_CommandBars(bars.put())) && qbx::Succeeded(bars->Item(barName, bar.put()))
                && qbx::Succeeded(bar->get_Controls(controls.put())));
    return controls;
}

// A button added at the end of a bar.
inline qbx::ComPtr<qbx::ICommandBarControl> addButton(qbx::host::ObjectModel &model, const QString &caption,
                                                     const QString &barName = qbx::host::kAddInsBarName)
{
    qbx::ComPtr<qbx::ICommandBarControl> control;
    EXPECT_TRUE(qbx::Succeeded(controlsOf(model, barName)->Add(qbx::msoControlButton, control.put()))
                && qbx::Succeeded(control->put_Caption(caption)));
    return control;
}

// The control's click event source; on failure the result and the reason.
inline qbx::ComPtr<qbx::ICommandBarEvents> eventsOf(qbx::host::ObjectModel &model, qbx::ICommandBarControl *control,
                                                   qbx::HResult *hr = nullptr, QString *error = nullptr)
{
    qbx::ComPtr<qbx::IEvents> events;
    EXPECT_EQ(model.vbe()->get_Events(events.put()), qbx::S_OK);
    qbx::ComPtr<qbx::ICommandBarEvents> source;
    const qbx::HResult result = events->get_CommandBarEvents(control, source.put());
    if (hr)
        *hr = result;
    if (error)
        *error = events->ErrorDescription();
    return source;
}

// Points $QBX_FAKE_ADDIN_LOG at a file in the test's own folder for its lifetime.
class FakeLog {
public:
    explicit FakeLog(const QString &folder) : m_path(folder + QStringLiteral("/fake-addin.log"))
    {
        qputenv(fake::kLogVariable, QFile::encodeName(m_path));
    }
    ~FakeLog() { qunsetenv(fake::kLogVariable); }

    QStringList lines() const
    {
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly | QIODevice::Text)
                   ? QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                   : QStringList();
    }
    // The lines of one tag, without the tag.
    QStringList linesOf(int tag) const
    {
        const QString prefix = QString::number(tag) + QLatin1Char(' ');
        QStringList out;
        for (const QString &line : lines())
            if (line.startsWith(prefix))
                out.append(line.mid(prefix.size()));
        return out;
    }
    void clear() const { QFile::remove(m_path); }

private:
    QString m_path;
};

// Answers the host's message boxes for its lifetime, keeping "title: text" of each.
struct CapturedMessages {
    QStringList shown;
    qbx::host::MessageHandler previous = qbx::host::setMessageHandler(
        [this](QWidget *, const QString &title, const QString &text) { shown << title + QStringLiteral(": ") + text; });
    ~CapturedMessages() { qbx::host::setMessageHandler(std::move(previous)); }
};

// Registers a fake add-in class under a ProgID of its own.
inline void registerFake(qbx::host::AddInRegistry &registry, const QString &progId, std::uint8_t tag,
                         const QString &friendlyName, int loadBehavior = 0, int commandLineSafe = 0,
                         const QString &description = QString(), const QString &modulePath = fakeAddInPath())
{
    QString error;
    EXPECT_TRUE(registry.registerAddIn(
        {progId, fake::classId(tag), modulePath, friendlyName, description, loadBehavior, commandLineSafe}, &error))
        << error.toStdString();
}

} // namespace hosttest
