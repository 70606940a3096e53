// The window's handling of the description and code boxes: the comment mark on every
// description line, Enter, pastes formatted behind the wait note, edits enabling Modify in
// modify mode only, and undo and redo a typing run at a time.

#include "window/windowtesting.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QTextCursor>

#include <string_view>

using namespace quillbox;
using namespace quillbox::window;
using namespace quillbox::test;

TEST_F(WindowTest, DescriptionKeepsItsCommentMarkWhateverIsTyped)
{
    open({});
    const struct {
        QString start; // the caret at its end
        const char *keys;
        QString text;
    } cases[] = {
        {"'abc\r\n'd", "\r", "'abc\r\n'd\r\n'"},
        {"'a", "\b\b", "'"},
    };
    for (QAction *mode : {form->mnuAdd, form->mnuModify}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(c.text.toStdString() + mode->text().toStdString());
            mode->trigger();
            form->Rich1->setText(c.start);
            form->Rich1->setSelStart(int(c.start.size()));
            form->Command4->setEnabled(false);
            form->Label5->setVisible(true);
            QTest::keyClicks(form->Rich1, QString::fromLatin1(c.keys));
            EXPECT_FALSE(form->Label5->isVisible()) << "a key hides the wait note";
            EXPECT_EQ(form->Rich1->Text(), c.text);
            EXPECT_EQ(form->Rich1->SelStart(), c.text.size()) << "the caret behind the text";
            colouredRuns(form->Rich1);
            EXPECT_EQ(form->Command4->isEnabled(), mode == form->mnuModify) << "an edit enables Modify";
        }
    }
}

TEST_F(WindowTest, KeysAndMouseMovesColourTheCaretsLineInEitherBox)
{
    open({});
    form->mnuAdd->trigger();
    for (RichTextBox *box : {form->Rich1, form->Rich2}) {
        for (const bool mouse : {false, true}) {
            box->setText(QStringLiteral("'a comment")); // black
            mouse ? QTest::mouseMove(box->viewport(), QPoint(20, 8)) : QTest::keyClick(box, Qt::Key_Left);
            EXPECT_GT(colouredRuns(box), 0) << box->objectName().toStdString() << (mouse ? " mouse" : " key");
        }
    }
}

// How text comes into a box: the keys, the context menu, a drop, a middle click.
enum class Way { CtrlV, ShiftInsert, Menu, Drop, MiddleClick };

void pasteInto(RichTextBox *box, const QString &text, Way way)
{
    QMimeData source;
    source.setText(text);
    QGuiApplication::clipboard()->setText(text);
    QTextCursor atEnd(box->document());
    atEnd.movePosition(QTextCursor::End);
    const QPoint end = box->cursorRect(atEnd).center();
    switch (way) {
    case Way::CtrlV:
        return QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    case Way::ShiftInsert:
        return QTest::keyClick(box, Qt::Key_Insert, Qt::ShiftModifier);
    case Way::Menu: {
        const std::unique_ptr<QMenu> menu(box->createStandardContextMenu());
        return menu->findChild<QAction *>(QStringLiteral("edit-paste"))->trigger();
    }
    case Way::Drop: {
        // The box takes a drop after the drag has entered it.
        QDragEnterEvent enter(end, Qt::CopyAction, &source, Qt::LeftButton, {});
        QApplication::sendEvent(box->viewport(), &enter);
        QDropEvent drop(end, Qt::CopyAction, &source, Qt::LeftButton, {});
        QApplication::sendEvent(box->viewport(), &drop);
        return;
    }
    case Way::MiddleClick:
        QGuiApplication::clipboard()->setText(text, QClipboard::Selection);
        return QTest::mouseClick(box->viewport(), Qt::MiddleButton, {}, end);
    }
}

