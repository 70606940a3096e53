#pragma once
// Where the running program finds its parts: the add-in module and the data files. Every
// place is taken relative to the program's own file, so an install under any prefix, or the
// build folder itself, works without a fixed path.

#include <QString>

namespace quillbox::resources::install {

// The folder that holds the running program.
QString programFolder();
// The add-in module: beside the program in a build folder, otherwise where the install put it.
QString modulePath();
// The folder of the installed data files (the help page and the sample snippets).
QString dataFolder();

} // namespace quillbox::resources::install
