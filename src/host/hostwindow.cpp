#include "host/hostwindow.h"

#include "host/addinmanagerdialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

namespace quillbox::host {

HostWindow::HostWindow(ObjectModel &model, AddInHost &addIns, QWidget *parent)
    : QMainWindow(parent), m_model(model), m_addIns(addIns)
{
    setWindowTitle(tr("Quillbox Host"));
    resize(800, 600);

    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("File"));
    QAction *exit = file->addAction(tr("E&xit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    m_addInsMenu = menuBar()->addMenu(tr("&Add-Ins"));
    m_addInsMenu->setObjectName(QStringLiteral("Add-Ins"));
    QAction *manager = m_addInsMenu->addAction(tr("Add-In &Manager..."));
    connect(manager, &QAction::triggered, this, &HostWindow::showAddInManager);
    m_addInsSeparator = m_addInsMenu->addSeparator();

    m_codePane = new QPlainTextEdit(this);
    m_codePane->setObjectName(QStringLiteral("CodePane"));
    m_codePane->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_codePane->setLineWrapMode(QPlainTextEdit::NoWrap);
    setCentralWidget(m_codePane);

    for (const QString &bar : m_model.barNames()) {
        const QList<ControlId> ids = m_model.controls(bar);
        for (int i = 0; i < ids.size(); ++i)
            addControl(bar, ids[i], i);
    }
    updateSeparator();

    connect(&m_model, &ObjectModel::controlAdded, this, &HostWindow::addControl);
    connect(&m_model, &ObjectModel::controlDeleted, this, &HostWindow::removeControl);
    connect(&m_model, &ObjectModel::captionChanged, this, &HostWindow::recaption);
}

// Closing the window, by File > Exit or its close box, ends the host's run: every add-in is
// disconnected first (an add-in writes its settings then, and closes its own windows), and
// the host quits even when an add-in's window was still open.
void HostWindow::closeEvent(QCloseEvent *event)
{
    m_addIns.disconnectAll();
    QMainWindow::closeEvent(event);
    QCoreApplication::quit();
}

QList<QAction *> HostWindow::controlActions(const QString &bar) const
{
    QList<QAction *> actions;
    for (ControlId id : m_model.controls(bar)) {
        if (QAction *action = m_actions.value(id))
            actions.append(action);
    }
    return actions;
}

void HostWindow::showAddInManager()
{
    AddInManagerDialog dialog(m_addIns, this);
    dialog.exec();
}

QWidget *HostWindow::containerFor(const QString &bar) const
{
    if (bar == kAddInsBarName)
        return m_addInsMenu;
    if (bar == kMenuBarName)
        return menuBar();
    return nullptr;
}

void HostWindow::addControl(const QString &bar, quint64 id, int index)
{
    QWidget *container = containerFor(bar);
    if (!container || m_actions.contains(id))
        return;
    auto *action = new QAction(m_model.caption(id), container);
    connect(action, &QAction::triggered, this, [this, id] { m_model.click(id); });
    // Before the entry of the control that follows it on the bar, if that one is shown.
    const QList<ControlId> ids = m_model.controls(bar);
    QAction *before = index + 1 < ids.size() ? m_actions.value(ids[index + 1]) : nullptr;
    container->insertAction(before, action);
    m_actions.insert(id, action);
    updateSeparator();
}

void HostWindow::removeControl(const QString &, quint64 id)
{
    QAction *action = m_actions.take(id);
    if (!action)
        return;
    if (QWidget *container = qobject_cast<QWidget *>(action->parent()))
        container->removeAction(action);
    // The control may be deleted from inside its own click.
    action->deleteLater();
    updateSeparator();
}

void HostWindow::recaption(const QString &, quint64 id, const QString &caption)
{
    if (QAction *action = m_actions.value(id))
        action->setText(caption);
}

void HostWindow::updateSeparator()
{
    m_addInsSeparator->setVisible(!m_model.controls(kAddInsBarName).isEmpty());
}

} // namespace quillbox::host
