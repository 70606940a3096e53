#pragma once
// The host's main window: a menu bar that shows the host's command bars, and a plain code
// pane to paste into. The Add-Ins menu holds the Add-In Manager, then one entry per
// control of the "Add-Ins" command bar, kept in step with the object model.

#include "host/hostaddins.h"

#include <QHash>
#include <QMainWindow>

class QAction;
class QMenu;
class QPlainTextEdit;

namespace quillbox::host {

class HostWindow : public QMainWindow {
    Q_OBJECT

public:
    HostWindow(ObjectModel &model, AddInHost &addIns, QWidget *parent = nullptr);

    QMenu *addInsMenu() const { return m_addInsMenu; }
    QPlainTextEdit *codePane() const { return m_codePane; }
    // The menu entry showing a control; null when the control is not shown.
    QAction *actionFor(quint64 control) const { return m_actions.value(control); }
    // The entries showing the controls of a command bar, in the bar's order.
    QList<QAction *> controlActions(const QString &bar) const;

public Q_SLOTS:
    // The Add-In Manager, modal.
    void showAddInManager();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void addControl(const QString &bar, quint64 id, int index);
    void removeControl(const QString &bar, quint64 id);
    void recaption(const QString &bar, quint64 id, const QString &caption);
    QWidget *containerFor(const QString &bar) const;
    void updateSeparator();

    ObjectModel &m_model;
    AddInHost &m_addIns;
    QMenu *m_addInsMenu = nullptr;
    QAction *m_addInsSeparator = nullptr;
    QPlainTextEdit *m_codePane = nullptr;
    QHash<quint64, QAction *> m_actions;
};

} // namespace quillbox::host
