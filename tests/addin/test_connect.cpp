// The connection object in a real host object model: what each connection mode does with
// the menu command, the window and the setting, and how it copes with a host that fails.

#include "connect.h"
#include "frmaddin.h"
#include "hostobjectmodel.h"
#include "messageservice.h"
#include "richtextbox.h"
#include "settings.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

#include <QApplication>
#include <QPointer>

#include <unistd.h>

using namespace quillbox;
using qbx::ConnectMode;
using qbx::host::ObjectModel;

namespace {

QString storedSetting()
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quillbox"), QStringLiteral("Quillbox"));
    return s.value(QStringLiteral("Settings/DisplayOnConnect")).toString();
}

void storeSetting(const std::optional<QString> &value)
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quillbox"), QStringLiteral("Quillbox"));
    if (value)
        s.setValue(QStringLiteral("Settings/DisplayOnConnect"), *value);
    else
        s.remove(QStringLiteral("Settings/DisplayOnConnect"));
}

// Collects the message boxes instead of showing them.
struct MessageLog {
    QStringList texts;
    MessageService::Responder previous;
    MessageLog()
    {
        previous = MessageService::setResponder([this](const MessageRequest &r) {
            texts << r.text;
            EXPECT_EQ(r.title, QStringLiteral("Quillbox"));
            return vbOK;
        });
    }
    ~MessageLog() { MessageService::setResponder(previous); }
};

struct ConnectFixture : ::testing::Test {
    qbx::test::FreshUserFolders folders;
    MessageLog messages;
    std::unique_ptr<ObjectModel> host = std::make_unique<ObjectModel>();
    Connect *connect = new Connect;

    ~ConnectFixture() override
    {
        if (connect)
            connect->Release();
    }

    void connectIn(ConnectMode mode)
    {
        QVariantList custom;
        ASSERT_EQ(connect->OnConnection(host->application(), mode, nullptr, custom), qbx::S_OK);
    }
    void disconnect()
    {
        QVariantList custom;
        ASSERT_EQ(connect->OnDisconnection(qbx::DisconnectMode::UserClosed, custom), qbx::S_OK);
    }
    QList<qbx::host::ControlId> addIns() const { return host->controls(qbx::host::kAddInsBarName); }
    bool windowShown() const { return connect->addInForm() && connect->addInForm()->isVisible(); }
};

} // namespace

TEST(ConnectLifecycle, EachModeAndSettingDecidesMenuWindowAndWhatIsWritten)
{
    struct Case {
        ConnectMode mode;
        std::optional<QString> setting;
        bool menuCommand;
        bool windowOpens;
    };
    const std::optional<QString> absent;
    const Case cases[] = {
        {ConnectMode::AfterStartup, absent, true, false},
        {ConnectMode::AfterStartup, QStringLiteral("0"), true, false},
        {ConnectMode::AfterStartup, QStringLiteral("1"), true, true},
        {ConnectMode::AfterStartup, QStringLiteral("true"), true, false},
        {ConnectMode::AfterStartup, QStringLiteral(" 1"), true, false},
        {ConnectMode::AfterStartup, QStringLiteral("-1"), true, false},
        {ConnectMode::Startup, absent, true, false},
        {ConnectMode::Startup, QStringLiteral("1"), true, false},
        {ConnectMode::External, absent, false, true},
        {ConnectMode::External, QStringLiteral("1"), false, true},
        {ConnectMode::External, QStringLiteral("0"), false, true},
        {ConnectMode::CommandLine, absent, true, false},
        {ConnectMode::CommandLine, QStringLiteral("1"), true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << ", setting "
                                        << (c.setting ? c.setting->toStdString() : std::string("absent")));
        qbx::test::FreshUserFolders folders;
        MessageLog messages;
        storeSetting(c.setting);
        ObjectModel host;
        auto *connect = new Connect;
        QVariantList custom;
        connect->OnConnection(host.application(), c.mode, nullptr, custom);

        const auto controls = host.controls(qbx::host::kAddInsBarName);
        EXPECT_EQ(controls.size(), c.menuCommand ? 1 : 0);
        if (c.menuCommand && controls.size() == 1) {
            EXPECT_EQ(host.caption(controls[0]), QStringLiteral("Quillbox ver 1.0"));
            EXPECT_EQ(host.sinkCount(controls[0]), 1);
        }
        const bool shown = connect->addInForm() && connect->addInForm()->isVisible();
        EXPECT_EQ(shown, c.windowOpens);
        EXPECT_EQ(connect->formDisplayed(), c.windowOpens);
        EXPECT_TRUE(messages.texts.isEmpty());

        connect->OnDisconnection(qbx::DisconnectMode::UserClosed, custom);
        EXPECT_TRUE(host.controls(qbx::host::kAddInsBarName).isEmpty()) << "the command is removed";
        EXPECT_EQ(storedSetting(), c.windowOpens ? QStringLiteral("1") : QStringLiteral("0"));
        EXPECT_EQ(connect->addInForm(), nullptr);
        EXPECT_FALSE(connect->formDisplayed());
        connect->Release();
    }
}

