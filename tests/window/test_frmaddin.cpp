// The main window as it is built: every control with its kind, text, tool tip, geometry
// and tab order; the menus and the toolbar; the fixed border; the status bar.

#include "frmaddin.h"
#include "imagelist.h"
#include "richtextbox.h"
#include "statusbar.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace quillbox;

namespace {

struct WindowFixture : ::testing::Test {
    qbx::test::FreshUserFolders folders;
    QPointer<frmAddIn> form = new frmAddIn;
    ~WindowFixture() override { delete form.data(); }
};

// A control's rectangle in pixels from its twips.
QRect px(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

struct ControlRow {
    const char *name;
    const char *kind; // class name
    QString text;     // caption or text; for picture buttons empty
    QString toolTip;
    QRect geometry;
};

} // namespace

TEST_F(WindowFixture, EveryControlHasItsKindTextToolTipAndPlace)
{
    const ControlRow rows[] = {
        {"StatusBar1", "quillbox::StatusBar", {}, {}, px(0, 8100, 11565, 375)},
        {"Toolbar1", "QToolBar", {}, {}, px(0, 0, 11565, 495)},
        {"Text1", "QLineEdit", {}, {}, px(3360, 1200, 7455, 375)},
        {"Command2", "QPushButton", {}, "Cancel", px(6360, 7320, 855, 615)},
        {"Label1", "QLabel", "Code Name", {}, px(600, 1200, 2055, 375)},
        {"Label2", "QLabel", "Code Description (Text will automatically be commented)", {}, px(600, 1800, 2175, 495)},
        {"Label3", "QLabel", "Code", {}, px(600, 3240, 2055, 375)},
        {"Label4", "QLabel", {}, {}, px(4200, 720, 3735, 255)},
        {"Command3", "QPushButton", {}, "Add", px(4200, 7320, 855, 615)},
        {"Combo1", "QComboBox", {}, {}, px(3360, 1200, 7455, 315)},
        {"Command4", "QPushButton", {}, "Modify", px(4200, 7320, 855, 615)},
        {"Command5", "QPushButton", {}, "Delete", px(4200, 7320, 855, 615)},
        {"Command6", "QPushButton", {}, "Copy Code", px(4200, 7320, 855, 615)},
        {"Rich1", "quillbox::RichTextBox", {}, {}, px(3360, 1680, 7455, 1335)},
        {"Rich2", "quillbox::RichTextBox", {}, {}, px(3360, 3120, 7455, 4095)},
        {"Rich3", "quillbox::RichTextBox", {}, {}, px(3360, 1680, 7455, 5535)},
        {"Label5", "QLabel", "Note: Please wait till I format the code that you have pasted :-)", {},
         px(360, 5160, 2775, 975)},
        {"ProgressBar1", "QProgressBar", {}, {}, px(240, 6240, 3015, 255)},
        {"Command1", "QPushButton", {}, "Change Heading", px(10920, 1200, 495, 375)},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        auto *w = form->findChild<QWidget *>(QString::fromLatin1(row.name));
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), row.kind);
        EXPECT_EQ(w->geometry(), row.geometry);
        EXPECT_EQ(w->toolTip(), row.toolTip);
        if (auto *label = qobject_cast<QLabel *>(w)) {
            EXPECT_EQ(label->text(), row.text);
        }
        if (auto *button = qobject_cast<QPushButton *>(w)) {
            EXPECT_TRUE(button->text().isEmpty()) << "picture buttons carry no caption";
            EXPECT_FALSE(button->icon().isNull());
            EXPECT_EQ(button->accessibleName(), row.toolTip);
        }
        if (auto *box = qobject_cast<RichTextBox *>(w)) {
            // The description box is never without its comment mark.
            EXPECT_EQ(box->Text(), box == form->Rich1 ? QStringLiteral("'") : QString());
        }
    }
    EXPECT_TRUE(form->Text1->text().isEmpty());
    EXPECT_EQ(form->Combo1->count(), 0);
    EXPECT_FALSE(form->Combo1->isEditable()) << "the heading list is picked from, never typed into";
    EXPECT_TRUE(form->Label2->wordWrap());
    EXPECT_TRUE(form->Label5->wordWrap());
    EXPECT_EQ(form->ProgressBar1->minimum(), 0);
    EXPECT_EQ(form->ProgressBar1->maximum(), 100);
}

