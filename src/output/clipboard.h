#pragma once
// Handing text to the system clipboard as plain text.

#include <QMetaObject>
#include <QString>

#include <functional>

class QObject;

namespace quillbox::output {

// Clears the clipboard and places the text on it in the plain-text format only.
// False when the clipboard could not be taken (nothing of the text reached it).
bool copyPlainText(const QString &text);

// Calls `taken` (in `context`'s thread, while it lives) once another program has taken the
// clipboard from this one, so that the text copied last is no longer ours to serve. Connect
// it after copying: a change of our own made before does not count.
QMetaObject::Connection whenTaken(QObject *context, std::function<void()> taken);

} // namespace quillbox::output
