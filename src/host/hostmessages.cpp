#include "host/hostmessages.h"

#include <QMessageBox>

namespace quillbox::host {

namespace {
MessageHandler &installed()
{
    static MessageHandler handler;
    return handler;
}
} // namespace

void showMessage(QWidget *parent, const QString &title, const QString &text)
{
    if (const MessageHandler &handler = installed()) {
        handler(parent, title, text);
        return;
    }
    QMessageBox::warning(parent, title, text);
}

MessageHandler setMessageHandler(MessageHandler handler)
{
    MessageHandler previous = std::move(installed());
    installed() = std::move(handler);
    return previous;
}

} // namespace quillbox::host
