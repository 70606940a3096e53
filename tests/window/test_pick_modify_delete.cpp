// Picking a heading from the list, and what each list mode does with the picked snippet:
// showing, copying, changing and deleting it; a snippet gone meanwhile, a library that fails,
// and the whole round trip through the connection object as the host drives it.

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
#include <memory>

using namespace quillbox;
using namespace quillbox::test;

namespace {

// Rows in table order. Two pairs of headings are the same once trimmed, and one heading
// differs from another in case only.
const QList<Snippet> kLibrary = {
    {QStringLiteral("Swap"), QStringLiteral("' Exchanges two values"), QStringLiteral("t = a\r\na = b")},
    {QStringLiteral(" Centre "), QStringLiteral("' Puts a form mid-screen"), QStringLiteral("Dim x As Long\r\nMe.Move 0, 0")},
    {QStringLiteral("NoDesc"), QString(), QStringLiteral("  x = 1  \r\n\r\n  y = 1")},
    {QStringLiteral("swap"), QStringLiteral("' lower case"), QStringLiteral("y = 2")},
    {QStringLiteral("Centre"), QStringLiteral("' the second centre"), QStringLiteral("z = 3")},
    {QStringLiteral("Swap"), QStringLiteral("' a duplicate"), QStringLiteral("w = 4")},
};
// Picking entry i finds the first row whose trimmed heading equals it, case significant.
const int kFoundRow[] = {0, 1, 2, 3, 1, 0};

const QString kNoCode = QStringLiteral(
    "No Code has been added yet to the database. Please Add some code first before performing this action");
const QString kDeleteQuestion =
    QStringLiteral("Are you sure you want to delete the code? Once deleted, the code cannot be recovered!");

QString composed(const Snippet &s)
{
    return QStringLiteral("'") + s.name + QStringLiteral("\r\n\r\n") + s.desc + QStringLiteral("\r\n\r\n") + s.code;
}

QStringList buttonsEnabled(const WindowState &s)
{
    return s.enabled.filter(QStringLiteral("Command"));
}

// Every line of the box carries the colours the colouring gives its text; returns the
// number of coloured runs, so that a box left black can be told from a coloured one.
int expectColouredAsSource(const RichTextBox *box)
{
    int runs = 0;
    for (int line = 0; line < box->LineCount(); ++line) {
        const QList<colouring::ColourRun> expected = colouring::colourLine(box->GetLine(line)).runs;
        EXPECT_TRUE(box->lineColours(line) == expected) << box->objectName().toStdString() << " line " << line;
        runs += int(expected.size());
    }
    return runs;
}

void expectIdle(const frmAddIn *form)
{
    const WindowState s = WindowState::of(form);
    EXPECT_TRUE(s.visible.isEmpty() && buttonsEnabled(s).isEmpty()) << s;
    EXPECT_TRUE(s.text1.isEmpty() && s.rich2.isEmpty() && s.rich3.isEmpty() && s.comboItems.isEmpty()) << s;
    EXPECT_EQ(s.rich1, QStringLiteral("'")) << s;
    EXPECT_FALSE(s.addMode || s.modifyMode || s.deleteMode || s.generateMode) << s;
}

void execSql(const QString &statement)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other program"));
        db.setDatabaseName(store::databasePath());
        EXPECT_TRUE(db.open() && QSqlQuery(db).exec(statement)) << statement.toStdString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other program"));
}

