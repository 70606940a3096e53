#pragma once
// The Add-In Manager: the registered add-ins, the selected one's description, and whether
// it is loaded now and loaded on start-up. OK applies the changes (connects, disconnects,
// writes the registry); Cancel drops them.

#include "host/hostaddins.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QListWidget;

namespace quillbox::host {

class AddInManagerDialog : public QDialog {
    Q_OBJECT

public:
    explicit AddInManagerDialog(AddInHost &host, QWidget *parent = nullptr);

    void accept() override;

private:
    struct Row {
        AddInInfo info;
        int registeredBehavior = 0;
        bool loaded = false;
    };
    Row *current();
    void showCurrent();
    void setLoaded(bool loaded);
    void setLoadOnStartup(bool on);

    AddInHost &m_host;
    QList<Row> m_rows;
    QListWidget *m_list = nullptr;
    QLabel *m_description = nullptr;
    QCheckBox *m_loaded = nullptr;
    QCheckBox *m_startup = nullptr;
};

} // namespace quillbox::host
