// A folder of .bas files, one snippet a file: "'Heading: ...", "'Description: N lines", the N
// description lines, then the code. A .bas file without that header is taken whole as code,
// under its file name.

#include "transfer/safefile.h"
#include "transfer/transfer.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillbox::transfer {

namespace {

const QLatin1String kHeadingLine("'Heading: ");
const QLatin1String kDescriptionLine("'Description: ");
// The longest file name the file systems take, in bytes.
constexpr qsizetype kNameBytes = 255;

// A descriptor closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    // Closes it, checked.
    int close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

private:
    int m_fd;
};

bool endsWithBas(const QString &name)
{
    return name.size() > 4 && name.endsWith(QLatin1String(".bas"), Qt::CaseInsensitive);
}

// A heading taken from a file's name or header that cannot be a heading (a line break in the
// name, a NUL): the file names it.
Fault headingFault(const QString &path, const Snippet &snippet)
{
    const text::HeadingFault fault = text::headingFault(snippet.heading.toString());
    if (fault == text::HeadingFault::None)
        return {};
    return {QStringLiteral("%1: %2").arg(path, fault == text::HeadingFault::Empty
                                                   ? QStringLiteral("it gives no heading")
                                                   : text::headingFaultMessage(fault))};
}

} // namespace

Fault parseBas(const QString &fileName, const QString &path, const QString &text, Snippet &snippet)
{
    QStringList lines = text::boxLines(text);
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast(); // the line break that ends the file
    if (!lines.first().startsWith(kHeadingLine)) {
        if (fileName.isEmpty())
            return {QStringLiteral("%1: the first line is not \"%2...\"").arg(path, kHeadingLine)};
        snippet = text::windowSnippet(fileName.chopped(4), QString(), lines.join(QLatin1Char('\n')));
        return headingFault(path, snippet);
    }
    bool counted = lines.size() > 1 && lines[1].startsWith(kDescriptionLine);
    const qsizetype count =
        counted ? lines[1].mid(kDescriptionLine.size()).section(QLatin1Char(' '), 0, 0).toLongLong(&counted) : 0;
    if (!counted || count < 0 || count > lines.size() - 2)
        return {
            QStringLiteral("%1: the line after the heading does not say how many description lines follow").arg(path)};
    snippet = text::windowSnippet(lines.first().mid(kHeadingLine.size()), lines.mid(2, count).join(QLatin1Char('\n')),
                                  lines.mid(2 + count).join(QLatin1Char('\n')));
    return headingFault(path, snippet);
}

ReadReport readFolder(const QString &folder, const ReadOptions &options, const Consumer &take)
{
    ReadReport report;
    Descriptor dir(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) {
        report.error = errno == ENOTDIR ? QStringLiteral("%1 is not a folder").arg(folder)
                                        : QStringLiteral("%1 cannot be read: %2").arg(folder, errnoWords(errno));
        return report;
    }
    // The names first, in order; the listing is read from a descriptor of its own.
    QStringList names;
    {
        DIR *listing = ::fdopendir(::dup(dir.get()));
        if (!listing) {
            report.error = QStringLiteral("%1 cannot be read: %2").arg(folder, errnoWords(errno));
            return report;
        }
        errno = 0;
        while (const dirent *entry = ::readdir(listing)) {
            const QString name = QFile::decodeName(entry->d_name);
            if (!name.startsWith(QLatin1Char('.')) && endsWithBas(name))
                names.append(name);
        }
        const int e = errno;
        ::closedir(listing);
        if (e) {
            report.error = QStringLiteral("%1 cannot be read: %2").arg(folder, errnoWords(e));
            return report;
        }
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    for (const QString &name : std::as_const(names)) {
        const QString path = folder + QLatin1Char('/') + name;
        const QByteArray encoded = QFile::encodeName(name);
        // Only a regular file directly in the folder: no link is followed, and no device,
        // pipe or socket is opened, even when one takes the file's place meanwhile.
        struct stat st {};
        if (::fstatat(dir.get(), encoded.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
            ++report.skipped;
            continue;
        }
        Descriptor file(
            ::openat(dir.get(), encoded.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            if (file.get() < 0 && errno != ELOOP) {
                report.error = QStringLiteral("%1 cannot be read: %2").arg(path, errnoWords(errno));
                return report;
            }
            ++report.skipped;
            continue;
        }
        QByteArray bytes;
        if (const Fault fault = readBounded(file.get(), path, options.fieldLimit, bytes)) {
            report.error = fault.message;
            return report;
        }
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder.decode(bytes);
        if (decoder.hasError()) {
            report.error = QStringLiteral("%1 is not UTF-8 text").arg(path);
            return report;
        }
        Snippet snippet;
        if (const Fault fault = parseBas(name, path, text, snippet)) {
            report.error = fault.message;
            return report;
        }
        if (report.read >= kSnippetLimit) {
            report.error = QStringLiteral("%1 holds more than %2 snippets").arg(folder).arg(kSnippetLimit);
            return report;
        }
        ++report.read;
        if (!take(std::move(snippet))) {
            report.stopped = true;
            return report;
        }
    }
    return report;
}

namespace {

// What the systems refuse in a file name becomes '_'; the names some refuse whole get a word
// before them.
QString safeName(const QString &heading)
{
    QString name;
    name.reserve(heading.size());
    for (const QChar c : heading)
        name += c.unicode() < 0x20 || QStringView(u"/\\:*?\"<>|").contains(c) ? QLatin1Char('_') : c;
    while (!name.isEmpty() && (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' '))))
        name.chop(1);
    while (!name.isEmpty() && (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char(' '))))
        name.remove(0, 1);
    const QString upper = name.toUpper();
    static const QStringList reserved{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                      QStringLiteral("NUL")};
    if (name.isEmpty() || reserved.contains(upper)
        || ((upper.startsWith(QLatin1String("COM")) || upper.startsWith(QLatin1String("LPT"))) && name.size() == 4
            && name[3].isDigit()))
        name = QStringLiteral("Snippet ") + name;
    return name;
}

// The longest start of `text` that is at most `bytes` bytes in UTF-8, cut between characters.
QString cutToBytes(const QString &text, qsizetype bytes)
{
    qsizetype used = 0, i = 0;
    while (i < text.size()) {
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const char32_t c = pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
        const qsizetype size = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (used + size > bytes)
            break;
        used += size;
        i += pair ? 2 : 1;
    }
    return text.left(i);
}

} // namespace

