// Adding a snippet from the window: the entry checks one at a time, a heading taken already,
// the row as stored, and the question afterwards (its No answered in the real box).

#include "window/windowtesting.h"

#include <QMessageBox>
#include <QTimer>

using namespace quillbox;
using namespace quillbox::test;

TEST_F(WindowTest, AddRefusesEmptyEntriesOneAtATimeAndATakenHeading)
{
    open({{"Swap Two Values", "'d", "c"}});
    // The description box is never empty: it holds at least its comment mark. A taken heading
    // is selected from its first character, as long as the heading without its spaces.
    const struct {
        QString heading, code;
        const char *message, *focus;
        QString selected;
    } cases[] = {
        {"", "", "Please Enter a heading for the code", "Text1", ""},
        {"   ", "x = 1", "Please Enter a heading for the code", "Text1", ""},
        {"Swap", "", "Please Enter the code", "Rich2", ""},
        {"Swap", "  ", "Please Enter the code", "Rich2", ""},
        {"   swap two VALUES", "new", "This Code Name Already Exists", "Text1", "   swap two VAL"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        toolbar("tbAdd");
        QTest::keyClicks(form->Text1, c.heading);
        QTest::keyClicks(form->Rich2, c.code);
        const QStringList before = seen(form);
        click(form->Command3);
        EXPECT_EQ(said(), QStringList{c.message});
        EXPECT_EQ(focusedName(), c.focus);
        EXPECT_EQ(form->Text1->selectedText(), c.selected);
        EXPECT_EQ(seen(form), before) << "the entries stay";
    }
    EXPECT_EQ(libraryRows().size(), 1);
}

TEST_F(WindowTest, AddStoresTheSnippetAndAsksWhetherToAddMore)
{
    open({});
    // The heading and the description lose their spaces, the code keeps everything; tabs are no spaces.
    const struct {
        QStringList typed, stored;
        int answer;
    } cases[] = {
        {{"  Swap two values  ", "' Exchanges a and b  ", "  t = a\r\n\r\n  b = t  \r\n"},
         {"Swap two values", "' Exchanges a and b", "  t = a\r\n\r\n  b = t  \r\n"},
         vbYes},
        {{"\tGröße", "no mark", "\t"}, {"\tGröße", "'no mark", "\t"}, vbNo},
    };
    QList<QStringList> stored;
    for (const auto &c : cases) {
        toolbar("tbAdd");
        const QStringList adding = seen(form);
        form->Text1->setText(c.typed[0]);
        form->Rich1->setText(c.typed[1]);
        form->Rich2->setText(c.typed[2]);
        if (c.answer == vbNo) { // the real box, with its title, answered with the mouse
            MessageService::setResponder(nullptr);
            QTimer::singleShot(0, [this] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                ASSERT_NE(box, nullptr);
                EXPECT_EQ(box->windowTitle(), QStringLiteral("Quillbox"));
                shown << (box->button(QMessageBox::Yes) ? "[Yes/No] " : "") + box->text();
                if (QAbstractButton *no = box->button(QMessageBox::No))
                    QTest::mouseClick(no, Qt::LeftButton);
                else
                    box->reject();
            });
        }
        click(form->Command3);
        EXPECT_EQ(libraryRows(), stored << c.stored);
        EXPECT_EQ(said(), QStringList{"[Yes/No] The Code has been added Successfully. Do you want to add more code?"});
        EXPECT_EQ(seen(form), c.answer == vbYes ? adding : QStringList()) << "Yes: ready for the next one";
    }
}
