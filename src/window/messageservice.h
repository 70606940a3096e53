#pragma once
// Every message box of the program goes through here: title "Quillbox", no icon, OK or
// Yes and No. Tests put their own responder in place to read and answer the boxes.

#include <QString>

#include <functional>

class QWidget;

namespace quillbox::window {

// YesNoDefaultNo: Enter answers No, for a question whose Yes changes files.
enum class MsgButtons { OK, YesNo, YesNoDefaultNo };

// The answers, numbered as the buttons are numbered in the stored answer text.
inline constexpr int vbOK = 1;
inline constexpr int vbYes = 6;
inline constexpr int vbNo = 7;

inline const QString kAppTitle = QStringLiteral("Quillbox");

struct MessageRequest {
    QString text;
    MsgButtons buttons = MsgButtons::OK;
    QString title;
};

class MessageService {
public:
    using Responder = std::function<int(const MessageRequest &)>;

    // Shows a modal box and returns the button pressed (vbOK, vbYes or vbNo).
    static int show(QWidget *parent, const QString &text, MsgButtons buttons = MsgButtons::OK,
                    const QString &title = kAppTitle);

    // Replaces the real boxes (nullptr puts them back); returns the previous responder.
    static Responder setResponder(Responder responder);

private:
    static int showReal(QWidget *parent, const MessageRequest &request);
};

// A shorthand for the common report with only an OK button.
inline void MsgBox(QWidget *parent, const QString &text)
{
    MessageService::show(parent, text, MsgButtons::OK);
}

} // namespace quillbox::window
