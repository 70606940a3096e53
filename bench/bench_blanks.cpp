// A snippet's blanks on a large snippet: 100,000 lines of code holding 1,000 blanks (every
// hundredth line, some names repeated, some defaults nested), read and filled in as Copy Code
// does it. Each figure is the median of several runs; the summary table ends the output.

#include "text/placeholders.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace quillbox;

namespace {

constexpr int kLines = 100000;
constexpr int kBlanks = 1000;
constexpr int kRuns = 15;

QString largeSnippet()
{
    QString text;
    text.reserve(qsizetype(kLines) * 40);
    for (int line = 0; line < kLines; ++line) {
        if (line % (kLines / kBlanks) == 0) {
            const int k = line / (kLines / kBlanks);
            // Every fifth blank repeats an earlier name; every seventh holds another in its default.
            const QString name = QStringLiteral("Name%1").arg(k % 5 == 4 ? k - 1 : k);
            text += k % 7 == 6
                        ? QStringLiteral("Open ${%1:${Inner%2:\"C:\\log.txt\"}} For Append As #1\r\n").arg(name).arg(k)
                        : QStringLiteral("x = ${%1:Left$(s, %2)} ' note\r\n").arg(name).arg(k);
        } else {
            text += QStringLiteral("    Dim value%1 As Long: value%1 = value%1 + 1\r\n").arg(line);
        }
    }
    return text;
}

template <typename Work>
double medianMs(Work work)
{
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main()
{
    const QString snippet = largeSnippet();
    qsizetype names = 0, size = 0;
    const double read = medianMs([&] { names = text::Placeholders(snippet).names().size(); });
    QHash<QString, QString> values;
    for (int k = 0; k < kBlanks; k += 2)
        values.insert(QStringLiteral("Name%1").arg(k), QStringLiteral("value %1").arg(k));
    const double readAndFill = medianMs([&] { size = text::Placeholders(snippet).filled(values).size(); });
    std::printf("A snippet of %d lines (%.1f MB of text) with %d blanks: %lld names; filled, %lld characters\n", kLines,
                double(snippet.size()) * 2 / 1e6, kBlanks, static_cast<long long>(names), static_cast<long long>(size));
    std::printf("  read                     median %8.2f ms\n", read);
    std::printf("  read and fill half       median %8.2f ms\n", readAndFill);
    const bool pass = readAndFill <= 20.0;
    std::printf("\nSummary\n  %-44s %10s %10s  %s\n", "figure", "measured", "target", "result");
    std::printf("  %-44s %7.2f ms %7.0f ms  %s\n", "read and fill, 100,000 lines, 1,000 blanks", readAndFill, 20.0,
                pass ? "pass" : "FAIL");
    return pass ? 0 : 1;
}
