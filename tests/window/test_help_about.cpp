// Help and About: the help page shown at its top, a missing help file said in words, and
// the About dialog with its texts, closed by OK, Enter or Esc.

#include "frmabout.h"
#include "frmaddin.h"
#include "helpwindow.h"
#include "libraryfolder.h"
#include "richtextbox.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <functional>

#include <unistd.h>

using namespace quillbox;

namespace {

struct HelpAboutFixture : ::testing::Test {
    qbx::test::FreshUserFolders folders;
    QPointer<frmAddIn> form = new frmAddIn;
    HelpAboutFixture()
    {
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form));
    }
    ~HelpAboutFixture() override { delete form.data(); }

    // Runs the About command; `act` gets the dialog while it is shown modally.
    void runAbout(const std::function<void(frmAbout *)> &act)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            seen = true;
            act(dialog);
        });
        form->mnuAbout_Click();
        EXPECT_TRUE(seen);
    }
};

} // namespace

TEST_F(HelpAboutFixture, AboutShowsItsTextsAndClosesByOkEnterAndEsc)
{
    struct Case {
        const char *how;
        std::function<void(frmAbout *)> close;
    };
    const Case cases[] = {
        {"OK clicked", [](frmAbout *d) { QTest::mouseClick(d->cmdOK, Qt::LeftButton); }},
        {"Enter", [](frmAbout *d) { QTest::keyClick(d, Qt::Key_Return); }},
        {"Esc", [](frmAbout *d) { QTest::keyClick(d, Qt::Key_Escape); }},
    };
    QPointer<frmAbout> previous;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.how);
        QPointer<frmAbout> shown;
        runAbout([&](frmAbout *d) {
            shown = d;
            EXPECT_NE(d, previous.data()) << "each About is a freshly loaded dialog";
            EXPECT_EQ(d->windowTitle(), QStringLiteral("About Quillbox"));
            EXPECT_TRUE(d->isModal());
            EXPECT_EQ(d->size(), QSize(382, 214));
            EXPECT_EQ(d->lblTitle->text(), QStringLiteral("Quillbox"));
            EXPECT_EQ(d->lblVersion->text(), QStringLiteral("Version 1.0"));
            EXPECT_TRUE(d->lblDisclaimer->text().isEmpty());
            EXPECT_TRUE(d->lblDescription->text().startsWith(
                QStringLiteral("In this busy schedule we seldom get time to write commonly used codes.")));
            EXPECT_TRUE(d->lblDescription->text().endsWith(QStringLiteral("to any Text Editor...")));
            EXPECT_EQ(d->cmdOK->text(), QStringLiteral("OK"));
            EXPECT_TRUE(d->cmdOK->isDefault());
            EXPECT_EQ(d->cmdOK->geometry(), QRect(283, 175, 84, 23));
            EXPECT_FALSE(d->picIcon->pixmap().isNull());
            EXPECT_EQ(d->lblTitle->font().pointSizeF(), 12.0);
            EXPECT_TRUE(d->lblTitle->font().bold());
            EXPECT_TRUE(d->lblVersion->font().bold());
            // The etched separator: grey above white.
            EXPECT_EQ(d->Line1[1]->palette().color(QPalette::Window), QColor(0x80, 0x80, 0x80));
            EXPECT_EQ(d->Line1[0]->palette().color(QPalette::Window), QColor(Qt::white));
            EXPECT_LT(d->Line1[1]->y(), d->Line1[0]->y());
            EXPECT_EQ(d->Line1[0]->height(), 2);
            c.close(d);
        });
        EXPECT_TRUE(shown.isNull()) << "the dialog is unloaded when closed";
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        previous = shown;
    }
}

TEST_F(HelpAboutFixture, AboutLeavesTheWindowAsItWas)
{
    form->Text1->setText(QStringLiteral("Swap two values"));
    form->Rich2->setText(QStringLiteral("t = a\r\na = b"));
    runAbout([](frmAbout *d) { QTest::keyClick(d, Qt::Key_Escape); });
    EXPECT_EQ(form->Text1->text(), QStringLiteral("Swap two values"));
    EXPECT_EQ(form->Rich2->Text(), QStringLiteral("t = a\r\na = b"));
    EXPECT_TRUE(form->isVisible());
}

TEST_F(HelpAboutFixture, HelpWithoutItsFileSaysSoAndNamesThePath)
{
    form->Text1->setText(QStringLiteral("kept"));
    form->mnuContents_Click();
    HelpWindow *help = form->helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    const QString shown = help->browser()->toPlainText();
    EXPECT_TRUE(shown.contains(QDir::toNativeSeparators(store::helpFilePath()))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("could not be opened")));
    EXPECT_TRUE(shown.contains(QStringLiteral("quillbox init")));
    EXPECT_EQ(form->Text1->text(), QStringLiteral("kept"));
    EXPECT_TRUE(form->isVisible());
}

TEST_F(HelpAboutFixture, HelpShowsThePageAtItsTopFromTheMenuAndTheToolbar)
{
    ASSERT_TRUE(QDir().mkpath(store::libraryFolder()));
    QFile file(store::helpFilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray page = "<html><body><h1 id=\"top\">Contents</h1>";
    for (int i = 0; i < 300; ++i)
        page += "<p>Paragraph " + QByteArray::number(i) + "</p>";
    page += "</body></html>";
    file.write(page);
    file.close();

    QAction *help = form->findChild<QAction *>(QStringLiteral("tbHelp"));
    ASSERT_NE(help, nullptr);
    QTest::mouseClick(form->Toolbar1->widgetForAction(help), Qt::LeftButton);
    HelpWindow *window = form->helpWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(window->browser()->toPlainText().startsWith(QStringLiteral("Contents")));
    EXPECT_TRUE(window->browser()->toPlainText().contains(QStringLiteral("Paragraph 299")));

    // Scrolled away and asked again: back at the top, in the same window.
    window->browser()->verticalScrollBar()->setValue(window->browser()->verticalScrollBar()->maximum());
    form->mnuContents->trigger();
    EXPECT_EQ(form->helpWindow(), window);
    EXPECT_EQ(window->browser()->verticalScrollBar()->value(), 0);
}

TEST_F(HelpAboutFixture, HelpFileThatCannotBeReadIsSaidSo)
{
    if (qbx::test::rerunUnprivileged())
        return;
    ASSERT_TRUE(QDir().mkpath(store::libraryFolder()));
    QFile file(store::helpFilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html><body>secret</body></html>");
    file.close();
    file.setPermissions(QFileDevice::WriteOwner);
    form->mnuContents_Click();
    const QString shown = form->helpWindow()->browser()->toPlainText();
    EXPECT_TRUE(shown.contains(QStringLiteral("could not be read")));
    EXPECT_FALSE(shown.contains(QStringLiteral("secret")));
}