TEST_F(WindowFixture, FontsAndColoursOfTheLabels)
{
    const QFont base = form->font();
    EXPECT_DOUBLE_EQ(base.pointSizeF(), 8.25);
    const QFont title = form->Label4->font();
    EXPECT_DOUBLE_EQ(title.pointSizeF(), 9.75);
    EXPECT_TRUE(title.bold());
    EXPECT_TRUE(title.underline());
    // The wrapping labels show their whole text: at the given size where it fits, a little
    // smaller where the platform's font runs wider.
    const QFont note = form->Label5->font();
    EXPECT_LE(note.pointSizeF(), 12.0);
    EXPECT_GE(note.pointSizeF(), 9.0);
    EXPECT_TRUE(note.bold());
    for (QLabel *label : {form->Label2, form->Label5}) {
        const QRect needed = QFontMetrics(label->font())
                                 .boundingRect(QRect(0, 0, label->width(), 10000), Qt::TextWordWrap, label->text());
        EXPECT_LE(needed.height(), label->height()) << label->objectName().toStdString();
    }
    EXPECT_FALSE(note.underline());
    EXPECT_EQ(form->Label5->palette().color(QPalette::Window), QColor(255, 192, 128));
    EXPECT_TRUE(form->Label5->autoFillBackground());
}

TEST_F(WindowFixture, TabOrderFollowsTheListedOrder)
{
    const QList<QWidget *> expected = {form->Text1,    form->Command2, form->Command3, form->Combo1,
                                       form->Command4, form->Command5, form->Command6, form->Rich1,
                                       form->Rich2,    form->Rich3,    form->Command1};
    for (qsizetype i = 1; i < expected.size(); ++i) {
        // The next focusable widget after each one in the focus chain.
        QWidget *next = expected[i - 1]->nextInFocusChain();
        while (next && !(next->focusPolicy() & Qt::TabFocus) && next != expected[i])
            next = next->nextInFocusChain();
        EXPECT_EQ(next, expected[i]) << "after " << expected[i - 1]->objectName().toStdString();
    }
}

TEST_F(WindowFixture, WindowHasAFixedBorderAndItsClientArea)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Quillbox ver 1.0"));
    EXPECT_EQ(form->centralWidget()->size(), QSize(771, 565));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "the window cannot be resized";
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    const QSize before = form->size();
    form->resize(before + QSize(120, 80));
    QCoreApplication::processEvents();
    EXPECT_EQ(form->size(), before);
    EXPECT_FALSE(form->windowIcon().isNull());
    const auto sizes = form->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
}

TEST_F(WindowFixture, MenusHaveTheirCaptionsAndNoShortcuts)
{
    struct Item {
        const char *menu;
        const char *menuCaption;
        QList<QPair<QString, QString>> items; // name, caption ("-" for a separator)
    };
    const Item menus[] = {
        {"mnuAddin", "&Addin", {{"mnuExit", "E&xit"}}},
        {"mnuCodes", "&Codes",
         {{"mnuAdd", "&Add New"}, {"mnuModify", "&Modify"}, {"mnuDelete", "&Delete"}, {"mnuSep01", "-"},
          {"mnuGenerateCode", "&Generate Code"}}},
        {"mnuHelp", "&Help", {{"mnuContents", "&Contents"}, {"mnuSep02", "-"}, {"mnuAbout", "&About"}}},
    };
    const auto bar = form->menuBar()->actions();
    ASSERT_EQ(bar.size(), 3);
    for (qsizetype m = 0; m < 3; ++m) {
        const Item &expected = menus[m];
        SCOPED_TRACE(expected.menu);
        QMenu *menu = bar[m]->menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->objectName(), QString::fromLatin1(expected.menu));
        EXPECT_EQ(menu->title(), QString::fromLatin1(expected.menuCaption));
        const auto actions = menu->actions();
        ASSERT_EQ(actions.size(), expected.items.size());
        for (qsizetype i = 0; i < actions.size(); ++i) {
            EXPECT_EQ(actions[i]->objectName(), expected.items[i].first);
            if (expected.items[i].second == QLatin1String("-"))
                EXPECT_TRUE(actions[i]->isSeparator());
            else
                EXPECT_EQ(actions[i]->text(), expected.items[i].second);
            EXPECT_TRUE(actions[i]->shortcut().isEmpty());
        }
    }
}

