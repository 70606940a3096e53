#pragma once
// The version information carried inside the add-in module, readable from the file
// without loading it.

#include <QMap>
#include <QString>

namespace quillbox::resources::version {

inline constexpr const char *kProductName = "Quillbox";
inline constexpr const char *kInternalName = "Quillbox Ver 1.0";
inline constexpr const char *kFileVersion = "1.00";
inline constexpr const char *kProductVersion = "1.00";
inline constexpr const char *kOriginalFilename = "Quillbox Ver 1.0.dll";

// The section of the module that holds "Key=Value" entries, each ended by a NUL.
inline constexpr const char *kSectionName = ".qbx_version";

// Reads the entries of the module's version section. Returns why there are none, in words,
// when the file cannot be read or has no such section; a null string when they were read.
QString readVersionInfo(const QString &modulePath, QMap<QString, QString> &entries);

} // namespace quillbox::resources::version
