// What the window does with a snippet: adding it (the entry checks one at a time, a heading
// taken already, the question afterwards), picking it from the list to show, copy, change or
// delete it, and a snippet or the library gone since the list was filled.

#include "window/windowtesting.h"

#include "store/database.h"
#include "window/frmfill.h"
#include "window/frmfind.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>

using namespace quillbox;
using namespace quillbox::window;
using namespace quillbox::test;

namespace {

const QList<QStringList> kLibrary = {{"Swap", "' Exchanges two values", "t = a\r\na = b"},
                                     {" Centre ", "' Puts a form mid-screen", "Dim x As Long\r\nMe.Move 0, 0\r\n "},
                                     {"Other  ", "' Another", "If x Then y = 1 'set"}};

} // namespace

TEST_F(WindowTest, AddChecksTheEntriesOneAtATimeStoresThemAndAsksWhetherToAddMore)
{
    open(kLibrary);
    const QString more = "[Yes/No] The Code has been added Successfully. Do you want to add more code?";
    // Refused: the entries stay, the focus on the first bad one; a taken heading is selected
    // from its first character, as long as the heading without its spaces. Stored: Yes makes
    // the window ready for the next one, No sends it to idle.
    const struct {
        QString heading, code, message, focus;
        int answer;
    } cases[] = {
        {"   ", "x = 1", "Please Enter a heading for the code", "Text1/", 0},
        {"two\nlines", "x = 1", "A heading is one line: it cannot hold a line break.", "Text1/", 0},
        {"   other  ", "new", "This Code Name Already Exists", "Text1/   ot", 0},
        {"  New one ", "t = a", more, {}, vbYes},
        {"Last", "x", more, {}, vbNo},
    };
    QList<QStringList> rows = kLibrary;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.heading.toStdString());
        toolbar("tbAdd");
        const QStringList adding = seen(form);
        // A heading of two lines can only be pasted.
        QGuiApplication::clipboard()->setText(c.heading);
        QTest::keySequence(form->Text1, QKeySequence::Paste);
        form->Rich1->setText(QStringLiteral("' Swaps  "));
        QTest::keyClicks(form->Rich2, c.code);
        const QStringList before = seen(form);
        answers = {c.answer};
        click(form->Command3);
        EXPECT_EQ(said(), QStringList{c.message});
        if (c.answer)
            rows << QStringList{c.heading.trimmed(), "' Swaps", c.code};
        else
            EXPECT_EQ(focusAndSelection(form), c.focus);
        EXPECT_EQ(seen(form), c.answer == vbNo ? QStringList() : c.answer == vbYes ? adding : before);
        EXPECT_EQ(libraryRows(), rows);
    }
}

TEST_F(WindowTest, PickShowsTheSnippetColouredToCopyOrDeleteIt)
{
    open(kLibrary);
    std::vector<bool> cancelDuringRead;
    form->LibraryOptions.opened = [&](QSqlDatabase &) { cancelDuringRead.push_back(form->Command2->isEnabled()); };
    const QString composed = "' Centre \r\n\r\n' Puts a form mid-screen\r\n\r\nDim x As Long\r\nMe.Move 0, 0\r\n ";
    const std::pair<QAction *, QStringList> modes[] = {{form->mnuModify, {"Command1", "Command2", "Command4"}},
                                                       {form->mnuDelete, {"Command2", "Command5"}},
                                                       {form->mnuGenerateCode, {"Command2", "Command6"}}};
    for (const auto &[menu, buttons] : modes) {
        SCOPED_TRACE(menu->text().toStdString());
        menu->trigger();
        EXPECT_EQ(QApplication::focusWidget(), form->Combo1) << "typing picks a heading at once";
        EXPECT_TRUE(form->Rich3->Text().isEmpty()) << "the last mode's snippet is gone";
        cancelDuringRead.clear();
        pick(1);
        EXPECT_EQ(cancelDuringRead, std::vector<bool>{false}) << "Cancel waits while the pick reads";
        if (menu == form->mnuModify) {
            EXPECT_EQ(QStringList({form->Rich1->Text(), form->Rich2->Text()}), kLibrary[1].mid(1));
            EXPECT_GT(colouredRuns(form->Rich1), 0);
            colouredRuns(form->Rich2);
        } else {
            EXPECT_EQ(form->Rich3->Text(), composed);
            EXPECT_GT(colouredRuns(form->Rich3), 0);
        }
        EXPECT_EQ(seen(form).filter(QStringLiteral("Command")), buttons);
    }
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    const QStringList before = seen(form);
    EXPECT_TRUE(form->Command6->toolTip().contains("Ctrl+Shift+C"));
    reactivate();
    QTest::keyClick(form, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    // The button shows itself pressed for a moment, then copies.
    EXPECT_TRUE(qbx::test::waitFor([] { return QGuiApplication::clipboard()->text() != QLatin1String("old"); }));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), composed);
    EXPECT_EQ(seen(form), before);
    EXPECT_TRUE(said().isEmpty());
    // Delete asks first and removes the snippet on Yes only.
    toolbar("tbDelete");
    pick(1);
    const QStringList deleting = seen(form);
    const QString question =
        "[Yes/No] Are you sure you want to delete the code? Once deleted, the code cannot be recovered!";
    answers = {vbNo};
    click(form->Command5);
    EXPECT_EQ(said(), QStringList{question});
    EXPECT_EQ(seen(form), deleting);
    EXPECT_EQ(libraryRows(), kLibrary) << "picking and No write nothing";
    click(form->Command5);
    EXPECT_EQ(said(), QStringList({question, "The Code has been Deleted Successfully."}));
    EXPECT_TRUE(seen(form).isEmpty());
    EXPECT_EQ(libraryRows(), QList<QStringList>({kLibrary[0], kLibrary[2]}));
}