// Another connection holds the library exclusively until dropped.
std::shared_ptr<void> lockLibrary()
{
    store::DbConnection::setBusyTimeout(200);
    auto *db = new QSqlDatabase(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder")));
    db->setDatabaseName(store::databasePath());
    EXPECT_TRUE(db->open() && QSqlQuery(*db).exec(QStringLiteral("BEGIN EXCLUSIVE")));
    return std::shared_ptr<QSqlDatabase>(db, [](QSqlDatabase *d) {
        d->close();
        delete d;
        QSqlDatabase::removeDatabase(QStringLiteral("holder"));
        store::DbConnection::setBusyTimeout(3000);
    });
}

struct PickFixture : WindowWithLibrary {
    ~PickFixture() override { store::DbConnection::setOpenHook(nullptr); }

    // The window is also made the active one, so that focus moves as on a desktop.
    void open(const QList<Snippet> &snippets)
    {
        WindowWithLibrary::open(snippets);
        ASSERT_TRUE(form);
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    }

    // Picks list entry `row` as the user does: F4 opens the list, the arrow keys walk to the
    // entry and Enter takes it.
    void pick(int row)
    {
        QSignalSpy activated(form->Combo1, &QComboBox::activated);
        QTest::keyClick(form->Combo1, Qt::Key_F4);
        QAbstractItemView *view = form->Combo1->view();
        ASSERT_TRUE(view->isVisible()) << "the list did not open";
        QTest::keyClick(view, Qt::Key_Home);
        for (int i = 0; i < row; ++i)
            QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Return);
        ASSERT_FALSE(view->isVisible()) << "the list stayed open";
        // A window manager hands the activation back once the list has closed.
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
    }
    void changeHeading(const QString &text)
    {
        click(form->Command1);
        typeHeading(text);
    }
};

struct ModeCase {
    const char *name;
    QAction *frmAddIn::*menu;
    QStringList buttons; // shown and enabled once a snippet is picked
};
const ModeCase kListModes[] = {
    {"modify", &frmAddIn::mnuModify, {"Command1", "Command2", "Command4"}},
    {"delete", &frmAddIn::mnuDelete, {"Command2", "Command5"}},
    {"generate", &frmAddIn::mnuGenerateCode, {"Command2", "Command6"}},
};

} // namespace

TEST_F(PickFixture, PickingShowsTheFirstMatchingSnippetColouredInEachModeAndCopyCodeCopiesPlainText)
{
    open(kLibrary);
    QClipboard *clipboard = QGuiApplication::clipboard();
    // Cancel is disabled while the pick reads the library: the connection opens during it.
    std::vector<bool> cancelEnabledDuringPick;
    store::DbConnection::setOpenHook(
        [&](QSqlDatabase &) { cancelEnabledDuringPick.push_back(form->Command2->isEnabled()); });
    for (const ModeCase &mode : kListModes) {
        (form->*mode.menu)->trigger();
        const QStringList listed = WindowState::of(form).comboItems;
        for (int entry = 0; entry < int(kLibrary.size()); ++entry) {
            SCOPED_TRACE(std::string(mode.name) + ", entry " + std::to_string(entry));
            const Snippet &found = kLibrary[kFoundRow[entry]];
            cancelEnabledDuringPick.clear();
            pick(entry);
            EXPECT_EQ(cancelEnabledDuringPick, std::vector<bool>({false}));
            const WindowState s = WindowState::of(form);
            EXPECT_EQ(s.comboItems, listed) << "the list keeps every heading";
            EXPECT_EQ(s.comboText, kLibrary[entry].name);
            if (mode.menu == &frmAddIn::mnuModify) {
                // The description box holds at least its comment mark.
                EXPECT_EQ(s.rich1, found.desc.isEmpty() ? QStringLiteral("'") : found.desc);
                EXPECT_EQ(s.rich2, found.code);
                EXPECT_GT(expectColouredAsSource(form->Rich1), 0);
                expectColouredAsSource(form->Rich2);
            } else {
                EXPECT_EQ(s.rich3, composed(found));
                EXPECT_GT(expectColouredAsSource(form->Rich3), 0);
            }
            if (mode.menu == &frmAddIn::mnuGenerateCode) {
                if (entry == 0) {
                    QStringList lines;
                    for (int line = 0; line < form->Rich3->LineCount(); ++line)
                        lines << form->Rich3->GetLine(line);
                    EXPECT_EQ(lines, QStringList({"'Swap", "", "' Exchanges two values", "", "t = a", "a = b"}));
                }
                // Whatever the clipboard held, rich text included, is replaced by plain text only.
                auto *old = new QMimeData;
                old->setHtml(QStringLiteral("<b>old text</b>"));
                clipboard->setMimeData(old);
                click(form->Command6);
                EXPECT_EQ(clipboard->mimeData()->text(), s.rich3);
                EXPECT_EQ(clipboard->mimeData()->formats(), QStringList({QStringLiteral("text/plain")}));
                EXPECT_EQ(form->Rich3->Text(), s.rich3) << "copying leaves the display alone";
            }
            EXPECT_EQ(buttonsEnabled(s), mode.buttons);
            EXPECT_EQ(s.visible.filter(QStringLiteral("Command")), mode.buttons);
        }
    }
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(LibraryFile::rows(), kLibrary) << "picking writes nothing";
}

