#pragma once
// The host's object model: the host object an add-in is handed on connection, its command
// bars and their controls, and the per-control click event sources. The objects are
// reference counted; the model keeps its own references and lets go of them when it is
// destroyed, after which every call on an object an add-in still holds fails.
//
// The host side (window, tests) follows the model through Qt signals and names controls by
// a number that stays the same for the life of the control.

#include "host/extensibility.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace quillbox::host {

// A control's number, unique in the process.
using ControlId = quint64;

inline const QString kMenuBarName = QStringLiteral("Menu Bar");
inline const QString kAddInsBarName = QStringLiteral("Add-Ins");

struct ObjectModelOptions {
    // Tests build a host without the Add-Ins bar to see how an add-in copes.
    bool withAddInsBar = true;
    QString version = QStringLiteral("6.00");
};

class ObjectModel : public QObject {
    Q_OBJECT

public:
    explicit ObjectModel(const ObjectModelOptions &options = {}, QObject *parent = nullptr);
    ~ObjectModel() override;

    // The host object. The model keeps its reference; AddRef to keep one of your own.
    IVBE *vbe() const;
    // The same object as the IDispatch an add-in receives in OnConnection (not counted).
    IDispatch *application() const;

    QStringList barNames() const;
    // The controls of a bar in order; empty for a bar that does not exist.
    QList<ControlId> controls(const QString &bar) const;
    bool hasControl(ControlId id) const;
    QString caption(ControlId id) const;
    QString barOf(ControlId id) const;
    // How many sinks are advised on the control's event source (0 when it has none).
    int sinkCount(ControlId id) const;

    // Clicks the control as the user would: Click goes to every sink advised on the
    // control's event source, handled and cancelDefault starting false. False when there
    // is no such control.
    bool click(ControlId id);

    // Objects of every model in the process that are still alive (released at zero).
    static int liveObjectCount();

Q_SIGNALS:
    void controlAdded(const QString &bar, quint64 id, int index);
    void controlDeleted(const QString &bar, quint64 id);
    void captionChanged(const QString &bar, quint64 id, const QString &caption);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace quillbox::host
