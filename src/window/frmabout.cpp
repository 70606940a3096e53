#include "window/frmabout.h"

#include "resources/images.h"
#include "store/libraryfolder.h"
#include "store/location.h"
#include "window/twips.h"
#include "window/uifonts.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace quillbox::window {

namespace {

QLabel *label(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, Qt::black);
    l->setPalette(p);
    return l;
}

// One line of the etched separator: a strip of one colour.
QWidget *line(QWidget *parent, int index, const QColor &colour, const QRect &geometry)
{
    auto *w = new QWidget(parent);
    w->setObjectName(QStringLiteral("Line1_%1").arg(index));
    w->setGeometry(geometry);
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
    return w;
}

} // namespace

frmAbout::frmAbout(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                         | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Quillbox"));
    setFont(fonts::dialogFont());
    setModal(true);
    setFixedSize(twipsToPixels(5730), twipsToPixels(3210));

    // Created in tab order.
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipsRect(4245, 2625, 1260, 345));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(twipsRect(240, 240, 990, 705));
    picIcon->setPixmap(resources::pixmap(resources::Image::About, picIcon->size()));

    lblDescription = label(this, "lblDescription",
                           QStringLiteral("In this busy schedule we seldom get time to write commonly used codes. "
                                          "We used to either save the codes in a text file safely tucked under a "
                                          "folder or scribbled on a notepad. But now it is easy to maintain "
                                          "frequently used code with the help of this Application. Simply "
                                          "Copy-Paste the code from this Application to any Text Editor..."),
                           twipsRect(120, 1320, 5325, 1050));
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    fonts::fitLabelText(lblDescription);

    lblDisclaimer = label(this, "lblDisclaimer", QString(), twipsRect(255, 2625, 3870, 465));
    lblDisclaimer->setWordWrap(true);
    // The library in use, when it is not the local file.
    const QString server = store::shownServer(store::libraryLocation());
    if (!server.isEmpty())
        lblDisclaimer->setText(QStringLiteral("Library: ") + server);

    lblTitle = label(this, "lblTitle", QStringLiteral("Quillbox"), twipsRect(2880, 240, 2565, 480));
    lblTitle->setFont(fonts::dialogFont(12.0, true));

    lblVersion = label(this, "lblVersion", QStringLiteral("Version 1.0"), twipsRect(4320, 600, 1005, 225));
    lblVersion->setFont(fonts::dialogFont(8.25, true));
    lblVersion->setWordWrap(false);
    fonts::fitLabelText(lblVersion);

    // The etched separator: a grey line with a white one just below it.
    Line1[1] = line(this, 1, QColor(0x80, 0x80, 0x80),
                    QRect(twipsToPixels(90), twipsToPixels(2445), twipsToPixels(5654 - 90), 1));
    Line1[0] = line(this, 0, QColor(0xFF, 0xFF, 0xFF),
                    QRect(twipsToPixels(105), twipsToPixels(2460), twipsToPixels(5654 - 105), 2));

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::cmdOK_Click()
{
    accept();
}

void frmAbout::showEvent(QShowEvent *event)
{
    // Centred over the owner, or over the screen when there is none.
    const QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    const QRect area = owner && owner->isVisible() ? owner->frameGeometry()
                       : screen()                  ? screen()->availableGeometry()
                                                   : QRect();
    if (area.isValid())
        move(area.center() - rect().center());
    cmdOK->setFocus();
    QDialog::showEvent(event);
}

} // namespace quillbox::window
