#pragma once
// Helpers shared by the host's tests: a click sink that remembers what it heard, the fake
// add-in's log, message boxes answered in place, and taking objects out of Invoke results.

#include "fakeaddin.h"
#include "hostaddins.h"
#include "hostmessages.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <functional>
#include <vector>

namespace hosttest {

inline QString fakeAddInPath() { return QStringLiteral(QBX_FAKE_ADDIN_PATH); }
inline QString noExportsPath() { return QStringLiteral(QBX_NOEXPORTS_PATH); }

// Counted like any add-in object; the test holds it in a ComPtr.
class RecordingSink final : public qbx::ICommandBarEventsSink {
public:
    qbx::HResult QueryInterface(const qbx::Guid &iid, void **object) override
    {
        if (!object)
            return qbx::E_POINTER;
        *object = nullptr;
        if (iid != qbx::IUnknown::IID && iid != qbx::ICommandBarEventsSink::IID)
            return qbx::E_NOINTERFACE;
        *object = static_cast<qbx::ICommandBarEventsSink *>(this);
        AddRef();
        return qbx::S_OK;
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
        controls.push_back(control);
        handledSeen.push_back(*handled);
        cancelSeen.push_back(*cancelDefault);
        if (onClick)
            onClick(control, handled, cancelDefault);
    }
    int clicks() const { return static_cast<int>(controls.size()); }

    std::uint32_t refs = 1;
    std::vector<qbx::ICommandBarControl *> controls;
    std::vector<qbx::VariantBool> handledSeen;
    std::vector<qbx::VariantBool> cancelSeen;
    std::function<void(qbx::ICommandBarControl *, qbx::VariantBool *, qbx::VariantBool *)> onClick;

private:
    ~RecordingSink() = default;
};

// An object out of an Invoke result: the result carried one reference, now the ComPtr's.
template <typename T = qbx::IDispatch>
qbx::ComPtr<T> takeObject(const QVariant &value)
{
    auto *dispatch = static_cast<qbx::IDispatch *>(value.value<void *>());
    qbx::ComPtr<qbx::IDispatch> owned(dispatch, false);
    if constexpr (std::is_same_v<T, qbx::IDispatch>)
        return owned;
    else
        return owned.template as<T>();
}

// An object as an Invoke argument: only lent.
inline QVariant lend(qbx::IUnknown *object)
{
    qbx::IDispatch *dispatch = nullptr;
    if (object && qbx::Succeeded(object->QueryInterface(qbx::IDispatch::IID, reinterpret_cast<void **>(&dispatch))))
        dispatch->Release(); // the caller's reference keeps it alive
    return QVariant::fromValue(static_cast<void *>(dispatch));
}

// Sets $QBX_FAKE_ADDIN_LOG to a file in the test's own folder for its lifetime.
class FakeLog {
public:
    explicit FakeLog(const QString &folder) : m_path(folder + QStringLiteral("/fake-addin.log"))
    {
        qputenv(fake::kLogVariable, QFile::encodeName(m_path));
    }
    ~FakeLog() { qunsetenv(fake::kLogVariable); }
    FakeLog(const FakeLog &) = delete;
    FakeLog &operator=(const FakeLog &) = delete;

    QStringList lines() const
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // The lines of one tag, without the tag.
    QStringList linesOf(int tag) const
    {
        QStringList out;
        const QString prefix = QString::number(tag) + QLatin1Char(' ');
        for (const QString &line : lines()) {
            if (line.startsWith(prefix))
                out.append(line.mid(prefix.size()));
        }
        return out;
    }
    void clear() const { QFile::remove(m_path); }

private:
    QString m_path;
};

// Answers the host's message boxes for its lifetime, remembering what they said.
class CapturedMessages {
public:
    struct Message {
        QString title;
        QString text;
    };
    CapturedMessages()
    {
        m_previous = qbx::host::setMessageHandler(
            [this](QWidget *, const QString &title, const QString &text) { messages.push_back({title, text}); });
    }
    ~CapturedMessages() { qbx::host::setMessageHandler(std::move(m_previous)); }
    CapturedMessages(const CapturedMessages &) = delete;
    CapturedMessages &operator=(const CapturedMessages &) = delete;

    std::vector<Message> messages;

private:
    qbx::host::MessageHandler m_previous;
};

// Registers a fake add-in class under a ProgID of its own.
inline void registerFake(qbx::host::AddInRegistry &registry, const QString &progId, std::uint8_t tag,
                         const QString &friendlyName, int loadBehavior = 0, int commandLineSafe = 0,
                         const QString &description = QString(), const QString &modulePath = fakeAddInPath())
{
    QString error;
    const bool ok = registry.registerAddIn(
        {progId, fake::classId(tag), modulePath, friendlyName, description, loadBehavior, commandLineSafe}, &error);
    if (!ok)
        ADD_FAILURE() << error.toStdString();
}

} // namespace hosttest
