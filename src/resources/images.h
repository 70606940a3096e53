#pragma once
// The pictures, the help page and the sample snippets that ship inside the program.

#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>

namespace quillbox::resources {

enum class Image {
    WindowIcon,     // the main window's icon (16 and 32 pixel images)
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

// The user's help page, a complete HTML document.
QString helpPage();
// The name the help page is saved under in the library folder.
QString helpFileName();

struct SampleSnippet {
    QString heading;
    QString description; // every line a comment line, CR LF between lines
    QString code;        // CR LF between lines
};
// A handful of useful snippets for a new library.
QList<SampleSnippet> sampleSnippets();

} // namespace quillbox::resources
