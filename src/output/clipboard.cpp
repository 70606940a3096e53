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

} // namespace quillbox::output
