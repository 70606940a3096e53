// The window's handling of the description and code boxes: the comment mark on every
// description line, Enter, pastes formatted behind the wait note, and edits enabling Modify
// in modify mode only.

#include "window/windowtesting.h"

#include <QClipboard>
#include <QProgressBar>
#include <QSignalBlocker>

using namespace quillbox;
using namespace quillbox::test;

TEST_F(WindowTest, DescriptionKeepsItsCommentMarkWhateverIsTyped)
{
    open({});
    const struct {
        const char *what;
        QString start; // set without its Change when it lacks the mark, the caret at its end
        const char *keys;
        QString text;
        bool coloured; // every line coloured again
    } cases[] = {
        {"a letter into the emptied box", "'", "a", "'a", false},
        {"a letter without the mark", "abc\r\ndef", "x", "'x", false},
        {"a space without the mark", "abc", " ", "abc", false},
        {"Enter", "'abc\r\n'd", "\r", "'abc\r\n'd\r\n'", true},
        {"everything deleted", "'a", "\b\b", "'", true},
    };
    for (QAction *mode : {form->mnuAdd, form->mnuModify}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(c.what + mode->text().toStdString());
            mode->trigger();
            RichTextBox *box = form->Rich1;
            {
                const QSignalBlocker hold(c.start.startsWith(QLatin1Char('\'')) ? nullptr : box);
                box->setText(c.start);
            }
            box->setSelStart(int(c.start.size()));
            form->Command4->setEnabled(false);
            form->Label5->setVisible(true);
            QTest::keyClicks(box, QString::fromLatin1(c.keys));
            EXPECT_FALSE(form->Label5->isVisible()) << "a key hides the wait note";
            EXPECT_EQ(box->Text(), c.text);
            EXPECT_EQ(box->SelStart(), c.text.size()) << "the caret behind the text";
            if (c.coloured)
                colouredRuns(box);
            EXPECT_EQ(form->Command4->isEnabled(), mode == form->mnuModify && c.text != c.start) << "an edit";
        }
    }
}

TEST_F(WindowTest, KeysAndMouseMovesColourTheCaretsLineInEitherBox)
{
    open({});
    form->mnuAdd->trigger();
    int moves = 0;
    for (RichTextBox *box : {form->Rich1, form->Rich2}) {
        for (const bool mouse : {false, true}) {
            box->setText(box == form->Rich1 ? QStringLiteral("'a comment") : QStringLiteral("dim y 'z")); // black
            box->setSelStart(int(box->Text().size()));
            if (mouse)
                QTest::mouseMove(box->viewport(), QPoint(10 + 7 * ++moves, 8));
            else
                QTest::keyClick(box, Qt::Key_Left);
            EXPECT_GT(colouredRuns(box), 0) << box->objectName().toStdString() << (mouse ? " mouse" : " key");
        }
    }
}

// A paste marks every description line or colours every code line, with the note and the
// bar shown and Cancel (description) or Add (code) waiting meanwhile.
TEST_F(WindowTest, PasteIsFormattedLineByLineBehindTheWaitNote)
{
    open({});
    const struct {
        RichTextBox *frmAddIn::*box;
        QPushButton *frmAddIn::*waits;
        QString pasted, text;
    } cases[] = {
        {&frmAddIn::Rich1, &frmAddIn::Command2, "one\ntwo\n  'kept\ndim x", "'one\r\n'two\r\n  'kept\r\n'dim x"},
        {&frmAddIn::Rich2, &frmAddIn::Command3, "dim x as long\r\nif x then x = 1 'set",
         "Dim x As Long\r\nIf x Then x = 1 'set"},
    };
    for (QAction *mode : {form->mnuAdd, form->mnuModify}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(c.pasted.toStdString() + mode->text().toStdString());
            mode->trigger();
            RichTextBox *box = form->*c.box;
            QPushButton *waits = form->*c.waits;
            const bool wasEnabled = waits->isEnabled();
            std::vector<std::pair<bool, bool>> barAndButton; // at every change made behind the note
            const auto watch = QObject::connect(box, &RichTextBox::Change, form, [&] {
                if (form->Label5->isVisible())
                    barAndButton.emplace_back(form->ProgressBar1->isVisible(), waits->isEnabled());
            });
            QGuiApplication::clipboard()->setText(c.pasted);
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
            QObject::disconnect(watch);
            EXPECT_EQ(box->Text(), c.text);
            colouredRuns(box);
            EXPECT_FALSE(barAndButton.empty());
            EXPECT_EQ(barAndButton, decltype(barAndButton)(barAndButton.size(), {true, false}));
            EXPECT_FALSE(form->Label5->isVisible() || form->ProgressBar1->isVisible());
            EXPECT_EQ(waits->isEnabled(), wasEnabled);
            EXPECT_EQ(form->Command4->isEnabled(), mode == form->mnuModify);
        }
    }
}
