// The window's handling of the description and code boxes: the comment mark on every
// description line, Enter, pastes formatted behind the wait note, and edits enabling Modify
// in modify mode only.

#include "window/windowtesting.h"

#include <QAction>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QTextCursor>

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

// Ctrl+Z walks back through every key typed, to the text the box began with, and Ctrl+Y
// and Ctrl+Shift+Z walk forward again: a key and the case rewrite it makes are one step,
// and the colouring (on the undo key, on mouse moves) adds none. The colours are right at
// every step. The display box takes no keys: its rewritten text stays.
TEST_F(WindowTest, UndoAndRedoWalkThroughTheKeysTypedWithTheirRewrites)
{
    open({{"Swap", "'x", "dim t as long"}});
    const struct {
        QAction *frmAddIn::*mode;
        RichTextBox *frmAddIn::*box;
        QString start, end;
    } cases[] = {{&frmAddIn::mnuAdd, &frmAddIn::Rich1, "'", "'dim x\r\n'y = 2"},
                 {&frmAddIn::mnuAdd, &frmAddIn::Rich2, "", "Dim x\r\ny = 2"},
                 {&frmAddIn::mnuGenerateCode, &frmAddIn::Rich3, "'Swap\r\n\r\n'x\r\n\r\nDim t As Long",
                  "'Swap\r\n\r\n'x\r\n\r\nDim t As Long"}};
    for (const auto &c : cases) {
        RichTextBox *box = form->*c.box;
        SCOPED_TRACE(box->objectName().toStdString());
        (form->*c.mode)->trigger();
        if (c.box == &frmAddIn::Rich3)
            pick(0);
        QStringList states{box->Text()}; // and after each key
        for (const QChar key : QStringLiteral("dim x\ry = 2")) {
            key == u'\r' ? QTest::keyClick(box, Qt::Key_Return) : QTest::keyClicks(box, QString(key));
            states << box->Text();
        }
        EXPECT_EQ(states.constFirst(), c.start);
        EXPECT_EQ(states.constLast(), c.end);
        const auto step = [&](int key, int state) { // -1 Ctrl+Z, 0 Ctrl+Y, 1 Ctrl+Shift+Z
            QTest::keyClick(box, key == 0 ? Qt::Key_Y : Qt::Key_Z,
                            key > 0 ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier);
            colouredRuns(box);
            QTest::mouseMove(box->viewport(), QPoint(10 + state % 2, 8));
            EXPECT_EQ(box->Text(), states.at(state)) << "state " << state;
        };
        for (int state = int(states.size()) - 2; state >= -1; --state)
            step(-1, std::max(state, 0)); // the last one finds nothing left to undo
        for (int state = 1; state < states.size(); ++state)
            step(state % 2, state);
    }
}
