#include "resources/installpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace quillbox::resources::install {

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Before the application object exists, the kernel still knows the program's file.
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
}

QString modulePath()
{
    const QString folder = programFolder();
    const QString beside = folder + QStringLiteral("/quillbox-addin.so");
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(folder + QStringLiteral("/" QUILLBOX_MODULE_FROM_BIN "/quillbox-addin.so"));
}

QString dataFolder()
{
    return QDir::cleanPath(programFolder() + QStringLiteral("/" QUILLBOX_DATA_FROM_BIN));
}

} // namespace quillbox::resources::install
