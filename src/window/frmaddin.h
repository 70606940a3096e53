#pragma once
// The add-in's one working window: the heading, description and code boxes, the heading
// list, the display box, six picture buttons, the menus, the toolbar and the status bar.
// The window owns its controls and its state; each event goes to the handler named after
// the control and the event.

#include <QMainWindow>
#include <QPointer>

#include <array>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolBar;

namespace quillbox {

struct _Connect;
class HelpWindow;
class ImageList;
class RichTextBox;
class StatusBar;

class frmAddIn : public QMainWindow {
    Q_OBJECT
public:
    explicit frmAddIn(QWidget *parent = nullptr);
    ~frmAddIn() override;

    // The connection object that showed the window; Exit hides the window through it.
    _Connect *Connect = nullptr;

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
    QMenu *mnuHelp;
    QAction *mnuContents;
    QAction *mnuSep02;
    QAction *mnuAbout;

    // Event handlers.
    void Form_Load();
    void mnuExit_Click();
    void mnuContents_Click();
    void mnuAbout_Click();
    void Toolbar1_ButtonClick(QAction *Button);

    // The help window, once help has been asked for.
    HelpWindow *helpWindow() const;

Q_SIGNALS:
    // The user closed the window with its close box; the window is being unloaded.
    void closedByUser();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void createControls(QWidget *client);
    void createMenus();
    void createToolbar(QWidget *client);
    void wireEvents();

    QPointer<HelpWindow> m_help;
    bool m_centred = false;
};

} // namespace quillbox
