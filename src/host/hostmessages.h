#pragma once
// The host's message boxes go through one replaceable function, so that tests can answer
// them without a modal loop.

#include <QString>

#include <functional>

class QWidget;

namespace quillbox::host {

inline const QString kAddInManagerTitle = QStringLiteral("Add-In Manager");

using MessageHandler = std::function<void(QWidget *parent, const QString &title, const QString &text)>;

// Shows a warning box with an OK button (or hands it to the installed handler).
void showMessage(QWidget *parent, const QString &title, const QString &text);

// Installs a handler in place of the message box; an empty one puts the box back.
// Returns the handler it replaces.
MessageHandler setMessageHandler(MessageHandler handler);

} // namespace quillbox::host
