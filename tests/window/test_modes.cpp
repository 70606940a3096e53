// The action modes: which controls each mode shows, enables and fills, however the mode
// is entered, and how Cancel, Exit and an empty library leave the window.

#include "windowtesting.h"

#include <QAction>
#include <QToolBar>

using namespace quillbox;
using namespace quillbox::test;

namespace {

const QList<Snippet> kLibrary = {
    {QStringLiteral("Swap two values"), QStringLiteral("' Exchanges two values"), QStringLiteral("t = a\r\na = b\r\nb = t")},
    {QStringLiteral(" Centre a form "), QStringLiteral("' Puts a form mid-screen"), QStringLiteral("Me.Move 0, 0")},
    {QStringLiteral("Another"), QStringLiteral("' x"), QStringLiteral("y")},
};

struct ModeRow {
    const char *mode;
    const char *menuItem;
    const char *toolbarKey;
    QString title;
    QStringList visible; // besides nothing: every other control is hidden
    QStringList enabled; // of the six buttons
    bool listFilled;
};

const ModeRow kModes[] = {
    {"add", "mnuAdd", "tbAdd", QStringLiteral("Add New Code"),
     {"Label1", "Label2", "Label3", "Label4", "Text1", "Rich1", "Rich2", "Command2", "Command3"},
     {"Command2", "Command3"}, false},
    {"modify", "mnuModify", "tbModify", QStringLiteral("Modify Code"),
     {"Label1", "Label2", "Label3", "Label4", "Combo1", "Rich1", "Rich2", "Command2", "Command4"}, {"Command2"}, true},
    {"delete", "mnuDelete", "tbDelete", QStringLiteral("Delete Code"),
     {"Label1", "Label3", "Label4", "Combo1", "Rich3", "Command2", "Command5"}, {"Command2"}, true},
    {"generate", "mnuGenerateCode", "tbGenerate", QStringLiteral("Generate Code"),
     {"Label1", "Label3", "Label4", "Combo1", "Rich3", "Command2", "Command6"}, {"Command2"}, true},
};

QStringList buttonsEnabled(const WindowState &s)
{
    QStringList out;
    for (const QString &name : s.enabled)
        if (name.startsWith(QLatin1String("Command")))
            out << name;
    return out;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

void expectIdle(const frmAddIn *form)
{
    const WindowState s = WindowState::of(form);
    EXPECT_TRUE(s.visible.isEmpty()) << s;
    EXPECT_TRUE(buttonsEnabled(s).isEmpty()) << s;
    // Emptied, the description box takes its comment mark at once.
    EXPECT_TRUE(s.text1.isEmpty() && s.rich2.isEmpty() && s.rich3.isEmpty()) << s;
    EXPECT_EQ(s.rich1, QStringLiteral("'")) << s;
    EXPECT_TRUE(s.comboItems.isEmpty()) << s;
    EXPECT_FALSE(s.addMode || s.modifyMode || s.deleteMode || s.generateMode) << s;
    EXPECT_TRUE(form->Toolbar1->isVisible());
    EXPECT_TRUE(form->StatusBar1->isVisible());
}

} // namespace

TEST_F(WindowWithLibrary, WindowStartsIdle)
{
    open(kLibrary);
    expectIdle(form);
    EXPECT_EQ(form->DatabasePath, store::databasePath());
    EXPECT_FALSE(form->HasCodes);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(WindowWithLibrary, EachModeShowsExactlyItsControlsWhicheverWayItIsEntered)
{
    open(kLibrary);
    const QStringList headings = {QStringLiteral("Swap two values"), QStringLiteral(" Centre a form "),
                                  QStringLiteral("Another")};
    for (const ModeRow &mode : kModes) {
        for (const bool byToolbar : {false, true}) {
            SCOPED_TRACE(std::string(mode.mode) + (byToolbar ? " from the toolbar" : " from the menu"));
            // Entered from another mode with something typed: that is discarded.
            form->mnuAdd->trigger();
            QTest::keyClicks(form->Text1, QStringLiteral("left over"));
            form->Rich2->setText(QStringLiteral("left over"));

            if (byToolbar)
                click(toolbarButton(mode.toolbarKey));
            else
                form->findChild<QAction *>(QString::fromLatin1(mode.menuItem))->trigger();

            const WindowState s = WindowState::of(form);
            EXPECT_EQ(sorted(s.visible), sorted(mode.visible));
            EXPECT_EQ(sorted(buttonsEnabled(s)), sorted(mode.enabled));
            EXPECT_EQ(s.label4, mode.title);
            EXPECT_TRUE(s.text1.isEmpty());
            EXPECT_EQ(s.rich1, QStringLiteral("'"));
            EXPECT_TRUE(s.rich2.isEmpty());
            EXPECT_TRUE(s.rich3.isEmpty());
            EXPECT_EQ(s.comboItems, mode.listFilled ? headings : QStringList());
            EXPECT_TRUE(s.comboText.isEmpty()) << "no heading is picked yet";
            EXPECT_EQ(s.addMode, std::string(mode.mode) == "add");
            EXPECT_EQ(s.modifyMode, std::string(mode.mode) == "modify");
            EXPECT_EQ(s.deleteMode, std::string(mode.mode) == "delete");
            EXPECT_EQ(s.generateMode, std::string(mode.mode) == "generate");
            // No two controls that share a place are visible together.
            EXPECT_FALSE(s.visible.contains(QStringLiteral("Text1")) && s.visible.contains(QStringLiteral("Combo1")));
            EXPECT_FALSE(s.visible.contains(QStringLiteral("Rich3")) && s.visible.contains(QStringLiteral("Rich1")));
            int actionButtons = 0;
            for (const char *b : {"Command3", "Command4", "Command5", "Command6"})
                actionButtons += s.visible.contains(QString::fromLatin1(b));
            EXPECT_EQ(actionButtons, 1);
        }
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(WindowWithLibrary, EnteringAListModeTwiceDoesNotRepeatTheHeadings)
{
    open(kLibrary);
    form->mnuGenerateCode->trigger();
    form->mnuGenerateCode->trigger();
    click(toolbarButton("tbGenerate"));
    EXPECT_EQ(form->Combo1->count(), kLibrary.size());
}

TEST_F(WindowWithLibrary, HeadingsAreListedInTableOrderWithDuplicatesAndSpaces)
{
    open({{QStringLiteral("zeta"), QStringLiteral("'d"), QStringLiteral("c")},
          {QStringLiteral("Alpha"), QStringLiteral("'d"), QStringLiteral("c")},
          {QStringLiteral("zeta"), QStringLiteral("'e"), QStringLiteral("c")},
          {QStringLiteral("  padded  "), QStringLiteral("'d"), QStringLiteral("c")}});
    form->mnuDelete->trigger();
    QStringList items;
    for (int i = 0; i < form->Combo1->count(); ++i)
        items << form->Combo1->itemText(i);
    EXPECT_EQ(items, QStringList({QStringLiteral("zeta"), QStringLiteral("Alpha"), QStringLiteral("zeta"),
                                  QStringLiteral("  padded  ")}));
}

TEST_F(WindowWithLibrary, RowsWithoutAHeadingAreLeftOutOfTheList)
{
    open(kLibrary);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("nulls"));
        db.setDatabaseName(store::databasePath());
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (NULL, 'd', 'c')")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("nulls"));
    form->mnuModify->trigger();
    EXPECT_EQ(form->Combo1->count(), kLibrary.size());
}

TEST_F(WindowWithLibrary, CancelReturnsToIdleFromEveryMode)
{
    open(kLibrary);
    for (const ModeRow &mode : kModes) {
        SCOPED_TRACE(mode.mode);
        form->findChild<QAction *>(QString::fromLatin1(mode.menuItem))->trigger();
        if (form->AddMode)
            QTest::keyClicks(form->Text1, QStringLiteral("typed"));
        click(form->Command2);
        expectIdle(form);
    }
    EXPECT_TRUE(messages.shown.empty()) << "Cancel asks nothing";
}

TEST_F(WindowWithLibrary, ExitHidesAndShowingAgainKeepsModeAndContents)
{
    open(kLibrary);
    form->mnuGenerateCode->trigger();
    const WindowState before = WindowState::of(form);
    click(toolbarButton("tbExit"));
    EXPECT_FALSE(form->isVisible());
    form->show();
    EXPECT_EQ(WindowState::of(form), before);

    form->mnuAdd->trigger();
    QTest::keyClicks(form->Text1, QStringLiteral("half typed"));
    const WindowState adding = WindowState::of(form);
    form->mnuExit->trigger();
    form->show();
    EXPECT_EQ(WindowState::of(form), adding);
}

TEST_F(WindowWithLibrary, EmptyLibraryIsReportedAndTheModeStaysHiddenButSet)
{
    open();
    struct Case {
        const char *menuItem;
        bool frmAddIn::*flag;
    };
    const Case cases[] = {{"mnuModify", &frmAddIn::ModifyMode},
                          {"mnuDelete", &frmAddIn::DeleteMode},
                          {"mnuGenerateCode", &frmAddIn::GenerateMode}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.menuItem);
        form->mnuAdd->trigger();
        messages.shown.clear();
        form->findChild<QAction *>(QString::fromLatin1(c.menuItem))->trigger();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text,
                  QStringLiteral("No Code has been added yet to the database. Please Add some code first before "
                                 "performing this action"));
        EXPECT_EQ(messages.shown[0].buttons, MsgButtons::OK);
        EXPECT_EQ(messages.shown[0].title, QStringLiteral("Quillbox"));
        const WindowState s = WindowState::of(form);
        EXPECT_TRUE(s.visible.isEmpty()) << s;
        EXPECT_TRUE((form->*c.flag)) << "the mode is set although nothing shows";
        EXPECT_FALSE(form->HasCodes);
        EXPECT_FALSE(form->AddMode);
    }
    // The next command clears the flag.
    form->mnuAdd->trigger();
    EXPECT_FALSE(form->GenerateMode);
    EXPECT_TRUE(form->AddMode);
}

TEST_F(WindowWithLibrary, UnknownToolbarKeysLeaveTheModeAlone)
{
    open(kLibrary);
    form->mnuModify->trigger();
    const WindowState before = WindowState::of(form);
    for (const char *key : {"tbSep01", "tbSep02", "tbSep03", "tbadd", "TBMODIFY", "tbGenerateCode"}) {
        QAction action;
        action.setObjectName(QString::fromLatin1(key));
        form->Toolbar1_ButtonClick(&action);
        EXPECT_EQ(WindowState::of(form), before) << key;
    }
}
