#include "resources/images.h"

#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

namespace quillbox::resources {

namespace {

QLatin1StringView drawingName(Image image)
{
    switch (image) {
    case Image::WindowIcon:
        return QLatin1StringView("window");
    case Image::ChangeHeading:
        return QLatin1StringView("change_heading");
    case Image::Cancel:
        return QLatin1StringView("cancel");
    case Image::Add:
        return QLatin1StringView("add");
    case Image::Modify:
        return QLatin1StringView("modify");
    case Image::Delete:
        return QLatin1StringView("delete");
    case Image::CopyCode:
        return QLatin1StringView("copy_code");
    case Image::ListExit:
        return QLatin1StringView("list_exit");
    case Image::ListAdd:
        return QLatin1StringView("list_add");
    case Image::ListModify:
        return QLatin1StringView("list_modify");
    case Image::ListDelete:
        return QLatin1StringView("list_delete");
    case Image::ListGenerate:
        return QLatin1StringView("list_generate");
    case Image::ListHelp:
        return QLatin1StringView("list_help");
    case Image::ListAbout:
        return QLatin1StringView("list_about");
    case Image::ListCopy:
        return QLatin1StringView("list_copy");
    case Image::StatusDate:
        return QLatin1StringView("status_date");
    case Image::StatusTime:
        return QLatin1StringView("status_time");
    case Image::About:
        return QLatin1StringView("about");
    }
    return QLatin1StringView("window");
}

// The sizes an icon is prepared at: the size the image is shown at and its neighbours.
QList<QSize> iconSizes(Image image)
{
    const auto squares = [](std::initializer_list<int> sides) {
        QList<QSize> sizes;
        for (int side : sides)
            sizes.append(QSize(side, side));
        return sizes;
    };
    switch (image) {
    case Image::WindowIcon:
        return squares({16, 24, 32, 48, 64});
    case Image::ChangeHeading:
    case Image::Cancel:
    case Image::Add:
    case Image::Modify:
    case Image::Delete:
    case Image::CopyCode:
        return squares({16, 24, 32, 48});
    case Image::ListExit:
    case Image::ListAdd:
    case Image::ListModify:
    case Image::ListDelete:
    case Image::ListGenerate:
    case Image::ListHelp:
    case Image::ListAbout:
    case Image::ListCopy:
        return squares({16, 24, 25, 32, 48});
    case Image::StatusDate:
    case Image::StatusTime:
        return squares({16, 24, 32});
    case Image::About:
        return {QSize(33, 24), QSize(66, 47), QSize(132, 94)};
    }
    return squares({16, 32});
}

} // namespace

QPixmap pixmap(Image image, const QSize &size)
{
    if (size.isEmpty())
        return {};

    const QString key =
        QStringLiteral("quillbox-image/%1/%2x%3").arg(drawingName(image)).arg(size.width()).arg(size.height());
    QPixmap result;
    if (QPixmapCache::find(key, &result))
        return result;

    QSvgRenderer renderer(QStringLiteral(":/quillbox/icons/%1.svg").arg(drawingName(image)));
    if (!renderer.isValid()) {
        qWarning("quillbox: the drawing %s cannot be read", qPrintable(QString(drawingName(image))));
        return {};
    }

    // The drawing keeps its proportions and sits in the middle of the requested size.
    QSizeF drawn = renderer.viewBoxF().size();
    drawn.scale(QSizeF(size), Qt::KeepAspectRatio);
    const QPointF corner((size.width() - drawn.width()) / 2.0, (size.height() - drawn.height()) / 2.0);

    result = QPixmap(size);
    result.fill(Qt::transparent);
    {
        QPainter painter(&result);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(corner, drawn));
    }
    QPixmapCache::insert(key, result);
    return result;
}

QIcon icon(Image image)
{
    QIcon result;
    for (const QSize &size : iconSizes(image)) {
        const QPixmap picture = pixmap(image, size);
        if (!picture.isNull())
            result.addPixmap(picture);
    }
    return result;
}

} // namespace quillbox::resources
