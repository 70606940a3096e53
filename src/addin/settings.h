#pragma once
// The add-in's one persistent setting, "DisplayOnConnect" in section "Settings" of the
// application "Quillbox": "1" when the window was open at the last disconnection.

#include <QString>

namespace quillbox::settings {

// The settings file, $XDG_CONFIG_HOME/Quillbox/Quillbox.ini.
QString filePath();

// Reads the value as it stands in the file, untrimmed; "0" when absent. False, with the
// reason, when the store cannot be read.
bool readDisplayOnConnect(QString *value, QString *error);
// Writes the value. False, with the reason, when the store cannot be written.
bool writeDisplayOnConnect(const QString &value, QString *error);

} // namespace quillbox::settings
