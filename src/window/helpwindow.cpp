#include "window/helpwindow.h"

#include "resources/images.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace quillbox::window {

HelpWindow::HelpWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Quillbox Help"));
    setWindowIcon(resources::icon(resources::Image::ListHelp));
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    m_browser->setOpenExternalLinks(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(640, 560);

    // Closed from the keyboard as a viewer is: Esc, or Ctrl+W.
    auto *close = new QAction(this);
    close->setObjectName(QStringLiteral("HelpClose"));
    close->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)});
    close->setShortcutContext(Qt::WindowShortcut);
    addAction(close);
    connect(close, &QAction::triggered, this, &QWidget::close);
}

bool HelpWindow::showFile(const QString &path)
{
    QFile file(path);
    const bool readable = QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
    if (readable) {
        // Links inside the page resolve against the file's own folder.
        m_browser->setSearchPaths({QFileInfo(path).absolutePath()});
        m_browser->setHtml(QString::fromUtf8(file.readAll()));
        m_browser->document()->setMetaInformation(QTextDocument::DocumentUrl, QUrl::fromLocalFile(path).toString());
    } else {
        const QString reason =
            QFileInfo::exists(path) ? QStringLiteral("it could not be read") : QStringLiteral("there is no such file");
        m_browser->setPlainText(QStringLiteral("The help file %1 could not be opened: %2.\n\n"
                                               "Run \"quillbox init\" to create it.")
                                    .arg(QDir::toNativeSeparators(path), reason));
    }
    m_browser->moveCursor(QTextCursor::Start);
    m_browser->verticalScrollBar()->setValue(0);
    show();
    raise();
    activateWindow();
    return readable;
}

} // namespace quillbox::window
