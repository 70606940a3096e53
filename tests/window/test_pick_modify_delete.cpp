// Picking a heading and what each list mode does with the picked snippet: showing it
// coloured, copying it, changing and deleting it; a snippet gone since the list was filled,
// and a library gone missing.

#include "window/windowtesting.h"

#include "store/database.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMimeData>

#include <functional>

using namespace quillbox;
using namespace quillbox::test;

namespace {

const QList<QStringList> kLibrary = {{"Swap", "' Exchanges two values", "t = a\r\na = b"},
                                     {" Centre ", "' Puts a form mid-screen", "Dim x As Long\r\nMe.Move 0, 0"},
                                     {"Other  ", "' Another", "If x Then y = 1 'set"}};
const QString kDeleteQuestion =
    QStringLiteral("[Yes/No] Are you sure you want to delete the code? Once deleted, the code cannot be recovered!");

} // namespace

TEST_F(WindowTest, PickShowsTheSnippetColouredAndCopyCodeCopiesItAsPlainText)
{
    open(kLibrary);
    std::vector<bool> cancelDuringRead;
    store::DbConnection::setOpenHook([&](QSqlDatabase &) { cancelDuringRead.push_back(form->Command2->isEnabled()); });
    const std::shared_ptr<void> unhook(nullptr, [](void *) { store::DbConnection::setOpenHook(nullptr); });
    const QString composed[] = {"'Swap\r\n\r\n' Exchanges two values\r\n\r\nt = a\r\na = b",
                                "' Centre \r\n\r\n' Puts a form mid-screen\r\n\r\nDim x As Long\r\nMe.Move 0, 0"};
    const std::pair<QAction *, QStringList> modes[] = {{form->mnuModify, {"Command1", "Command2", "Command4"}},
                                                       {form->mnuDelete, {"Command2", "Command5"}},
                                                       {form->mnuGenerateCode, {"Command2", "Command6"}}};
    for (const auto &[menu, buttons] : modes) {
        menu->trigger();
        EXPECT_TRUE(form->Rich3->Text().isEmpty()) << "the last mode's snippet is gone";
        for (const int entry : {1, 0}) {
            SCOPED_TRACE(form->Label4->text().toStdString() + ", entry " + std::to_string(entry));
            cancelDuringRead.clear();
            pick(entry);
            EXPECT_EQ(cancelDuringRead, std::vector<bool>{false}) << "Cancel waits while the pick reads";
            EXPECT_EQ(form->Combo1->currentText(), kLibrary[entry][0]);
            if (menu == form->mnuModify) {
                EXPECT_EQ(QStringList({form->Rich1->Text(), form->Rich2->Text()}), kLibrary[entry].mid(1));
                EXPECT_GT(colouredRuns(form->Rich1), 0);
                colouredRuns(form->Rich2);
            } else {
                EXPECT_EQ(form->Rich3->Text(), composed[entry]);
                EXPECT_GT(colouredRuns(form->Rich3), 0);
            }
            EXPECT_EQ(seen(form).filter(QStringLiteral("Command")), buttons);
        }
    }
    // Whatever the clipboard held, rich text included, is replaced by the display's plain text.
    auto *old = new QMimeData;
    old->setHtml(QStringLiteral("<b>old</b>"));
    QGuiApplication::clipboard()->setMimeData(old);
    const QStringList before = seen(form);
    click(form->Command6);
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->formats(), QStringList{"text/plain"});
    EXPECT_EQ(QGuiApplication::clipboard()->text(), composed[0]);
    EXPECT_EQ(seen(form), before);
    EXPECT_TRUE(said().isEmpty());
    EXPECT_EQ(libraryRows(), kLibrary) << "picking writes nothing";
}

TEST_F(WindowTest, ModifyStoresTheEntriesUnderThePickedOrChangedHeadingOrRefusesThem)
{
    open(kLibrary);
    // renamed null: Change Heading is not used. stored null: refused, the window stays as it was.
    const struct {
        int entry;
        QString code, renamed;
        const char *message, *focus;
        QString selected, stored;
    } cases[] = {
        {1, "x", "", "Please Enter a heading for the code", "Text1", {}, {}},
        {1, "x", "  other", "This Code Name Already Exists", "Text1", "  oth", {}},
        {0, "   ", {}, "Please Enter the code", "Rich2", {}, {}},
        {1, "new  ", "  Renamed ", "The Code has been Modified Successfully.", nullptr, {}, "Renamed"},
        {2, "new  ", {}, "The Code has been Modified Successfully.", nullptr, {}, "Other"},
    };
    QList<QStringList> rows = kLibrary;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        form->mnuModify->trigger();
        pick(c.entry);
        form->Rich1->setText(QStringLiteral("' New words  "));
        form->Rich2->setText(c.code);
        if (!c.renamed.isNull()) {
            click(form->Command1);
            // The heading box takes the list's place, the heading selected from its start.
            EXPECT_EQ(seen(form).filter(QRegularExpression(QStringLiteral("^(Co|Te)"))),
                      QStringList({"Command1:off", "Command2", "Command4", "Text1= Centre "}));
            EXPECT_EQ(form->Text1->selectedText(), QStringLiteral(" Centr"));
            QTest::keyClick(form->Text1, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(form->Text1, Qt::Key_Backspace);
            QTest::keyClicks(form->Text1, c.renamed);
        }
        const QStringList before = seen(form);
        click(form->Command4);
        EXPECT_EQ(said(), QStringList{c.message});
        if (c.stored.isNull()) {
            EXPECT_EQ(seen(form), before);
            EXPECT_EQ(focusedName(), c.focus);
            EXPECT_EQ(form->Text1->selectedText(), c.selected);
        } else {
            EXPECT_TRUE(seen(form).isEmpty());
            rows[c.entry] = QStringList{c.stored, "' New words", c.code};
        }
        EXPECT_EQ(libraryRows(), rows);
    }
}

