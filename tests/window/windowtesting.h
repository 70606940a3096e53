#pragma once
// Shared by the window tests: a library on disk, a shown window, the message boxes
// collected and answered, and a snapshot of everything the user can see.

#include "database.h"
#include "frmaddin.h"
#include "libraryfolder.h"
#include "libraryinit.h"
#include "messageservice.h"
#include "richtextbox.h"
#include "statusbar.h"
#include "testsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <deque>

namespace quillbox::test {

struct Snippet {
    QString name, desc, code;
    friend bool operator==(const Snippet &, const Snippet &) = default;
};

inline std::ostream &operator<<(std::ostream &os, const Snippet &s)
{
    return os << '{' << s.name.toStdString() << " | " << s.desc.toStdString() << " | " << s.code.toStdString() << '}';
}

// Reads or writes the library file directly, past the window.
struct LibraryFile {
    static QList<Snippet> rows()
    {
        QList<Snippet> out;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
            db.setDatabaseName(store::readWriteUri(store::databasePath()));
            EXPECT_TRUE(db.open());
            QSqlQuery q(QStringLiteral("SELECT CodeName, CodeDesc, code FROM TABLE1 ORDER BY rowid"), db);
            while (q.next())
                out.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString()});
        }
        QSqlDatabase::removeDatabase(QStringLiteral("peek"));
        return out;
    }
    static void add(const QList<Snippet> &snippets)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("poke"));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
            db.setDatabaseName(store::readWriteUri(store::databasePath()));
            EXPECT_TRUE(db.open());
            QSqlQuery q(db);
            q.prepare(QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, ?)"));
            for (const Snippet &s : snippets) {
                q.addBindValue(s.name);
                q.addBindValue(s.desc);
                q.addBindValue(s.code);
                EXPECT_TRUE(q.exec());
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("poke"));
    }
};

// Every message box is recorded; questions are answered from a queue (Yes by default).
struct Messages {
    struct Shown {
        QString text;
        MsgButtons buttons;
        QString title;
    };
    std::vector<Shown> shown;
    std::deque<int> answers;
    MessageService::Responder previous;
    Messages()
    {
        previous = MessageService::setResponder([this](const MessageRequest &r) {
            shown.push_back({r.text, r.buttons, r.title});
            if (r.buttons == MsgButtons::OK)
                return vbOK;
            if (answers.empty())
                return vbYes;
            const int a = answers.front();
            answers.pop_front();
            return a;
        });
    }
    ~Messages() { MessageService::setResponder(previous); }
    QStringList texts() const
    {
        QStringList out;
        for (const auto &s : shown)
            out << s.text;
        return out;
    }
};

// What the user sees of the window, and its mode.
struct WindowState {
    QStringList visible;
    QStringList enabled;
    QString text1, rich1, rich2, rich3, label4, comboText;
    QStringList comboItems;
    bool addMode, modifyMode, deleteMode, generateMode, hasCodes;
    friend bool operator==(const WindowState &, const WindowState &) = default;

    static WindowState of(const frmAddIn *f)
    {
        WindowState s;
        const QList<QWidget *> controls = {f->Label1, f->Label2, f->Label3, f->Label4, f->Label5, f->Text1,
                                           f->Combo1, f->Rich1,  f->Rich2,  f->Rich3,  f->Command1, f->Command2,
                                           f->Command3, f->Command4, f->Command5, f->Command6, f->ProgressBar1};
        for (QWidget *w : controls) {
            if (w->isVisibleTo(const_cast<frmAddIn *>(f)))
                s.visible << w->objectName();
            if (w->isEnabled())
                s.enabled << w->objectName();
        }
        s.text1 = f->Text1->text();
        s.rich1 = f->Rich1->Text();
        s.rich2 = f->Rich2->Text();
        s.rich3 = f->Rich3->Text();
        s.label4 = f->Label4->text();
        s.comboText = f->Combo1->currentText();
        for (int i = 0; i < f->Combo1->count(); ++i)
            s.comboItems << f->Combo1->itemText(i);
        s.addMode = f->AddMode;
        s.modifyMode = f->ModifyMode;
        s.deleteMode = f->DeleteMode;
        s.generateMode = f->GenerateMode;
        s.hasCodes = f->HasCodes;
        return s;
    }
};

inline std::ostream &operator<<(std::ostream &os, const WindowState &s)
{
    return os << "visible [" << s.visible.join(QLatin1Char(',')).toStdString() << "] enabled ["
              << s.enabled.join(QLatin1Char(',')).toStdString() << "] title '" << s.label4.toStdString() << "' text1 '"
              << s.text1.toStdString() << "' combo [" << s.comboItems.join(QLatin1Char(',')).toStdString() << "] modes "
              << s.addMode << s.modifyMode << s.deleteMode << s.generateMode << " hasCodes " << s.hasCodes;
}

// A library with the given snippets, and the window shown over it.
struct WindowWithLibrary : ::testing::Test {
    qbx::test::FreshUserFolders folders;
    Messages messages;
    QPointer<frmAddIn> form;

    void open(const QList<Snippet> &snippets = {}, bool createLibrary = true)
    {
        if (createLibrary) {
            ASSERT_TRUE(store::initLibrary(false).ok);
            LibraryFile::add(snippets);
        }
        form = new frmAddIn;
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    }
    ~WindowWithLibrary() override { delete form.data(); }

    QWidget *toolbarButton(const char *key) const
    {
        return form->Toolbar1->widgetForAction(form->findChild<QAction *>(QString::fromLatin1(key)));
    }
    void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); }
};

} // namespace quillbox::test
