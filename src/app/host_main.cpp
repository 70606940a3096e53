// quillbox-host: a small development environment window that loads the add-ins
// registered for it, the way their real host would.

#include "host/hostaddins.h"
#include "host/hostmessages.h"
#include "host/hostwindow.h"
#include "resources/installpaths.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

struct Arguments {
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help.")};
    QCommandLineOption commandLine{
        QStringLiteral("command-line"),
        QStringLiteral("Connects the add-ins registered for command-line use (LoadBehavior bit 4 and "
                       "CommandLineSafe=1) instead of those that load on start-up.")};

    QCommandLineOption registerModule{
        QStringLiteral("register"),
        QStringLiteral("Registers the add-in module (calls its DllRegisterServer) and quits. Without a "
                       "module, the Quillbox module installed with this program."),
        QStringLiteral("module")};
    QCommandLineOption unregisterModule{
        QStringLiteral("unregister"),
        QStringLiteral("Unregisters the add-in module (calls its DllUnregisterServer) and quits. Without a "
                       "module, the Quillbox module installed with this program."),
        QStringLiteral("module")};

    Arguments()
    {
        parser.setApplicationDescription(
            QStringLiteral("Loads the add-ins registered in %1 and shows them on its Add-Ins menu.")
                .arg(quillbox::host::Registry::defaultPath()));
        parser.addOption(help);
        parser.addOption(commandLine);
        parser.addOption(registerModule);
        parser.addOption(unregisterModule);
    }
};

} // namespace

int main(int argc, char **argv)
{
    Arguments arguments;
    // --help is answered before the application exists, so that it needs no display.
    QStringList raw;
    for (int i = 0; i < argc; ++i) {
        raw.append(QString::fromLocal8Bit(argv[i]));
        // --register and --unregister without a module mean the Quillbox module.
        const bool moduleOption =
            raw.last() == QLatin1String("--register") || raw.last() == QLatin1String("--unregister");
        if (moduleOption && (i + 1 == argc || argv[i + 1][0] == '-'))
            raw.append(quillbox::resources::install::modulePath());
    }
    arguments.parser.parse(raw);
    if (arguments.parser.isSet(arguments.help)) {
        QString text = arguments.parser.helpText();
        text.replace(QStringLiteral("<executable_name>"), QStringLiteral("quillbox-host"));
        std::fputs(qPrintable(text), stdout);
        return 0;
    }

    // Registering needs no window either.
    for (const bool registering : {true, false}) {
        const QCommandLineOption &option = registering ? arguments.registerModule : arguments.unregisterModule;
        if (!arguments.parser.isSet(option))
            continue;
        const QString module = QFileInfo(arguments.parser.value(option)).absoluteFilePath();
        QString error;
        const bool ok = registering ? quillbox::host::loader::registerServer(module, &error)
                                    : quillbox::host::loader::unregisterServer(module, &error);
        if (!ok) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        std::printf("%s %s in %s\n", qPrintable(QDir::toNativeSeparators(module)),
                    registering ? "is registered" : "is no longer registered",
                    qPrintable(QDir::toNativeSeparators(quillbox::host::Registry::defaultPath())));
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillbox Host"));
    // Qt's own options (-platform and the like) are gone from arguments() by now.
    if (!arguments.parser.parse(QApplication::arguments())) {
        std::fprintf(stderr, "%s\n\n%s", qPrintable(arguments.parser.errorText()),
                     qPrintable(arguments.parser.helpText()));
        return 2;
    }

    quillbox::host::ObjectModel model;
    quillbox::host::AddInHost addIns(model);
    quillbox::host::HostWindow window(model, addIns);

    const auto failures = addIns.connectStartupAddIns(arguments.parser.isSet(arguments.commandLine));
    window.show();
    for (const auto &failure : failures)
        quillbox::host::showMessage(&window, quillbox::host::kAddInManagerTitle, failure.message);

    const int result = QApplication::exec();
    // The add-ins go while the window and the object model are still there.
    addIns.disconnectAll();
    return result;
}