TEST_F(ConnectFixture, MenuCommandOpensTheWindowAndAClickWhileShownKeepsOneWindow)
{
    connectIn(ConnectMode::Startup);
    ASSERT_EQ(addIns().size(), 1);
    EXPECT_EQ(connect->addInForm(), nullptr);
    ASSERT_TRUE(host->click(addIns()[0]));
    ASSERT_TRUE(windowShown());
    frmAddIn *first = connect->addInForm();
    EXPECT_EQ(first->Connect, static_cast<_Connect *>(connect));
    first->Text1->setText(QStringLiteral("typed"));
    ASSERT_TRUE(host->click(addIns()[0]));
    EXPECT_EQ(connect->addInForm(), first);
    EXPECT_EQ(first->Text1->text(), QStringLiteral("typed"));
    int windows = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        windows += qobject_cast<frmAddIn *>(w) != nullptr;
    EXPECT_EQ(windows, 1);
}

TEST_F(ConnectFixture, ExitHidesAndTheMenuCommandBringsTheWindowBackAsItWas)
{
    connectIn(ConnectMode::AfterStartup);
    ASSERT_TRUE(host->click(addIns()[0]));
    frmAddIn *form = connect->addInForm();
    form->Rich2->setText(QStringLiteral("t = a\r\na = b"));
    form->mnuExit->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(connect->formDisplayed());
    ASSERT_TRUE(host->click(addIns()[0]));
    EXPECT_EQ(connect->addInForm(), form);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Rich2->Text(), QStringLiteral("t = a\r\na = b"));
    // Hidden again through Exit before the host lets go: "0" is remembered.
    form->mnuExit->trigger();
    disconnect();
    EXPECT_EQ(storedSetting(), QStringLiteral("0"));
}

TEST_F(ConnectFixture, ClosingWithTheCloseBoxUnloadsTheWindowAndIsNotRememberedAsOpen)
{
    connectIn(ConnectMode::AfterStartup);
    ASSERT_TRUE(host->click(addIns()[0]));
    QPointer<frmAddIn> form = connect->addInForm();
    form->Text1->setText(QStringLiteral("will be gone"));
    ASSERT_TRUE(form->close());
    EXPECT_FALSE(connect->formDisplayed());
    EXPECT_EQ(connect->addInForm(), nullptr);
    EXPECT_TRUE(qbx::test::waitFor([&] { return form.isNull(); })) << "the window is unloaded";

    // The next Show loads a new window in its first state.
    ASSERT_TRUE(host->click(addIns()[0]));
    ASSERT_NE(connect->addInForm(), nullptr);
    EXPECT_TRUE(connect->addInForm()->Text1->text().isEmpty());
    ASSERT_TRUE(connect->addInForm()->close());
    disconnect();
    EXPECT_EQ(storedSetting(), QStringLiteral("0"));
}

TEST_F(ConnectFixture, DisconnectedWhileShownRemembersTheOpenWindowAndReopensIt)
{
    connectIn(ConnectMode::AfterStartup);
    ASSERT_TRUE(host->click(addIns()[0]));
    QPointer<frmAddIn> form = connect->addInForm();
    disconnect();
    EXPECT_EQ(storedSetting(), QStringLiteral("1"));
    EXPECT_TRUE(form.isNull()) << "the window is closed and released";

    // A new connection by the user reopens it; one at start-up does not.
    auto *again = new Connect;
    QVariantList custom;
    again->OnConnection(host->application(), ConnectMode::AfterStartup, nullptr, custom);
    EXPECT_TRUE(again->addInForm() && again->addInForm()->isVisible());
    again->OnDisconnection(qbx::DisconnectMode::UserClosed, custom);
    again->Release();
    auto *atStart = new Connect;
    atStart->OnConnection(host->application(), ConnectMode::Startup, nullptr, custom);
    EXPECT_EQ(atStart->addInForm(), nullptr);
    atStart->OnDisconnection(qbx::DisconnectMode::HostShutdown, custom);
    atStart->Release();
}

