#include "window/frmpick.h"

#include "output/clipboard.h"
#include "store/snippettext.h"
#include "window/frmfill.h"
#include "window/uifonts.h"

#include <QAbstractListModel>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace quillbox::window {

// The hits as the list shows them: the heading, and the line that holds the words as its tip.
// Without a query, every heading, shared with the list the library gave rather than copied
// (which a large library would feel at the first key, when so many hits are let go).
class HitListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(size()); }
    qsizetype size() const { return m_whole ? m_headings.size() : m_hits.size(); }
    const QString &heading(qsizetype row) const { return m_whole ? m_headings.at(row) : m_hits.at(row).heading; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= size())
            return {};
        if (role == Qt::DisplayRole)
            return heading(index.row());
        if (role == Qt::ToolTipRole && !m_whole && !m_hits.at(index.row()).line.isEmpty())
            return m_hits.at(index.row()).line;
        return {};
    }
    void reset(QList<store::SearchHit> hits)
    {
        beginResetModel();
        m_hits = std::move(hits);
        m_headings = {};
        m_whole = false;
        endResetModel();
    }
    void resetWhole(const QStringList &headings)
    {
        beginResetModel();
        m_hits = {};
        m_headings = headings;
        m_whole = true;
        endResetModel();
    }

private:
    QList<store::SearchHit> m_hits;
    QStringList m_headings;
    bool m_whole = false;
};

frmPick::frmPick(store::SnippetLibrary library, QWidget *owner, Copier copy)
    : QDialog(owner), m_library(std::move(library)), m_hits(new HitListModel(this)), m_colouring(*this),
      m_copy(copy ? std::move(copy) : Copier(output::copyPlainText))
{
    setObjectName(QStringLiteral("frmPick"));
    setWindowTitle(QStringLiteral("Pick a Snippet - Quillbox"));
    setFont(fonts::dialogFont(9.0));
    resize(820, 440);

    txtQuery = new QLineEdit(this);
    txtQuery->setObjectName(QStringLiteral("txtQuery"));
    txtQuery->setPlaceholderText(QStringLiteral("Words of the heading, description or code"));
    txtQuery->setClearButtonEnabled(true);
    txtQuery->installEventFilter(this);

    lstHeadings = new QListView(this);
    lstHeadings->setObjectName(QStringLiteral("lstHeadings"));
    lstHeadings->setUniformItemSizes(true); // many thousand headings, none of them measured
    lstHeadings->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstHeadings->setFocusPolicy(Qt::NoFocus); // the keys stay with the search box
    lstHeadings->setModel(m_hits);

    Rich3 = new colouring::RichTextBox(this);
    Rich3->setObjectName(QStringLiteral("Rich3"));
    Rich3->setReadOnly(true);
    Rich3->setFocusPolicy(Qt::NoFocus);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);
    lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblStatus->hide();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(txtQuery);
    auto *found = new QHBoxLayout;
    found->addWidget(lstHeadings, 2);
    found->addWidget(Rich3, 3);
    layout->addLayout(found, 1);
    layout->addWidget(lblStatus);

    tmrSearch = new QTimer(this);
    tmrSearch->setObjectName(QStringLiteral("tmrSearch"));
    tmrSearch->setSingleShot(true);
    tmrSearch->setInterval(SearchPauseMs);

    connect(txtQuery, &QLineEdit::textChanged, this, &frmPick::queryEdited);
    connect(txtQuery, &QLineEdit::returnPressed, this, &frmPick::copyPicked);
    connect(tmrSearch, &QTimer::timeout, this, &frmPick::searchEverywhere);
    // The snippet follows the pick once the list is painted, so a key's headings come first.
    m_preview.setSingleShot(true);
    m_preview.setInterval(0);
    connect(&m_preview, &QTimer::timeout, this, &frmPick::showPicked);
    connect(lstHeadings->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { m_preview.start(); });
    connect(lstHeadings, &QListView::activated, this, &frmPick::copyPicked);

    txtQuery->setFocus();
    queryEdited();
}

frmPick::~frmPick() = default;

QStringList frmPick::listed() const
{
    QStringList headings;
    headings.reserve(m_hits->size());
    for (qsizetype row = 0; row < m_hits->size(); ++row)
        headings << m_hits->heading(row);
    return headings;
}

