// The connection object in a real host object model: what each connection mode does with
// the menu command, the window and the setting, and how it copes with a host that fails.

#include "addin/connect.h"
#include "addin/settings.h"
#include "host/hostobjectmodel.h"
#include "support/testsupport.h"
#include "window/messageservice.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSettings>

#include <gtest/gtest.h>

#include <optional>

using namespace quillbox;
using qbx::ConnectMode;
using qbx::host::kAddInsBarName;
using qbx::host::ObjectModel;

namespace {

QSettings setting()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quillbox"),
                     QStringLiteral("Quillbox"));
}

// A host with another add-in's button on its Add-Ins bar, a Connect object, and the
// message boxes collected instead of shown.
struct Connection {
    qbx::test::FreshUserFolders folders;
    QStringList messages;
    MessageService::Responder previous = MessageService::setResponder([this](const MessageRequest &r) {
        messages << r.title + QStringLiteral(": ") + r.text;
        return vbOK;
    });
    ObjectModel host;
    qbx::ComPtr<Connect> connect{new Connect, false};
    QVariantList custom;

    explicit Connection(const qbx::host::ObjectModelOptions &options = {}) : host(options) {}
    ~Connection() { MessageService::setResponder(previous); }
    void connectIn(ConnectMode mode) { connect->OnConnection(host.application(), mode, nullptr, custom); }
    void disconnect() { connect->OnDisconnection(qbx::DisconnectMode::UserClosed, custom); }
    bool windowShown() const { return connect->addInForm() && connect->addInForm()->isVisible(); }
    bool clickCommand() { return host.click(host.controls(kAddInsBarName).value(0)); }
};

} // namespace

TEST(Connect, EachModeAndSettingDecidesMenuCommandWindowAndWhatIsRemembered)
{
    const struct {
        ConnectMode mode;
        std::optional<QString> setting; // none: absent
        bool menuCommand, windowOpens;
    } cases[] = {
        {ConnectMode::AfterStartup, {}, true, false},   {ConnectMode::AfterStartup, "0", true, false},
        {ConnectMode::AfterStartup, "1", true, true},   {ConnectMode::AfterStartup, "true", true, false},
        {ConnectMode::AfterStartup, " 1", true, false}, {ConnectMode::AfterStartup, "-1", true, false},
        {ConnectMode::Startup, "1", true, false},       {ConnectMode::CommandLine, "1", true, false},
        {ConnectMode::External, {}, false, true},       {ConnectMode::External, "0", false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << ", setting "
                                        << c.setting.value_or("absent").toStdString());
        Connection t;
        if (c.setting)
            setting().setValue(QStringLiteral("Settings/DisplayOnConnect"), *c.setting);
        // Another add-in's button, made as any add-in makes one.
        qbx::ComPtr<qbx::ICommandBarControl> other;
        t.connect->putref_VBInstance(t.host.vbe());
        ASSERT_TRUE(t.connect->AddToAddInCommandBar(QStringLiteral("Other"), other.put()) == qbx::S_OK && other);
        t.connectIn(c.mode);
        const QList<qbx::host::ControlId> controls = t.host.controls(kAddInsBarName);
        ASSERT_EQ(controls.size(), c.menuCommand ? 2 : 1);
        if (c.menuCommand) {
            EXPECT_EQ(t.host.caption(controls[1]), QStringLiteral("Quillbox ver 1.0"));
            EXPECT_EQ(t.host.sinkCount(controls[1]), 1);
        }
        EXPECT_EQ(t.windowShown(), c.windowOpens);
        EXPECT_EQ(t.connect->formDisplayed(), c.windowOpens);

        t.disconnect();
        EXPECT_EQ(t.host.controls(kAddInsBarName), QList<qbx::host::ControlId>{controls[0]}) << "only its own goes";
        EXPECT_EQ(setting().value(QStringLiteral("Settings/DisplayOnConnect")), QString(c.windowOpens ? "1" : "0"));
        EXPECT_FALSE(t.connect->addInForm() || t.connect->formDisplayed());
        EXPECT_TRUE(t.messages.isEmpty()) << t.messages.join('\n').toStdString();
    }
}

