#pragma once
// Text on the clipboard that outlives the program that put it there. Under X11 and Wayland
// the clipboard holds no text of its own: the program that owns it hands the text over when
// another program pastes. So a program that ends right after copying leaves nothing to
// paste unless someone keeps serving the text: a background process does, without a window,
// until another program takes the clipboard.

#include <QString>

namespace quillbox::output {

struct Kept {
    bool ok = false;
    QString error; // why the clipboard could not be taken, in words, when not ok
};

// Starts `program` (the quillbox executable) in the background with the hidden command that
// reads `text` from its standard input, puts it on the clipboard as copyPlainText does, and
// serves it until another program takes the clipboard, then exits. Returns once the
// background process holds the clipboard, or with why it could not (no display, the window
// system refused it, the process could not start, no answer in time).
Kept keepOnClipboard(const QString &text, const QString &program);

} // namespace quillbox::output
