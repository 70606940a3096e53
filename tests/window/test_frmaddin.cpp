// The window as a whole: what each action mode shows and enables however it is entered,
// Cancel, the empty library, the layout rule that no two visible controls ever overlap,
// About, Exit and help.

#include "window/windowtesting.h"

#include "window/frmabout.h"
#include "window/helpwindow.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTimer>

using namespace quillbox;
using namespace quillbox::test;

TEST_F(WindowTest, EachModeShowsItsOwnControlsAndCancelReturnsToIdle)
{
    open({{"Swap", "' Exchanges", "t = a"}, {" Centre ", "' Mid-screen", "Me.Move 0, 0"}, {"Other", "' x", "y"}});
    EXPECT_TRUE(seen(form).isEmpty()) << "the window starts idle";
    // Entered from another mode, with something typed there, and entered again.
    const std::pair<const char *, QStringList> modes[] = {
        {"tbAdd",
         {"Command2", "Command3", "Label1", "Label2", "Label3", "Label4=Add New Code", "Rich1='", "Rich2=", "Text1="}},
        {"tbModify",
         {"Combo1=/3", "Command2", "Command4:off", "Label1", "Label2", "Label3", "Label4=Modify Code", "Rich1='",
          "Rich2="}},
        {"tbDelete", {"Combo1=/3", "Command2", "Command5:off", "Label1", "Label3", "Label4=Delete Code", "Rich3="}},
        {"tbGenerate", {"Combo1=/3", "Command2", "Command6:off", "Label1", "Label3", "Label4=Generate Code", "Rich3="}},
    };
    for (const auto &[key, controls] : modes) {
        SCOPED_TRACE(key);
        form->mnuAdd->trigger();
        QTest::keyClicks(form->Text1, QStringLiteral("left over"));
        QTest::keyClicks(form->Rich2, QStringLiteral("left over"));
        for (int twice = 0; twice < 2; ++twice) {
            toolbar(key);
            EXPECT_EQ(seen(form), controls);
        }
        expectLayoutSound(form);
        // A separator, or a key in another case, does nothing.
        for (const char *other : {"tbSep01", "tbadd"}) {
            QAction action;
            action.setObjectName(QString::fromLatin1(other));
            form->Toolbar1_ButtonClick(&action);
        }
        EXPECT_EQ(seen(form), controls);
        click(form->Command2);
        EXPECT_TRUE(seen(form).isEmpty()) << "Cancel returns to idle";
    }
    EXPECT_TRUE(said().isEmpty());
}

TEST_F(WindowTest, EmptyLibraryIsToldAndTheWindowLooksIdle)
{
    open({{"Swap", "' Exchanges", "t = a"}});
    toolbar("tbGenerate"); // the list was filled once; then another program empties the library
    libraryRows(QStringLiteral("DELETE FROM TABLE1"));
    for (const char *key : {"tbModify", "tbDelete", "tbGenerate"}) {
        form->mnuAdd->trigger();
        toolbar(key);
        EXPECT_EQ(said(), QStringList{"No Code has been added yet to the database. Please Add some code first before "
                                      "performing this action"});
        EXPECT_TRUE(seen(form).isEmpty()) << key;
    }
    EXPECT_TRUE(form->GenerateMode) << "the mode stays chosen until the next command";
}

TEST_F(WindowTest, AboutAndExitLeaveTheWindowAsItWas)
{
    open({});
    form->mnuAdd->trigger();
    QTest::keyClicks(form->Text1, QStringLiteral("typed"));
    const QStringList before = seen(form);
    // About is modal, and closed by OK, Enter or Esc.
    for (const int key : {0, int(Qt::Key_Return), int(Qt::Key_Escape)}) {
        QPointer<frmAbout> about;
        QTimer::singleShot(0, [&] {
            about = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
            ASSERT_TRUE(about);
            EXPECT_EQ(QStringList({about->windowTitle(), about->lblTitle->text(), about->lblVersion->text()}),
                      QStringList({"About Quillbox", "Quillbox", "Version 1.0"}));
            if (key)
                QTest::keyClick(about, Qt::Key(key));
            else
                QTest::mouseClick(about->cmdOK, Qt::LeftButton);
        });
        form->mnuAbout->trigger();
        EXPECT_TRUE(about.isNull()) << "the dialog was shown, and unloaded once closed";
        EXPECT_EQ(seen(form), before);
    }
    // Exit hides the window; shown again, it is as it was left.
    toolbar("tbExit");
    EXPECT_FALSE(form->isVisible());
    form->show();
    EXPECT_EQ(seen(form), before);
    form->mnuExit->trigger();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(WindowTest, HelpShowsThePageAtItsTopOrSaysTheFileIsMissing)
{
    open({});
    QFile::remove(store::helpFilePath());
    form->mnuContents->trigger();
    HelpWindow *help = form->helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->browser()->toPlainText(), QStringLiteral("The help file %1 could not be opened: there is no such "
                                                             "file.\n\nRun \"quillbox init\" to create it.")
                                                  .arg(QDir::toNativeSeparators(store::helpFilePath())));
    QFile file(store::helpFilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<h1>Contents</h1>" + QByteArray(300, '\n').replace("\n", "<p>Paragraph</p>") + "<p>The end</p>");
    file.close();
    toolbar("tbHelp");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
    EXPECT_TRUE(help->browser()->toPlainText().startsWith(QStringLiteral("Contents")));
    EXPECT_TRUE(help->browser()->toPlainText().endsWith(QStringLiteral("The end")));
    // Scrolled away and asked again: back at the top, in the same window.
    help->browser()->verticalScrollBar()->setValue(help->browser()->verticalScrollBar()->maximum());
    ASSERT_GT(help->browser()->verticalScrollBar()->value(), 0);
    form->mnuContents->trigger();
    EXPECT_EQ(form->helpWindow(), help);
    EXPECT_EQ(help->browser()->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(seen(form).isEmpty()) << "the window stays idle";
}
