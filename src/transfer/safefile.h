#pragma once
// Files written so that a failure loses nothing: the bytes go to a temporary file beside the
// target, every write is checked, the data is synced to the disk, and only then is the file
// renamed over the target. Until then the target is exactly as it was; a file given up is
// removed. And input read with a bound on its size.

#include <QByteArray>
#include <QString>

namespace quillbox::transfer {

// Why reading or writing failed, in words that name the file or folder; none when it went
// through.
struct Fault {
    QString message;
    explicit operator bool() const { return !message.isEmpty(); }
};

// A failed system call's errno in words a user can act on ("there is no room left on the
// disk").
QString errnoWords(int error);

// Renames `from` to `to` unless something is at `to`; 0, or the errno of the failure
// (EEXIST when something is there).
int renameWithoutReplacing(const QByteArray &from, const QByteArray &to);

// Where the bytes of an output go.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False once anything failed; nothing more is written after that.
    virtual bool write(const char *data, qsizetype size) = 0;
    virtual QString error() const = 0;
};

// Standard output (or any descriptor we do not own), every write checked.
class DescriptorSink : public ByteSink {
public:
    explicit DescriptorSink(int fd, QString name) : m_fd(fd), m_name(std::move(name)) {}
    bool write(const char *data, qsizetype size) override;
    QString error() const override { return m_error; }

private:
    int m_fd;
    QString m_name;
    QString m_error;
};

class SafeFile : public ByteSink {
public:
    // Keep: a file that is at the target when the new one is put into place stays, and the
    // commit fails.
    enum class Existing { Replace, Keep };
    explicit SafeFile(QString target, Existing existing = Existing::Replace);
    ~SafeFile() override; // an uncommitted file is removed
    SafeFile(const SafeFile &) = delete;
    SafeFile &operator=(const SafeFile &) = delete;

    // Creates the temporary file beside the target.
    bool open();
    // Buffered; every write to the file is checked.
    bool write(const char *data, qsizetype size) override;
    // Writes what is held, syncs, closes and renames the file over the target, then syncs
    // the folder. False, with the target untouched, when any step failed.
    bool commit();
    QString error() const override { return m_error; }
    // The reason alone, without the file's name.
    const QString &reason() const { return m_reason; }
    const QString &target() const { return m_target; }

private:
    bool fail(int error);
    bool flushBuffer();
    void discard();

    QString m_target;
    Existing m_existing;
    QByteArray m_temp; // the temporary file's path, encoded
    QByteArray m_buffer;
    int m_fd = -1;
    bool m_failed = false;
    QString m_error, m_reason;
};

// Reads all of an open descriptor, refusing more than `limit` bytes while it reads (an
// endless device is stopped at the limit). `name` is how messages call it.
Fault readBounded(int fd, const QString &name, qint64 limit, QByteArray &bytes);
// A whole file (or standard input for an empty name) as UTF-8 text, at most `limit` bytes.
Fault readTextFile(const QString &file, qint64 limit, QString &text);
// The limit in words: "256 MB".
QString limitInWords(qint64 limit);

} // namespace quillbox::transfer