// A paste marks every description line or colours every code line, with the note and the
// bar shown and Cancel (description) or Add (code) waiting meanwhile, whichever way the text
// came in.
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
    std::vector<Way> ways{Way::CtrlV, Way::ShiftInsert, Way::Menu, Way::Drop};
    if (QGuiApplication::clipboard()->supportsSelection())
        ways.push_back(Way::MiddleClick); // the offscreen platform has no primary selection
    for (QAction *mode : {form->mnuAdd, form->mnuModify}) {
        for (const auto &c : cases) {
            for (const Way way : ways) {
                SCOPED_TRACE(c.pasted.toStdString() + mode->text().toStdString() + " way " + std::to_string(int(way)));
                mode->trigger();
                RichTextBox *box = form->*c.box;
                QPushButton *waits = form->*c.waits;
                const bool wasEnabled = waits->isEnabled();
                std::vector<std::pair<bool, bool>> barAndButton; // at every change made behind the note
                const auto watch = QObject::connect(box, &RichTextBox::Change, form, [&] {
                    if (form->Label5->isVisible())
                        barAndButton.emplace_back(form->ProgressBar1->isVisible(), waits->isEnabled());
                });
                pasteInto(box, c.pasted, way);
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
}

// Ctrl+Z and the context menu's Undo take back a typing run at a time: characters typed one
// after the other, until a space behind other characters, Enter, another key (Left) or a
// pause ('|'); the case rewrite made as a word is left goes with the run that typed the word.
// Each undo puts the caret ('^') back where the run began; Ctrl+Y and the menu's Redo walk
// forward again. The keys and the menu take turns, and the box is coloured after each step
// at once. The display box takes no keys: its rewritten text stays.
TEST_F(WindowTest, UndoTakesBackATypingRunAtATimeAndTheBoxIsColouredAtOnce)
{
    open({{"Swap", "'x", "dim t as long"}});
    qint64 now = 0;
    const struct {
        QAction *frmAddIn::*mode;
        RichTextBox *frmAddIn::*box;
        const char *keys;
        QStringList states; // the text once typed (and rewritten as Ctrl goes down), then after each undo
    } cases[] = {
        {&frmAddIn::mnuAdd, &frmAddIn::Rich2, "dim x as long", {"Dim x As Long", "Dim x As^", "Dim x^", "Dim^", "^"}},
        {&frmAddIn::mnuAdd, &frmAddIn::Rich2, "di|m x", {"Dim x", "Dim^", "di^", "^"}},
        {&frmAddIn::mnuAdd,
         &frmAddIn::Rich2,
         "dim\rx =  1",
         {"Dim\r\nx =  1", "Dim\r\nx =^", "Dim\r\nx^", "Dim\r\n^", "Dim^", "^"}},
        {&frmAddIn::mnuAdd, &frmAddIn::Rich2, "endif<x", {"End Ixf", "End I^f", "^"}},
        {&frmAddIn::mnuAdd, &frmAddIn::Rich1, "ab cd", {"'ab cd", "'ab^", "'^"}},
        {&frmAddIn::mnuGenerateCode,
         &frmAddIn::Rich3,
         "x",
         {"'Swap\r\n\r\n'x\r\n\r\nDim t As Long", "'Swap\r\n\r\n'x\r\n\r\n^Dim t As Long"}},
    };
    for (const auto &c : cases) {
        RichTextBox *box = form->*c.box;
        SCOPED_TRACE(box->objectName().toStdString() + " " + c.keys);
        (form->*c.mode)->trigger();
        if (c.box == &frmAddIn::Rich3)
            pick(0);
        box->setTypingClock([&now] { return now; });
        for (const char key : std::string_view(c.keys)) {
            if (key == '|')
                now += RichTextBox::TypingPauseMs;
            else if (key == '<' || key == '\r')
                QTest::keyClick(box, key == '<' ? Qt::Key_Left : Qt::Key_Return);
            else
                QTest::keyClicks(box, QString(QLatin1Char(key)));
        }
        int turn = 0;
        const auto step = [&](bool undo) {
            if (turn++ % 2 == 0) {
                QTest::keyClick(box, undo ? Qt::Key_Z : Qt::Key_Y, Qt::ControlModifier);
            } else {
                QContextMenuEvent event(QContextMenuEvent::Keyboard, {4, 4},
                                        box->viewport()->mapToGlobal(QPoint(4, 4)));
                QCoreApplication::sendEvent(box->viewport(), &event);
                auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
                ASSERT_TRUE(menu);
                auto *action = menu->findChild<QAction *>(undo ? "edit-undo" : "edit-redo");
                if (action && action->isEnabled())
                    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                else
                    menu->close(); // nothing to take back, or a box that takes no edits
            }
            colouredRuns(box);
        };
        const qsizetype last = c.states.size() - 1;
        for (qsizetype i = 1; i <= last + 1; ++i) { // the last one finds nothing left to undo
            step(true);
            const QString &state = c.states.at(std::min(i, last));
            EXPECT_EQ(box->Text(), QString(state).remove(u'^')) << "undo " << i;
            EXPECT_EQ(box->SelStart(), state.indexOf(u'^')) << "undo " << i;
        }
        for (qsizetype i = last - 1; i >= 0; --i) {
            step(false);
            EXPECT_EQ(box->Text(), QString(c.states.at(i)).remove(u'^')) << "redo " << i;
        }
    }
}
