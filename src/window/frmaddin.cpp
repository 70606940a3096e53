#include "window/frmaddin.h"

#include "colouring/boxcolouring.h"
#include "colouring/richtextbox.h"
#include "output/clipboard.h"
#include "resources/images.h"
#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "store/location.h"
#include "store/snippettext.h"
#include "window/frmabout.h"
#include "window/frmfill.h"
#include "window/frmfind.h"
#include "window/headinglist.h"
#include "window/helpwindow.h"
#include "window/imagelist.h"
#include "window/messageservice.h"
#include "window/statusbar.h"
#include "window/twips.h"
#include "window/uifonts.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStringListModel>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <limits>

namespace quillbox::window {

namespace {

constexpr int kClientWidth = 11565;
constexpr int kClientHeight = 8475;

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// A graphical button: an icon, no caption, named to the user by its tool tip.
QPushButton *makePictureButton(QWidget *parent, const char *name, const QString &toolTip, resources::Image image,
                               const QRect &geometry)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setToolTip(toolTip);
    button->setAccessibleName(toolTip);
    button->setIcon(resources::icon(image));
    const int side = qMin(geometry.width(), geometry.height()) - 8;
    button->setIconSize(QSize(side, side));
    button->setAutoDefault(false);
    return button;
}

RichTextBox *makeRichTextBox(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *box = new RichTextBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    return box;
}

QAction *makeMenuItem(QMenu *menu, const char *name, const QString &caption)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QAction *makeMenuSeparator(QMenu *menu, const char *name)
{
    QAction *separator = menu->addSeparator();
    separator->setObjectName(QString::fromLatin1(name));
    return separator;
}

} // namespace

frmAddIn::frmAddIn(QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                              | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAddIn"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Quillbox ver 1.0"));
    setWindowIcon(resources::icon(resources::Image::WindowIcon));
    setFont(fonts::dialogFont());

    ImageList1 = new ImageList(this);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));
    setCentralWidget(client);

    createMenus();
    createControls(client);
    Colouring = std::make_unique<colouring::BoxColouring>(*this);
    wireEvents();

    // Fixed border: the window keeps the size its menu bar and client area give it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    Form_Load();
}

frmAddIn::~frmAddIn() = default;

HelpWindow *frmAddIn::helpWindow() const
{
    return m_help;
}

void frmAddIn::createMenus()
{
    mnuAddin = menuBar()->addMenu(QStringLiteral("&Addin"));
    mnuAddin->setObjectName(QStringLiteral("mnuAddin"));
    mnuExit = makeMenuItem(mnuAddin, "mnuExit", QStringLiteral("E&xit"));

    mnuCodes = menuBar()->addMenu(QStringLiteral("&Codes"));
    mnuCodes->setObjectName(QStringLiteral("mnuCodes"));
    mnuAdd = makeMenuItem(mnuCodes, "mnuAdd", QStringLiteral("&Add New"));
    mnuModify = makeMenuItem(mnuCodes, "mnuModify", QStringLiteral("&Modify"));
    mnuDelete = makeMenuItem(mnuCodes, "mnuDelete", QStringLiteral("&Delete"));
    mnuSep01 = makeMenuSeparator(mnuCodes, "mnuSep01");
    mnuGenerateCode = makeMenuItem(mnuCodes, "mnuGenerateCode", QStringLiteral("&Generate Code"));
    mnuFind = makeMenuItem(mnuCodes, "mnuFind", QStringLiteral("&Find…"));
    mnuFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuContents = makeMenuItem(mnuHelp, "mnuContents", QStringLiteral("&Contents"));
    mnuSep02 = makeMenuSeparator(mnuHelp, "mnuSep02");
    mnuAbout = makeMenuItem(mnuHelp, "mnuAbout", QStringLiteral("&About"));
}

