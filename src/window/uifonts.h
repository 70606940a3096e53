#pragma once
// The dialog font of the windows: the platform's default sans family at the given size.

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLabel>

namespace quillbox::window::fonts {

inline QFont dialogFont(double pointSize = 8.25, bool bold = false, bool underline = false)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

// The platform's sans font runs wider than the fonts these layouts were measured with:
// where a label's text would be cut off at its fixed size, its font is made just small
// enough (in quarter points, down to 6 pt) for the whole text to show.
inline void fitLabelText(QLabel *label)
{
    QFont font = label->font();
    const int wrap = label->wordWrap() ? Qt::TextWordWrap : 0;
    auto fits = [&] {
        const QRectF needed = QFontMetricsF(font).boundingRect(QRectF(0, 0, label->width(), 1e6),
                                                               wrap | int(label->alignment()), label->text());
        return needed.height() <= label->height() && needed.width() <= label->width();
    };
    while (!fits() && font.pointSizeF() > 6.0)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    label->setFont(font);
}

} // namespace quillbox::window::fonts
