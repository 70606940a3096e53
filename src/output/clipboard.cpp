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

namespace quillbox::output {

QMetaObject::Connection whenTaken(QObject *context, std::function<void()> taken)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    return QObject::connect(clipboard, &QClipboard::changed, context,
                            [clipboard, taken = std::move(taken)](QClipboard::Mode mode) {
                                if (mode == QClipboard::Clipboard && !clipboard->ownsClipboard())
                                    taken();
                            });
}

} // namespace quillbox::output
