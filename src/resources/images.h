#pragma once
// The pictures that ship inside the program, drawn for the window.

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace quillbox::resources {

enum class Image {
    WindowIcon, // the main window's icon (16 and 32 pixel images)
    // The six picture buttons of the main window.
    ChangeHeading,
    Cancel,
    Add,
    Modify,
    Delete,
    CopyCode,
    // The eight images of the toolbar's image list, 25 x 25.
    ListExit,
    ListAdd,
    ListModify,
    ListDelete,
    ListGenerate,
    ListHelp,
    ListAbout,
    ListCopy,
    // The status bar's date and time panels.
    StatusDate,
    StatusTime,
    // The picture of the About dialog.
    About,
};

// The image drawn at the requested size (rendered from its vector drawing).
QPixmap pixmap(Image image, const QSize &size);
// An icon holding the image at the sizes the window system asks for.
QIcon icon(Image image);

} // namespace quillbox::resources
