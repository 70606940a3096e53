#pragma once
// The toolbar's image list: eight 25 x 25 pictures. Not a visible control.

#include "resources/images.h"

#include <QObject>
#include <QPixmap>
#include <QSize>

#include <vector>

namespace quillbox::window {

class ImageList : public QObject {
    Q_OBJECT
public:
    static constexpr QSize kImageSize{25, 25};

    explicit ImageList(QObject *parent = nullptr) : QObject(parent)
    {
        setObjectName(QStringLiteral("ImageList1"));
        using resources::Image;
        for (Image image : {Image::ListExit, Image::ListAdd, Image::ListModify, Image::ListDelete, Image::ListGenerate,
                            Image::ListHelp, Image::ListAbout, Image::ListCopy})
            m_images.push_back(resources::pixmap(image, kImageSize));
    }

    int count() const { return static_cast<int>(m_images.size()); }
    // 1-based, as the toolbar's buttons refer to their images.
    QPixmap image(int index) const { return m_images.at(static_cast<std::size_t>(index - 1)); }

private:
    std::vector<QPixmap> m_images;
};

} // namespace quillbox::window
