#pragma once
// The dialog font of the windows: the platform's default sans family at the given size.

#include <QFont>
#include <QFontDatabase>

namespace quillbox::fonts {

inline QFont dialogFont(double pointSize = 8.25, bool bold = false, bool underline = false)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

} // namespace quillbox::fonts
