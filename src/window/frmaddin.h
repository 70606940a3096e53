#pragma once
// The add-in's one working window: the heading, description and code boxes, the heading
// list, the display box, six picture buttons, the menus, the toolbar and the status bar.
// The window owns its controls and its state; each event goes to the handler named after
// the control and the event.

#include "colouring/passobserver.h"
#include "store/snippets.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QStringListModel;
class QToolBar;

namespace quillbox::colouring {
class BoxColouring;
class RichTextBox;
} // namespace quillbox::colouring

namespace quillbox::window {

using colouring::RichTextBox;
class HelpWindow;
class ImageList;
class StatusBar;

class frmAddIn : public QMainWindow, public colouring::PassObserver {
    Q_OBJECT
public:
    explicit frmAddIn(QWidget *parent = nullptr);
    ~frmAddIn() override;

    // The controls, by the names every handler uses.
    StatusBar *StatusBar1;
    QToolBar *Toolbar1;
    QLineEdit *Text1;
    QPushButton *Command2;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QPushButton *Command3;
    QComboBox *Combo1;
    QPushButton *Command4;
    QPushButton *Command5;
    QPushButton *Command6;
    RichTextBox *Rich1;
    RichTextBox *Rich2;
    RichTextBox *Rich3;
    QLabel *Label5;
    QProgressBar *ProgressBar1;
    QPushButton *Command1;
    ImageList *ImageList1;

    QMenu *mnuAddin;
    QAction *mnuExit;
    QMenu *mnuCodes;
    QAction *mnuAdd;
    QAction *mnuModify;
    QAction *mnuDelete;
    QAction *mnuSep01;
    QAction *mnuGenerateCode;
    QAction *mnuFind;
    QMenu *mnuHelp;
    QAction *mnuContents;
    QAction *mnuSep02;
    QAction *mnuAbout;

    // The action mode: at most one flag is set; none set is the idle state. HasCodes keeps
    // whether the last heading fill found any snippet.
    bool HasCodes = false;
    bool AddMode = false;
    bool ModifyMode = false;
    bool DeleteMode = false;
    bool GenerateMode = false;

    // Library work: each operation opens the library, works and closes it again.
    bool NameExists = false;
    QString DatabasePath;
    // How the window's operations reach the library (tests look in through it).
    store::LibraryOptions LibraryOptions;
    QString AnswerText;

    // The character the description box's key handler held back.
    qint16 PendingKey = 0;
    // The colouring of the boxes, with its state.
    std::unique_ptr<colouring::BoxColouring> Colouring;

    // Putting the controls into a mode's state.
    void HideControls();
    void ShowControls();
    void ResetControls();
    // Appends the headings read from the library to the heading list and tells the user
    // when there is none.
    void AddHeadersToCombo(const QStringList &headings);

    // Event handlers.
    void Form_Load();
    void mnuExit_Click();
    void mnuAdd_Click();
    void mnuModify_Click();
    void mnuDelete_Click();
    void mnuGenerateCode_Click();
    void mnuFind_Click();
    // Picks the heading found by Find in the heading list, in the current list mode or in
    // Generate mode, as the user picks it there.
    void PickFound(const QString &heading);
    void mnuContents_Click();
    void mnuAbout_Click();
    void Toolbar1_ButtonClick(QAction *Button);
    void Combo1_Change();
    void Combo1_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Rich1_Change();
    void Rich1_KeyDown(int Shift);
    void Rich1_KeyPress(int *KeyAscii);
    void Rich1_Pasted();
    void Rich1_MouseMove(int Button, int Shift, int X, int Y);
    void Rich2_Change();
    void Rich2_KeyDown(int Shift);
    void Rich2_KeyPress(int *KeyAscii);
    void Rich2_Pasted();
    void Rich2_MouseMove(int Button, int Shift, int X, int Y);

    // The help window, once help has been asked for.
    HelpWindow *helpWindow() const;

    // A whole-box colouring pass shows the wait note (Label5) and the progress bar
    // (ProgressBar1); Cancel (Command2) waits during the description's paste pass.
    void passStarted(int lines) override;
    void passProgress(int line) override;
    void passFinished() override;
    bool cancelEnabled() const override;
    void setCancelEnabled(bool enabled) override;

Q_SIGNALS:
    // The user closed the window with its close box; the window is being unloaded.
    void closedByUser();
    // File > Exit: whoever showed the window hides it (the window hides itself when no one
    // listens).
    void exitRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // The library the window works on; opened and closed by each operation.
    store::SnippetLibrary Library() const;
    // Tells the user what went wrong with the library.
    void ReportStoreFailure(const store::StoreError &error);
    // A first start: the library folder is made with an empty library and the help page.
    void CreateFirstLibrary();
    // Whether Add or Modify holds text the user typed that is not stored.
    bool HasUnstoredEdits() const;
    // The Modify, Delete and Generate commands.
    void EnterListMode(bool frmAddIn::*flag, const QString &title);
    // The picked snippet (by default the list's) has gone from the library since the list
    // was filled: the user is told, and the window returns to the idle state.
    void ReportVanished(const QString &heading = QString());
    // The entered heading is another snippet's: the user is told, and the heading selected.
    void ReportTaken();
    // Tells the user of a failure or a vanished snippet; true when the operation was done.
    bool ReportOutcome(const store::Result &result);
    // Puts the comment mark before a description that lacks it, and colours the caret's
    // line; false when the mark was there.
    bool MarkDescription();
    // Both boxes' Change: in modify mode an edit makes the changes storable.
    void ModifyEnabling();

    void createControls(QWidget *client);
    void createMenus();
    void createToolbar(QWidget *client);
    void wireEvents();

    QPointer<HelpWindow> m_help;
    QStringListModel *m_headings = nullptr;
    int m_shownHeading = -1; // the list entry whose snippet the boxes show
    store::Snippet m_picked; // the snippet as it was when picked, for Modify
    bool m_centred = false;
};

} // namespace quillbox::window