TEST_F(WindowFixture, ToolbarButtonsHaveKeysToolTipsAndImages)
{
    const QList<QPair<QString, QString>> expected = {
        {"tbExit", "Exit"},       {"tbSep01", {}},         {"tbAdd", "Add New Code"},
        {"tbModify", "Modify Code"}, {"tbDelete", "Delete Code"}, {"tbSep02", {}},
        {"tbGenerate", "Generate Code"}, {"tbSep03", {}},  {"tbHelp", "Help"},
    };
    const auto actions = form->Toolbar1->actions();
    ASSERT_EQ(actions.size(), expected.size());
    QList<QImage> images;
    for (qsizetype i = 0; i < actions.size(); ++i) {
        SCOPED_TRACE(expected[i].first.toStdString());
        EXPECT_EQ(actions[i]->objectName(), expected[i].first);
        EXPECT_EQ(actions[i]->isSeparator(), expected[i].second.isEmpty());
        if (actions[i]->isSeparator())
            continue;
        EXPECT_EQ(actions[i]->toolTip(), expected[i].second);
        ASSERT_FALSE(actions[i]->icon().isNull());
        images << actions[i]->icon().pixmap(25, 25).toImage();
        QWidget *button = form->Toolbar1->widgetForAction(actions[i]);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->size(), QSize(32, 31));
    }
    for (qsizetype a = 0; a < images.size(); ++a)
        for (qsizetype b = a + 1; b < images.size(); ++b)
            EXPECT_NE(images[a], images[b]) << "toolbar images " << a << " and " << b << " look alike";
    EXPECT_EQ(form->Toolbar1->toolButtonStyle(), Qt::ToolButtonIconOnly);
    ASSERT_NE(form->ImageList1, nullptr);
    EXPECT_EQ(form->ImageList1->objectName(), QStringLiteral("ImageList1"));
    EXPECT_EQ(form->ImageList1->count(), 8);
    EXPECT_EQ(form->ImageList1->image(1).size(), QSize(25, 25));
}

TEST_F(WindowFixture, ToolbarKeysAreComparedExactly)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    // A separator, a key in another case and an unknown key do nothing.
    for (const char *key : {"tbSep01", "TBEXIT", "tbexit", "tbNothing", ""}) {
        QAction other(QString::fromLatin1(key));
        other.setObjectName(QString::fromLatin1(key));
        form->Toolbar1_ButtonClick(&other);
        EXPECT_TRUE(form->isVisible()) << key;
        EXPECT_EQ(form->helpWindow(), nullptr) << key;
    }
    // The Exit button hides the window (there is no connection object here).
    QAction *exit = form->findChild<QAction *>(QStringLiteral("tbExit"));
    ASSERT_NE(exit, nullptr);
    QTest::mouseClick(form->Toolbar1->widgetForAction(exit), Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(WindowFixture, StatusBarShowsTheDateAndTheTimeAndKeepsThemCurrent)
{
    StatusBar *bar = form->StatusBar1;
    EXPECT_TRUE(bar->textPanel()->text().isEmpty());
    EXPECT_EQ(bar->findChild<QWidget *>(QStringLiteral("Panel1"))->width(), 575);
    EXPECT_EQ(bar->findChild<QWidget *>(QStringLiteral("Panel2"))->width(), 96);
    EXPECT_EQ(bar->findChild<QWidget *>(QStringLiteral("Panel3"))->width(), 96);
    EXPECT_NE(bar->findChild<QLabel *>(QStringLiteral("Panel2Icon")), nullptr);
    EXPECT_NE(bar->findChild<QLabel *>(QStringLiteral("Panel3Icon")), nullptr);
    const QLocale locale;
    EXPECT_EQ(bar->datePanel()->text(), locale.toString(QDate::currentDate(), QLocale::ShortFormat));
    // The panels follow the clock by themselves: put an old moment in and wait for the bar
    // to replace it.
    bar->showMoment(QDateTime(QDate(2001, 2, 3), QTime(4, 5)));
    const QString old = bar->timePanel()->text();
    EXPECT_TRUE(qbx::test::waitFor([&] { return bar->timePanel()->text() != old; }, 2500));
    EXPECT_EQ(bar->datePanel()->text(), locale.toString(QDate::currentDate(), QLocale::ShortFormat));
}
