#pragma once
// Text on the clipboard that outlives the program that put it there. Under X11 and Wayland
// the clipboard holds no text of its own: the program that owns it hands the text over when
// another program pastes. So a program that ends right after copying leaves nothing to
// paste unless someone keeps serving the text: a background process does, without a window,
// until another program takes the clipboard.

#include <QString>

#include <functional>

namespace quillbox::output {

struct Kept {
    bool ok = false;
    QString error; // why the clipboard could not be taken, in words, when not ok
};

// The most text a keeper takes, in UTF-8 bytes, and how long its caller waits for its word.
inline constexpr qsizetype kMostKeptBytes = 64 * 1024 * 1024;
inline constexpr int kKeeperAnswerMs = 10000;
// The hidden command of the quillbox executable that is the background process.
inline constexpr char kKeeperCommand[] = "clipboard-keeper";

// Starts `program` (the quillbox executable) in the background with the hidden command that
// reads `text` from its standard input, puts it on the clipboard as copyPlainText does, and
// serves it until another program takes the clipboard, then exits. Returns once the
// background process holds the clipboard, or with why it could not (no display, the window
// system refused it, the process could not start, no answer in time).
Kept keepOnClipboard(const QString &text, const QString &program);

// Why there is no clipboard to keep text on (no X11 or Wayland display named in the
// environment); empty when there is one.
QString noDisplay();

// The hidden command, run before any application object exists: reads the text from
// standard input, answers on standard output with one line, "held" or why not, and serves
// the text until another program takes the clipboard or the display goes away. Returns the
// exit status.
int serveClipboard(int argc, char **argv);

// With a running application: puts the text on the clipboard as copyPlainText does, hands
// `report` an empty text when it is there or why it is not, and when it is there and
// `report` returns true, runs the event loop until another program takes the clipboard.
// Returns 0 once the text was served, 1 when it was not held.
int holdUntilTaken(const QString &text, const std::function<bool(const QString &error)> &report);

} // namespace quillbox::output
