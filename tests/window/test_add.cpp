// Adding a snippet from the window: the three checks, the duplicate test, the stored row,
// the question afterwards, and what a library that cannot be used does to the window.

#include "windowtesting.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTimer>

using namespace quillbox;
using namespace quillbox::test;

namespace {

struct AddFixture : WindowWithLibrary {
    void enterAdd(const QString &heading, const QString &desc, const QString &code)
    {
        form->mnuAdd->trigger();
        form->Text1->setText(heading);
        form->Rich1->setText(desc);
        form->Rich2->setText(code);
    }
};

} // namespace

TEST_F(AddFixture, ChecksRefuseEmptyEntriesOneAtATimeAndStoreNothing)
{
    open();
    struct Case {
        QString heading, desc, code;
        const char *message;
        const char *focus;
    };
    // The description box holds at least its comment mark, which is not empty: an emptied
    // description passes its check.
    const Case cases[] = {
        {QString(), QStringLiteral("'d"), QStringLiteral("c"), "Please Enter a heading for the code", "Text1"},
        {QStringLiteral("    "), QStringLiteral("'d"), QStringLiteral("c"), "Please Enter a heading for the code", "Text1"},
        {QString(), QString(), QString(), "Please Enter a heading for the code", "Text1"},
        {QStringLiteral("h"), QString(), QString(), "Please Enter the code", "Rich2"},
        {QStringLiteral("h"), QStringLiteral("   "), QString(), "Please Enter the code", "Rich2"},
        {QStringLiteral("h"), QStringLiteral("'d"), QString(), "Please Enter the code", "Rich2"},
        {QStringLiteral("h"), QStringLiteral("'d"), QStringLiteral("  "), "Please Enter the code", "Rich2"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        enterAdd(c.heading, c.desc, c.code);
        EXPECT_TRUE(form->Rich1->Text().startsWith(QLatin1Char('\'')));
        messages.shown.clear();
        click(form->Command3);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, QString::fromLatin1(c.message));
        EXPECT_EQ(messages.shown[0].buttons, MsgButtons::OK);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(c.focus));
        EXPECT_TRUE(form->AddMode);
        EXPECT_EQ(form->Text1->text(), c.heading) << "the entries stay";
        EXPECT_FALSE(form->NameExists);
    }
    EXPECT_TRUE(LibraryFile::rows().isEmpty());
}

TEST_F(AddFixture, StoresTheRowExactlyAndAsksWhetherToAddMore)
{
    open();
    struct Case {
        Snippet typed;
        Snippet stored;
    };
    const Case cases[] = {
        // The heading and description lose their spaces; the code keeps everything.
        {{QStringLiteral("  Swap two values  "), QStringLiteral("' Exchanges a and b  "),
          QStringLiteral("  t = a\r\n\r\n  a = b\r\n  b = t  \r\n")},
         {QStringLiteral("Swap two values"), QStringLiteral("' Exchanges a and b"),
          QStringLiteral("  t = a\r\n\r\n  a = b\r\n  b = t  \r\n")}},
        // Apostrophes and quotes are text like any other.
        {{QStringLiteral("It's \"quoted\""), QStringLiteral("' Don't \"panic\"\r\n' line two"),
          QStringLiteral("MsgBox \"It's\" & 'comment")},
         {QStringLiteral("It's \"quoted\""), QStringLiteral("' Don't \"panic\"\r\n' line two"),
          QStringLiteral("MsgBox \"It's\" & 'comment")}},
        // Tabs and line breaks are not spaces: such entries are not empty and are kept.
        {{QStringLiteral("\tTabbed"), QStringLiteral("'\r\n"), QStringLiteral("\t")},
         {QStringLiteral("\tTabbed"), QStringLiteral("'\r\n"), QStringLiteral("\t")}},
        // A description without its mark gets one.
        {{QStringLiteral("Marked"), QStringLiteral("no mark"), QStringLiteral("x")},
         {QStringLiteral("Marked"), QStringLiteral("'no mark"), QStringLiteral("x")}},
        // A description holding only the comment mark passes.
        {{QStringLiteral("Größe ändern"), QStringLiteral("'"), QStringLiteral("x = 1")},
         {QStringLiteral("Größe ändern"), QStringLiteral("'"), QStringLiteral("x = 1")}},
    };
    QList<Snippet> expected;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.name.toStdString());
        enterAdd(c.typed.name, c.typed.desc, c.typed.code);
        messages.shown.clear();
        messages.answers = {vbYes};
        click(form->Command3);
        expected << c.stored;
        EXPECT_EQ(LibraryFile::rows(), expected);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text,
                  QStringLiteral("The Code has been added Successfully. Do you want to add more code?"));
        EXPECT_EQ(messages.shown[0].buttons, MsgButtons::YesNo);
        EXPECT_EQ(messages.shown[0].title, QStringLiteral("Quillbox"));
        EXPECT_EQ(form->AnswerText, QStringLiteral("6"));
        // Yes: ready for the next one, still adding.
        EXPECT_TRUE(form->AddMode);
        EXPECT_TRUE(form->Text1->text().isEmpty());
        EXPECT_EQ(form->Rich1->Text(), QStringLiteral("'"));
        EXPECT_TRUE(form->Rich2->Text().isEmpty());
        EXPECT_TRUE(form->Text1->isVisible());
        EXPECT_FALSE(form->NameExists);
    }
}

