#include "output/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace quillbox::output {

bool copyPlainText(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->clear();
    auto *data = new QMimeData;
    data->setText(text);
    clipboard->setMimeData(data);
    // The window system may refuse the clipboard to us; what it holds now tells.
    const QMimeData *now = clipboard->mimeData();
    return now && now->hasText() && now->text() == text && !now->hasHtml();
}

QMetaObject::Connection whenTaken(QObject *context, std::function<void()> taken)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    // Under X11 the platform may go on counting the clipboard as ours when the program that
    // took it has ended before the news reached us; the data the clipboard offers, which it
    // asks the X server for, tells. The data copied last stays alive while it is counted ours.
    const QMimeData *ours = clipboard->mimeData(QClipboard::Clipboard);
    return QObject::connect(
        clipboard, &QClipboard::changed, context, [clipboard, ours, taken = std::move(taken)](QClipboard::Mode mode) {
            if (mode == QClipboard::Clipboard
                && (!clipboard->ownsClipboard() || clipboard->mimeData(QClipboard::Clipboard) != ours))
                taken();
        });
}

} // namespace quillbox::output
