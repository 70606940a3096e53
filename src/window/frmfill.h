#pragma once
// The blanks of a snippet, asked for before Copy Code copies it: one field for each, in the
// order they first appear, its name as the label and its default in the field. Tab moves
// between the fields, Enter copies the filled text and Esc copies nothing.

#include "text/placeholders.h"

#include <QDialog>
#include <QHash>
#include <QList>

#include <optional>

class QLineEdit;

namespace quillbox::window {

class frmFill : public QDialog {
    Q_OBJECT
public:
    frmFill(const text::Placeholders &blanks, QWidget *owner);

    QList<QLineEdit *> txtValues; // one for each name, in order

    // The values the user changed; the others stay at their defaults.
    QHash<QString, QString> values() const;

private:
    const text::Placeholders &m_blanks;
};

// The text Copy Code copies of a composed snippet: its blanks, if it has any, asked for and
// filled in; nothing when the user closed the dialog with Esc.
std::optional<QString> filledForCopy(const QString &composed, QWidget *owner);

} // namespace quillbox::window