TEST_F(AddFixture, NoAfterAddingReturnsToIdle)
{
    open({{QStringLiteral("First"), QStringLiteral("'d"), QStringLiteral("c")}});
    enterAdd(QStringLiteral("Second"), QStringLiteral("'d"), QStringLiteral("c"));
    messages.answers = {vbNo};
    click(form->Command3);
    EXPECT_EQ(form->AnswerText, QStringLiteral("7"));
    EXPECT_FALSE(form->AddMode);
    EXPECT_TRUE(WindowState::of(form).visible.isEmpty());
    EXPECT_EQ(LibraryFile::rows().size(), 2);
    EXPECT_EQ(LibraryFile::rows().last().name, QStringLiteral("Second"));
}

TEST_F(AddFixture, TakenHeadingIsRefusedWhateverItsCaseAndSpaces)
{
    const QList<Snippet> library = {{QStringLiteral("Swap Two Values"), QStringLiteral("'d"), QStringLiteral("c")},
                                    {QStringLiteral("  Padded  "), QStringLiteral("'d"), QStringLiteral("c")},
                                    {QStringLiteral("straße"), QStringLiteral("'d"), QStringLiteral("c")}};
    open(library);
    struct Case {
        QString typed;
        int selectionLength; // the heading without its spaces, counted from the first character
    };
    const Case cases[] = {
        {QStringLiteral("swap two values"), 15},
        {QStringLiteral("SWAP TWO VALUES"), 15},
        {QStringLiteral("   swap two values"), 15}, // covers the spaces, falls short of the end
        {QStringLiteral("padded"), 6},
        {QStringLiteral("STRASSE"), 7},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        enterAdd(c.typed, QStringLiteral("' new"), QStringLiteral("new"));
        messages.shown.clear();
        click(form->Command3);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, QStringLiteral("This Code Name Already Exists"));
        EXPECT_EQ(QApplication::focusWidget(), form->Text1);
        EXPECT_EQ(form->Text1->selectionStart(), 0);
        EXPECT_EQ(form->Text1->selectedText().size(), c.selectionLength);
        EXPECT_EQ(form->Text1->text(), c.typed);
        EXPECT_EQ(form->Rich2->Text(), QStringLiteral("new"));
        EXPECT_TRUE(form->AddMode);
        EXPECT_FALSE(form->NameExists);
    }
    EXPECT_EQ(LibraryFile::rows(), library);

    // A heading that only resembles one is not taken.
    enterAdd(QStringLiteral("Swap Two Values 2"), QStringLiteral("'d"), QStringLiteral("c"));
    messages.answers = {vbNo};
    click(form->Command3);
    EXPECT_EQ(LibraryFile::rows().size(), library.size() + 1);
}

TEST_F(AddFixture, QuestionAfterAddingIsARealYesNoBox)
{
    open();
    enterAdd(QStringLiteral("Real box"), QStringLiteral("'d"), QStringLiteral("c"));
    MessageService::setResponder(nullptr); // the real boxes for this test
    QString title, text;
    QStringList buttons;
    bool iconless = false;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        iconless = box->icon() == QMessageBox::NoIcon;
        for (QAbstractButton *b : box->buttons())
            buttons << b->text().remove(QLatin1Char('&'));
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    });
    click(form->Command3);
    EXPECT_EQ(title, QStringLiteral("Quillbox"));
    EXPECT_EQ(text, QStringLiteral("The Code has been added Successfully. Do you want to add more code?"));
    EXPECT_TRUE(iconless);
    buttons.sort();
    EXPECT_EQ(buttons, QStringList({QStringLiteral("No"), QStringLiteral("Yes")}));
    EXPECT_EQ(form->AnswerText, QStringLiteral("7"));
    EXPECT_FALSE(form->AddMode);
}