// The file name for a heading: its safe form, cut to the file systems' limit at a character
// boundary with a short hash of the whole heading after it when it is too long, and " (2)",
// " (3)"... when another heading took it (without case).
QString basFileName(const QString &heading, QSet<QString> *used)
{
    const QString base = safeName(heading);
    for (int n = 1;; ++n) {
        const QString suffix = (n > 1 ? QStringLiteral(" (%1)").arg(n) : QString()) + QStringLiteral(".bas");
        QString name = base + suffix;
        if (name.toUtf8().size() > kNameBytes) {
            const QString hash =
                QLatin1Char('~')
                + QString::fromLatin1(
                    QCryptographicHash::hash(heading.toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
            QString cut = cutToBytes(base, kNameBytes - hash.size() - suffix.toUtf8().size());
            while (cut.endsWith(QLatin1Char(' ')) || cut.endsWith(QLatin1Char('.')))
                cut.chop(1);
            name = cut + hash + suffix;
        }
        if (!used->contains(name.toUpper())) {
            used->insert(name.toUpper());
            return name;
        }
    }
}

QByteArray basFile(const Snippet &s)
{
    const QStringList description = text::boxLines(s.description.toString());
    QString text = kHeadingLine + text::trimSpaces(s.heading.toString()) + QStringLiteral("\r\n") + kDescriptionLine
                   + QStringLiteral("%1 lines\r\n").arg(description.size());
    for (const QString &line : description)
        text += line + QStringLiteral("\r\n");
    text += text::withCrLf(s.code.toString()) + QStringLiteral("\r\n");
    return text.toUtf8();
}

namespace {

// Builds the folder under a temporary name beside the target, and renames it into place when
// every file is written and synced.
class FolderWriter : public SnippetWriter {
public:
    explicit FolderWriter(QString target) : m_target(std::move(target)) {}
    ~FolderWriter() override { discard(); }

    bool begin()
    {
        const QByteArray target = QFile::encodeName(m_target);
        struct stat st {};
        if (::lstat(target.constData(), &st) == 0) {
            if (S_ISLNK(st.st_mode))
                return fail(QStringLiteral("%1 is a link, which is not followed; give a folder that is not there "
                                           "yet")
                                .arg(m_target));
            if (!S_ISDIR(st.st_mode))
                return fail(QStringLiteral("%1 is there and is not a folder").arg(m_target));
            if (!isEmptyFolder(target))
                return fail(m_error.isEmpty() ? QStringLiteral("%1 is there and is not empty").arg(m_target) : m_error);
            m_replacesEmpty = true;
        }
        const qsizetype slash = target.lastIndexOf('/');
        QByteArray temp = (slash >= 0 ? target.left(slash + 1) : QByteArray()) + ".quillbox-export-XXXXXX";
        if (!::mkdtemp(temp.data()))
            return fail(QStringLiteral("the folder %1 cannot be made: %2").arg(m_target, errnoWords(errno)));
        m_temp = temp;
        m_dir = ::open(m_temp.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (m_dir < 0)
            return fail(QStringLiteral("the folder %1 cannot be made: %2").arg(m_target, errnoWords(errno)));
        ::fchmod(m_dir, 0777 & ~currentUmask());
        return true;
    }

    Took add(const Snippet &s) override
    {
        if (!m_error.isEmpty())
            return Took::Failed;
        if (s.heading.isNull() || text::isEmptyEntry(s.heading.toString()))
            return Took::LeftOut;
        const QString name = basFileName(text::trimSpaces(s.heading.toString()), &m_used);
        const QByteArray encoded = QFile::encodeName(name);
        const QByteArray bytes = basFile(s);
        Descriptor file(
            ::openat(m_dir, encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file.get() < 0)
            return failWriting(name, errno);
        m_files.push_back(encoded);
        const char *data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(file.get(), data, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return failWriting(name, n < 0 ? errno : EIO);
            data += n;
            left -= n;
        }
        if (::fsync(file.get()) != 0)
            return failWriting(name, errno);
        if (const int e = file.close())
            return failWriting(name, e);
        return Took::Written;
    }

    bool finish() override
    {
        if (!m_error.isEmpty())
            return false;
        if (::fsync(m_dir) != 0) {
            fail(QStringLiteral("%1 cannot be written: %2").arg(m_target, errnoWords(errno)));
            return false;
        }
        const QByteArray target = QFile::encodeName(m_target);
        // A folder made by someone else meanwhile is never replaced; an empty one that was
        // there is, as long as it is still empty.
        const int e = m_replacesEmpty ? (::rename(m_temp.constData(), target.constData()) == 0 ? 0 : errno)
                                      : renameWithoutReplacing(m_temp, target);
        if (e != 0) {
            fail(e == EEXIST || e == ENOTEMPTY
                     ? QStringLiteral("%1 was made by another program meanwhile").arg(m_target)
                     : QStringLiteral("%1 cannot be written: %2").arg(m_target, errnoWords(e)));
            return false;
        }
        m_files.clear();
        m_temp.clear();
        const qsizetype slash = target.lastIndexOf('/');
        const int parent = ::open(slash > 0    ? target.left(slash).constData()
                                  : slash == 0 ? "/"
                                               : ".",
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (parent >= 0) {
            ::fsync(parent);
            ::close(parent);
        }
        return true;
    }

    QString error() const override { return m_error; }

private:
    static mode_t currentUmask()
    {
        const mode_t mask = ::umask(022);
        ::umask(mask);
        return mask;
    }
    bool isEmptyFolder(const QByteArray &path)
    {
        DIR *listing = ::opendir(path.constData());
        if (!listing) {
            m_error = QStringLiteral("%1 cannot be read: %2").arg(m_target, errnoWords(errno));
            return false;
        }
        bool empty = true, bas = false;
        while (const dirent *entry = ::readdir(listing)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            empty = false;
            bas = bas || endsWithBas(QFile::decodeName(name));
        }
        ::closedir(listing);
        if (bas)
            m_error = QStringLiteral("%1 holds .bas files already").arg(m_target);
        return empty;
    }
    bool fail(const QString &why)
    {
        m_error = why;
        discard();
        return false;
    }
    Took failWriting(const QString &name, int error)
    {
        fail(QStringLiteral("%1 cannot be written: %2").arg(m_target + QLatin1Char('/') + name, errnoWords(error)));
        return Took::Failed;
    }
    // Nothing of an unfinished export stays behind.
    void discard()
    {
        if (m_dir >= 0) {
            for (const QByteArray &file : m_files)
                ::unlinkat(m_dir, file.constData(), 0);
            ::close(m_dir);
            m_dir = -1;
        }
        m_files.clear();
        if (!m_temp.isEmpty())
            ::rmdir(m_temp.constData());
        m_temp.clear();
    }

    QString m_target;
    QByteArray m_temp;
    int m_dir = -1;
    bool m_replacesEmpty = false;
    std::vector<QByteArray> m_files;
    QSet<QString> m_used;
    QString m_error;
};

} // namespace

OpenedWriter folderWriter(const QString &target)
{
    auto writer = std::make_unique<FolderWriter>(target);
    if (!writer->begin())
        return {nullptr, {writer->error()}};
    return {std::move(writer), {}};
}

} // namespace quillbox::transfer