TEST_F(ConnectFixture, EachConnectionAddsOneButtonAndRemovesItsOwn)
{
    // Another add-in's button stays where it is.
    qbx::ComPtr<qbx::ICommandBars> bars;
    ASSERT_EQ(host->vbe()->get_CommandBars(bars.put()), qbx::S_OK);
    qbx::ComPtr<qbx::ICommandBar> bar;
    ASSERT_EQ(bars->Item(QStringLiteral("Add-Ins"), bar.put()), qbx::S_OK);
    qbx::ComPtr<qbx::ICommandBarControls> controls;
    ASSERT_EQ(bar->get_Controls(controls.put()), qbx::S_OK);
    qbx::ComPtr<qbx::ICommandBarControl> other;
    ASSERT_EQ(controls->Add(qbx::msoControlButton, other.put()), qbx::S_OK);
    other->put_Caption(QStringLiteral("Other add-in"));

    for (int round = 0; round < 3; ++round) {
        connectIn(ConnectMode::AfterStartup);
        ASSERT_EQ(addIns().size(), 2);
        EXPECT_EQ(host->caption(addIns()[1]), QStringLiteral("Quillbox ver 1.0"));
        disconnect();
        ASSERT_EQ(addIns().size(), 1);
        EXPECT_EQ(host->caption(addIns()[0]), QStringLiteral("Other add-in"));
    }
}

TEST_F(ConnectFixture, ExternalConnectionHasNoCommandYetWritesTheSetting)
{
    connectIn(ConnectMode::External);
    EXPECT_TRUE(addIns().isEmpty());
    EXPECT_TRUE(windowShown());
    disconnect();
    EXPECT_EQ(storedSetting(), QStringLiteral("1"));
    EXPECT_TRUE(messages.texts.isEmpty()) << "removing a command that was never made fails silently";
}

TEST(ConnectFailures, HostWithoutAnAddInsBarReportsTheHostsErrorOnce)
{
    qbx::test::FreshUserFolders folders;
    MessageLog messages;
    storeSetting(QStringLiteral("1"));
    ObjectModel host(qbx::host::ObjectModelOptions{false});
    auto *connect = new Connect;
    QVariantList custom;
    EXPECT_EQ(connect->OnConnection(host.application(), ConnectMode::AfterStartup, nullptr, custom), qbx::S_OK);

    // No command was added; asking the host for the events of no control failed, and that
    // failure ended the sequence before the setting could open the window.
    EXPECT_EQ(connect->menuCommand(), nullptr);
    ASSERT_EQ(messages.texts.size(), 1);
    qbx::ComPtr<qbx::IEvents> events;
    ASSERT_EQ(host.vbe()->get_Events(events.put()), qbx::S_OK);
    qbx::ComPtr<qbx::ICommandBarEvents> none;
    EXPECT_TRUE(qbx::Failed(events->get_CommandBarEvents(nullptr, none.put())));
    EXPECT_EQ(messages.texts[0], events->ErrorDescription());
    EXPECT_FALSE(messages.texts[0].isEmpty());
    EXPECT_EQ(connect->addInForm(), nullptr);

    connect->OnDisconnection(qbx::DisconnectMode::UserClosed, custom);
    EXPECT_EQ(storedSetting(), QStringLiteral("0"));
    EXPECT_EQ(messages.texts.size(), 1) << "disconnection ignores its failures";
    connect->Release();
}