// A library that cannot be used: one message naming the problem and the file, the window
// exactly as it was, nothing stored, nothing left open.
TEST_F(AddFixture, BrokenLibraryIsReportedAndTheWindowStaysAsItWas)
{
    struct Case {
        const char *what;
        std::function<void()> spoil;
        const char *says;
    };
    const Case cases[] = {
        {"missing file", [] { QFile::remove(store::databasePath()); }, "quillbox init"},
        {"missing folder", [] { QDir(store::libraryFolder()).removeRecursively(); }, "quillbox init"},
        {"not a database",
         [] {
             QFile f(store::databasePath());
             f.open(QIODevice::WriteOnly | QIODevice::Truncate);
             f.write(QByteArray(4096, 'x'));
         },
         "not an SQLite database"},
        {"no table",
         [] {
             {
                 QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("spoil"));
                 db.setDatabaseName(store::databasePath());
                 db.open();
                 QSqlQuery(QStringLiteral("DROP TABLE TABLE1"), db);
             }
             QSqlDatabase::removeDatabase(QStringLiteral("spoil"));
         },
         "no table TABLE1"},
        {"no code column",
         [] {
             {
                 QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("spoil"));
                 db.setDatabaseName(store::databasePath());
                 db.open();
                 QSqlQuery(QStringLiteral("DROP TABLE TABLE1"), db);
                 QSqlQuery(QStringLiteral("CREATE TABLE TABLE1 (CodeName TEXT, CodeDesc TEXT)"), db);
             }
             QSqlDatabase::removeDatabase(QStringLiteral("spoil"));
         },
         "no column code"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        qbx::test::FreshUserFolders fresh;
        open({{QStringLiteral("Kept"), QStringLiteral("'d"), QStringLiteral("c")}});

        // In a list mode with a heading list, then in add mode with typed entries.
        form->mnuGenerateCode->trigger();
        c.spoil();
        const WindowState generating = WindowState::of(form);
        messages.shown.clear();
        form->mnuModify->trigger();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].text.contains(QString::fromLatin1(c.says))) << messages.shown[0].text.toStdString();
        EXPECT_TRUE(messages.shown[0].text.contains(QDir::toNativeSeparators(store::databasePath())));
        EXPECT_EQ(WindowState::of(form), generating);

        form->mnuAdd->trigger();
        form->Text1->setText(QStringLiteral("New one"));
        form->Rich1->setText(QStringLiteral("' about it"));
        form->Rich2->setText(QStringLiteral("code"));
        const WindowState adding = WindowState::of(form);
        messages.shown.clear();
        click(form->Command3);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].text.contains(QString::fromLatin1(c.says)));
        EXPECT_EQ(WindowState::of(form), adding);
        EXPECT_FALSE(form->NameExists);
        EXPECT_EQ(form->DbConnection, nullptr);
        EXPECT_EQ(form->DbRecordset, nullptr);
        EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
        // The window never creates the library.
        if (std::string(c.what).starts_with("missing")) {
            EXPECT_FALSE(QFile::exists(store::databasePath()));
        }
        delete form.data();
    }
}

TEST_F(AddFixture, FullDiskStoresNothingAndKeepsTheEntries)
{
    open({{QStringLiteral("Kept"), QStringLiteral("'d"), QStringLiteral("c")}});
    const auto before = LibraryFile::rows();
    // The file may not grow by a single page.
    store::DbConnection::setOpenHook([](QSqlDatabase &db) {
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA page_count"));
        q.next();
        const int pages = q.value(0).toInt();
        q.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages));
    });
    enterAdd(QStringLiteral("Too big"), QStringLiteral("' big"), QString(200000, QLatin1Char('x')));
    const WindowState adding = WindowState::of(form);
    click(form->Command3);
    store::DbConnection::setOpenHook(nullptr);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("no room left")));
    EXPECT_EQ(WindowState::of(form), adding);
    EXPECT_EQ(LibraryFile::rows(), before);
}

TEST_F(AddFixture, LockedLibraryIsReportedAfterTheWaitAndNothingIsStored)
{
    open({{QStringLiteral("Kept"), QStringLiteral("'d"), QStringLiteral("c")}});
    store::DbConnection::setBusyTimeout(200);
    {
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        holder.setDatabaseName(store::databasePath());
        ASSERT_TRUE(holder.open());
        QSqlQuery q(holder);
        ASSERT_TRUE(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        enterAdd(QStringLiteral("Blocked"), QStringLiteral("' d"), QStringLiteral("c"));
        const WindowState adding = WindowState::of(form);
        click(form->Command3);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("in use by another program")));
        EXPECT_EQ(WindowState::of(form), adding);
        q.exec(QStringLiteral("ROLLBACK"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    store::DbConnection::setBusyTimeout(3000);
    EXPECT_EQ(LibraryFile::rows().size(), 1);
    // Once the other program lets go, the same entries are stored.
    messages.answers = {vbNo};
    click(form->Command3);
    EXPECT_EQ(LibraryFile::rows().size(), 2);
}

TEST_F(AddFixture, ReadOnlyLibraryIsReportedAndNothingIsStored)
{
    if (qbx::test::rerunUnprivileged())
        return;
    for (const bool folder : {false, true}) {
        SCOPED_TRACE(folder ? "read-only folder" : "read-only file");
        qbx::test::FreshUserFolders fresh;
        open({{QStringLiteral("Kept"), QStringLiteral("'d"), QStringLiteral("c")}});
        const QString target = folder ? store::libraryFolder() : store::databasePath();
        const auto perms = QFile::permissions(target);
        QFile::setPermissions(target, folder ? QFileDevice::ReadOwner | QFileDevice::ExeOwner : QFileDevice::ReadOwner);
        enterAdd(QStringLiteral("Refused"), QStringLiteral("' d"), QStringLiteral("c"));
        const WindowState adding = WindowState::of(form);
        messages.shown.clear();
        click(form->Command3);
        QFile::setPermissions(target, perms);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("read-only"))) << messages.shown[0].text.toStdString();
        EXPECT_EQ(WindowState::of(form), adding);
        EXPECT_EQ(LibraryFile::rows().size(), 1);
        delete form.data();
    }
}
