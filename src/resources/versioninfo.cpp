#include "resources/versioninfo.h"

#include <QDir>
#include <QFile>

#include <elf.h>

#include <cstring>

namespace quillbox::resources::version {

namespace {

template <typename T>
bool readAt(const QByteArray &file, quint64 offset, T *out)
{
    if (offset > quint64(file.size()) || quint64(file.size()) - offset < sizeof(T))
        return false;
    std::memcpy(out, file.constData() + offset, sizeof(T));
    return true;
}

// The bytes of the named section of a 64-bit ELF file, or null.
QByteArray elfSection(const QByteArray &file, const char *name)
{
    Elf64_Ehdr header;
    if (!readAt(file, 0, &header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0
        || header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr))
        return {};
    Elf64_Shdr names;
    if (!readAt(file, header.e_shoff + quint64(header.e_shstrndx) * sizeof(Elf64_Shdr), &names))
        return {};
    for (quint64 i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section;
        if (!readAt(file, header.e_shoff + i * sizeof(Elf64_Shdr), &section))
            return {};
        const quint64 nameAt = names.sh_offset + section.sh_name;
        if (nameAt >= quint64(file.size()))
            continue;
        const char *sectionName = file.constData() + nameAt;
        const auto room = std::size_t(quint64(file.size()) - nameAt);
        if (strnlen(sectionName, room) == room || std::strcmp(sectionName, name) != 0)
            continue;
        if (section.sh_offset > quint64(file.size()) || section.sh_size > quint64(file.size()) - section.sh_offset)
            return {};
        return file.mid(qsizetype(section.sh_offset), qsizetype(section.sh_size));
    }
    return {};
}

} // namespace

QString readVersionInfo(const QString &modulePath, QMap<QString, QString> &entries)
{
    entries.clear();
    QFile file(modulePath);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 could not be read: %2").arg(QDir::toNativeSeparators(modulePath), file.errorString());
    // A module is a few megabytes; anything much larger is no module of ours.
    constexpr qint64 kLargestModule = 256 * 1024 * 1024;
    if (file.size() > kLargestModule)
        return QStringLiteral("%1 is too large to be a Quillbox module.").arg(QDir::toNativeSeparators(modulePath));
    const QByteArray section = elfSection(file.read(kLargestModule), kSectionName);
    for (const QByteArray &entry : section.split('\0')) {
        const qsizetype equals = entry.indexOf('=');
        if (equals > 0)
            entries.insert(QString::fromUtf8(entry.left(equals)), QString::fromUtf8(entry.mid(equals + 1)));
    }
    if (entries.isEmpty())
        return QStringLiteral("%1 carries no version information.").arg(QDir::toNativeSeparators(modulePath));
    return {};
}

} // namespace quillbox::resources::version
