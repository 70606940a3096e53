#pragma once
// The pick popup (`quillbox pick`, meant to be bound to a key): a search box, the headings
// that hold its words below it, and the snippet of the picked heading beside them as the
// display box shows it. Typing narrows the list at once by the headings, and by the
// descriptions and the code too after a short pause; Up and Down move through the list from
// the search box; Enter copies the snippet as Copy Code does (asking for its blanks first)
// and closes the popup, Esc closes it without copying.

#include "colouring/boxcolouring.h"
#include "colouring/passobserver.h"
#include "colouring/richtextbox.h"
#include "store/snippets.h"

#include <QDialog>
#include <QTimer>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QListView;

namespace quillbox::window {

class HitListModel;

class frmPick : public QDialog, private colouring::PassObserver {
    Q_OBJECT
public:
    // Puts the text on the clipboard; false when the clipboard could not be taken.
    using Copier = std::function<bool(const QString &text)>;

    // `copy` is output::copyPlainText unless another is given.
    explicit frmPick(store::SnippetLibrary library, QWidget *owner = nullptr, Copier copy = {});
    ~frmPick() override;

    QLineEdit *txtQuery;
    QListView *lstHeadings;
    colouring::RichTextBox *Rich3; // the picked snippet, as Copy Code gives it
    QLabel *lblStatus;             // what went wrong, in words
    QTimer *tmrSearch;             // the whole search, once typing pauses

    static constexpr int SearchPauseMs = 250;
    // The most hits a query lists, best first: more words narrow them.
    static constexpr qsizetype MostListed = 200;

    // The headings listed, in order.
    QStringList listed() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void queryEdited();
    void searchEverywhere();
    // Lists the hits and picks the first; a heading the user picked with the keys since the
    // query changed stays picked where it is among them.
    void list(QList<store::SearchHit> hits);
    void pickListed();
    void showPicked();
    void copyPicked();
    void report(const QString &what);

    // The colouring passes run on a small box at once: there is nothing to show meanwhile.
    void passStarted(int) override {}
    void passProgress(int) override {}
    void passFinished() override {}
    bool cancelEnabled() const override { return false; }
    void setCancelEnabled(bool) override {}

    store::SnippetLibrary m_library;
    // The headings as last listed whole, searched at every key; the library itself is asked
    // once typing pauses.
    std::optional<store::HeadingSearch> m_headings;
    HitListModel *m_hits;
    colouring::BoxColouring m_colouring;
    QString m_shown; // the heading whose snippet Rich3 holds; null when it holds none
    Copier m_copy;
    bool m_moved = false; // the user moved through the list since the query changed
    QTimer m_preview;     // shows the picked snippet once the list is painted
};

} // namespace quillbox::window
