#pragma once
// What the crash test's writer stores under a heading: the description and the code follow
// from the heading alone, so that every row can be checked whole after the writer is killed.

#include <QCryptographicHash>
#include <QString>

namespace qbx::test {

inline QString crashHeading(const QString &run, int i)
{
    return QStringLiteral("%1-%2").arg(run).arg(i);
}

inline QString crashDescription(const QString &heading)
{
    return QStringLiteral("Written for %1 — whole or not at all").arg(heading);
}

// From one line to several pages of the file, so that many rows spill over many pages.
inline QString crashCode(const QString &heading)
{
    const QByteArray hash = QCryptographicHash::hash(heading.toUtf8(), QCryptographicHash::Sha1);
    const int lines = 1 + (quint8(hash[0]) | quint8(hash[1]) << 8) % 600;
    const QString tag = QString::fromLatin1(hash.toHex());
    QString code;
    for (int n = 0; n < lines; ++n)
        code += QStringLiteral("    Debug.Print \"%1 line %2 %3\"\r\n").arg(heading).arg(n).arg(tag);
    return code;
}

} // namespace qbx::test
