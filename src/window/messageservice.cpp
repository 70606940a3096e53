#include "window/messageservice.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>

#include <memory>

namespace quillbox::window {

namespace {
MessageService::Responder &responder()
{
    static MessageService::Responder r;
    return r;
}

// A question with only Yes and No: it is answered by one of them. Esc does nothing (a plain
// message box would take it for No), and no close box is offered.
class QuestionBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->matches(QKeySequence::Cancel))
            return event->accept();
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent *event) override { event->ignore(); }
};
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
    const bool question = request.buttons != MsgButtons::OK;
    std::unique_ptr<QMessageBox> shown =
        question ? std::make_unique<QuestionBox>(parent) : std::make_unique<QMessageBox>(parent);
    QMessageBox &box = *shown;
    box.setObjectName(QStringLiteral("QuillboxMessage"));
    box.setWindowTitle(request.title);
    box.setIcon(QMessageBox::NoIcon);
    box.setText(request.text);
    box.setTextFormat(Qt::PlainText);
    if (question) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(request.buttons == MsgButtons::YesNoDefaultNo ? QMessageBox::No : QMessageBox::Yes);
        box.setWindowFlags((box.windowFlags() | Qt::CustomizeWindowHint) & ~Qt::WindowCloseButtonHint);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if (question)
        return answer == QMessageBox::Yes ? vbYes : vbNo;
    return vbOK;
}

} // namespace quillbox::window
