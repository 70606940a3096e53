#include "window/frmfill.h"

#include "window/uifonts.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillbox::window {

frmFill::frmFill(const text::Placeholders &blanks, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_blanks(blanks)
{
    setObjectName(QStringLiteral("frmFill"));
    setWindowTitle(QStringLiteral("Fill In the Blanks"));
    setFont(fonts::dialogFont());
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("The code has blanks. Fill them in, then press Enter to copy it."), this));
    auto *form = new QFormLayout;
    layout->addLayout(form);
    for (qsizetype i = 0; i < blanks.names().size(); ++i) {
        auto *value = new QLineEdit(blanks.defaultOf(i).toString(), this);
        value->setObjectName(QStringLiteral("txtValue%1").arg(i));
        value->selectAll();
        form->addRow(blanks.names()[i], value);
        txtValues.append(value);
    }
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *copy = buttons->addButton(QStringLiteral("Copy Code"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    copy->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (!txtValues.isEmpty())
        txtValues.first()->setFocus();
}

QHash<QString, QString> frmFill::values() const
{
    QHash<QString, QString> changed;
    for (qsizetype i = 0; i < txtValues.size(); ++i) {
        if (txtValues[i]->text() != m_blanks.defaultOf(i))
            changed.insert(m_blanks.names()[i], txtValues[i]->text());
    }
    return changed;
}

std::optional<QString> filledForCopy(const QString &composed, QWidget *owner)
{
    const text::Placeholders blanks(composed);
    if (blanks.isEmpty())
        return composed;
    frmFill fill(blanks, owner);
    if (fill.exec() != QDialog::Accepted)
        return std::nullopt;
    return blanks.filled(fill.values());
}

} // namespace quillbox::window
