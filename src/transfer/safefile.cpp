#include "transfer/safefile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillbox::transfer {

namespace {

constexpr qsizetype kBufferSize = 1024 * 1024;

// Writes everything, going on after a partial write or an interruption.
int writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        data += n;
        size -= n;
    }
    return 0;
}

// Syncs the folder that holds the file, so that its rename is on the disk too.
void syncFolderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? path.left(slash) : slash == 0 ? QByteArray("/") : QByteArray(".");
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

int renameWithoutReplacing(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: a file is linked (which never replaces) and unlinked;
    // a folder is renamed when nothing is there.
    struct stat st {};
    if (::lstat(from.constData(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        if (::link(from.constData(), to.constData()) != 0)
            return errno;
        ::unlink(from.constData());
        return 0;
    }
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

QString errnoWords(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("there is no room left on the disk");
    case EDQUOT:
        return QStringLiteral("the disk quota is used up");
    case EFBIG:
        return QStringLiteral("the file would be larger than this system allows");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied");
    case EROFS:
        return QStringLiteral("the disk is read-only");
    case ENOENT:
        return QStringLiteral("the folder does not exist");
    case ENOTDIR:
        return QStringLiteral("a part of the path is not a folder");
    case EISDIR:
        return QStringLiteral("it is a folder");
    case ENAMETOOLONG:
        return QStringLiteral("the name is too long");
    case ELOOP:
        return QStringLiteral("it is a link, which is not followed");
    case EIO:
        return QStringLiteral("the disk reported an input/output error");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

QString limitInWords(qint64 limit)
{
    if (limit >= 1024 * 1024 && limit % (1024 * 1024) == 0)
        return QStringLiteral("%1 MB").arg(limit / (1024 * 1024));
    return QStringLiteral("%1 bytes").arg(limit);
}

bool DescriptorSink::write(const char *data, qsizetype size)
{
    if (!m_error.isEmpty())
        return false;
    if (const int e = writeAll(m_fd, data, size)) {
        m_error = QStringLiteral("%1 cannot be written: %2").arg(m_name, errnoWords(e));
        return false;
    }
    return true;
}

SafeFile::SafeFile(QString target, Existing existing) : m_target(std::move(target)), m_existing(existing)
{}

SafeFile::~SafeFile()
{
    discard();
}

void SafeFile::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
    m_temp.clear();
}

bool SafeFile::fail(int error)
{
    m_failed = true;
    m_reason =
        error == EEXIST && m_existing == Existing::Keep ? QStringLiteral("a file is there already") : errnoWords(error);
    m_error = QStringLiteral("%1 cannot be written: %2").arg(m_target, m_reason);
    discard();
    return false;
}

bool SafeFile::open()
{
    const QByteArray target = QFile::encodeName(m_target);
    struct stat st {};
    const bool there = ::stat(target.constData(), &st) == 0;
    if (there && S_ISDIR(st.st_mode))
        return fail(EISDIR);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash >= 0 ? target.left(slash + 1) : QByteArray();
    // A short name of our own beside the target, whatever the length of the target's name.
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temp = folder + ".quillbox-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
        m_fd = ::open(m_temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            break;
        const int e = errno;
        m_temp.clear();
        if (e != EEXIST)
            return fail(e);
    }
    if (m_fd < 0)
        return fail(EAGAIN);
    // A file written over keeps its permissions.
    if (there && S_ISREG(st.st_mode))
        ::fchmod(m_fd, st.st_mode & 07777);
    m_buffer.reserve(kBufferSize);
    return true;
}

bool SafeFile::flushBuffer()
{
    if (m_buffer.isEmpty())
        return true;
    const int e = writeAll(m_fd, m_buffer.constData(), m_buffer.size());
    m_buffer.clear();
    return e ? fail(e) : true;
}

bool SafeFile::write(const char *data, qsizetype size)
{
    if (m_failed || m_fd < 0)
        return false;
    if (m_buffer.size() + size > kBufferSize && !flushBuffer())
        return false;
    if (size >= kBufferSize) {
        const int e = writeAll(m_fd, data, size);
        return e ? fail(e) : true;
    }
    m_buffer.append(data, size);
    return true;
}

bool SafeFile::commit()
{
    if (m_failed || m_fd < 0)
        return false;
    if (!flushBuffer())
        return false;
    if (::fsync(m_fd) != 0)
        return fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return fail(errno);
    const QByteArray target = QFile::encodeName(m_target);
    if (m_existing == Existing::Replace && ::rename(m_temp.constData(), target.constData()) != 0)
        return fail(errno);
    if (m_existing == Existing::Keep)
        if (const int e = renameWithoutReplacing(m_temp, target))
            return fail(e);
    m_temp.clear();
    syncFolderOf(target);
    return true;
}

Fault readBounded(int fd, const QString &name, qint64 limit, QByteArray &bytes)
{
    bytes.clear();
    struct stat st {};
    // A regular file's size tells how much room to take; anything else grows as it comes.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= limit)
        bytes.reserve(qsizetype(st.st_size) + 1);
    constexpr qsizetype kChunk = 64 * 1024;
    for (;;) {
        const qsizetype room = qsizetype(std::min<qint64>(kChunk, limit + 1 - bytes.size()));
        const qsizetype at = bytes.size();
        bytes.resize(at + room);
        const ssize_t n = ::read(fd, bytes.data() + at, size_t(room));
        if (n < 0 && errno == EINTR) {
            bytes.resize(at);
            continue;
        }
        if (n < 0) {
            const int e = errno;
            bytes.clear();
            return {QStringLiteral("%1 cannot be read: %2").arg(name, errnoWords(e))};
        }
        bytes.resize(at + n);
        if (n == 0)
            return {};
        if (bytes.size() > limit) {
            bytes.clear();
            bytes.squeeze();
            return {QStringLiteral("%1 is larger than %2").arg(name, limitInWords(limit))};
        }
    }
}

Fault readTextFile(const QString &file, qint64 limit, QString &text)
{
    const QString name = file.isEmpty() ? QStringLiteral("standard input") : file;
    int fd = STDIN_FILENO;
    if (!file.isEmpty()) {
        fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            const int e = fd < 0 ? errno : EISDIR;
            if (fd >= 0)
                ::close(fd);
            return {QStringLiteral("%1 cannot be read: %2").arg(name, errnoWords(e))};
        }
        // Opened without waiting (a FIFO with no writer); reads wait as usual.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    QByteArray bytes;
    const Fault fault = readBounded(fd, name, limit, bytes);
    if (fd != STDIN_FILENO)
        ::close(fd);
    if (fault)
        return fault;
    QStringDecoder decoder(QStringDecoder::Utf8);
    text = decoder.decode(bytes);
    if (decoder.hasError())
        return {QStringLiteral("%1 is not UTF-8 text").arg(name)};
    return {};
}

} // namespace quillbox::transfer
