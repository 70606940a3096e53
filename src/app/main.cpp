// quillbox: with no arguments, opens the Quillbox window as an outside client of the add-in
// module; with "pick", the pick popup; with a command, works on the library from the command
// line. The hidden command search-provider answers the desktop's own search on the session
// bus (the bus starts it).

#include "app/addinmodule.h"
#include "app/cli.h"
#include "desktopsearch/searchprovider.h"
#include "output/clipboard.h"
#include "output/clipboardkeeper.h"
#include "store/libraryfolder.h"
#include "window/frmpick.h"

#include <QApplication>
#include <QDBusConnection>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include <fcntl.h>
#include <unistd.h>

namespace {

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
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
        err() << quillbox::app::cli::usage();
        err().flush();
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    quillbox::app::AddinModule module;
    quillbox::host::ComPtr<quillbox::host::IDTExtensibility2> connection;
    if (!module.create(&connection)) {
        err() << module.lastError() << Qt::endl;
        return 1;
    }
    auto connect = connection.as<quillbox::addin::_Connect>();

    // Whenever a window of ours is hidden or closed, look (once the event is handled)
    // whether the Quillbox window is still displayed; when it is not, we are done.
    struct Watcher : QObject {
        quillbox::addin::_Connect *connect = nullptr;
        bool eventFilter(QObject *object, QEvent *event) override
        {
            if ((event->type() == QEvent::Hide || event->type() == QEvent::Close) && object->isWidgetType()
                && static_cast<QWidget *>(object)->isWindow())
                QTimer::singleShot(0, this, [this] {
                    quillbox::host::VariantBool shown = quillbox::host::VariantFalse;
                    if (quillbox::host::Failed(connect->get_FormDisplayed(&shown))
                        || shown == quillbox::host::VariantFalse)
                        QCoreApplication::quit();
                });
            return false;
        }
    } watcher;
    watcher.connect = connect.get();
    app.installEventFilter(&watcher);

    QVariantList custom;
    connection->OnConnection(nullptr, quillbox::host::ConnectMode::External, nullptr, custom);
    quillbox::host::VariantBool shown = quillbox::host::VariantFalse;
    connect->get_FormDisplayed(&shown);
    const int status = shown != quillbox::host::VariantFalse ? app.exec() : 1;
    app.removeEventFilter(&watcher);
    connection->OnDisconnection(quillbox::host::DisconnectMode::UserClosed, custom);
    return status;
}

// The pick popup. The snippet is copied in this process while the popup has the focus (a
// Wayland desktop lets only a focused window take the clipboard, and a keeper started then
// would be an X client the desktop may not hand the text on from); the popup then goes and
// the process serves the text without a window until another program takes the clipboard.
int pickSnippet(int argc, char **argv)
{
    if (argc > 2) {
        err() << "quillbox pick: unexpected argument " << QString::fromLocal8Bit(argv[2]) << "\n";
        err().flush();
        return quillbox::app::cli::WrongUse;
    }
    if (!haveDisplay()) {
        err() << "quillbox pick: there is no display to open the window on (DISPLAY is not set).\n";
        err().flush();
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    quillbox::window::frmPick popup{quillbox::store::SnippetLibrary(quillbox::store::libraryLocation())};
    popup.show();
    popup.raise();
    popup.activateWindow();
    if (popup.exec() != QDialog::Accepted)
        return 0;
    quillbox::output::whenTaken(&app, [] { QCoreApplication::quit(); });
    return app.exec();
}

// Answers the desktop's search until no call has come for a while.
int provideSearch(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString program = QCoreApplication::applicationFilePath();
    quillbox::desktopsearch::SearchProvider provider(
        [program](const QString &text) {
            const quillbox::output::Kept kept = quillbox::output::keepOnClipboard(text, program);
            return kept.ok ? QString() : kept.error;
        },
        program);
    QObject::connect(&provider, &quillbox::desktopsearch::SearchProvider::idle, &app, &QCoreApplication::quit);
    QString error;
    if (!provider.registerOn(QDBusConnection::sessionBus(), &error)) {
        err() << "quillbox search-provider: " << error << Qt::endl;
        return 1;
    }
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    if (args.isEmpty())
        return openWindow(argc, argv);
    // Before any application object: the keeper chooses its platform itself.
    if (args.first() == QLatin1String(quillbox::output::kKeeperCommand))
        return quillbox::output::serveClipboard(argc, argv);
    if (args.first() == QLatin1String("pick"))
        return pickSnippet(argc, argv);
    if (args == QStringList{QStringLiteral("search-provider")})
        return provideSearch(argc, argv);

    // Started with standard output closed, the program keeps its descriptor taken, so that
    // no file it opens gets it, and reports every write to it as failed.
    if (::fcntl(STDOUT_FILENO, F_GETFD) == -1 && ::open("/dev/null", O_WRONLY) == STDOUT_FILENO)
        quillbox::app::cli::out().setClosed();
    QCoreApplication app(argc, argv);
    return quillbox::app::cli::run(args);
}
