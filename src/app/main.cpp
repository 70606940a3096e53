// quillbox: with no arguments, opens the Quillbox window as an outside client of the add-in
// module; with a command, works on the library from the command line.

#include "app/addinmodule.h"
#include "resources/versioninfo.h"
#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "store/snippets.h"
#include "store/snippettext.h"

#include <QApplication>
#include <QDir>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

const char *const kUsage = "Usage: quillbox [COMMAND]\n"
                           "\n"
                           "Without a command, opens the Quillbox window: a personal library of Visual Basic\n"
                           "code snippets that hands a chosen snippet back as paste-ready source text.\n"
                           "\n"
                           "Commands:\n"
                           "  init [--samples]   create the library folder, an empty library and the help file\n"
                           "                     where they are missing (nothing existing is changed);\n"
                           "                     --samples puts a few sample snippets into a new library\n"
                           "  list               print the headings of the library, one a line, in table order\n"
                           "  show HEADING [--crlf]\n"
                           "                     print the snippet with that heading as the window composes it\n"
                           "                     (the heading and the description as comment lines, then the\n"
                           "                     code), each line ended by a line feed, or by CR LF with --crlf\n"
                           "  --version          print the version of the add-in module\n"
                           "  --help             print this help\n"
                           "\n"
                           "The library lives in %1\n";

void printUsage(QTextStream &stream)
{
    stream << QString::fromLatin1(kUsage).arg(QDir::toNativeSeparators(quillbox::store::libraryFolder()));
    stream.flush();
}

int printVersion()
{
    QString error;
    const auto info = quillbox::version::readVersionInfo(quillbox::app::addinModulePath(), &error);
    if (info.isEmpty()) {
        err() << error << Qt::endl;
        return 1;
    }
    out() << info.value(QStringLiteral("ProductName")) << ' ' << info.value(QStringLiteral("ProductVersion")) << " ("
          << info.value(QStringLiteral("InternalName")) << ", file version "
          << info.value(QStringLiteral("FileVersion")) << ")" << Qt::endl;
    return 0;
}

int init(const QStringList &args)
{
    bool samples = false;
    for (const QString &arg : args) {
        if (arg == QLatin1String("--samples")) {
            samples = true;
        } else {
            err() << "quillbox init: unknown option " << arg << Qt::endl;
            return 2;
        }
    }
    const auto result = quillbox::store::initLibrary(samples);
    for (const QString &line : result.report)
        out() << line << Qt::endl;
    if (!result.ok) {
        err() << result.error << Qt::endl;
        return 1;
    }
    return 0;
}

int listHeadings(const QStringList &args)
{
    using namespace quillbox::store;
    if (!args.isEmpty()) {
        err() << "quillbox list: unexpected argument " << args.first() << Qt::endl;
        return 2;
    }
    const HeadingsResult list = SnippetLibrary(databasePath()).headings();
    if (list.outcome == Outcome::Failed) {
        err() << list.error.message << Qt::endl;
        return 1;
    }
    for (const QString &heading : list.headings)
        out() << heading << '\n';
    out().flush();
    return 0;
}

int showSnippet(QStringList args)
{
    using namespace quillbox::store;
    const bool crlf = args.removeAll(QStringLiteral("--crlf")) > 0;
    if (args.size() != 1) {
        err() << "quillbox show: give one heading (in quotes when it has spaces), and --crlf if wanted" << Qt::endl;
        return 2;
    }
    const SnippetResult found = SnippetLibrary(databasePath()).find(args.first());
    if (found.outcome == Outcome::Failed) {
        err() << found.error.message << Qt::endl;
        return 1;
    }
    if (found.outcome == Outcome::Vanished) {
        err() << "quillbox show: there is no code named \"" << trimSpaces(args.first()) << "\" in the library"
              << Qt::endl;
        return 1;
    }
    QString text = composeDisplay(found.snippet.heading, found.snippet.description, found.snippet.code);
    // Every kind of line break becomes the one asked for.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text += QLatin1Char('\n');
    if (crlf)
        text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    out() << text;
    out().flush();
    return 0;
}

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// Opens the window through the module and runs until the window is hidden or closed.
int openWindow(int argc, char **argv)
{
    if (!haveDisplay()) {
        err() << "quillbox: there is no display to open the window on (DISPLAY is not set).\n"
                 "Run it from a desktop session, or use the command line instead:\n\n";
        err().flush();
        printUsage(err());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    quillbox::app::AddinModule module;
    qbx::ComPtr<qbx::IDTExtensibility2> connection;
    if (!module.create(&connection)) {
        err() << module.lastError() << Qt::endl;
        return 1;
    }
    auto connect = connection.as<quillbox::_Connect>();

    // Whenever a window of ours is hidden or closed, look (once the event is handled)
    // whether the Quillbox window is still displayed; when it is not, we are done.
    struct Watcher : QObject {
        quillbox::_Connect *connect = nullptr;
        bool eventFilter(QObject *object, QEvent *event) override
        {
            if ((event->type() == QEvent::Hide || event->type() == QEvent::Close) && object->isWidgetType()
                && static_cast<QWidget *>(object)->isWindow())
                QTimer::singleShot(0, this, [this] {
                    qbx::VariantBool shown = qbx::VariantFalse;
                    if (qbx::Failed(connect->get_FormDisplayed(&shown)) || shown == qbx::VariantFalse)
                        QCoreApplication::quit();
                });
            return false;
        }
    } watcher;
    watcher.connect = connect.get();
    app.installEventFilter(&watcher);

    QVariantList custom;
    connection->OnConnection(nullptr, qbx::ConnectMode::External, nullptr, custom);
    qbx::VariantBool shown = qbx::VariantFalse;
    connect->get_FormDisplayed(&shown);
    const int status = shown != qbx::VariantFalse ? app.exec() : 1;
    app.removeEventFilter(&watcher);
    connection->OnDisconnection(qbx::DisconnectMode::UserClosed, custom);
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    if (args.isEmpty())
        return openWindow(argc, argv);

    QCoreApplication app(argc, argv);
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        printUsage(out());
        return 0;
    }
    if (command == QLatin1String("--version"))
        return printVersion();
    if (command == QLatin1String("init"))
        return init(args);
    if (command == QLatin1String("list"))
        return listHeadings(args);
    if (command == QLatin1String("show"))
        return showSnippet(args);

    err() << "quillbox: unknown command " << command << "\n\n";
    printUsage(err());
    return 2;
}
