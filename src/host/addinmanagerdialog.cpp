#include "host/addinmanagerdialog.h"

#include "host/hostmessages.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace quillbox::host {

AddInManagerDialog::AddInManagerDialog(AddInHost &host, QWidget *parent) : QDialog(parent), m_host(host)
{
    setWindowTitle(kAddInManagerTitle);
    setModal(true);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("addInList"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);

    auto *descriptionCaption = new QLabel(tr("Description"), this);
    m_description = new QLabel(this);
    m_description->setObjectName(QStringLiteral("descriptionLabel"));
    m_description->setWordWrap(true);
    m_description->setFrameShape(QFrame::StyledPanel);
    m_description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_description->setMinimumHeight(m_description->fontMetrics().lineSpacing() * 3);
    descriptionCaption->setBuddy(m_list);

    auto *behaviour = new QGroupBox(tr("Load Behavior"), this);
    m_loaded = new QCheckBox(tr("&Loaded"), behaviour);
    m_loaded->setObjectName(QStringLiteral("loadedCheck"));
    m_startup = new QCheckBox(tr("Load on &startup"), behaviour);
    m_startup->setObjectName(QStringLiteral("startupCheck"));
    auto *behaviourLayout = new QVBoxLayout(behaviour);
    behaviourLayout->addWidget(m_loaded, 0, Qt::AlignLeft);
    behaviourLayout->addWidget(m_startup, 0, Qt::AlignLeft);
    behaviourLayout->addStretch();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &AddInManagerDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AddInManagerDialog::reject);

    auto *left = new QVBoxLayout;
    left->addWidget(m_list, 1);
    left->addWidget(descriptionCaption);
    left->addWidget(m_description);
    auto *top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addWidget(behaviour);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);

    for (const AddInInfo &info : m_host.registry().addIns()) {
        m_rows.append({info, info.loadBehavior, m_host.isConnected(info.progId)});
        auto *item = new QListWidgetItem(info.displayName(), m_list);
        item->setToolTip(info.progId);
    }

    connect(m_list, &QListWidget::currentRowChanged, this, &AddInManagerDialog::showCurrent);
    connect(m_loaded, &QCheckBox::toggled, this, &AddInManagerDialog::setLoaded);
    connect(m_startup, &QCheckBox::toggled, this, &AddInManagerDialog::setLoadOnStartup);

    if (!m_rows.isEmpty())
        m_list->setCurrentRow(0);
    showCurrent();
    resize(520, 340);
}

AddInManagerDialog::Row *AddInManagerDialog::current()
{
    const int row = m_list->currentRow();
    return row >= 0 && row < m_rows.size() ? &m_rows[row] : nullptr;
}

void AddInManagerDialog::showCurrent()
{
    const Row *row = current();
    const QSignalBlocker blockLoaded(m_loaded);
    const QSignalBlocker blockStartup(m_startup);
    m_loaded->setEnabled(row != nullptr);
    m_startup->setEnabled(row != nullptr);
    m_loaded->setChecked(row && row->loaded);
    m_startup->setChecked(row && row->info.loadsOnStartup());
    m_description->setText(row ? row->info.description : QString());
}

void AddInManagerDialog::setLoaded(bool loaded)
{
    if (Row *row = current())
        row->loaded = loaded;
}

void AddInManagerDialog::setLoadOnStartup(bool on)
{
    if (Row *row = current()) {
        if (on)
            row->info.loadBehavior |= LoadBehavior::Startup;
        else
            row->info.loadBehavior &= ~LoadBehavior::Startup;
    }
}

void AddInManagerDialog::accept()
{
    bool setChanged = false;
    for (const Row &row : std::as_const(m_rows)) {
        const QString &progId = row.info.progId;
        if (row.loaded != m_host.isConnected(progId)) {
            QString error;
            const bool ok = row.loaded ? m_host.connectAddIn(progId, ConnectMode::AfterStartup, &error)
                                       : m_host.disconnectAddIn(progId, DisconnectMode::UserClosed, &error);
            // A disconnection that reported a failure has still happened.
            if (ok || !row.loaded)
                setChanged = true;
            if (!ok)
                showMessage(this, kAddInManagerTitle, error);
        }
        const bool startup = row.info.loadsOnStartup();
        if (startup != ((row.registeredBehavior & LoadBehavior::Startup) != 0)) {
            // Only the start-up bit is the manager's; the others stay as the registry has them.
            const auto now = m_host.registry().addIn(progId);
            int behaviour = now ? now->loadBehavior : row.registeredBehavior;
            behaviour = startup ? (behaviour | LoadBehavior::Startup) : (behaviour & ~LoadBehavior::Startup);
            QString error;
            if (!m_host.registry().setLoadBehavior(progId, behaviour, &error))
                showMessage(this, kAddInManagerTitle, error);
        }
    }
    if (setChanged)
        m_host.notifyAddInsUpdate();
    QDialog::accept();
}

} // namespace quillbox::host
