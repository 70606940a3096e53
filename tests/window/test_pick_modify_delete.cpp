// Picking a heading from the list, and what each list mode does with the picked snippet:
// showing it, copying it, changing its heading and contents, deleting it; a snippet that
// another program removed meanwhile, a library that fails, and the whole round trip through
// the connection object as the host drives it.

#include "windowtesting.h"

#include "connect.h"
#include "vbcolouring.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>

#include <functional>

using namespace quillbox;
using namespace quillbox::test;

namespace {

// Rows in table order. Two pairs of headings are the same once trimmed, and one heading
// differs from another in case only.
const QList<Snippet> kLibrary = {
    {QStringLiteral("Swap"), QStringLiteral("' Exchanges two values"), QStringLiteral("t = a\r\na = b")},
    {QStringLiteral(" Centre "), QStringLiteral("' Puts a form mid-screen"),
     QStringLiteral("Dim x As Long\r\nMe.Move 0, 0 ' top left")},
    {QStringLiteral("NoDesc"), QString(), QStringLiteral("x = 1")},
    {QStringLiteral("swap"), QStringLiteral("' lower case"), QStringLiteral("y = 2")},
    {QStringLiteral("Centre"), QStringLiteral("' the second centre"), QStringLiteral("z = 3")},
    {QStringLiteral("Swap"), QStringLiteral("' a duplicate"), QStringLiteral("w = 4")},
};

// The list shows the headings as stored; picking entry i finds the first row whose trimmed
// heading equals the trimmed entry, case significant.
const int kFoundRow[] = {0, 1, 2, 3, 1, 0};

QString composed(const Snippet &s)
{
    return QStringLiteral("'") + s.name + QStringLiteral("\r\n\r\n") + s.desc + QStringLiteral("\r\n\r\n") + s.code;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList buttonsEnabled(const WindowState &s)
{
    QStringList out;
    for (const QString &name : s.enabled)
        if (name.startsWith(QLatin1String("Command")))
            out << name;
    return sorted(out);
}

const QString kVanishedPart = QStringLiteral("is no longer in the library");
const QString kNoCode = QStringLiteral(
    "No Code has been added yet to the database. Please Add some code first before performing this action");
const QString kDeleteQuestion =
    QStringLiteral("Are you sure you want to delete the code? Once deleted, the code cannot be recovered!");

// Every line of the box carries the colours the colouring gives its text; returns the
// number of coloured runs, so that a box left black can be told from a coloured one.
int expectColouredAsSource(const RichTextBox *box, const char *name)
{
    int runs = 0;
    for (int line = 0; line < box->LineCount(); ++line) {
        const QString text = box->GetLine(line);
        const QList<colouring::ColourRun> expected = colouring::colourLine(text).runs;
        EXPECT_TRUE(box->lineColours(line) == expected) << name << " line " << line << " '" << text.toStdString() << "'";
        runs += int(expected.size());
    }
    return runs;
}

void expectIdle(const frmAddIn *form)
{
    const WindowState s = WindowState::of(form);
    EXPECT_TRUE(s.visible.isEmpty()) << s;
    EXPECT_TRUE(buttonsEnabled(s).isEmpty()) << s;
    EXPECT_TRUE(s.text1.isEmpty() && s.rich2.isEmpty() && s.rich3.isEmpty()) << s;
    EXPECT_EQ(s.rich1, QStringLiteral("'")) << s;
    EXPECT_TRUE(s.comboItems.isEmpty()) << s;
    EXPECT_FALSE(s.addMode || s.modifyMode || s.deleteMode || s.generateMode) << s;
}

void execSql(const QString &statement)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other program"));
        db.setDatabaseName(store::databasePath());
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(statement)) << statement.toStdString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other program"));
}

struct PickFixture : WindowWithLibrary {
    ~PickFixture() override { store::DbConnection::setOpenHook(nullptr); }

    // The window is also made the active one, so that focus moves as on a desktop.
    void open(const QList<Snippet> &snippets)
    {
        WindowWithLibrary::open(snippets);
        if (!form)
            return;
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    }