TEST_F(WindowTest, DeleteAsksFirstAndRemovesTheSnippetOnYesOnly)
{
    open(kLibrary);
    toolbar("tbDelete");
    pick(1);
    const QStringList before = seen(form);
    answers = {vbNo};
    click(form->Command5);
    EXPECT_EQ(said(), QStringList{kDeleteQuestion});
    EXPECT_EQ(seen(form), before);
    EXPECT_EQ(libraryRows(), kLibrary);
    click(form->Command5);
    EXPECT_EQ(said(), QStringList({kDeleteQuestion, "The Code has been Deleted Successfully."}));
    EXPECT_TRUE(seen(form).isEmpty());
    EXPECT_EQ(libraryRows(), QList<QStringList>({kLibrary[0], kLibrary[2]}));
}

// Between filling the list and using it, another program renames the snippet (in case only)
// or removes the library: the user is told; a snippet gone sends the window back to idle, a
// library gone leaves it as it was. Nothing is written and the library is never created.
TEST_F(WindowTest, SnippetOrLibraryGoneSinceTheListWasFilledIsTold)
{
    const QString gone = QStringLiteral("The code \"Swap\" is no longer in the library; another program may have "
                                        "changed or deleted it since the list was filled. Nothing was changed.");
    const QString missing = QStringLiteral("The snippet library %1 was not found. To create an empty library there, "
                                           "run the command: quillbox init")
                                .arg(QDir::toNativeSeparators(store::databasePath()));
    const struct {
        const char *what;
        QAction *frmAddIn::*menu;
        bool pickFirst;
        std::function<void()> act;
        bool snippetOnly;
    } cases[] = {
        {"picking", &frmAddIn::mnuGenerateCode, false, [this] { pick(0); }, true},
        {"modifying", &frmAddIn::mnuModify, true, [this] { click(form->Command4); }, true},
        {"deleting", &frmAddIn::mnuDelete, true, [this] { click(form->Command5); }, true},
        {"choosing a list mode", &frmAddIn::mnuGenerateCode, true, [this] { form->mnuModify->trigger(); }, false},
        {"picking another heading", &frmAddIn::mnuGenerateCode, true, [this] { pick(1); }, false},
        {"adding", &frmAddIn::mnuAdd, false, [this] { click(form->Command3); }, false},
        {"modifying", &frmAddIn::mnuModify, true, [this] { click(form->Command4); }, false},
        {"deleting", &frmAddIn::mnuDelete, true, [this] { click(form->Command5); }, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.what) + (c.snippetOnly ? " a snippet gone" : " the library gone"));
        delete form.data();
        QFile::remove(store::databasePath()); // a fresh library for each case
        open(kLibrary);
        (form->*c.menu)->trigger();
        if (c.pickFirst)
            pick(0);
        if (c.menu == &frmAddIn::mnuAdd) {
            QTest::keyClicks(form->Text1, QStringLiteral("New"));
            QTest::keyClicks(form->Rich2, QStringLiteral("x"));
        }
        const QStringList before = seen(form);
        if (c.snippetOnly) {
            libraryRows(QStringLiteral("UPDATE TABLE1 SET CodeName = 'SWAP' WHERE CodeName = 'Swap'"));
        } else {
            ASSERT_TRUE(QFile::remove(store::databasePath()));
        }
        c.act();
        QStringList texts = said();
        texts.removeAll(kDeleteQuestion);
        EXPECT_EQ(texts, QStringList{c.snippetOnly ? gone : missing});
        EXPECT_EQ(seen(form), c.snippetOnly ? QStringList() : before);
        if (c.snippetOnly) {
            EXPECT_EQ(libraryRows(QStringLiteral("UPDATE TABLE1 SET CodeName = 'Swap' WHERE CodeName = 'SWAP'")),
                      kLibrary);
        } else {
            EXPECT_FALSE(QFile::exists(store::databasePath()));
        }
    }
}
