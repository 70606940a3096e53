#pragma once
// The add-in's one persistent setting, "DisplayOnConnect" in section "Settings" of the
// application "Quillbox": "1" when the window was open at the last disconnection.

#include <QString>

namespace quillbox::addin::settings {

// The settings file, $XDG_CONFIG_HOME/Quillbox/Quillbox.ini.
QString filePath();

// Each of these returns why it failed, in words; a null string when it did not.
// Reads the value as it stands in the file, untrimmed; "0" when absent.
QString readDisplayOnConnect(QString &value);
// Writes the value.
QString writeDisplayOnConnect(const QString &value);

} // namespace quillbox::addin::settings