void frmAddIn::createToolbar(QWidget *client)
{
    Toolbar1 = new QToolBar(client);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setGeometry(twipsRect(0, 0, kClientWidth, 495));
    Toolbar1->setMovable(false);
    Toolbar1->setFloatable(false);
    Toolbar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    Toolbar1->setIconSize(ImageList::kImageSize);

    // Key, tool tip and image (1-based in the image list; 0 for a separator), left to right.
    struct Button {
        const char *key;
        const char *toolTip;
        int image;
    };
    static constexpr Button buttons[] = {
        {"tbExit", "Exit", 1},
        {"tbSep01", nullptr, 0},
        {"tbAdd", "Add New Code", 2},
        {"tbModify", "Modify Code", 3},
        {"tbDelete", "Delete Code", 4},
        {"tbSep02", nullptr, 0},
        {"tbGenerate", "Generate Code", 5},
        {"tbSep03", nullptr, 0},
        {"tbHelp", "Help", 6},
    };
    for (const Button &b : buttons) {
        QAction *action = nullptr;
        if (b.image == 0) {
            action = Toolbar1->addSeparator();
        } else {
            action = Toolbar1->addAction(QIcon(ImageList1->image(b.image)), QString::fromLatin1(b.toolTip));
            action->setToolTip(QString::fromLatin1(b.toolTip));
            if (QWidget *button = Toolbar1->widgetForAction(action)) {
                button->setObjectName(QString::fromLatin1(b.key) + QStringLiteral("Button"));
                button->setAccessibleName(QString::fromLatin1(b.toolTip));
                button->setFixedSize(32, 31);
            }
        }
        action->setObjectName(QString::fromLatin1(b.key));
    }
}

