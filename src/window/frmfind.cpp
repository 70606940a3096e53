#include "window/frmfind.h"

#include "window/messageservice.h"
#include "window/uifonts.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <utility>

namespace quillbox::window {

namespace {

// The hits whose lines come with the search: about a screen of them.
constexpr qsizetype kLinesFirst = 50;
// The lines read at a time after that, for the page of hits the list comes to.
constexpr qsizetype kLinesPage = 100;

} // namespace

// The snippets found: heading and line, read straight from the search's result, so that a
// list of many thousand is shown without an item for each. A hit's line is read when the list
// first shows it, a page of hits at a time: a word most snippets hold sends back no code but
// the screen's.
class FoundSnippets : public QAbstractTableModel {
public:
    FoundSnippets(const store::SnippetLibrary &library, QObject *owner) : QAbstractTableModel(owner), m_library(library)
    {}

    // When reading lines fails, the reason goes here, once a search.
    std::function<void(const QString &)> failed;

    void setHits(QList<store::SearchHit> hits, const QString &query)
    {
        beginResetModel();
        m_hits = std::move(hits);
        m_query = query;
        m_failedOnce = false;
        endResetModel();
    }
    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_hits.size()); }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
            return {};
        const store::SearchHit &hit = m_hits.at(index.row());
        if (index.column() == 0)
            return hit.heading;
        if (hit.line.isNull())
            readPage(index.row());
        return m_hits.at(index.row()).line;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return section == 0 ? QStringLiteral("Code Name") : QStringLiteral("Line");
    }

private:
    void readPage(qsizetype row) const
    {
        const qsizetype from = row - row % kLinesPage;
        const store::Result read = m_library.readLines(m_hits, from, kLinesPage, m_query);
        if (read.done())
            return;
        // The page's lines stay empty rather than being asked for on every paint.
        for (qsizetype i = from; i < std::min(from + kLinesPage, m_hits.size()); ++i)
            if (m_hits[i].line.isNull())
                m_hits[i].line = QStringLiteral("");
        if (!m_failedOnce && failed) {
            m_failedOnce = true;
            failed(read.error.message);
        }
    }

    const store::SnippetLibrary &m_library;
    mutable QList<store::SearchHit> m_hits;
    QString m_query;
    mutable bool m_failedOnce = false;
};

frmFind::frmFind(store::SnippetLibrary library, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_library(std::move(library))
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find"));
    setFont(fonts::dialogFont());
    auto *layout = new QVBoxLayout(this);
    auto *prompt = new QLabel(QStringLiteral("Find snippets that hold the &words:"), this);
    layout->addWidget(prompt);
    txtWords = new QLineEdit(this);
    txtWords->setObjectName(QStringLiteral("txtWords"));
    prompt->setBuddy(txtWords);
    layout->addWidget(txtWords);
    lstFound = new QTreeView(this);
    lstFound->setObjectName(QStringLiteral("lstFound"));
    m_found = new FoundSnippets(m_library, lstFound);
    // Said once the list has been painted, not from within its painting.
    m_found->failed = [this](const QString &message) {
        QTimer::singleShot(0, this, [this, message] { MsgBox(this, message); });
    };
    lstFound->setModel(m_found);
    lstFound->setRootIsDecorated(false);
    lstFound->setUniformRowHeights(true);
    lstFound->setAllColumnsShowFocus(true);
    lstFound->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstFound->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstFound->header()->setStretchLastSection(true);
    lstFound->header()->resizeSection(0, 220);
    layout->addWidget(lstFound);
    lblFound = new QLabel(this);
    lblFound->setObjectName(QStringLiteral("lblFound"));
    layout->addWidget(lblFound);
    resize(560, 360);

    m_pause.setSingleShot(true);
    m_pause.setInterval(300);
    connect(&m_pause, &QTimer::timeout, this, &frmFind::search);
    connect(txtWords, &QLineEdit::textChanged, this, [this] { m_pause.start(); });
    connect(txtWords, &QLineEdit::returnPressed, this, [this] {
        search();
        pick(lstFound->currentIndex());
    });
    connect(lstFound, &QAbstractItemView::activated, this, &frmFind::pick);
    txtWords->installEventFilter(this);
}

void frmFind::search()
{
    m_pause.stop();
    const QString words = txtWords->text();
    if (m_searchedOnce && words == m_searched)
        return;
    const store::SearchResult found = m_library.search(words, store::allSearchFields, kLinesFirst);
    if (found.outcome == store::Outcome::Failed) {
        MsgBox(this, found.error.message);
        return;
    }
    m_searched = words;
    m_searchedOnce = true;
    m_found->setHits(found.hits, words);
    if (!found.hits.isEmpty())
        lstFound->setCurrentIndex(m_found->index(0, 0));
    const qsizetype n = found.hits.size();
    lblFound->setText(words.trimmed().isEmpty() ? QString()
                      : n == 0                  ? QStringLiteral("No snippet holds these words.")
                      : n == 1                  ? QStringLiteral("1 snippet found.")
                                                : QStringLiteral("%1 snippets found.").arg(n));
}

// The arrow and page keys in the box walk through the list, so that the words and Enter reach
// any match without the mouse.
bool frmFind::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtWords && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            search();
            const auto *press = static_cast<QKeyEvent *>(event);
            QKeyEvent copy(QEvent::KeyPress, key, press->modifiers(), press->text());
            QCoreApplication::sendEvent(lstFound, &copy);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmFind::pick(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    emit picked(m_found->index(index.row(), 0).data().toString());
    accept();
}

} // namespace quillbox::window
