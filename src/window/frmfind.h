#pragma once
// The Find dialog: the words typed into its box are looked for in every snippet's heading,
// description and code, and the list shows each snippet that holds them all, with the line
// that matched. The first match is selected; Enter or a double-click picks the selected
// heading, and the dialog closes.

#include "store/snippets.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QLineEdit;
class QModelIndex;
class QTreeView;

namespace quillbox::window {

class FoundSnippets;

class frmFind : public QDialog {
    Q_OBJECT
public:
    frmFind(store::SnippetLibrary library, QWidget *owner);

    QLineEdit *txtWords;
    QTreeView *lstFound;
    QLabel *lblFound;

    // Looks for the words in the box now, unless they were looked for last.
    void search();

Q_SIGNALS:
    // The user picked the snippet with this heading; the dialog closes next.
    void picked(const QString &heading);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void pick(const QModelIndex &index);

    store::SnippetLibrary m_library;
    FoundSnippets *m_found;
    QTimer m_pause; // the words are looked for once the typing pauses
    QString m_searched;
    bool m_searchedOnce = false;
};

} // namespace quillbox::window
