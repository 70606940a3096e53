#pragma once
// The About dialog: name, version, a description and an OK button.

#include <QDialog>

class QLabel;
class QPushButton;

namespace quillbox::window {

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget *owner = nullptr);

    QPushButton *cmdOK;
    QLabel *picIcon;
    QLabel *lblDescription;
    QLabel *lblDisclaimer;
    QLabel *lblTitle;
    QLabel *lblVersion;
    QWidget *Line1[2];

    void cmdOK_Click();

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace quillbox::window