TEST_F(PickFixture, ModifyRefusesMissingEntriesAndAnotherSnippetsHeadingKeepingTheEntries)
{
    open(kLibrary);
    const char *heading = "Please Enter a heading for the code", *taken = "This Code Name Already Exists";
    // A selection runs from the first character, as long as the heading without its spaces.
    struct Case {
        const char *what;
        int entry;          // -1: nothing picked, the code typed
        QString code;       // put into the code box; null: left as shown
        int pickedSelected; // 0: no Change Heading; else the heading typed after it
        QString typed;
        const char *message;
        const char *focus; // nullptr: the heading box is hidden and does not take the focus
        int typedSelected; // -1: not checked
    };
    const Case cases[] = {
        {"nothing picked, code typed", -1, "x = 1", 0, {}, heading, nullptr, -1},
        {"code only spaces", 1, "   ", 0, {}, "Please Enter the code", "Rich2", -1},
        {"heading only spaces", 3, {}, 4, "   ", heading, "Text1", -1},
        {"another snippet's heading, which has spaces around it", 0, "changed", 4, "centre", taken, "Text1", 6},
        {"another snippet's heading typed with spaces", 0, "changed", 4, "  NoDesc  ", taken, "Text1", 6},
        {"the padded heading renamed to another's", 1, "changed", 6, "Swap", taken, "Text1", 4},
    };
    auto expectSelected = [this](int length) {
        EXPECT_EQ(form->Text1->selectionStart(), 0);
        EXPECT_EQ(form->Text1->selectedText(), form->Text1->text().left(length));
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        form->mnuModify->trigger();
        if (c.entry < 0) {
            QTest::keyClicks(form->Rich2, c.code);
        } else {
            pick(c.entry);
            if (!c.code.isNull())
                form->Rich2->setText(c.code);
        }
        if (c.pickedSelected) {
            click(form->Command1);
            const WindowState s = WindowState::of(form);
            EXPECT_EQ(s.text1, kLibrary[c.entry].name);
            EXPECT_TRUE(s.visible.contains(QStringLiteral("Text1")) && !s.visible.contains(QStringLiteral("Combo1")));
            EXPECT_EQ(buttonsEnabled(s), QStringList({"Command2", "Command4"}));
            expectSelected(c.pickedSelected);
            typeHeading(c.typed);
        }
        const QString code = form->Rich2->Text();
        messages.shown.clear();
        click(form->Command4);
        ASSERT_EQ(messages.texts(), QStringList{QString::fromLatin1(c.message)});
        EXPECT_EQ(messages.shown[0].buttons, MsgButtons::OK);
        QWidget *focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        if (c.focus) {
            EXPECT_EQ(focus->objectName(), QString::fromLatin1(c.focus)) << focus->metaObject()->className();
        } else {
            EXPECT_NE(focus, form->Text1);
        }
        if (c.typedSelected >= 0)
            expectSelected(c.typedSelected);
        if (c.pickedSelected) {
            EXPECT_EQ(form->Text1->text(), c.typed);
        }
        EXPECT_EQ(form->Rich2->Text(), code);
        EXPECT_TRUE(form->ModifyMode && form->Command4->isVisible());
        EXPECT_EQ(form->DbConnection, nullptr);
    }
    EXPECT_EQ(LibraryFile::rows(), kLibrary);
}