bool frmPick::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtQuery && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const int step = key == Qt::Key_Up     ? -1
                         : key == Qt::Key_Down ? 1
                         : key == Qt::Key_PageUp
                             ? -qMax(1, lstHeadings->viewport()->height() / qMax(1, lstHeadings->sizeHintForRow(0)))
                         : key == Qt::Key_PageDown
                             ? qMax(1, lstHeadings->viewport()->height() / qMax(1, lstHeadings->sizeHintForRow(0)))
                             : 0;
        if (step != 0) {
            if (const int rows = m_hits->rowCount(); rows > 0) {
                const int row = qBound(0, lstHeadings->currentIndex().row() + step, rows - 1);
                lstHeadings->setCurrentIndex(m_hits->index(row));
                m_moved = true;
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmPick::report(const QString &what)
{
    lblStatus->setText(what);
    lblStatus->setVisible(!what.isEmpty());
}

void frmPick::queryEdited()
{
    tmrSearch->stop();
    m_moved = false;
    const QString query = txtQuery->text();
    const qsizetype words = store::searchWords(query).size();
    if (words > store::kMostSearchWords) {
        report(store::tooManyWords());
        list({});
        return;
    }
    if (words == 0) {
        const store::HeadingsResult all = m_library.headings();
        if (all.outcome == store::Outcome::Failed) {
            report(all.error.message);
            list({});
            return;
        }
        report(all.outcome == store::Outcome::Empty
                   ? QStringLiteral("The library holds no code yet. Add some in the Quillbox window first.")
                   : QString());
        m_headings.emplace(all.headings);
        m_hits->resetWhole(all.headings);
        pickListed();
        return;
    }
    // The headings at once, with no line read; the whole search follows when typing pauses.
    const store::SearchResult found = m_headings ? m_headings->search(query, MostListed)
                                                 : m_library.search(query, store::SearchField::Heading, 0, MostListed);
    if (found.outcome == store::Outcome::Failed) {
        report(found.error.message);
        list({});
        return;
    }
    report({});
    list(found.hits);
    tmrSearch->start();
}

void frmPick::searchEverywhere()
{
    const QString query = txtQuery->text();
    if (store::searchWords(query).isEmpty())
        return;
    // The lines are read for the rows on screen only.
    const int shown = lstHeadings->viewport()->height() / qMax(1, lstHeadings->sizeHintForRow(0)) + 1;
    const store::SearchResult found = m_library.search(query, store::allSearchFields, qMax(1, shown), MostListed);
    if (found.outcome == store::Outcome::Failed) {
        report(found.error.message);
        return;
    }
    report(found.hits.isEmpty()              ? QStringLiteral("No snippet holds these words.")
           : found.total > found.hits.size() ? QStringLiteral("The best %1 of %2 snippets; more words narrow them.")
                                                   .arg(found.hits.size())
                                                   .arg(found.total)
                                             : QString());
    list(found.hits);
}

void frmPick::list(QList<store::SearchHit> hits)
{
    m_hits->reset(std::move(hits));
    pickListed();
}

void frmPick::pickListed()
{
    const QString &was = m_shown;
    int row = 0;
    if (m_moved && !was.isNull()) {
        for (qsizetype at = 0; at < m_hits->size(); ++at) {
            if (m_hits->heading(at) == was) {
                row = int(at);
                break;
            }
        }
    }
    if (m_hits->size() == 0) {
        m_shown = QString();
        Rich3->setText(QString());
        return;
    }
    lstHeadings->setCurrentIndex(m_hits->index(row));
    lstHeadings->scrollTo(m_hits->index(row));
}

void frmPick::showPicked()
{
    const QModelIndex current = lstHeadings->currentIndex();
    if (!current.isValid())
        return;
    const QString heading = m_hits->heading(current.row());
    if (heading == m_shown)
        return;
    m_shown = QString();
    Rich3->setText(QString());
    const store::SnippetResult found = m_library.find(heading);
    if (found.outcome == store::Outcome::Failed) {
        report(found.error.message);
        return;
    }
    if (found.outcome == store::Outcome::Vanished) {
        report(QStringLiteral("The code \"%1\" is no longer in the library; another program may have changed or "
                              "deleted it.")
                   .arg(store::trimSpaces(heading)));
        return;
    }
    const store::Snippet &s = found.snippet;
    // As the display box receives and colours it: its text is then what Copy Code copies.
    Rich3->setText(store::composeDisplay(s.heading, s.description, s.code));
    m_colouring.ColourEveryLine(*Rich3);
    Rich3->moveCursor(QTextCursor::Start);
    m_shown = heading;
}

void frmPick::copyPicked()
{
    // Enter may come before the picked snippet is shown.
    m_preview.stop();
    showPicked();
    if (m_shown.isNull()) {
        if (lblStatus->isHidden())
            report(QStringLiteral("No snippet is picked: type words of its heading, and pick it with Up and Down."));
        return;
    }
    // Blanks are filled first, as Copy Code asks for them; Esc there copies nothing.
    const std::optional<QString> copied = filledForCopy(Rich3->Text(), this);
    if (!copied)
        return;
    // Copied while the popup still has the focus, which a Wayland desktop asks of a program
    // that takes the clipboard.
    if (!m_copy(*copied)) {
        report(QStringLiteral("The code could not be put on the clipboard: another program may be holding it. "
                              "Please try again."));
        return;
    }
    accept();
}

} // namespace quillbox::window
