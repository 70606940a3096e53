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
using namespace quillbox::addin;
using namespace quillbox::window;
using quillbox::host::ConnectMode;
using quillbox::host::kAddInsBarName;

namespace {

QSettings setting()
{
    return QSettings(settings::filePath(), QSettings::IniFormat);
}

// The setting as a hand-edited file holds it, the value's spaces and all.
void writeSetting(const QString &value)
{
    QDir().mkpath(QFileInfo(settings::filePath()).path());
    QFile file(settings::filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(("[Settings]\nDisplayOnConnect=" + value).toUtf8()));
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
    quillbox::host::ObjectModel host;
    quillbox::host::ComPtr<Connect> connect{new Connect, false};
    QVariantList custom;

    explicit Connection(const quillbox::host::ObjectModelOptions &options = {}) : host(options) {}
    ~Connection() { MessageService::setResponder(previous); }
    void connectIn(ConnectMode mode) { connect->OnConnection(host.application(), mode, nullptr, custom); }
    void disconnect() { connect->OnDisconnection(quillbox::host::DisconnectMode::UserClosed, custom); }
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
        {ConnectMode::AfterStartup, "1 ", true, false}, {ConnectMode::AfterStartup, "1\r\n", true, true},
        {ConnectMode::Startup, "1", true, false},       {ConnectMode::CommandLine, "1", true, false},
        {ConnectMode::External, {}, false, true},       {ConnectMode::External, "0", false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << ", setting "
                                        << c.setting.value_or("absent").toStdString());
        Connection t;
        if (c.setting)
            writeSetting(*c.setting);
        // Another add-in's button, made as any add-in makes one.
        quillbox::host::ComPtr<quillbox::host::ICommandBarControl> other;
        t.connect->putref_VBInstance(t.host.vbe());
        ASSERT_TRUE(t.connect->AddToAddInCommandBar(QStringLiteral("Other"), other.put()) == quillbox::host::S_OK
                    && other);
        t.connectIn(c.mode);
        const QList<quillbox::host::ControlId> controls = t.host.controls(kAddInsBarName);
        ASSERT_EQ(controls.size(), c.menuCommand ? 2 : 1);
        EXPECT_EQ(t.host.caption(controls.last()), QString(c.menuCommand ? "Quillbox ver 1.0" : "Other"));
        EXPECT_EQ(t.windowShown(), c.windowOpens);

        t.disconnect();
        EXPECT_EQ(t.host.controls(kAddInsBarName), QList<quillbox::host::ControlId>{controls[0]})
            << "only its own goes";
        EXPECT_EQ(setting().value(QStringLiteral("Settings/DisplayOnConnect")), QString(c.windowOpens ? "1" : "0"));
        EXPECT_FALSE(t.connect->addInForm() || t.connect->formDisplayed());
        EXPECT_TRUE(t.messages.isEmpty()) << t.messages.join('\n').toStdString();
    }
}

TEST(Connect, MenuCommandShowsTheOneWindowThatHideKeepsAndTheCloseBoxUnloads)
{
    Connection t;
    t.connectIn(ConnectMode::Startup);
    ASSERT_TRUE(t.clickCommand() && t.windowShown());
    QPointer<frmAddIn> form = t.connect->addInForm();
    // File > Exit hides the window through the connection, which then knows it is hidden.
    form->mnuExit->trigger();
    EXPECT_FALSE(form->isVisible() || t.connect->formDisplayed());
    ASSERT_TRUE(t.clickCommand() && t.windowShown());
    EXPECT_EQ(t.connect->Hide(), quillbox::host::S_OK);
    EXPECT_FALSE(form->isVisible() || t.connect->formDisplayed());
    ASSERT_TRUE(t.clickCommand() && t.clickCommand());
    EXPECT_TRUE(t.connect->addInForm() == form && t.windowShown() && t.connect->formDisplayed());

    ASSERT_TRUE(form->close());
    EXPECT_FALSE(t.connect->formDisplayed() || t.connect->addInForm());
    EXPECT_TRUE(qbx::test::waitFor([&] { return form.isNull(); })) << "the window is unloaded";
    ASSERT_TRUE(t.clickCommand() && t.windowShown()) << "and a new one opens";
}

TEST(Connect, AFailingHostOrAnUnreadableSettingIsShownOnceAndKeepsTheWindowShut)
{
    if (qbx::test::rerunUnprivileged())
        return;
    {
        Connection t(quillbox::host::ObjectModelOptions{false});
        setting().setValue(QStringLiteral("Settings/DisplayOnConnect"), QStringLiteral("1"));
        t.connectIn(ConnectMode::AfterStartup);
        // No command was made, so asking the host for its events failed.
        EXPECT_FALSE(t.connect->menuCommand() || t.connect->addInForm());
        t.disconnect();
        EXPECT_EQ(t.messages, QStringList{"Quillbox: Object variable not set: no command bar control was given."})
            << "disconnection ignores its failures";
    }
    Connection t;
    setting().setValue(QStringLiteral("Settings/DisplayOnConnect"), QStringLiteral("1"));
    QFile::setPermissions(settings::filePath(), QFileDevice::WriteOwner);
    t.connectIn(ConnectMode::AfterStartup);
    EXPECT_EQ(t.messages, QStringList{"Quillbox: The settings file " + QDir::toNativeSeparators(settings::filePath())
                                      + " could not be read."});
    EXPECT_TRUE(t.host.controls(kAddInsBarName).size() == 1 && !t.connect->addInForm()) << "the command stays";
    // Nor can it be written at disconnection: said on standard error, not in a second box.
    static QStringList warned;
    const QtMessageHandler before =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) { warned << m; });
    t.disconnect();
    qInstallMessageHandler(before);
    EXPECT_EQ(warned, QStringList{"The settings file " + QDir::toNativeSeparators(settings::filePath())
                                  + " could not be written."});
    EXPECT_EQ(t.messages.size(), 1);
}

TEST(Connect, MembersAreReachableByNameAsAnAutomationClientUsesThem)
{
    Connection t;
    quillbox::host::DispId show = 0, displayed = 0;
    QVariantList none;
    QVariant result;
    ASSERT_TRUE(t.connect->GetIDsOfNames("Show", &show) == quillbox::host::S_OK
                && t.connect->GetIDsOfNames("formdisplayed", &displayed) == quillbox::host::S_OK);
    ASSERT_EQ(t.connect->Invoke(show, quillbox::host::InvokeKind::Method, none, &result), quillbox::host::S_OK);
    EXPECT_EQ(t.connect->Invoke(displayed, quillbox::host::InvokeKind::PropertyGet, none, &result),
              quillbox::host::S_OK);
    EXPECT_TRUE(result.toBool() && t.windowShown());
}

// The setting's file is found by the XDG rules for configuration (the library folder's tests
// try the rules themselves); with no home at all, reading it is refused in words.
TEST(Settings, FileIsInTheConfigurationHomeAndNoHomeIsRefused)
{
    qbx::test::FreshUserFolders folders;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", "/home/u");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(settings::filePath(), QStringLiteral("/home/u/.config/Quillbox/Quillbox.ini"));
    qunsetenv("HOME");
    QString value;
    const QString error = settings::readDisplayOnConnect(value);
    qputenv("HOME", oldHome);
    EXPECT_TRUE(error.startsWith("Quillbox cannot tell where your files belong: neither XDG_CONFIG_HOME nor HOME"))
        << error.toStdString();
}