TEST_F(WindowTest, ModifyStoresTheEntriesUnderThePickedOrChangedHeadingOrRefusesThem)
{
    open(kLibrary);
    // renamed null: Change Heading is not used. stored null: refused, the window stays as it was.
    const struct {
        int entry;
        QString renamed;
        const char *message, *focus;
        QString stored;
    } cases[] = {
        {1, "  other", "This Code Name Already Exists", "Text1/  oth", {}},
        {1, "  Renamed ", "The Code has been Modified Successfully.", "", "Renamed"},
        {2, {}, "The Code has been Modified Successfully.", "", "Other"},
    };
    QList<QStringList> rows = kLibrary;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        form->mnuModify->trigger();
        pick(c.entry);
        form->Rich1->setText(QStringLiteral("' New words  "));
        form->Rich2->setText(QStringLiteral("new  "));
        if (!c.renamed.isNull()) {
            click(form->Command1);
            // The heading box takes the list's place, the heading selected from its start.
            EXPECT_EQ(seen(form).filter(QRegularExpression(QStringLiteral("^(Co|Te)"))),
                      QStringList({"Command1:off", "Command2", "Command4", "Text1= Centre "}));
            EXPECT_EQ(form->Text1->selectedText(), QStringLiteral(" Centr"));
            QTest::keyClick(form->Text1, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(form->Text1, c.renamed);
        }
        const QStringList before = seen(form);
        click(form->Command4);
        EXPECT_EQ(said(), QStringList{c.message});
        if (c.stored.isNull()) {
            EXPECT_EQ(seen(form), before);
            EXPECT_EQ(focusAndSelection(form), c.focus);
        } else {
            EXPECT_TRUE(seen(form).isEmpty());
            rows[c.entry] = QStringList{c.stored, "' New words", "new  "};
        }
        EXPECT_EQ(libraryRows(), rows);
    }
}

// Between filling the list and using it, another program renames the snippet (in case only):
// the user is told and the window goes back to idle. Or it removes the library: each use is
// told and leaves the window as it was, the list naming the snippet shown.
TEST_F(WindowTest, SnippetOrLibraryGoneSinceTheListWasFilledIsTold)
{
    open(kLibrary);
    form->mnuGenerateCode->trigger();
    libraryRows(QStringLiteral("UPDATE TABLE1 SET CodeName = 'SWAP' WHERE CodeName = 'Swap'"));
    pick(0);
    EXPECT_EQ(said(), QStringList{"The code \"Swap\" is no longer in the library; another program may have changed "
                                  "or deleted it since the list was filled. Nothing was changed."});
    EXPECT_TRUE(seen(form).isEmpty());
    form->mnuGenerateCode->trigger();
    pick(0);
    ASSERT_TRUE(QFile::remove(store::databasePath()));
    for (const char *use : {"picking another heading", "choosing a list mode", "adding"}) {
        SCOPED_TRACE(use);
        if (use[0] == 'a') {
            form->mnuAdd->trigger();
            QTest::keyClicks(form->Text1, QStringLiteral("New"));
            QTest::keyClicks(form->Rich2, QStringLiteral("x"));
        }
        const QStringList before = seen(form);
        answers = {vbNo}; // no new library: the file may be on a disk that is not mounted
        use[0] == 'p' ? pick(1) : use[0] == 'c' ? form->mnuModify->trigger() : click(form->Command3);
        EXPECT_EQ(said(), QStringList{QStringLiteral("[Yes/No*] The snippet library %1 was not found. Do you want to "
                                                     "create an empty library there?")
                                          .arg(QDir::toNativeSeparators(store::databasePath()))});
        EXPECT_EQ(seen(form), before);
        EXPECT_FALSE(QFileInfo::exists(store::databasePath()));
    }
}

