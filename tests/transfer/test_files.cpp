// The files the formats write and the folders they read: a failure leaves the old file
// exactly as it was and nothing new behind, and a folder is read without following links,
// opening devices or reading without a bound.

#include "support/testsupport.h"
#include "transfer/safefile.h"
#include "transfer/transfer.h"
#include "transfer/transfertesting.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillbox;
using qbx::test::exportTo;
using qbx::test::fileBytes;
using qbx::test::putFile;
using transfer::Format;
using transfer::Snippet;

namespace {

// A hundred snippets of about 2 KB, the last of 100 KB.
QList<Snippet> manySnippets()
{
    QList<Snippet> all;
    for (int i = 0; i < 100; ++i)
        all.append({QStringLiteral("Snippet %1").arg(i), QStringLiteral("'d"),
                    QString(i == 99 ? 100000 : 2000, QLatin1Char('x'))});
    return all;
}

// Files larger than `bytes` cannot be written while it lives, as on a full disk: the write
// that passes the size fails (EFBIG) instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldSignal);
    }

private:
    rlimit m_old{};
    void (*m_oldSignal)(int) = nullptr;
};

} // namespace

// A small disk of its own, where one may be mounted (as root); unmounted when it goes.
class SmallDisk {
public:
    SmallDisk()
    {
        m_mounted =
            ::geteuid() == 0
            && QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=64k", "tmpfs", m_dir.path()})
                   == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {m_dir.path()});
    }
    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

// The disk fills up (a small disk of the test's own, where one can be mounted), or files may
// not grow past 64 KB: each format says why, keeps the previous export byte for byte and
// leaves nothing behind.
TEST(Files, AWriteThatFailsLeavesTheOldFileAsItWasAndNothingBehind)
{
    SmallDisk disk;
    const QString json = disk.path() + QStringLiteral("/lib.json");
    const QList<Snippet> many = manySnippets();
    ASSERT_EQ(exportTo(json, Format::Json, many.mid(0, 2)), QString());
    const QByteArray old = fileBytes(json);
    QStringList left{QStringLiteral("lib.json")};
    if (disk.mounted()) {
        QFile filler(disk.path() + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(1024, 'f')) == 1024 && filler.flush()) {}
        left.prepend(QStringLiteral("filler"));
    }
    for (const Format format : {Format::Json, Format::VsCode, Format::Folder}) {
        const QString target = format == Format::Folder ? disk.path() + QStringLiteral("/bas") : json;
        {
            const std::optional<FileSizeLimit> limit =
                disk.mounted() ? std::nullopt : std::optional<FileSizeLimit>(std::in_place, 64 * 1024);
            EXPECT_EQ(exportTo(target, format, many).section(QLatin1String(": "), -1),
                      disk.mounted() ? QStringLiteral("there is no room left on the disk")
                                     : QStringLiteral("the file would be larger than this system allows"));
        }
        EXPECT_EQ(fileBytes(json), old);
        EXPECT_EQ(QDir(disk.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), left);
    }
    // Written whole, it replaces the old file and keeps its permissions.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("lib.json"));
    ASSERT_TRUE(putFile(file, old) && ::chmod(QFile::encodeName(file).constData(), 0600) == 0);
    EXPECT_EQ(exportTo(file, Format::Json, many), QString());
    EXPECT_TRUE(fileBytes(file).startsWith("{\n    \"quillbox\": 1,\n    \"snippets\": [\n"));
    struct stat st {};
    EXPECT_TRUE(::stat(QFile::encodeName(file).constData(), &st) == 0 && (st.st_mode & 0777) == 0600);
}

TEST(Files, AFolderExportNeverWritesOutsideItsFolder)
{
    QTemporaryDir dir, elsewhere;
    const QString planted = elsewhere.filePath(QStringLiteral("planted.txt"));
    const QString linked = dir.filePath(QStringLiteral("linked")), holding = dir.filePath(QStringLiteral("holding"));
    const QString file = dir.filePath(QStringLiteral("file")), other = dir.filePath(QStringLiteral("other"));
    ASSERT_TRUE(QFile::link(elsewhere.path(), linked));
    ASSERT_TRUE(QDir().mkpath(holding) && QFile::link(planted, holding + QStringLiteral("/Swap two values.bas")));
    ASSERT_TRUE(putFile(file, "x") && QDir().mkpath(other) && putFile(other + QStringLiteral("/notes.txt"), "n"));
    const struct {
        QString target, says;
    } cases[] = {
        {linked, linked + QStringLiteral(" is a link, which is not followed")},
        {holding, holding + QStringLiteral(" holds .bas files already")},
        {file, file + QStringLiteral(" is there and is not a folder")},
        {other, other + QStringLiteral(" is there and is not empty")},
        {dir.filePath(QStringLiteral("missing/bas")), QStringLiteral("cannot be made: the folder does not exist")},
    };
    const QList<Snippet> one{{QStringLiteral("Swap two values"), QStringLiteral("'d"), QStringLiteral("c")}};
    for (const auto &c : cases)
        EXPECT_TRUE(exportTo(c.target, Format::Folder, one).contains(c.says)) << c.target.toStdString();
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty()) << "nothing written through a link";
    // An empty folder that is there is filled.
    const QString empty = dir.filePath(QStringLiteral("empty"));
    ASSERT_TRUE(QDir().mkpath(empty));
    EXPECT_EQ(exportTo(empty, Format::Folder, one), QString());
    EXPECT_EQ(fileBytes(empty + QStringLiteral("/Swap two values.bas")),
              "'Heading: Swap two values\r\n'Description: 1 lines\r\n'd\r\nc\r\n");
}

