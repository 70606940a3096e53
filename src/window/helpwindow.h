#pragma once
// A small window that shows the help page at its top.

#include <QWidget>

class QTextBrowser;

namespace quillbox::window {

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget *parent = nullptr);

    // Shows the page at the top of its contents; a file that cannot be read is said so,
    // naming the path. Returns whether the file was shown.
    bool showFile(const QString &path);

    QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser;
};

} // namespace quillbox::window