// Another program changes the picked snippet before Modify is pressed: a column only it
// changed keeps its value; a column both changed, or a snippet it deleted, stores nothing and
// leaves what the user typed in the boxes, in Modify mode.
TEST_F(WindowTest, ModifyNeverUndoesAnotherProgramsChangeNorDropsWhatTheUserTyped)
{
    open({{"Swap", "'d", "x = 1"}});
    form->mnuModify->trigger();
    pick(0);
    libraryRows(QStringLiteral("UPDATE TABLE1 SET code = 'x = 2'"));
    QTest::keyClick(form->Rich1, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(form->Rich1, QStringLiteral(" more"));
    click(form->Command4);
    EXPECT_EQ(said(), QStringList{"The Code has been Modified Successfully."});
    EXPECT_EQ(libraryRows(), QList<QStringList>({{"Swap", "'d more", "x = 2"}}));

    const struct {
        const char *meanwhile, *says;
    } cases[] = {
        {"UPDATE TABLE1 SET code = 'x = 3'",
         "Swap was changed by someone else since you picked it. Nothing was stored."},
        {"DELETE FROM TABLE1", "The code \"Swap\" is no longer in the library; another program may have changed or "
                               "deleted it since the list was filled. Nothing was changed."},
    };
    form->mnuModify->trigger();
    pick(0);
    QTest::keyClick(form->Rich2, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(form->Rich2, QStringLiteral("4"));
    const QString typed = form->Rich2->Text();
    for (const auto &c : cases) {
        const QList<QStringList> rows = libraryRows(QString::fromLatin1(c.meanwhile));
        const QStringList before = seen(form);
        click(form->Command4);
        EXPECT_EQ(said(), QStringList{QString::fromUtf8(c.says)});
        EXPECT_EQ(libraryRows(), rows);
        EXPECT_EQ(seen(form), before);
        EXPECT_TRUE(form->ModifyMode && form->Rich2->Text() == typed) << form->Rich2->Text().toStdString();
    }
}

// A heading longer than a line box takes by default is shown whole for renaming and kept whole.
TEST_F(WindowTest, AHeadingOfAnyLengthIsShownAndStoredWhole)
{
    const QString heading = QString(40000, QLatin1Char('x')) + QStringLiteral("END");
    open({{heading, "' d", "c"}});
    form->mnuModify->trigger();
    pick(0);
    click(form->Command1);
    EXPECT_EQ(form->Text1->text(), heading);
    click(form->Command4);
    EXPECT_EQ(said(), QStringList{"The Code has been Modified Successfully."});
    EXPECT_EQ(libraryRows().value(0).value(0), heading);
}

// The list opens at once at 100,000 headings, and typing in it goes to the first heading that
// begins with what was typed, in any case, non-ASCII included.
TEST_F(WindowTest, TypingInTheOpenListOfAHundredThousandGoesToTheFirstHeadingThatBeginsSo)
{
    open({});
    libraryRows("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 99999) INSERT INTO TABLE1 "
                "SELECT CASE i WHEN 50000 THEN 'Zebra' WHEN 99990 THEN 'Öffnen' WHEN 99991 THEN 'öl' "
                "ELSE 'Heading ' || i END, 'd', 'c' FROM n");
    form->mnuGenerateCode->trigger();
    QTest::keyClick(form->Combo1, Qt::Key_F4);
    QAbstractItemView *view = form->Combo1->view();
    ASSERT_TRUE(view->isVisible());
    for (const auto &[typed, found] :
         {std::pair<QString, QString>{"ze", "Zebra"}, {"ÖL", "öl"}, {"ö", "Öffnen"}, {"heading 7", "Heading 7"}}) {
        QTest::qWait(QApplication::keyboardInputInterval() + 50);            // a new search, not more of the last
        QTest::sendKeyEvent(QTest::Click, view, Qt::Key_unknown, typed, {}); // as an input method types it
        EXPECT_EQ(view->currentIndex().data().toString(), found) << typed.toStdString();
    }
}

// Find would leave what Add or Modify holds unstored: it asks first, and No leaves
// everything in place.
TEST_F(WindowTest, FindAsksBeforeLeavingASnippetWithChangesNotStored)
{
    open(kLibrary);
    const QString leave = "[Yes/No] Leave the snippet you are editing? Your changes are not stored.";
    const struct {
        QAction *mode;
        bool pick;
        QString typed; // into the code box
        int answer;    // 0: no question
    } cases[] = {
        {form->mnuAdd, false, "", 0},   {form->mnuAdd, false, "x = 1", vbNo}, {form->mnuAdd, false, "x = 1", vbYes},
        {form->mnuModify, true, "", 0}, {form->mnuModify, true, "'", vbNo},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode->text().toStdString() + c.typed.toStdString());
        c.mode->trigger();
        if (c.pick)
            pick(0);
        QTest::keyClicks(form->Rich2, c.typed);
        const QStringList before = seen(form);
        const QString code = form->Rich2->Text();
        answers = {c.answer};
        form->mnuFind->trigger();
        EXPECT_EQ(said(), c.answer ? QStringList{leave} : QStringList());
        QPointer<frmFind> find = form->findChild<frmFind *>();
        EXPECT_EQ(bool(find), c.answer != vbNo);
        delete find.data();
        EXPECT_EQ(seen(form), before);
        EXPECT_EQ(form->Rich2->Text(), code);
    }
}

TEST_F(WindowTest, FindListsEachMatchWithItsLineAndPicksItInTheListModeOrInGenerateMode)
{
    open(kLibrary);
    const QStringList xs = {"Swap|' Exchanges two values", " Centre |Dim x As Long", "Other  |If x Then y = 1 'set"};
    const QString centre = "' Centre \r\n\r\n' Puts a form mid-screen\r\n\r\nDim x As Long\r\nMe.Move 0, 0\r\n ";
    const struct {
        QAction *mode; // before Find; none: idle
        QString words;
        int downs; // -1: a double-click on the first
        QStringList listed;
        QString title, picked, shown; // Label4, Combo1, then Rich3 (Rich1 in modify mode)
    } cases[] = {
        {nullptr, "MID form", 0, {" Centre |' Puts a form mid-screen"}, "Generate Code", " Centre ", centre},
        {form->mnuAdd, "x", 2, xs, "Generate Code", "Other  ", "'Other  \r\n\r\n' Another\r\n\r\nIf x Then y = 1 'set"},
        {form->mnuModify, "exchanges", -1, {xs[0]}, "Modify Code", "Swap", "' Exchanges two values"},
    };
    const auto openFind = [this] {
        reactivate();
        QTest::keyClick(form, Qt::Key_F, Qt::ControlModifier);
        return form->findChild<frmFind *>();
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.words.toStdString());
        if (c.mode)
            c.mode->trigger();
        QPointer<frmFind> find = openFind();
        ASSERT_TRUE(find && find->isVisible());
        QTest::keyClicks(find->txtWords, c.words);
        ASSERT_TRUE(qbx::test::waitFor([&] { return find->lstFound->model()->rowCount() > 0; }));
        const QAbstractItemModel *m = find->lstFound->model();
        QStringList listed;
        for (int row = 0; row < m->rowCount(); ++row)
            listed << m->index(row, 0).data().toString() + "|" + m->index(row, 1).data().toString();
        EXPECT_EQ(listed, c.listed);
        EXPECT_EQ(find->lstFound->currentIndex().row(), 0);
        for (int i = 0; i < c.downs; ++i)
            QTest::keyClick(find->txtWords, Qt::Key_Down);
        if (c.downs < 0) {
            const QRect first = find->lstFound->visualRect(find->lstFound->model()->index(0, 1));
            QTest::mouseClick(find->lstFound->viewport(), Qt::LeftButton, {}, first.center());
            QTest::mouseDClick(find->lstFound->viewport(), Qt::LeftButton, {}, first.center());
        } else {
            QTest::keyClick(find->txtWords, Qt::Key_Return);
        }
        EXPECT_TRUE(qbx::test::waitFor([&] { return !find; })) << "the dialog stays";
        EXPECT_EQ(QStringList({form->Label4->text(), form->Combo1->currentText()}), QStringList({c.title, c.picked}));
        EXPECT_EQ((form->ModifyMode ? form->Rich1 : form->Rich3)->Text(), c.shown);
    }
    // A library gone: the user is told, the dialog and the window stay as they were.
    const QStringList before = seen(form);
    frmFind *find = openFind();
    ASSERT_TRUE(find);
    QFile::remove(store::databasePath());
    QTest::keyClicks(find->txtWords, "x");
    QTest::keyClick(find->txtWords, Qt::Key_Return);
    const QStringList told = said();
    ASSERT_EQ(told.size(), 1) << told.join("|").toStdString();
    EXPECT_TRUE(find->isVisible());
    EXPECT_EQ(find->lstFound->model()->rowCount(), 0);
    EXPECT_EQ(seen(form), before);
}

