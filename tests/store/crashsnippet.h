#pragma once
// What the crash test's writer stores under a heading "RUN-i": the description and the code
// follow from the heading alone, so that every row can be checked whole after the writer is
// killed. The code runs from one line to several pages of the file.

#include <QString>

namespace qbx::test {

inline QString crashDescription(const QString &heading)
{
    return QStringLiteral("'Written for %1 — whole or not at all").arg(heading);
}

inline QString crashCode(const QString &heading)
{
    return QStringLiteral("    Debug.Print \"%1\"\r\n")
        .arg(heading)
        .repeated(1 + heading.section('-', 1).toInt() * 37 % 600);
}

} // namespace qbx::test