void frmAddIn::createControls(QWidget *client)
{
    using resources::Image;

    // Created in tab order.
    StatusBar1 = new StatusBar(client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setGeometry(twipsRect(0, 8100, kClientWidth, 375));

    createToolbar(client);

    Text1 = new QLineEdit(client);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipsRect(3360, 1200, 7455, 375));
    // The box takes a heading of any length the library holds; its own limit would cut one.
    Text1->setMaxLength(std::numeric_limits<int>::max());

    Command2 =
        makePictureButton(client, "Command2", QStringLiteral("Cancel"), Image::Cancel, twipsRect(6360, 7320, 855, 615));

    Label1 = makeLabel(client, "Label1", QStringLiteral("Code Name"), twipsRect(600, 1200, 2055, 375));
    Label2 = makeLabel(client, "Label2", QStringLiteral("Code Description (Text will automatically be commented)"),
                       twipsRect(600, 1800, 2175, 495));
    Label2->setWordWrap(true);
    Label3 = makeLabel(client, "Label3", QStringLiteral("Code"), twipsRect(600, 3240, 2055, 375));
    Label4 = makeLabel(client, "Label4", QString(), twipsRect(4200, 720, 3735, 255));
    Label4->setFont(fonts::dialogFont(9.75, true, true));

    Command3 =
        makePictureButton(client, "Command3", QStringLiteral("Add"), Image::Add, twipsRect(4200, 7320, 855, 615));

    Combo1 = new QComboBox(client);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(false);
    Combo1->setGeometry(twipsRect(3360, 1200, 7455, 315));
    m_headings = setUpHeadingList(Combo1);

    Command4 =
        makePictureButton(client, "Command4", QStringLiteral("Modify"), Image::Modify, twipsRect(4200, 7320, 855, 615));
    Command5 =
        makePictureButton(client, "Command5", QStringLiteral("Delete"), Image::Delete, twipsRect(4200, 7320, 855, 615));
    Command6 = makePictureButton(client, "Command6", QStringLiteral("Copy Code"), Image::CopyCode,
                                 twipsRect(4200, 7320, 855, 615));
    // Works while the button is shown, in Generate mode.
    Command6->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+C")));
    Command6->setToolTip(QStringLiteral("Copy Code (Ctrl+Shift+C)"));

    Rich1 = makeRichTextBox(client, "Rich1", twipsRect(3360, 1680, 7455, 1335));
    Rich2 = makeRichTextBox(client, "Rich2", twipsRect(3360, 3120, 7455, 4095));
    Rich3 = makeRichTextBox(client, "Rich3", twipsRect(3360, 1680, 7455, 5535));
    // The display box shows what Copy Code copies; it is not typed into.
    Rich3->setReadOnly(true);

    Label5 =
        makeLabel(client, "Label5", QStringLiteral("Note: Please wait till I format the code that you have pasted :-)"),
                  twipsRect(360, 5160, 2775, 975));
    Label5->setWordWrap(true);
    Label5->setFont(fonts::dialogFont(12.0, true));
    Label5->setAutoFillBackground(true);
    QPalette notePalette = Label5->palette();
    notePalette.setColor(QPalette::Window, QColor(255, 192, 128)); // &H0080C0FF&
    Label5->setPalette(notePalette);
    fonts::fitLabelText(Label2);
    fonts::fitLabelText(Label5);

    ProgressBar1 = new QProgressBar(client);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(twipsRect(240, 6240, 3015, 255));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setVisible(false);

    Command1 = makePictureButton(client, "Command1", QStringLiteral("Change Heading"), Image::ChangeHeading,
                                 twipsRect(10920, 1200, 495, 375));

    QWidget *tabOrder[] = {Text1,    Command2, Command3, Combo1, Command4, Command5,
                           Command6, Rich1,    Rich2,    Rich3,  Command1};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void frmAddIn::wireEvents()
{
    connect(mnuExit, &QAction::triggered, this, &frmAddIn::mnuExit_Click);
    connect(mnuAdd, &QAction::triggered, this, &frmAddIn::mnuAdd_Click);
    connect(mnuModify, &QAction::triggered, this, &frmAddIn::mnuModify_Click);
    connect(mnuDelete, &QAction::triggered, this, &frmAddIn::mnuDelete_Click);
    connect(mnuGenerateCode, &QAction::triggered, this, &frmAddIn::mnuGenerateCode_Click);
    connect(mnuFind, &QAction::triggered, this, &frmAddIn::mnuFind_Click);
    connect(Combo1, &QComboBox::activated, this, &frmAddIn::Combo1_Click);
    connect(Command1, &QPushButton::clicked, this, &frmAddIn::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmAddIn::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmAddIn::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmAddIn::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &frmAddIn::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &frmAddIn::Command6_Click);
    connect(Rich1, &RichTextBox::Change, this, &frmAddIn::Rich1_Change);
    connect(Rich1, &RichTextBox::KeyDown, this, &frmAddIn::Rich1_KeyDown);
    connect(Rich1, &RichTextBox::KeyPress, this, &frmAddIn::Rich1_KeyPress);
    connect(Rich1, &RichTextBox::MouseMove, this, &frmAddIn::Rich1_MouseMove);
    connect(Rich1, &RichTextBox::Pasted, this, &frmAddIn::Rich1_Pasted);
    connect(Rich2, &RichTextBox::Change, this, &frmAddIn::Rich2_Change);
    connect(Rich2, &RichTextBox::KeyDown, this, &frmAddIn::Rich2_KeyDown);
    connect(Rich2, &RichTextBox::KeyPress, this, &frmAddIn::Rich2_KeyPress);
    connect(Rich2, &RichTextBox::MouseMove, this, &frmAddIn::Rich2_MouseMove);
    connect(Rich2, &RichTextBox::Pasted, this, &frmAddIn::Rich2_Pasted);
    for (RichTextBox *box : {Rich1, Rich2, Rich3})
        colouring::BoxColouring::followHistory(*box);
    connect(mnuContents, &QAction::triggered, this, &frmAddIn::mnuContents_Click);
    connect(mnuAbout, &QAction::triggered, this, &frmAddIn::mnuAbout_Click);
    connect(Toolbar1, &QToolBar::actionTriggered, this, &frmAddIn::Toolbar1_ButtonClick);
}

void frmAddIn::Form_Load()
{
    HideControls();
    DatabasePath = store::libraryLocation();
    // A library on a server is named in the title, and for a while in the status bar.
    const QString server = store::shownServer(DatabasePath);
    if (server.isEmpty()) {
        // Started from the desktop for the first time, with no library folder yet: the
        // window makes it, as the command quillbox init does.
        const QString folder = store::libraryFolder();
        if (DatabasePath == store::databasePath() && !folder.isEmpty() && !QFileInfo::exists(folder))
            CreateFirstLibrary();
        return;
    }
    setWindowTitle(QStringLiteral("Quillbox ver 1.0 - ") + server);
    QLabel *panel = StatusBar1->textPanel();
    panel->setText(QStringLiteral("Library: ") + server);
    QTimer::singleShot(8000, panel, [panel, server] {
        if (panel->text().endsWith(server))
            panel->clear();
    });
}

void frmAddIn::HideControls()
{
    for (QWidget *w :
         std::initializer_list<QWidget *>{Label1, Label2, Label3, Label4, Label5, Combo1, Text1, Rich1, Rich2, Rich3,
                                          Command1, Command2, Command3, Command4, Command5, Command6})
        w->setVisible(false);
    // Emptying the boxes raises their Change handling, which in modify mode enables the
    // Modify button: the buttons are disabled after it, so that none is left enabled.
    ResetControls();
    for (QWidget *w : {Command1, Command2, Command3, Command4, Command5, Command6})
        w->setEnabled(false);
    ProgressBar1->setVisible(false);
    AddMode = false;
    ModifyMode = false;
    DeleteMode = false;
    GenerateMode = false;
}

void frmAddIn::ResetControls()
{
    Text1->setText(QString());
    Rich1->setText(QString());
    Rich2->setText(QString());
    Rich3->setText(QString());
    Combo1->clear();
    m_shownHeading = -1;
}

void frmAddIn::ShowControls()
{
    for (QWidget *w : {Label1, Label3, Label4})
        w->setVisible(true);
    if (AddMode) {
        for (QWidget *w : std::initializer_list<QWidget *>{Text1, Rich1, Rich2, Command3})
            w->setVisible(true);
        Command3->setEnabled(true);
        Label2->setVisible(true);
    }
    if (ModifyMode) {
        for (QWidget *w : std::initializer_list<QWidget *>{Combo1, Rich1, Rich2, Command4})
            w->setVisible(true);
        Label2->setVisible(true);
    }
    if (DeleteMode) {
        for (QWidget *w : std::initializer_list<QWidget *>{Rich3, Combo1, Command5})
            w->setVisible(true);
    }
    if (GenerateMode) {
        for (QWidget *w : std::initializer_list<QWidget *>{Rich3, Combo1, Command6})
            w->setVisible(true);
    }
    Command2->setVisible(true);
    Command2->setEnabled(true);
}

void frmAddIn::ReportStoreFailure(const store::StoreError &error)
{
    // The library file of the library folder is missing, the folder is there: it may be on a
    // disk that is not mounted, or moved away on purpose, so an empty one is made only when
    // the user asks for it.
    if (error.kind == store::Failure::MissingFile && DatabasePath == store::databasePath()
        && QFileInfo(store::libraryFolder()).isDir()) {
        const int answer = MessageService::show(
            this,
            QStringLiteral("The snippet library %1 was not found. Do you want to create an empty library there?")
                .arg(QDir::toNativeSeparators(DatabasePath)),
            MsgButtons::YesNoDefaultNo, kAppTitle);
        if (answer == vbYes)
            CreateFirstLibrary();
        return;
    }
    MsgBox(this, error.message.isEmpty() ? QStringLiteral("The snippet library could not be used.") : error.message);
}

void frmAddIn::CreateFirstLibrary()
{
    const store::SetupResult made = store::initLibrary(false);
    if (!made.done()) {
        MsgBox(this, made.error.message);
        return;
    }
    StatusBar1->textPanel()->setText(QStringLiteral("Created an empty snippet library in %1.")
                                         .arg(QDir::toNativeSeparators(store::libraryFolder())));
}

bool frmAddIn::HasUnstoredEdits() const
{
    if (AddMode) {
        const QString description = store::trimSpaces(Rich1->Text());
        return !store::isEmptyEntry(Text1->text()) || !store::isEmptyEntry(Rich2->Text())
               || !(description.isEmpty() || description == QLatin1String("'"));
    }
    // In Modify mode, once a snippet is shown, against the snippet as it was picked.
    return ModifyMode && m_shownHeading >= 0
           && (Rich1->Text() != m_picked.description.toString() || Rich2->Text() != m_picked.code.toString()
               || (Text1->isVisible() && store::trimSpaces(Text1->text()) != store::trimSpaces(Combo1->currentText())));
}

store::SnippetLibrary frmAddIn::Library() const
{
    return store::SnippetLibrary(DatabasePath, LibraryOptions);
}

void frmAddIn::AddHeadersToCombo(const QStringList &headings)
{
    if (headings.isEmpty()) {
        MsgBox(this, QStringLiteral("No Code has been added yet to the database. Please Add some code first before "
                                    "performing this action"));
        HasCodes = false;
        return;
    }
    HasCodes = true;
    // Appended as new last entries, in table order; no entry is picked yet.
    m_headings->setStringList(m_headings->stringList() + headings);
    Combo1->setCurrentIndex(-1);
}

void frmAddIn::mnuAdd_Click()
{
    HideControls();
    Label4->setText(QStringLiteral("Add New Code"));
    AddMode = true;
    ShowControls();
}

void frmAddIn::EnterListMode(bool frmAddIn::*flag, const QString &title)
{
    // The headings are read before anything changes, so that a library that cannot be
    // read leaves the window as it was.
    const store::HeadingsResult list = Library().headings();
    if (list.outcome == store::Outcome::Failed) {
        ReportStoreFailure(list.error);
        return;
    }
    HideControls();
    AddHeadersToCombo(list.headings);
    this->*flag = true;
    if (HasCodes) {
        ShowControls();
        Label4->setText(title);
        // Typing picks a heading at once.
        Combo1->setFocus();
    }
}

void frmAddIn::mnuModify_Click()
{
    EnterListMode(&frmAddIn::ModifyMode, QStringLiteral("Modify Code"));
}

void frmAddIn::mnuDelete_Click()
{
    EnterListMode(&frmAddIn::DeleteMode, QStringLiteral("Delete Code"));
}

void frmAddIn::mnuGenerateCode_Click()
{
    EnterListMode(&frmAddIn::GenerateMode, QStringLiteral("Generate Code"));
}

void frmAddIn::mnuFind_Click()
{
    // Picking what Find found leaves the snippet being edited: not without asking.
    if (HasUnstoredEdits()
        && MessageService::show(this, QStringLiteral("Leave the snippet you are editing? Your changes are not stored."),
                                MsgButtons::YesNo, kAppTitle)
               != vbYes)
        return;
    auto *find = new frmFind(Library(), this);
    find->setAttribute(Qt::WA_DeleteOnClose);
    // Picked once the dialog has closed: showing the snippet lets pending events run, and the
    // dialog goes with them.
    connect(find, &frmFind::picked, this, &frmAddIn::PickFound, Qt::QueuedConnection);
    find->open();
}

void frmAddIn::PickFound(const QString &heading)
{
    // The current list mode, or Generate from idle or add mode; a list filled before the
    // snippet was stored is filled again.
    const auto enterListMode = [this] {
        if (ModifyMode)
            mnuModify_Click();
        else if (DeleteMode)
            mnuDelete_Click();
        else
            mnuGenerateCode_Click();
    };
    if (!Combo1->isVisibleTo(this) || !(ModifyMode || DeleteMode || GenerateMode))
        enterListMode();
    qsizetype entry = m_headings->stringList().indexOf(heading);
    if (entry < 0 && Combo1->isVisibleTo(this)) {
        enterListMode();
        entry = m_headings->stringList().indexOf(heading);
    }
    if (!Combo1->isVisibleTo(this))
        return; // the library could not be read, or holds nothing: the user has been told
    if (entry < 0) {
        ReportVanished(heading);
        return;
    }
    Combo1->setCurrentIndex(int(entry));
    Combo1_Click();
}

void frmAddIn::Command2_Click()
{
    HideControls();
}

void frmAddIn::Command3_Click()
{
    using store::isEmptyEntry;
    if (const auto fault = text::headingFault(Text1->text()); fault != text::HeadingFault::None) {
        MsgBox(this, text::headingFaultMessage(fault));
        Text1->setFocus();
        return;
    }
    if (isEmptyEntry(Rich1->Text())) {
        MsgBox(this, QStringLiteral("Please Enter a Description for the code"));
        Rich1->SetFocus();
        return;
    }
    if (isEmptyEntry(Rich2->Text())) {
        MsgBox(this, QStringLiteral("Please Enter the code"));
        Rich2->SetFocus();
        return;
    }

    const store::Result added = Library().add(Text1->text(), Rich1->Text(), Rich2->Text());
    NameExists = added.outcome == store::Outcome::Taken;
    if (added.outcome == store::Outcome::Failed) {
        ReportStoreFailure(added.error);
    } else if (NameExists) {
        ReportTaken();
    } else {
        AnswerText = QString::number(MessageService::show(
            this, QStringLiteral("The Code has been added Successfully. Do you want to add more code?"),
            MsgButtons::YesNo, kAppTitle));
        if (AnswerText.toInt() == vbYes) {
            Text1->setText(QString());
            Rich1->setText(QString());
            Rich2->setText(QString());
            Rich3->setText(QString());
        } else {
            HideControls();
        }
    }
    NameExists = false;
}

void frmAddIn::mnuExit_Click()
{
    if (isSignalConnected(QMetaMethod::fromSignal(&frmAddIn::exitRequested)))
        emit exitRequested();
    else
        hide();
}

void frmAddIn::mnuContents_Click()
{
    if (!m_help)
        m_help = new HelpWindow(this);
    m_help->showFile(store::helpFilePath());
}

void frmAddIn::mnuAbout_Click()
{
    frmAbout about(this);
    about.exec();
}

void frmAddIn::Toolbar1_ButtonClick(QAction *Button)
{
    if (!Button)
        return;
    const QString key = Button->objectName();
    if (key == QLatin1String("tbExit"))
        mnuExit_Click();
    else if (key == QLatin1String("tbAdd"))
        mnuAdd_Click();
    else if (key == QLatin1String("tbModify"))
        mnuModify_Click();
    else if (key == QLatin1String("tbDelete"))
        mnuDelete_Click();
    else if (key == QLatin1String("tbGenerate"))
        mnuGenerateCode_Click();
    else if (key == QLatin1String("tbHelp"))
        mnuContents_Click();
}

void frmAddIn::ReportVanished(const QString &heading)
{
    MsgBox(this, QStringLiteral("The code \"%1\" is no longer in the library; another program may have changed or "
                                "deleted it since the list was filled. Nothing was changed.")
                     .arg(store::trimSpaces(heading.isNull() ? Combo1->currentText() : heading)));
    HideControls();
}

void frmAddIn::ReportTaken()
{
    MsgBox(this, QStringLiteral("This Code Name Already Exists"));
    Text1->setFocus();
    Text1->setSelection(0, int(store::trimSpaces(Text1->text()).size()));
}

bool frmAddIn::ReportOutcome(const store::Result &result)
{
    if (result.outcome == store::Outcome::Failed)
        ReportStoreFailure(result.error);
    else if (result.outcome == store::Outcome::Vanished)
        ReportVanished();
    return result.done();
}

void frmAddIn::Combo1_Click()
{
    Combo1_Change();
}

void frmAddIn::Combo1_Change()
{
    // When the library cannot be read, the list goes back to the heading whose snippet is
    // shown, so that what Copy Code copies is what the list names.
    const auto pickFailed = [this] {
        Combo1->setCurrentIndex(m_shownHeading);
        Command2->setEnabled(true);
    };
    Command2->setEnabled(false);
    const QString picked = Combo1->currentText();
    // Read before anything is shown, so that a row lost meanwhile shows nothing.
    const store::SnippetResult found = Library().find(picked);
    if (found.outcome == store::Outcome::Failed) {
        ReportStoreFailure(found.error);
        pickFailed();
        return;
    }
    if (!ReportOutcome(found))
        return;
    const store::Snippet &snippet = found.snippet;
    m_picked = snippet;
    if (ModifyMode) {
        Rich1->setText(snippet.description.toString());
        Rich2->setText(snippet.code.toString());
    } else if (DeleteMode || GenerateMode) {
        // The display text in three assignments.
        Rich3->setText(store::displayHeading(snippet.heading));
        Rich3->setText(Rich3->Text() + store::displayDescription(snippet.description));
        Rich3->setText(Rich3->Text() + store::displayCode(snippet.code));
    }

    if (!store::isEmptyEntry(picked)) {
        if (ModifyMode) {
            Colouring->FormatRTB(*Rich1);
            Colouring->FormatRTB(*Rich2);
            Command4->setEnabled(true);
            Command1->setVisible(true);
            Command1->setEnabled(true);
        } else if (DeleteMode) {
            Colouring->FormatRTB(*Rich3);
            Command5->setVisible(true);
            Command5->setEnabled(true);
        } else if (GenerateMode) {
            Colouring->FormatRTB(*Rich3);
            Command6->setEnabled(true);
        }
    }
    m_shownHeading = Combo1->currentIndex();
    Command2->setEnabled(true);
}

void frmAddIn::Command1_Click()
{
    Text1->setText(Combo1->currentText());
    Combo1->setVisible(false);
    Text1->setVisible(true);
    Text1->setSelection(0, int(store::trimSpaces(Text1->text()).size()));
    Command1->setEnabled(false);
    Command4->setEnabled(true);
}

void frmAddIn::Command4_Click()
{
    using store::isEmptyEntry;
    if (!isEmptyEntry(Combo1->currentText()) && Command1->isEnabled())
        Text1->setText(Combo1->currentText());
    // A heading kept as it is may be one another program stored; a new one follows the rules.
    const auto fault = text::headingFault(Text1->text());
    if (fault == text::HeadingFault::Empty
        || (fault != text::HeadingFault::None
            && store::trimSpaces(Text1->text()) != store::trimSpaces(Combo1->currentText()))) {
        MsgBox(this, text::headingFaultMessage(fault));
        if (!Text1->isHidden())
            Text1->setFocus();
        return;
    }
    if (isEmptyEntry(Rich1->Text())) {
        MsgBox(this, QStringLiteral("Please Enter a Description for the code"));
        Rich1->SetFocus();
        return;
    }
    if (isEmptyEntry(Rich2->Text())) {
        MsgBox(this, QStringLiteral("Please Enter the code"));
        Rich2->SetFocus();
        return;
    }

    const store::Result modified =
        Library().modify(Combo1->currentText(), m_picked, Text1->text(), Rich1->Text(), Rich2->Text());
    if (modified.outcome == store::Outcome::Taken) {
        ReportTaken();
        return;
    }
    // The user's heading, description and code stay in the boxes, and the window in Modify
    // mode, when the snippet went or changed meanwhile: nothing they typed is lost.
    if (modified.outcome == store::Outcome::Vanished) {
        MsgBox(this, QStringLiteral("The code \"%1\" is no longer in the library; another program may have changed "
                                    "or deleted it since the list was filled. Nothing was changed.")
                         .arg(store::trimSpaces(Combo1->currentText())));
        return;
    }
    if (modified.outcome == store::Outcome::Changed) {
        MsgBox(this, QStringLiteral("%1 was changed by someone else since you picked it. Nothing was stored.")
                         .arg(store::trimSpaces(Combo1->currentText())));
        return;
    }
    if (!ReportOutcome(modified))
        return;
    MsgBox(this, QStringLiteral("The Code has been Modified Successfully."));
    HideControls();
}

void frmAddIn::Command5_Click()
{
    AnswerText = QString::number(MessageService::show(
        this, QStringLiteral("Are you sure you want to delete the code? Once deleted, the code cannot be recovered!"),
        MsgButtons::YesNo, kAppTitle));
    if (AnswerText.toInt() != vbYes)
        return;
    if (!ReportOutcome(Library().remove(Combo1->currentText())))
        return;
    MsgBox(this, QStringLiteral("The Code has been Deleted Successfully."));
    HideControls();
}

void frmAddIn::Command6_Click()
{
    // A snippet with blanks is copied once they are filled in; Esc copies nothing.
    const std::optional<QString> copied = filledForCopy(Rich3->Text(), this);
    if (!copied)
        return;
    if (!output::copyPlainText(*copied))
        MsgBox(this, QStringLiteral("The code could not be put on the clipboard: another program may be holding "
                                    "it. Please try again."));
}

void frmAddIn::ModifyEnabling()
{
    if (ModifyMode)
        Command4->setEnabled(true);
}

namespace {
// The caret behind the last character, with no selection.
void caretToEnd(RichTextBox *box)
{
    box->moveCursor(QTextCursor::End);
}
} // namespace

bool frmAddIn::MarkDescription()
{
    if (Rich1->firstCharacter() == QLatin1Char('\''))
        return false;
    // The box's own edits, so that undo takes them back with the key that made them.
    Rich1->setSelStart(0);
    Rich1->setSelText(Colouring->CommentMark);
    Colouring->RichTBSetcolors(*Rich1);
    return true;
}

void frmAddIn::Rich1_Change()
{
    // The description always begins with the comment mark: an emptied box holds "'" at once.
    if (MarkDescription())
        caretToEnd(Rich1);
    ModifyEnabling();
}

void frmAddIn::Rich1_KeyDown(int)
{
    Colouring->RichTBSetcolors(*Rich1);
}

void frmAddIn::Rich1_MouseMove(int, int, int, int)
{
    Colouring->RichTBSetcolors(*Rich1);
}

void frmAddIn::Rich1_KeyPress(int *KeyAscii)
{
    if (*KeyAscii == 22) {
        // Ctrl+V: the pasted text is in the box by now.
        Rich1_Pasted();
    } else if (*KeyAscii == 13) {
        // Enter adds a new comment line at the end, the caret behind its mark.
        *KeyAscii = 0;
        MarkDescription();
        caretToEnd(Rich1);
        Rich1->setSelText(QStringLiteral("\r\n") + Colouring->CommentMark);
        Colouring->ColourEveryLine(*Rich1);
        caretToEnd(Rich1);
    } else if (Rich1->firstCharacter() != QLatin1Char('\'')) {
        // Typing goes through only when the text begins with the mark, spaces aside.
        const QString trimmed = store::trimSpaces(Rich1->Text());
        if (trimmed.isEmpty() || trimmed.at(0) != QLatin1Char('\'')) {
            PendingKey = qint16(*KeyAscii);
            *KeyAscii = 0;
            if (PendingKey >= 33 && PendingKey <= 126) {
                Rich1->selectAll();
                Rich1->setSelText(Colouring->CommentMark + QChar(PendingKey));
                caretToEnd(Rich1);
            }
        }
    }
    Label5->setVisible(false);
}

// However text came in, every line of it is made a comment line, as typing makes them.
void frmAddIn::Rich1_Pasted()
{
    Colouring->DescriptionPastePass(*Rich1);
    Label5->setVisible(false);
}

void frmAddIn::Rich2_Change()
{
    ModifyEnabling();
}

void frmAddIn::Rich2_KeyDown(int)
{
    Colouring->RichTBSetcolors(*Rich2);
}

void frmAddIn::Rich2_MouseMove(int, int, int, int)
{
    Colouring->RichTBSetcolors(*Rich2);
}

void frmAddIn::Rich2_KeyPress(int *KeyAscii)
{
    // Ctrl+V: the pasted text is in the box by now.
    if (*KeyAscii == 22)
        Rich2_Pasted();
}

// However text came in, the whole box is coloured; the add button waits meanwhile.
void frmAddIn::Rich2_Pasted()
{
    const bool addWasEnabled = Command3->isEnabled();
    Command3->setEnabled(false);
    Colouring->FormatRTB(*Rich2);
    Command3->setEnabled(addWasEnabled);
}

void frmAddIn::passStarted(int lines)
{
    ProgressBar1->setRange(0, std::max(0, lines - 1));
    ProgressBar1->setValue(0);
    Label5->setVisible(true);
    ProgressBar1->setVisible(true);
}

void frmAddIn::passProgress(int line)
{
    ProgressBar1->setValue(line);
    ProgressBar1->repaint();
}

void frmAddIn::passFinished()
{
    Label5->setVisible(false);
    ProgressBar1->setVisible(false);
}

bool frmAddIn::cancelEnabled() const
{
    return Command2->isEnabled();
}

void frmAddIn::setCancelEnabled(bool enabled)
{
    Command2->setEnabled(enabled);
}

void frmAddIn::closeEvent(QCloseEvent *event)
{
    event->accept();
    Q_EMIT closedByUser();
}

void frmAddIn::showEvent(QShowEvent *event)
{
    if (!m_centred) {
        m_centred = true;
        if (const QScreen *s = screen())
            move(s->availableGeometry().center() - frameGeometry().center() + pos());
    }
    QMainWindow::showEvent(event);
}

} // namespace quillbox::window