// Many hits: the best comes first whatever its place in the table, and each line is read as
// the list reaches it, the far ones included.
TEST_F(WindowTest, FindRanksItsHitsAndReadsTheLinesOfAListLongerThanAScreen)
{
    QList<QStringList> rows;
    for (int i = 0; i < 260; ++i)
        rows.append({QStringLiteral("Row %1").arg(i), "'", QStringLiteral("a = 1\r\nb = needle%1").arg(i)});
    rows.append({"Needle", "'", "x"});
    open(rows);
    frmFind find(store::SnippetLibrary(store::databasePath()), form);
    find.txtWords->setText("NEEDLE");
    find.search();
    const QAbstractItemModel *m = find.lstFound->model();
    ASSERT_EQ(m->rowCount(), 261);
    EXPECT_EQ(m->index(0, 0).data().toString() + "|" + m->index(0, 1).data().toString(), "Needle|Needle");
    for (int row : {1, 50, 51, 150, 260})
        EXPECT_EQ(m->index(row, 0).data().toString() + "|" + m->index(row, 1).data().toString(),
                  QStringLiteral("Row %1|b = needle%1").arg(row - 1));
    EXPECT_TRUE(said().isEmpty());
}

// Copy Code asks for the blanks of a snippet, with real keys: Tab between the fields, Enter
// copies the text filled in, Esc copies nothing and leaves the window as it was.
TEST_F(WindowTest, CopyCodeAsksForTheBlanksInTheOrderTheyFirstAppear)
{
    open({{"Log", "' Opens ${FileName}", "Open ${FileName:\"C:\\log.txt\"} For Append As #${FileNumber:1}"}});
    form->mnuGenerateCode->trigger();
    pick(0);
    const QStringList shown = seen(form);
    const struct {
        QString keys; // typed into the first field, then Tab, into the second (\x1b: Esc)
        QString copied;
    } cases[] = {
        {"\"D:\\a.txt\"\t2\r", "'Log\r\n\r\n' Opens \"D:\\a.txt\"\r\n\r\nOpen \"D:\\a.txt\" For Append As #2"},
        {"\t\r", "'Log\r\n\r\n' Opens \"C:\\log.txt\"\r\n\r\nOpen \"C:\\log.txt\" For Append As #1"},
        {"x\x1b", "old"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.keys.toStdString());
        QGuiApplication::clipboard()->setText(QStringLiteral("old"));
        QStringList labels;
        QTimer::singleShot(0, form, [&] {
            auto *fill = form->findChild<frmFill *>();
            ASSERT_TRUE(fill);
            const std::shared_ptr<void> closed(nullptr, [fill](void *) {
                if (fill->isVisible())
                    fill->reject(); // whatever happened
            });
            ASSERT_TRUE(QTest::qWaitForWindowActive(fill));
            for (QLineEdit *value : fill->txtValues)
                labels << value->text();
            for (const QChar key : c.keys) {
                QWidget *at = fill->focusWidget();
                key == '\t'     ? QTest::keyClick(at, Qt::Key_Tab)
                : key == '\r'   ? QTest::keyClick(at, Qt::Key_Return)
                : key == '\x1b' ? QTest::keyClick(at, Qt::Key_Escape)
                                : QTest::keyClicks(at, QString(key));
            }
        });
        click(form->Command6);
        EXPECT_EQ(labels, QStringList({"\"C:\\log.txt\"", "1"})) << "the default where a name first has one";
        EXPECT_EQ(QGuiApplication::clipboard()->text(), c.copied);
        EXPECT_EQ(seen(form), shown);
    }
}
