// clipboard_peek read: prints the clipboard's text of the display in DISPLAY as UTF-8.
// clipboard_peek take TEXT: puts TEXT on that clipboard, and ends once the window system has it.

#include <QClipboard>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (argc == 2 && std::strcmp(argv[1], "read") == 0) {
        const QByteArray text = clipboard->text().toUtf8();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "take") == 0) {
        clipboard->setText(QString::fromUtf8(argv[2]));
        return clipboard->ownsClipboard() ? 0 : 1;
    }
    std::fputs("usage: clipboard_peek read | take TEXT\n", stderr);
    return 2;
}