TEST_F(PickFixture, ModifyAndDeleteWriteTheFirstMatchingRowOnly)
{
    const QString modified = QStringLiteral("The Code has been Modified Successfully.");
    const QStringList deleted = {kDeleteQuestion, QStringLiteral("The Code has been Deleted Successfully.")};
    auto changed = [](int row, const Snippet &s) {
        QList<Snippet> rows = kLibrary;
        rows[row] = s;
        return rows;
    };
    auto without = [](int row) {
        QList<Snippet> rows = kLibrary;
        rows.removeAt(row);
        return rows;
    };
    using Act = std::function<void(PickFixture &)>;
    auto modify = [](Act edit) { return [edit](PickFixture &f) { edit(f); f.click(f.form->Command4); }; };
    auto answer = [](int button) { return [button](PickFixture &f) { f.messages.answers = {button}; f.click(f.form->Command5); }; };
    const Act none = [](PickFixture &) {};
    struct Case {
        const char *what;
        QAction *frmAddIn::*menu;
        int entry;
        Act act;
        QList<Snippet> stored;
        QStringList said;
    };
    const Case cases[] = {
        {"description trimmed, code not", &frmAddIn::mnuModify, 0, modify([](PickFixture &f) {
             f.form->Rich1->setText(QStringLiteral("' New words  "));
             f.form->Rich2->setText(f.form->Rich2->Text() + QStringLiteral("\r\n  b = t  "));
         }),
         changed(0, {kLibrary[0].name, QStringLiteral("' New words"), kLibrary[0].code + QStringLiteral("\r\n  b = t  ")}),
         {modified}},
        {"the padded heading stored trimmed", &frmAddIn::mnuModify, 1, modify(none),
         changed(1, {QStringLiteral("Centre"), kLibrary[1].desc, kLibrary[1].code}), {modified}},
        {"an empty description stored as its comment mark", &frmAddIn::mnuModify, 2, modify(none),
         changed(2, {QStringLiteral("NoDesc"), QStringLiteral("'"), kLibrary[2].code}), {modified}},
        {"the trimmed twin's entry changes the first row", &frmAddIn::mnuModify, 4,
         modify([](PickFixture &f) { f.form->Rich2->setText(QStringLiteral("new")); }),
         changed(1, {QStringLiteral("Centre"), kLibrary[1].desc, QStringLiteral("new")}), {modified}},
        {"renamed", &frmAddIn::mnuModify, 0, modify([](PickFixture &f) { f.changeHeading(QStringLiteral("  Renamed  ")); }),
         changed(0, {QStringLiteral("Renamed"), kLibrary[0].desc, kLibrary[0].code}), {modified}},
        {"renamed to its own heading in another case", &frmAddIn::mnuModify, 0,
         modify([](PickFixture &f) { f.changeHeading(QStringLiteral("SWAP")); }),
         changed(0, {QStringLiteral("SWAP"), kLibrary[0].desc, kLibrary[0].code}), {modified}},
        {"delete answered No", &frmAddIn::mnuDelete, 5, answer(vbNo), kLibrary, {kDeleteQuestion}},
        {"the duplicate's entry deletes the first row", &frmAddIn::mnuDelete, 5, answer(vbYes), without(0), deleted},
        {"the trimmed twin's entry deletes the first row", &frmAddIn::mnuDelete, 4, answer(vbYes), without(1), deleted},
        {"a heading differing in case only", &frmAddIn::mnuDelete, 3, answer(vbYes), without(3), deleted},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        qbx::test::FreshUserFolders fresh;
        open(kLibrary);
        (form->*c.menu)->trigger();
        pick(c.entry);
        const WindowState before = WindowState::of(form);
        messages.shown.clear();
        c.act(*this);
        EXPECT_EQ(LibraryFile::rows(), c.stored);
        ASSERT_EQ(messages.texts(), c.said);
        if (c.said.first() == kDeleteQuestion) {
            EXPECT_EQ(messages.shown[0].buttons, MsgButtons::YesNo);
            EXPECT_EQ(messages.shown[0].title, QStringLiteral("Quillbox"));
        }
        if (c.said.size() == 1 && c.said.first() == kDeleteQuestion) {
            EXPECT_EQ(WindowState::of(form), before);
        } else {
            expectIdle(form);
        }
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
    for (const ModeCase &mode : kListModes) {
        SCOPED_TRACE(mode.name);
        messages.shown.clear();
        (form->*mode.menu)->trigger();
        EXPECT_EQ(messages.texts(), QStringList({kNoCode}));
        EXPECT_TRUE(WindowState::of(form).visible.isEmpty());
        EXPECT_EQ(form->Combo1->count(), 0);
    }
}

// Between filling the list and using it, another program removes or renames the snippet, or
// the library fails. One message says so; nothing is written and no connection stays open. A
// snippet gone sends the window back to idle; a failing library leaves it as it was.
TEST_F(PickFixture, SnippetGoneOrLibraryFailingIsToldAndNothingWritten)
{
    const QList<Snippet> library = {kLibrary[0], kLibrary[1]};
    struct Spoil {
        const char *what;
        std::function<std::shared_ptr<void>()> apply; // undone when dropped
        QString says;
        bool vanished;
    };
    const QString gone = QStringLiteral("\"Swap\" is no longer in the library");
    auto sql = [](const char *statement) { return [statement] { execSql(statement); return std::shared_ptr<void>(); }; };
    const Spoil spoils[] = {
        {"snippet deleted", sql("DELETE FROM TABLE1 WHERE CodeName = 'Swap'"), gone, true},
        {"snippet renamed in case only", sql("UPDATE TABLE1 SET CodeName = 'SWAP' WHERE CodeName = 'Swap'"), gone, true},
        {"library removed", [] { EXPECT_TRUE(QFile::remove(store::databasePath())); return std::shared_ptr<void>(); },
         QStringLiteral("quillbox init"), false},
        {"library locked", lockLibrary, QStringLiteral("in use by another program"), false},
    };
    struct Action {
        const char *what;
        QAction *frmAddIn::*menu;
        bool pickFirst;
        std::function<void(PickFixture &)> command;
        bool asks;
    };
    const Action actions[] = {
        {"pick", &frmAddIn::mnuGenerateCode, false, [](PickFixture &f) { f.pick(0); }, false},
        {"modify", &frmAddIn::mnuModify, true, [](PickFixture &f) { f.click(f.form->Command4); }, false},
        {"delete", &frmAddIn::mnuDelete, true, [](PickFixture &f) { f.click(f.form->Command5); }, true},
    };
    for (const Spoil &spoil : spoils) {
        for (const Action &action : actions) {
            SCOPED_TRACE(std::string(action.what) + " with the " + spoil.what);
            qbx::test::FreshUserFolders fresh;
            open(library);
            (form->*action.menu)->trigger();
            if (action.pickFirst)
                pick(0);
            const WindowState before = WindowState::of(form);
            std::shared_ptr<void> spoiled = spoil.apply();
            const QList<Snippet> stored = spoil.vanished ? LibraryFile::rows() : library;
            messages.shown.clear();
            messages.answers = {vbYes};
            action.command(*this);

            QStringList texts = messages.texts();
            if (action.asks && !texts.isEmpty()) {
                EXPECT_EQ(texts.takeFirst(), kDeleteQuestion);
            }
            ASSERT_EQ(texts.size(), 1) << texts.join(QLatin1Char('|')).toStdString();
            EXPECT_TRUE(texts[0].contains(spoil.says)) << texts[0].toStdString();
            EXPECT_EQ(form->DbConnection, nullptr);
            EXPECT_EQ(form->DbRecordset, nullptr);
            if (spoil.vanished) {
                expectIdle(form);
            } else {
                EXPECT_TRUE(texts[0].contains(QDir::toNativeSeparators(store::databasePath()))) << texts[0].toStdString();
                // Only the list's own text follows the pick; Modify first copies the picked
                // heading into the hidden heading box.
                const WindowState after = WindowState::of(form);
                WindowState expected = before;
                expected.comboText = after.comboText;
                if (!form->Text1->isVisible())
                    expected.text1 = after.text1;
                EXPECT_EQ(after, expected);
            }
            spoiled.reset();
            const bool removed = !QFile::exists(store::databasePath());
            EXPECT_EQ(removed, spoil.says == QLatin1String("quillbox init")) << "the window never creates the library";
            if (!removed) {
                EXPECT_EQ(LibraryFile::rows(), stored);
            }
            delete form.data();
        }
    }
}

namespace {

// Opens a menu of the window's menu bar and clicks one of its items, with the mouse.
void chooseMenu(frmAddIn *form, QAction *item)
{
    QMenuBar *bar = form->menuBar();
    QMenu *menu = form->mnuCodes;
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
    // Chooses a list mode and picks the first entry with the arrow key on the closed list.
    auto pickFirstIn = [&](QAction *mode) {
        chooseMenu(form, mode);
        form->Combo1->setFocus();
        QTest::keyClick(form->Combo1, Qt::Key_Down);
    };

    chooseMenu(form, form->mnuAdd);
    QTest::keyClicks(form->Text1, QStringLiteral("Swap"));
    QTest::keyClick(form->Rich1, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(form->Rich1, QStringLiteral(" Exchanges two values"));
    QTest::keyClicks(form->Rich2, QStringLiteral("t = a"));
    QTest::keyClick(form->Rich2, Qt::Key_Return);
    QTest::keyClicks(form->Rich2, QStringLiteral("a = b"));
    messages.answers = {vbNo};
    QTest::mouseClick(form->Command3, Qt::LeftButton);
    Snippet stored{QStringLiteral("Swap"), QStringLiteral("' Exchanges two values"), QStringLiteral("t = a\r\na = b")};
    ASSERT_EQ(LibraryFile::rows(), QList<Snippet>{stored});

    pickFirstIn(form->mnuGenerateCode);
    clipboard->setText(QStringLiteral("something else"));
    QTest::mouseClick(form->Command6, Qt::LeftButton);
    EXPECT_EQ(clipboard->text(), composed(stored));

    pickFirstIn(form->mnuModify);
    QTest::mouseClick(form->Rich2->viewport(), Qt::LeftButton);
    QTest::keyClick(form->Rich2, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(form->Rich2, Qt::Key_Return);
    QTest::keyClicks(form->Rich2, QStringLiteral("b = t"));
    QTest::mouseClick(form->Command4, Qt::LeftButton);
    stored.code += QStringLiteral("\r\nb = t");
    EXPECT_EQ(LibraryFile::rows(), QList<Snippet>{stored});

    pickFirstIn(form->mnuGenerateCode);
    QTest::mouseClick(form->Command6, Qt::LeftButton);
    EXPECT_EQ(clipboard->text(), composed(stored));
    EXPECT_FALSE(clipboard->mimeData()->hasHtml());

    pickFirstIn(form->mnuDelete);
    messages.answers = {vbYes};
    QTest::mouseClick(form->Command5, Qt::LeftButton);
    EXPECT_TRUE(LibraryFile::rows().isEmpty());

    chooseMenu(form, form->mnuGenerateCode);
    EXPECT_EQ(messages.texts(),
              QStringList({QStringLiteral("The Code has been added Successfully. Do you want to add more code?"),
                           QStringLiteral("The Code has been Modified Successfully."), kDeleteQuestion,
                           QStringLiteral("The Code has been Deleted Successfully."), kNoCode}));
    ASSERT_EQ(connect->OnDisconnection(qbx::DisconnectMode::UserClosed, custom), qbx::S_OK);
    EXPECT_FALSE(form) << "disconnecting unloads the window";
    connect->Release();
}
