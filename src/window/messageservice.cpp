#include "window/messageservice.h"

#include <QMessageBox>
#include <QPointer>

namespace quillbox {

namespace {
MessageService::Responder &responder()
{
    static MessageService::Responder r;
    return r;
}
} // namespace

int MessageService::show(QWidget *parent, const QString &text, MsgButtons buttons, const QString &title)
{
    const MessageRequest request{text, buttons, title};
    if (responder())
        return responder()(request);
    return showReal(parent, request);
}

MessageService::Responder MessageService::setResponder(Responder r)
{
    Responder old = std::move(responder());
    responder() = std::move(r);
    return old;
}

int MessageService::showReal(QWidget *parent, const MessageRequest &request)
{
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("QuillboxMessage"));
    box.setWindowTitle(request.title);
    box.setIcon(QMessageBox::NoIcon);
    box.setText(request.text);
    box.setTextFormat(Qt::PlainText);
    if (request.buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if (request.buttons == MsgButtons::YesNo)
        return answer == QMessageBox::Yes ? vbYes : vbNo;
    return vbOK;
}

} // namespace quillbox
