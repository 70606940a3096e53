// A helper program for the store's tests.
//   store_helper write RUN   adds the snippets RUN-0, RUN-1, ... to the library in
//                            $XDG_DATA_HOME, each the way the window adds one, and prints each
//                            heading as soon as it is stored.
//   store_helper add HEADING GO
//                            waits until the file GO exists, then adds the snippet HEADING to
//                            the library in $XDG_DATA_HOME and prints the outcome: done, taken,
//                            or the failure's message.

#include "store/crashsnippet.h"
#include "store/libraryfolder.h"
#include "store/snippets.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

#include <cstdio>

using namespace quillbox;

namespace {

int failed(const store::StoreError &error)
{
    std::fprintf(stderr, "%s\n", qPrintable(error.message));
    return 1;
}

int write(const QString &run)
{
    const QString path = store::databasePath();
    std::printf("ready\n");
    std::fflush(stdout);
    const store::SnippetLibrary library(path);
    for (int i = 0; i < 1000000; ++i) {
        const QString heading = qbx::test::crashHeading(run, i);
        const store::Result added =
            library.add(heading, qbx::test::crashDescription(heading), qbx::test::crashCode(heading));
        if (added.outcome == store::Outcome::Failed)
            return failed(added.error);
        if (added.outcome == store::Outcome::Taken) {
            std::fprintf(stderr, "%s is taken already\n", qPrintable(heading));
            return 1;
        }
        std::printf("%s\n", qPrintable(heading));
        std::fflush(stdout);
    }
    return 0;
}

int addAtOnce(const QString &heading, const QString &go)
{
    std::printf("ready\n");
    std::fflush(stdout);
    while (!QFileInfo::exists(go))
        QThread::usleep(200);
    const store::Result added = store::SnippetLibrary(store::databasePath()).add(heading, heading, heading);
    if (added.outcome == store::Outcome::Failed)
        return failed(added.error);
    std::printf("%s\n", added.outcome == store::Outcome::Taken ? "taken" : "done");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QLatin1String("write"))
        return write(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("add"))
        return addAtOnce(args[2], args[3]);
    std::fprintf(stderr, "usage: store_helper write RUN | add HEADING GO\n");
    return 2;
}