TEST(ConnectFailures, AddToAddInCommandBarYieldsNothingSilently)
{
    qbx::test::FreshUserFolders folders;
    MessageLog messages;
    ObjectModel withBar;
    ObjectModel withoutBar(qbx::host::ObjectModelOptions{false});
    auto *connect = new Connect;

    qbx::ICommandBarControl *control = reinterpret_cast<qbx::ICommandBarControl *>(0x1);
    // No host object at all.
    EXPECT_EQ(connect->AddToAddInCommandBar(QStringLiteral("x"), &control), qbx::S_OK);
    EXPECT_EQ(control, nullptr);
    // A host without the bar.
    connect->putref_VBInstance(withoutBar.vbe());
    EXPECT_EQ(connect->AddToAddInCommandBar(QStringLiteral("x"), &control), qbx::S_OK);
    EXPECT_EQ(control, nullptr);
    // A host with it: the caption is the one asked for, and the argument is unchanged.
    connect->putref_VBInstance(withBar.vbe());
    const QString caption = QStringLiteral("My caption");
    EXPECT_EQ(connect->AddToAddInCommandBar(caption, &control), qbx::S_OK);
    ASSERT_NE(control, nullptr);
    QString read;
    control->get_Caption(&read);
    EXPECT_EQ(read, caption);
    EXPECT_EQ(withBar.controls(qbx::host::kAddInsBarName).size(), 1);
    control->Release();
    connect->putref_VBInstance(nullptr);
    connect->Release();
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST(ConnectFailures, UnreadableSettingIsReportedWhenConnectingAfterStartup)
{
    if (qbx::test::rerunUnprivileged())
        return;
    qbx::test::FreshUserFolders folders;
    MessageLog messages;
    storeSetting(QStringLiteral("1"));
    QFile::setPermissions(settings::filePath(), QFileDevice::WriteOwner);
    ObjectModel host;
    auto *connect = new Connect;
    QVariantList custom;
    connect->OnConnection(host.application(), ConnectMode::AfterStartup, nullptr, custom);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].contains(QDir::toNativeSeparators(settings::filePath())));
    EXPECT_EQ(host.controls(qbx::host::kAddInsBarName).size(), 1) << "what was done before stays";
    connect->OnDisconnection(qbx::DisconnectMode::UserClosed, custom);
    connect->Release();
}

TEST_F(ConnectFixture, ShowTwiceAndHideKeepOneWindow)
{
    connectIn(ConnectMode::External);
    frmAddIn *form = connect->addInForm();
    form->Text1->setText(QStringLiteral("still here"));
    EXPECT_EQ(connect->Show(), qbx::S_OK);
    EXPECT_EQ(connect->addInForm(), form);
    EXPECT_EQ(form->Text1->text(), QStringLiteral("still here"));
    EXPECT_EQ(connect->Hide(), qbx::S_OK);
    EXPECT_FALSE(connect->formDisplayed());
    EXPECT_EQ(connect->addInForm(), form);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(ConnectFixture, MembersAreReachableByNameAsAnAutomationClientWouldUseThem)
{
    qbx::DispId show = 0, displayed = 0, hide = 0;
    ASSERT_EQ(connect->GetIDsOfNames(QStringLiteral("Show"), &show), qbx::S_OK);
    ASSERT_EQ(connect->GetIDsOfNames(QStringLiteral("formdisplayed"), &displayed), qbx::S_OK);
    ASSERT_EQ(connect->GetIDsOfNames(QStringLiteral("Hide"), &hide), qbx::S_OK);
    qbx::DispId unknown = 0;
    EXPECT_EQ(connect->GetIDsOfNames(QStringLiteral("Explode"), &unknown), qbx::DISP_E_UNKNOWNNAME);

    QVariantList none;
    QVariant result;
    ASSERT_EQ(connect->Invoke(show, qbx::InvokeKind::Method, none, nullptr), qbx::S_OK);
    ASSERT_EQ(connect->Invoke(displayed, qbx::InvokeKind::PropertyGet, none, &result), qbx::S_OK);
    EXPECT_EQ(result, QVariant(true));
    ASSERT_EQ(connect->Invoke(hide, qbx::InvokeKind::Method, none, nullptr), qbx::S_OK);
    ASSERT_EQ(connect->Invoke(displayed, qbx::InvokeKind::PropertyGet, none, &result), qbx::S_OK);
    EXPECT_EQ(result, QVariant(false));
    QVariantList extra{1};
    EXPECT_EQ(connect->Invoke(show, qbx::InvokeKind::Method, extra, nullptr), qbx::DISP_E_BADPARAMCOUNT);

    // The typed interface agrees, with automation Booleans.
    qbx::VariantBool value = 7;
    connect->put_FormDisplayed(qbx::VariantTrue);
    connect->get_FormDisplayed(&value);
    EXPECT_EQ(value, qbx::VariantTrue);
}