    // Picks list entry `row` as the user does: opens the list with F4, walks to the entry
    // with the arrow keys and takes it with Enter.
    void pick(int row)
    {
        QSignalSpy activated(form->Combo1, &QComboBox::activated);
        QTest::keyClick(form->Combo1, Qt::Key_F4);
        QAbstractItemView *view = form->Combo1->view();
        ASSERT_TRUE(view->isVisible()) << "the list did not open";
        QTest::keyClick(view, Qt::Key_Home);
        for (int i = 0; i < row; ++i)
            QTest::keyClick(view, Qt::Key_Down);
        ASSERT_EQ(view->currentIndex().row(), row);
        QTest::keyClick(view, Qt::Key_Return);
        ASSERT_FALSE(view->isVisible()) << "the list stayed open";
        // A window manager hands the activation back once the list has closed; the
        // offscreen platform leaves no window active.
        form->activateWindow();
        ASSERT_TRUE(qbx::test::waitFor([this] { return QGuiApplication::focusWindow() == form->windowHandle(); }));
        ASSERT_EQ(activated.size(), 1);
        ASSERT_EQ(activated.at(0).at(0).toInt(), row);
    }

    // Replaces the heading box's text by typing, as after Change Heading.
    void typeHeading(const QString &text)
    {
        QTest::keyClick(form->Text1, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(form->Text1, Qt::Key_Backspace);
        QTest::keyClicks(form->Text1, text);
        ASSERT_EQ(form->Text1->text(), text);
    }
};

struct ModeCase {
    const char *name;
    QAction *frmAddIn::*menu;
};
const ModeCase kListModes[] = {
    {"modify", &frmAddIn::mnuModify},
    {"delete", &frmAddIn::mnuDelete},
    {"generate", &frmAddIn::mnuGenerateCode},
};

} // namespace

TEST_F(PickFixture, PickingShowsTheFirstMatchingSnippetColouredInEachMode)
{
    open(kLibrary);
    // Cancel is disabled while the pick reads the library: the connection opens during it.
    std::vector<bool> cancelEnabledDuringPick;
    store::DbConnection::setOpenHook(
        [&](QSqlDatabase &) { cancelEnabledDuringPick.push_back(form->Command2->isEnabled()); });

    QStringList listed;
    for (const Snippet &s : kLibrary)
        listed << s.name;

    for (const ModeCase &mode : kListModes) {
        (form->*mode.menu)->trigger();
        const std::string modeName = mode.name;
        for (int entry = 0; entry < int(kLibrary.size()); ++entry) {
            SCOPED_TRACE(modeName + ", entry " + std::to_string(entry) + " '" + listed[entry].toStdString() + "'");
            const Snippet &found = kLibrary[kFoundRow[entry]];
            cancelEnabledDuringPick.clear();
            pick(entry);
            EXPECT_EQ(cancelEnabledDuringPick, std::vector<bool>({false}));

            const WindowState s = WindowState::of(form);
            EXPECT_EQ(s.comboItems, listed) << "the list keeps every heading as stored";
            EXPECT_EQ(s.comboText, listed[entry]);
            if (modeName == "modify") {
                // The description box holds at least its comment mark.
                EXPECT_EQ(s.rich1, found.desc.isEmpty() ? QStringLiteral("'") : found.desc);
                EXPECT_EQ(s.rich2, found.code);
                EXPECT_TRUE(s.rich3.isEmpty());
                EXPECT_GT(expectColouredAsSource(form->Rich1, "Rich1"), 0);
                expectColouredAsSource(form->Rich2, "Rich2");
                EXPECT_EQ(buttonsEnabled(s), sorted({"Command1", "Command2", "Command4"}));
                EXPECT_TRUE(s.visible.contains(QStringLiteral("Command1")));
                EXPECT_FALSE(s.visible.contains(QStringLiteral("Text1")));
            } else {
                EXPECT_EQ(s.rich3, composed(found));
                EXPECT_GT(expectColouredAsSource(form->Rich3, "Rich3"), 0);
                const char *action = modeName == "delete" ? "Command5" : "Command6";
                EXPECT_EQ(buttonsEnabled(s), sorted({"Command2", action}));
                EXPECT_TRUE(s.visible.contains(QString::fromLatin1(action)));
                EXPECT_FALSE(s.visible.contains(QStringLiteral("Command1")));
            }
            EXPECT_EQ(s.modifyMode, modeName == "modify");
            EXPECT_EQ(s.deleteMode, modeName == "delete");
            EXPECT_EQ(s.generateMode, modeName == "generate");
        }
    }
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(LibraryFile::rows(), kLibrary) << "picking writes nothing";
}

TEST_F(PickFixture, ArrowKeysOnTheClosedListPickToo)
{
    open(kLibrary);
    form->mnuGenerateCode->trigger();
    form->Combo1->setFocus();
    QTest::keyClick(form->Combo1, Qt::Key_Down);
    EXPECT_EQ(form->Rich3->Text(), composed(kLibrary[0]));
    QTest::keyClick(form->Combo1, Qt::Key_Down);
    EXPECT_EQ(form->Rich3->Text(), composed(kLibrary[1]));
    QTest::keyClick(form->Combo1, Qt::Key_Up);
    EXPECT_EQ(form->Rich3->Text(), composed(kLibrary[0]));
    EXPECT_TRUE(form->Command6->isEnabled());
}

