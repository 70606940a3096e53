#pragma once
// Shared by the window tests: a library on disk, the window shown and active over it, the
// message boxes recorded and answered, and the window as the user sees it.

#include "colouring/richtextbox.h"
#include "colouring/vbcolouring.h"
#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "support/testsupport.h"
#include "window/frmaddin.h"
#include "window/messageservice.h"
#include "window/statusbar.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

namespace quillbox::test {

using namespace quillbox::window;

// The controls the user can see in the client area, sorted: the name, ":off" for a disabled
// one, and the text of the title, the heading list (current text/entries) and the boxes.
// Every control lies inside the client area, and controls that share a place are never
// shown together.
inline QStringList seen(const frmAddIn *f)
{
    QStringList out;
    QList<const QWidget *> shown;
    for (QWidget *w : f->centralWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        EXPECT_TRUE(f->centralWidget()->rect().contains(w->geometry())) << w->objectName().toStdString();
        if (!w->isVisibleTo(f) || w == f->Toolbar1 || w == f->StatusBar1)
            continue;
        for (const QWidget *other : shown)
            EXPECT_FALSE(other->geometry().intersects(w->geometry()))
                << other->objectName().toStdString() << " and " << w->objectName().toStdString();
        shown << w;
        QString item = w->objectName() + (w->isEnabled() ? QString() : QStringLiteral(":off"));
        if (w == f->Label4 || w == f->Text1)
            item += QLatin1Char('=') + w->property("text").toString();
        else if (w == f->Combo1)
            item += QStringLiteral("=%1/%2").arg(f->Combo1->currentText()).arg(f->Combo1->count());
        else if (auto *box = qobject_cast<RichTextBox *>(w))
            item += QLatin1Char('=') + box->Text();
        out << item;
    }
    out.sort();
    return out;
}

// The focused control and, for the heading box, its selected text.
inline QString focusAndSelection(const frmAddIn *f)
{
    const QWidget *w = QApplication::focusWidget();
    return !w ? QStringLiteral("nothing") : w->objectName() + QLatin1Char('/') + f->Text1->selectedText();
}

// Every line of the box carries the colours of its text as source code; returns the number
// of coloured runs, so that a box left black can be told from a coloured one.
inline int colouredRuns(const RichTextBox *box)
{
    int runs = 0;
    for (int line = 0; line < box->LineCount(); ++line) {
        const auto expected = colouring::colourLine(box->GetLine(line)).runs;
        EXPECT_TRUE(box->lineColours(line) == expected) << box->objectName().toStdString() << " line " << line;
        runs += int(expected.size());
    }
    return runs;
}

struct WindowTest : ::testing::Test {
    qbx::test::FreshUserFolders folders;
    QStringList
        shown; // every message box since said(), "[Yes/No] " before a question ("[Yes/No*] " when No is the default)
    QList<int> answers; // to the questions in turn; Yes when none is left
    MessageService::Responder previous = MessageService::setResponder([this](const MessageRequest &r) {
        EXPECT_EQ(r.title, QStringLiteral("Quillbox"));
        const bool question = r.buttons != MsgButtons::OK;
        shown << (!question                                 ? QString()
                  : r.buttons == MsgButtons::YesNoDefaultNo ? QStringLiteral("[Yes/No*] ")
                                                            : QStringLiteral("[Yes/No] "))
                     + r.text;
        return !question ? vbOK : answers.isEmpty() ? vbYes : answers.takeFirst();
    });
    QPointer<frmAddIn> form;
    QSqlDatabase db; // the library, read and changed past the window

    ~WindowTest() override
    {
        delete form.data();
        MessageService::setResponder(previous);
        db = {};
        QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    }
    void open(const QList<QStringList> &rows)
    {
        ASSERT_TRUE(store::initLibrary(false).done());
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(store::databasePath());
        ASSERT_TRUE(db.open());
        for (const QStringList &row : rows)
            libraryRows(QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, ?)"), row);
        form = new frmAddIn;
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    }
    // The library's rows (heading, description, code) in table order, after running `statement` with `values`.
    QList<QStringList> libraryRows(const QString &statement = {}, const QStringList &values = {})
    {
        QSqlQuery q(db);
        if (!statement.isEmpty()) {
            q.prepare(statement);
            for (const QString &v : values)
                q.addBindValue(v);
            EXPECT_TRUE(q.exec()) << statement.toStdString();
        }
        QList<QStringList> rows;
        q.exec(QStringLiteral("SELECT CodeName, CodeDesc, code FROM TABLE1 ORDER BY rowid"));
        while (q.next())
            rows.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString()});
        return rows;
    }
    QStringList said() { return std::exchange(shown, {}); }
    void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); }
    void toolbar(const char *key)
    {
        click(form->Toolbar1->widgetForAction(form->findChild<QAction *>(QString::fromLatin1(key))));
    }
    // Picks list entry `entry` as the user does: F4 opens the list, the arrow keys walk to
    // the entry and Enter takes it.
    void pick(int entry)
    {
        QTest::keyClick(form->Combo1, Qt::Key_F4);
        QAbstractItemView *view = form->Combo1->view();
        ASSERT_TRUE(view->isVisible()) << "the list did not open";
        QTest::keyClick(view, Qt::Key_Home);
        for (int i = 0; i < entry; ++i)
            QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Return);
        reactivate();
    }
    // As a window manager hands the activation back once a list or a dialog has closed.
    void reactivate()
    {
        form->activateWindow();
        ASSERT_TRUE(qbx::test::waitFor([this] { return QGuiApplication::focusWindow() == form->windowHandle(); }));
    }
};

} // namespace quillbox::test