TEST(Connect, MenuCommandShowsTheOneWindowThatHideKeepsAndTheCloseBoxUnloads)
{
    Connection t;
    t.connectIn(ConnectMode::Startup);
    EXPECT_EQ(t.connect->addInForm(), nullptr) << "no window before it is asked for";
    ASSERT_TRUE(t.clickCommand() && t.windowShown());
    QPointer<frmAddIn> form = t.connect->addInForm();
    form->setProperty("seen", true);
    EXPECT_EQ(form->Connect, static_cast<_Connect *>(t.connect.get()));
    EXPECT_EQ(t.connect->Hide(), qbx::S_OK);
    EXPECT_FALSE(form->isVisible() || t.connect->formDisplayed());
    ASSERT_TRUE(t.clickCommand() && t.clickCommand());
    EXPECT_TRUE(t.connect->addInForm() == form && t.windowShown() && t.connect->formDisplayed());

    ASSERT_TRUE(form->close());
    EXPECT_FALSE(t.connect->formDisplayed() || t.connect->addInForm());
    EXPECT_TRUE(qbx::test::waitFor([&] { return form.isNull(); })) << "the window is unloaded";
    ASSERT_TRUE(t.clickCommand() && t.windowShown());
    EXPECT_FALSE(t.connect->addInForm()->property("seen").isValid()) << "a new window in its first state";
}

TEST(Connect, AHostWithoutAnAddInsBarGetsItsOwnErrorShownOnce)
{
    Connection t(qbx::host::ObjectModelOptions{false});
    setting().setValue(QStringLiteral("Settings/DisplayOnConnect"), QStringLiteral("1"));
    t.connectIn(ConnectMode::AfterStartup);
    // No command was made, so asking the host for its events failed; the window stays shut.
    EXPECT_EQ(t.connect->menuCommand(), nullptr);
    EXPECT_EQ(t.messages, QStringList{"Quillbox: Object variable not set: no command bar control was given."});
    EXPECT_FALSE(t.connect->addInForm());
    t.disconnect();
    EXPECT_EQ(t.messages.size(), 1) << "disconnection ignores its failures";
}

TEST(Connect, AnUnreadableSettingIsReportedWhenConnectingAfterStartup)
{
    if (qbx::test::rerunUnprivileged())
        return;
    Connection t;
    setting().setValue(QStringLiteral("Settings/DisplayOnConnect"), QStringLiteral("1"));
    QFile::setPermissions(settings::filePath(), QFileDevice::WriteOwner);
    t.connectIn(ConnectMode::AfterStartup);
    EXPECT_EQ(t.messages, QStringList{"Quillbox: The settings file " + QDir::toNativeSeparators(settings::filePath())
                                      + " could not be read."});
    EXPECT_EQ(t.host.controls(kAddInsBarName).size(), 1) << "what was done before stays";
    EXPECT_FALSE(t.connect->addInForm());
    t.disconnect();
}

TEST(Connect, MembersAreReachableByNameAsAnAutomationClientUsesThem)
{
    Connection t;
    const auto call = [&](const char *name, qbx::InvokeKind kind, QVariantList args = {}) {
        qbx::DispId id = 0;
        QVariant result;
        EXPECT_EQ(t.connect->GetIDsOfNames(QLatin1String(name), &id), qbx::S_OK) << name;
        EXPECT_EQ(t.connect->Invoke(id, kind, args, &result), qbx::S_OK) << name;
        return result;
    };
    call("Show", qbx::InvokeKind::Method);
    EXPECT_EQ(call("formdisplayed", qbx::InvokeKind::PropertyGet), QVariant(true));
    call("Hide", qbx::InvokeKind::Method);
    EXPECT_EQ(call("FormDisplayed", qbx::InvokeKind::PropertyGet), QVariant(false));
    EXPECT_FALSE(t.windowShown());
    qbx::DispId id = 0;
    EXPECT_EQ(t.connect->GetIDsOfNames(QStringLiteral("Explode"), &id), qbx::DISP_E_UNKNOWNNAME);
}