TEST_F(PickFixture, DisplayAndCopiedTextAreTheComposedSnippet)
{
    open({{QStringLiteral("Swap"), QStringLiteral("' Exchanges two values"), QStringLiteral("t = a\r\na = b")},
          {QStringLiteral("Bare"), QString(), QStringLiteral("x = 1")},
          {QStringLiteral(" Padded "), QStringLiteral("' p"), QStringLiteral("p = 1")},
          {QStringLiteral("Spaced code"), QStringLiteral("' keeps its spaces"), QStringLiteral("  a = 1  \r\n\r\n  b = 2  ")}});
    struct Case {
        int entry;
        QStringList lines;
    };
    const Case cases[] = {
        {0, {"'Swap", "", "' Exchanges two values", "", "t = a", "a = b"}},
        {1, {"'Bare", "", "", "", "x = 1"}},
        {2, {"' Padded ", "", "' p", "", "p = 1"}},
        {3, {"'Spaced code", "", "' keeps its spaces", "", "  a = 1  ", "", "  b = 2  "}},
    };
    form->mnuGenerateCode->trigger();
    EXPECT_EQ(form->Combo1->itemText(2), QStringLiteral(" Padded "));
    QClipboard *clipboard = QGuiApplication::clipboard();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.lines.first().toStdString());
        pick(c.entry);
        const QString expected = c.lines.join(QStringLiteral("\r\n"));
        QStringList shown;
        for (int line = 0; line < form->Rich3->LineCount(); ++line)
            shown << form->Rich3->GetLine(line);
        EXPECT_EQ(shown, c.lines);
        EXPECT_EQ(form->Rich3->Text(), expected);
        EXPECT_TRUE(form->Command6->isEnabled());

        // Whatever the clipboard held, rich text included, is replaced.
        auto *old = new QMimeData;
        old->setText(QStringLiteral("old text"));
        old->setHtml(QStringLiteral("<b>old text</b>"));
        clipboard->setMimeData(old);
        ASSERT_TRUE(clipboard->mimeData()->hasHtml());
        for (int click = 1; click <= 2; ++click) {
            SCOPED_TRACE(click);
            QTest::mouseClick(form->Command6, Qt::LeftButton);
            const QMimeData *now = clipboard->mimeData();
            ASSERT_NE(now, nullptr);
            EXPECT_EQ(now->text(), expected);
            EXPECT_FALSE(now->hasHtml());
            EXPECT_EQ(now->formats(), QStringList({QStringLiteral("text/plain")}));
        }
        EXPECT_EQ(form->Rich3->Text(), expected) << "copying leaves the display alone";
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PickFixture, ChangeHeadingPutsThePickedHeadingIntoTheBoxSelected)
{
    open(kLibrary);
    struct Case {
        int entry;
        int selected; // from the first character, as long as the heading without its spaces
    };
    const Case cases[] = {{0, 4}, {1, 6}, {2, 6}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        form->mnuModify->trigger();
        pick(c.entry);
        click(form->Command1);
        const WindowState s = WindowState::of(form);
        EXPECT_EQ(s.text1, kLibrary[c.entry].name);
        EXPECT_TRUE(s.visible.contains(QStringLiteral("Text1")));
        EXPECT_FALSE(s.visible.contains(QStringLiteral("Combo1")));
        EXPECT_TRUE(s.visible.contains(QStringLiteral("Command1"))) << "still there, but disabled";
        EXPECT_EQ(buttonsEnabled(s), sorted({"Command2", "Command4"}));
        EXPECT_EQ(form->Text1->selectionStart(), 0);
        EXPECT_EQ(form->Text1->selectedText(), kLibrary[c.entry].name.left(c.selected));
        EXPECT_TRUE(s.modifyMode);
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PickFixture, ModifyRefusesMissingEntriesOneAtATime)
{
    open(kLibrary);
    struct Case {
        const char *what;
        std::function<void(PickFixture &)> prepare;
        const char *message;
        const char *focus; // nullptr: the heading box is hidden and does not take the focus
    };
    const Case cases[] = {
        {"nothing picked, code typed",
         [](PickFixture &f) { QTest::keyClicks(f.form->Rich2, QStringLiteral("x = 1")); },
         "Please Enter a heading for the code", nullptr},
        {"code emptied", [](PickFixture &f) { f.pick(0); f.form->Rich2->setText(QString()); }, "Please Enter the code",
         "Rich2"},
        {"code only spaces", [](PickFixture &f) { f.pick(1); f.form->Rich2->setText(QStringLiteral("   ")); },
         "Please Enter the code", "Rich2"},
        {"heading emptied after Change Heading",
         [](PickFixture &f) {
             f.pick(0);
             f.click(f.form->Command1);
             f.typeHeading(QString());
         },
         "Please Enter a heading for the code", "Text1"},
        {"heading only spaces after Change Heading",
         [](PickFixture &f) {
             f.pick(3);
             f.click(f.form->Command1);
             f.typeHeading(QStringLiteral("   "));
         },
         "Please Enter a heading for the code", "Text1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        form->mnuModify->trigger();
        c.prepare(*this);
        ASSERT_TRUE(form->Command4->isEnabled());
        const QString code = form->Rich2->Text();
        messages.shown.clear();
        click(form->Command4);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, QString::fromLatin1(c.message));
        EXPECT_EQ(messages.shown[0].buttons, MsgButtons::OK);
        QWidget *focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        if (c.focus)
            EXPECT_EQ(focus->objectName(), QString::fromLatin1(c.focus)) << focus->metaObject()->className();
        else
            EXPECT_NE(QApplication::focusWidget(), form->Text1);
        EXPECT_TRUE(form->ModifyMode);
        EXPECT_TRUE(form->Command4->isVisible());
        EXPECT_EQ(form->Rich2->Text(), code) << "the entries stay";
    }
    EXPECT_EQ(LibraryFile::rows(), kLibrary);
}

TEST_F(PickFixture, ModifyStoresThreeColumnsOnTheFoundRow)
{
    struct Case {
        const char *what;
        int entry;
        std::function<void(PickFixture &)> edit;
        int row; // the row that changes
        Snippet stored;
    };
    const Case cases[] = {
        {"description set and code typed", 0,
         [](PickFixture &f) {
             f.form->Rich1->setText(QStringLiteral("' New words  "));
             QTest::keyClick(f.form->Rich2, Qt::Key_End, Qt::ControlModifier);
             QTest::keyClick(f.form->Rich2, Qt::Key_Return);
             QTest::keyClicks(f.form->Rich2, QStringLiteral("  b = t  "));
         },
         0, {QStringLiteral("Swap"), QStringLiteral("' New words"), QStringLiteral("t = a\r\na = b\r\n  b = t  ")}},
        {"nothing edited: the padded heading is stored trimmed", 1, [](PickFixture &) {}, 1,
         {QStringLiteral("Centre"), QStringLiteral("' Puts a form mid-screen"),
          QStringLiteral("Dim x As Long\r\nMe.Move 0, 0 ' top left")}},
        {"the duplicate's entry changes the first row", 5,
         [](PickFixture &f) { f.form->Rich2->setText(QStringLiteral("new")); }, 0,
         {QStringLiteral("Swap"), QStringLiteral("' Exchanges two values"), QStringLiteral("new")}},
        {"the trimmed twin's entry changes the first row", 4,
         [](PickFixture &f) { f.form->Rich2->setText(QStringLiteral("new")); }, 1,
         {QStringLiteral("Centre"), QStringLiteral("' Puts a form mid-screen"), QStringLiteral("new")}},
        {"renamed", 0,
         [](PickFixture &f) {
             f.click(f.form->Command1);
             f.typeHeading(QStringLiteral("  Renamed  "));
         },
         0, {QStringLiteral("Renamed"), QStringLiteral("' Exchanges two values"), QStringLiteral("t = a\r\na = b")}},
        {"renamed to its own heading in another case", 0,
         [](PickFixture &f) {
             f.click(f.form->Command1);
             f.typeHeading(QStringLiteral("SWAP"));
         },
         0, {QStringLiteral("SWAP"), QStringLiteral("' Exchanges two values"), QStringLiteral("t = a\r\na = b")}},
        {"renamed, described and recoded", 2,
         [](PickFixture &f) {
             f.click(f.form->Command1);
             f.typeHeading(QStringLiteral("Described"));
             f.form->Rich1->setText(QStringLiteral("' now described"));
             f.form->Rich2->setText(QStringLiteral("x = 2"));
         },
         2, {QStringLiteral("Described"), QStringLiteral("' now described"), QStringLiteral("x = 2")}},
        // The description box shows an empty description as its comment mark alone.
        {"empty description kept", 2, [](PickFixture &) {}, 2,
         {QStringLiteral("NoDesc"), QStringLiteral("'"), QStringLiteral("x = 1")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        qbx::test::FreshUserFolders fresh;
        open(kLibrary);
        form->mnuModify->trigger();
        pick(c.entry);
        c.edit(*this);
        messages.shown.clear();
        click(form->Command4);
        QList<Snippet> expected = kLibrary;
        expected[c.row] = c.stored;
        EXPECT_EQ(LibraryFile::rows(), expected);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, QStringLiteral("The Code has been Modified Successfully."));
        EXPECT_EQ(messages.shown[0].buttons, MsgButtons::OK);
        expectIdle(form);
        delete form.data();
    }
}

TEST_F(PickFixture, RenamingToAnotherSnippetsHeadingIsRefused)
{
    open(kLibrary);
    struct Case {
        int entry;
        QString typed;
        int selected;
    };
    const Case cases[] = {
        {0, QStringLiteral("centre"), 6},    // another snippet's heading has spaces around it
        {0, QStringLiteral("  NoDesc  "), 6}, // the selection covers the spaces and falls short
        {0, QStringLiteral("NODESC"), 6},
        {1, QStringLiteral("Swap"), 4},
        {2, QStringLiteral(" swap"), 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        form->mnuModify->trigger();
        pick(c.entry);
        form->Rich2->setText(QStringLiteral("changed code"));
        click(form->Command1);
        typeHeading(c.typed);
        messages.shown.clear();
        click(form->Command4);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, QStringLiteral("This Code Name Already Exists"));
        EXPECT_EQ(QApplication::focusWidget(), form->Text1);
        EXPECT_EQ(form->Text1->text(), c.typed);
        EXPECT_EQ(form->Text1->selectionStart(), 0);
        EXPECT_EQ(form->Text1->selectedText(), c.typed.left(c.selected));
        EXPECT_EQ(form->Rich2->Text(), QStringLiteral("changed code"));
        EXPECT_TRUE(form->ModifyMode);
        EXPECT_TRUE(form->Text1->isVisible());
        EXPECT_TRUE(form->Command4->isVisible());
        EXPECT_EQ(form->DbConnection, nullptr);
    }
    EXPECT_EQ(LibraryFile::rows(), kLibrary);
}

TEST_F(PickFixture, DeleteAsksAndNoChangesNothing)
{
    open(kLibrary);
    form->mnuDelete->trigger();
    pick(5);
    const WindowState before = WindowState::of(form);
    messages.answers = {vbNo};
    click(form->Command5);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, kDeleteQuestion);
    EXPECT_EQ(messages.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(messages.shown[0].title, QStringLiteral("Quillbox"));
    EXPECT_EQ(WindowState::of(form), before);
    EXPECT_EQ(LibraryFile::rows(), kLibrary);
}

TEST_F(PickFixture, DeleteYesRemovesTheFirstMatchingRowOnly)
{
    struct Case {
        int entry;
        int deletedRow;
    };
    const Case cases[] = {{5, 0}, {0, 0}, {4, 1}, {3, 3}, {2, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        qbx::test::FreshUserFolders fresh;
        open(kLibrary);
        form->mnuDelete->trigger();
        pick(c.entry);
        messages.shown.clear();
        messages.answers = {vbYes};
        click(form->Command5);
        QList<Snippet> expected = kLibrary;
        expected.removeAt(c.deletedRow);
        EXPECT_EQ(LibraryFile::rows(), expected);
        EXPECT_EQ(messages.texts(),
                  QStringList({kDeleteQuestion, QStringLiteral("The Code has been Deleted Successfully.")}));
        EXPECT_EQ(form->AnswerText, QStringLiteral("6"));
        expectIdle(form);

        // The list is read afresh: a duplicate left behind is listed and shows itself.
        form->mnuDelete->trigger();
        QStringList listed;
        for (const Snippet &s : expected)
            listed << s.name;
        EXPECT_EQ(WindowState::of(form).comboItems, listed);
        delete form.data();
    }
}

TEST_F(PickFixture, DeletingTheLastSnippetLeavesNothingToPick)
{
    open({kLibrary[0]});
    form->mnuDelete->trigger();
    pick(0);
    click(form->Command5);
    EXPECT_TRUE(LibraryFile::rows().isEmpty());
    EXPECT_TRUE(QFile::exists(store::databasePath()));
    for (const ModeCase &mode : kListModes) {
        SCOPED_TRACE(mode.name);
        messages.shown.clear();
        (form->*mode.menu)->trigger();
        EXPECT_EQ(messages.texts(), QStringList({kNoCode}));
        EXPECT_TRUE(WindowState::of(form).visible.isEmpty());
        EXPECT_EQ(form->Combo1->count(), 0);
    }
}

// Another program deletes or renames the snippet after the list was filled: the user is
// told, nothing is written, and the window goes back to idle rather than showing stale text.
TEST_F(PickFixture, SnippetThatVanishedIsToldAndTheWindowReturnsToIdle)
{
    const QList<Snippet> library = {kLibrary[0], kLibrary[1]};
    struct Change {
        const char *what;
        const char *sql;
    };
    const Change changes[] = {
        {"deleted", "DELETE FROM TABLE1 WHERE CodeName = 'Swap'"},
        {"renamed in case only", "UPDATE TABLE1 SET CodeName = 'SWAP' WHERE CodeName = 'Swap'"},
        {"renamed", "UPDATE TABLE1 SET CodeName = 'Exchange' WHERE CodeName = 'Swap'"},
    };
    struct Action {
        const char *what;
        QAction *frmAddIn::*menu;
        bool pickAfterChange;
        std::function<void(PickFixture &)> act; // after the pick, which happened before the change
        bool asks;
    };
    const Action actions[] = {
        {"pick to generate", &frmAddIn::mnuGenerateCode, true, nullptr, false},
        {"pick to modify", &frmAddIn::mnuModify, true, nullptr, false},
        {"pick to delete", &frmAddIn::mnuDelete, true, nullptr, false},
        {"modify", &frmAddIn::mnuModify, false,
         [](PickFixture &f) {
             f.form->Rich2->setText(QStringLiteral("changed"));
             f.click(f.form->Command4);
         },
         false},
        {"modify after Change Heading", &frmAddIn::mnuModify, false,
         [](PickFixture &f) {
             f.click(f.form->Command1);
             f.typeHeading(QStringLiteral("New name"));
             f.click(f.form->Command4);
         },
         false},
        {"delete", &frmAddIn::mnuDelete, false, [](PickFixture &f) { f.click(f.form->Command5); }, true},
    };
    for (const Change &change : changes) {
        for (const Action &action : actions) {
            SCOPED_TRACE(std::string(action.what) + " after the snippet was " + change.what);
            qbx::test::FreshUserFolders fresh;
            open(library);
            (form->*action.menu)->trigger();
            if (!action.pickAfterChange)
                pick(0);
            execSql(QString::fromLatin1(change.sql));
            const QList<Snippet> afterChange = LibraryFile::rows();
            messages.shown.clear();
            messages.answers = {vbYes};
            if (action.pickAfterChange)
                pick(0);
            else
                action.act(*this);

            QStringList expected;
            if (action.asks)
                expected << kDeleteQuestion;
            const QStringList texts = messages.texts();
            ASSERT_EQ(texts.size(), expected.size() + 1) << texts.join(QLatin1Char('|')).toStdString();
            EXPECT_EQ(texts.mid(0, expected.size()), expected);
            EXPECT_TRUE(texts.last().contains(kVanishedPart)) << texts.last().toStdString();
            EXPECT_TRUE(texts.last().contains(QStringLiteral("Swap"))) << "the message names the snippet";
            EXPECT_EQ(LibraryFile::rows(), afterChange);
            expectIdle(form);
            EXPECT_EQ(form->DbConnection, nullptr);
            delete form.data();
        }
    }
}

// The library fails between filling the list and using it: one message naming the file,
// the window as it was (a failed pick enables Cancel again), nothing written.
TEST_F(PickFixture, LibraryFailureIsToldAndTheWindowStaysAsItWas)
{
    struct Spoil {
        const char *what;
        const char *says;
    };
    const Spoil spoils[] = {{"file removed", "quillbox init"}, {"file locked", "in use by another program"}};
    struct Action {
        const char *what;
        QAction *frmAddIn::*menu;
        bool pickFirst;
        std::function<void(PickFixture &)> prepare; // entries made before the library fails
        std::function<void(PickFixture &)> command;
        bool asks;
    };
    const auto none = [](PickFixture &) {};
    const Action actions[] = {
        {"pick", &frmAddIn::mnuGenerateCode, false, none, [](PickFixture &f) { f.pick(1); }, false},
        {"pick to modify", &frmAddIn::mnuModify, false, none, [](PickFixture &f) { f.pick(0); }, false},
        {"modify", &frmAddIn::mnuModify, true, [](PickFixture &f) { f.form->Rich2->setText(QStringLiteral("changed")); },
         [](PickFixture &f) { f.click(f.form->Command4); }, false},
        {"modify after Change Heading", &frmAddIn::mnuModify, true,
         [](PickFixture &f) {
             f.click(f.form->Command1);
             f.typeHeading(QStringLiteral("New name"));
         },
         [](PickFixture &f) { f.click(f.form->Command4); }, false},
        {"delete", &frmAddIn::mnuDelete, true, none, [](PickFixture &f) { f.click(f.form->Command5); }, true},
    };
    const QList<Snippet> library = {kLibrary[0], kLibrary[1]};
    for (const Spoil &spoil : spoils) {
        for (const Action &action : actions) {
            SCOPED_TRACE(std::string(action.what) + " with the " + spoil.what);
            qbx::test::FreshUserFolders fresh;
            open(library);
            (form->*action.menu)->trigger();
            if (action.pickFirst)
                pick(0);
            action.prepare(*this);
            const bool removed = std::string(spoil.what) == "file removed";
            QSqlDatabase holder;
            std::unique_ptr<QSqlQuery> lock;
            if (removed) {
                ASSERT_TRUE(QFile::remove(store::databasePath()));
            } else {
                store::DbConnection::setBusyTimeout(200);
                holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
                holder.setDatabaseName(store::databasePath());
                ASSERT_TRUE(holder.open());
                lock = std::make_unique<QSqlQuery>(holder);
                ASSERT_TRUE(lock->exec(QStringLiteral("BEGIN EXCLUSIVE")));
            }
            messages.shown.clear();
            messages.answers = {vbYes};
            const WindowState justBefore = WindowState::of(form);
            action.command(*this);

            QStringList expected;
            if (action.asks)
                expected << kDeleteQuestion;
            const QStringList texts = messages.texts();
            ASSERT_EQ(texts.size(), expected.size() + 1) << texts.join(QLatin1Char('|')).toStdString();
            EXPECT_EQ(texts.mid(0, expected.size()), expected);
            EXPECT_TRUE(texts.last().contains(QString::fromLatin1(spoil.says))) << texts.last().toStdString();
            EXPECT_TRUE(texts.last().contains(QDir::toNativeSeparators(store::databasePath())));
            EXPECT_FALSE(texts.last().contains(kVanishedPart));

            const WindowState after = WindowState::of(form);
            if (std::string(action.what).starts_with("pick")) {
                // Only the list's own text follows the pick; Cancel is usable again.
                WindowState expectedState = justBefore;
                expectedState.comboText = after.comboText;
                EXPECT_EQ(after, expectedState);
                EXPECT_TRUE(form->Command2->isEnabled());
                EXPECT_TRUE(form->Rich3->Text().isEmpty() && form->Rich2->Text().isEmpty());
            } else {
                // Modify first copies the picked heading into the hidden heading box; nothing
                // the user can see differs.
                WindowState expectedState = justBefore;
                if (!form->Text1->isVisible())
                    expectedState.text1 = after.text1;
                EXPECT_EQ(after, expectedState);
            }
            EXPECT_EQ(form->DbConnection, nullptr);
            EXPECT_EQ(form->DbRecordset, nullptr);

            if (removed) {
                EXPECT_FALSE(QFile::exists(store::databasePath())) << "the window never creates the library";
            } else {
                lock->exec(QStringLiteral("ROLLBACK"));
                lock.reset();
                holder.close();
                holder = QSqlDatabase();
                QSqlDatabase::removeDatabase(QStringLiteral("holder"));
                store::DbConnection::setBusyTimeout(3000);
                EXPECT_EQ(LibraryFile::rows(), library);
            }
            delete form.data();
        }
    }
}

namespace {

// Opens a menu of the window's menu bar and clicks one of its items, with the mouse.
void chooseMenu(frmAddIn *form, QMenu *menu, QAction *item)
{
    QMenuBar *bar = form->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    ASSERT_TRUE(qbx::test::waitFor([menu] { return menu->isVisible(); })) << "the menu did not open";
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    ASSERT_TRUE(qbx::test::waitFor([menu] { return !menu->isVisible(); }));
}

} // namespace

// The add-in as the host runs it, from the first Show to text on the clipboard and back to
// an empty library, with the mouse and the keyboard only.
TEST(RoundTrip, AddGenerateCopyModifyDeleteThroughTheConnection)
{
    qbx::test::FreshUserFolders folders;
    Messages messages;
    ASSERT_TRUE(store::initLibrary(false).ok);

    Connect *connect = new Connect;
    QVariantList custom;
    ASSERT_EQ(connect->OnConnection(nullptr, qbx::ConnectMode::External, nullptr, custom), qbx::S_OK);
    QPointer<frmAddIn> form = connect->addInForm();
    ASSERT_TRUE(form);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    QClipboard *clipboard = QGuiApplication::clipboard();

    // Add.
    chooseMenu(form, form->mnuCodes, form->mnuAdd);
    ASSERT_TRUE(form->AddMode);
    QTest::keyClicks(form->Text1, QStringLiteral("Swap"));
    QTest::keyClick(form->Rich1, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(form->Rich1, QStringLiteral(" Exchanges two values"));
    QTest::keyClicks(form->Rich2, QStringLiteral("t = a"));
    QTest::keyClick(form->Rich2, Qt::Key_Return);
    QTest::keyClicks(form->Rich2, QStringLiteral("a = b"));
    messages.answers = {vbNo};
    QTest::mouseClick(form->Command3, Qt::LeftButton);
    ASSERT_EQ(LibraryFile::rows(), QList<Snippet>({{QStringLiteral("Swap"), QStringLiteral("' Exchanges two values"),
                                                    QStringLiteral("t = a\r\na = b")}}));
    EXPECT_FALSE(form->AddMode);

    // Generate and copy.
    const QString first = QStringLiteral("'Swap\r\n\r\n' Exchanges two values\r\n\r\nt = a\r\na = b");
    chooseMenu(form, form->mnuCodes, form->mnuGenerateCode);
    form->Combo1->setFocus();
    QTest::keyClick(form->Combo1, Qt::Key_Down);
    EXPECT_EQ(form->Rich3->Text(), first);
    ASSERT_TRUE(form->Command6->isEnabled());
    clipboard->setText(QStringLiteral("something else"));
    QTest::mouseClick(form->Command6, Qt::LeftButton);
    EXPECT_EQ(clipboard->text(), first);
    EXPECT_FALSE(clipboard->mimeData()->hasHtml());

    // Modify: a third line of code.
    chooseMenu(form, form->mnuCodes, form->mnuModify);
    form->Combo1->setFocus();
    QTest::keyClick(form->Combo1, Qt::Key_Down);
    ASSERT_EQ(form->Rich2->Text(), QStringLiteral("t = a\r\na = b"));
    QTest::mouseClick(form->Rich2->viewport(), Qt::LeftButton);
    QTest::keyClick(form->Rich2, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(form->Rich2, Qt::Key_Return);
    QTest::keyClicks(form->Rich2, QStringLiteral("b = t"));
    ASSERT_TRUE(form->Command4->isEnabled());
    QTest::mouseClick(form->Command4, Qt::LeftButton);
    EXPECT_EQ(LibraryFile::rows(), QList<Snippet>({{QStringLiteral("Swap"), QStringLiteral("' Exchanges two values"),
                                                    QStringLiteral("t = a\r\na = b\r\nb = t")}}));

    // Generate and copy again: the new text replaces the old.
    chooseMenu(form, form->mnuCodes, form->mnuGenerateCode);
    form->Combo1->setFocus();
    QTest::keyClick(form->Combo1, Qt::Key_Down);
    QTest::mouseClick(form->Command6, Qt::LeftButton);
    EXPECT_EQ(clipboard->text(), first + QStringLiteral("\r\nb = t"));
    EXPECT_FALSE(clipboard->mimeData()->hasHtml());

    // Delete.
    chooseMenu(form, form->mnuCodes, form->mnuDelete);
    form->Combo1->setFocus();
    QTest::keyClick(form->Combo1, Qt::Key_Down);
    messages.answers = {vbYes};
    QTest::mouseClick(form->Command5, Qt::LeftButton);
    EXPECT_TRUE(LibraryFile::rows().isEmpty());

    chooseMenu(form, form->mnuCodes, form->mnuGenerateCode);
    EXPECT_EQ(messages.texts(),
              QStringList({QStringLiteral("The Code has been added Successfully. Do you want to add more code?"),
                           QStringLiteral("The Code has been Modified Successfully."), kDeleteQuestion,
                           QStringLiteral("The Code has been Deleted Successfully."), kNoCode}));
    EXPECT_TRUE(form->isVisible());

    ASSERT_EQ(connect->OnDisconnection(qbx::DisconnectMode::UserClosed, custom), qbx::S_OK);
    EXPECT_FALSE(form) << "disconnecting unloads the window";
    connect->Release();
}
