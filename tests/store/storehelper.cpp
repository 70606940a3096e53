// A helper program for the store's tests, working on the library in $XDG_DATA_HOME.
//   store_helper write RUN     adds the snippets RUN-0, RUN-1, ... each as the window adds one,
//                              and prints each heading as soon as it is stored.
//   store_helper add HEADING GO
//                              waits until the file GO exists, then adds the snippet HEADING
//                              and prints the outcome: done, taken, or the failure's message.

#include "store/crashsnippet.h"
#include "store/libraryfolder.h"
#include "store/snippets.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

#include <cstdio>

using namespace quillbox::store;

namespace {

// Prints the outcome; false when the snippet was not stored.
bool add(const QString &heading, const QString &description, const QString &code, const char *done)
{
    const Result added = SnippetLibrary(databasePath()).add(heading, description, code);
    std::printf("%s\n", added.done()                      ? done
                        : added.outcome == Outcome::Taken ? "taken"
                                                          : qPrintable(added.error.message));
    std::fflush(stdout);
    return added.done();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    std::printf("ready\n");
    std::fflush(stdout);
    if (args.size() == 3 && args[1] == QLatin1String("write")) {
        for (int i = 0;; ++i) {
            const QString heading = QStringLiteral("%1-%2").arg(args[2]).arg(i);
            if (!add(heading, qbx::test::crashDescription(heading), qbx::test::crashCode(heading), qPrintable(heading)))
                return 1;
        }
    }
    if (args.size() == 4 && args[1] == QLatin1String("add")) {
        while (!QFileInfo::exists(args[3]))
            QThread::usleep(200);
        add(args[2], args[2], args[2], "done");
        return 0;
    }
    std::fprintf(stderr, "usage: store_helper write RUN | add HEADING GO\n");
    return 2;
}