TEST(Files, AFolderIsReadWithoutFollowingLinksOrOpeningDevices)
{
    QTemporaryDir dir, outside;
    const QString folder = dir.path();
    ASSERT_TRUE(putFile(folder + QStringLiteral("/Form.Load.bas"), "Private Sub Form_Load()\nEnd Sub\n"));
    ASSERT_TRUE(putFile(folder + QStringLiteral("/b.BAS"), "'Heading: Bee\r\n'Description: 1 lines\r\n'one\r\nx\r\n"));
    ASSERT_TRUE(putFile(folder + QStringLiteral("/.hidden.bas"), "h"));
    ASSERT_TRUE(putFile(folder + QStringLiteral("/notes.txt"), "n"));
    ASSERT_TRUE(putFile(outside.filePath(QStringLiteral("secret.bas")), "s"));
    for (const char *target : {"/dev/zero", "/dev/urandom", "/etc/passwd", "/proc/self/environ"})
        ASSERT_TRUE(QFile::link(QString::fromLatin1(target), folder + QLatin1Char('/')
                                                                 + QFileInfo(QString::fromLatin1(target)).fileName()
                                                                 + QStringLiteral(".bas")));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("secret.bas")), folder + QStringLiteral("/secret.bas")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QStringLiteral("/pipe.bas")).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/folder.bas")));

    const qbx::test::Read r = qbx::test::readPath(folder);
    ASSERT_TRUE(r.report.ok()) << r.report.message().toStdString();
    EXPECT_EQ(r.rows(), QStringList({"Bee|'one|x", "Form.Load|'|Private Sub Form_Load()\r\nEnd Sub"}));
    EXPECT_EQ(r.report.skipped, 7) << "four links to system files, one out of the folder, a pipe and a folder";

    // A file over the limit is refused while it is read; a broken header is named.
    ASSERT_TRUE(putFile(folder + QStringLiteral("/big.bas"), QByteArray(5000, 'x')));
    transfer::ReadOptions small;
    small.fieldLimit = 1000;
    EXPECT_EQ(qbx::test::readPath(folder, small).report.error,
              folder + QStringLiteral("/big.bas is larger than 1000 bytes"));
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/big.bas")));
    ASSERT_TRUE(putFile(folder + QStringLiteral("/c.bas"), "'Heading: C\r\n'Description: many lines\r\n"));
    EXPECT_EQ(qbx::test::readPath(folder).report.error,
              folder + "/c.bas: the line after the heading does not say how many description lines follow");
    // A file's name makes a heading: one with a line break in it is refused.
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/c.bas")));
    ASSERT_TRUE(putFile(folder + QStringLiteral("/two\nlines.bas"), "x = 1"));
    EXPECT_EQ(qbx::test::readPath(folder).report.error,
              folder + "/two\nlines.bas: A heading is one line: it cannot hold a line break.");
}

TEST(Files, TextFilesAreReadWithinTheirLimit)
{
    QString text;
    EXPECT_EQ(transfer::readTextFile(QStringLiteral("/dev/zero"), 1 << 20, text).message,
              QStringLiteral("/dev/zero is larger than 1 MB"));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("t.bas"));
    ASSERT_TRUE(putFile(file, "\xEF\xBB\xBFok\r\n"));
    EXPECT_FALSE(transfer::readTextFile(file, 1 << 20, text));
    EXPECT_EQ(text, QStringLiteral("ok\r\n"));
    ASSERT_TRUE(putFile(file, "bad \xC3("));
    EXPECT_EQ(transfer::readTextFile(file, 1 << 20, text).message, file + QStringLiteral(" is not UTF-8 text"));
    EXPECT_EQ(transfer::readTextFile(dir.path(), 1 << 20, text).message,
              dir.path() + QStringLiteral(" cannot be read: it is a folder"));
}
