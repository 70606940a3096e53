#pragma once
// Handing text to the system clipboard as plain text.

#include <QString>

namespace quillbox::output {

// Clears the clipboard and places the text on it in the plain-text format only.
// False when the clipboard could not be taken (nothing of the text reached it).
bool copyPlainText(const QString &text);

} // namespace quillbox::output
