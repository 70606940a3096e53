#pragma once
// Finding and loading the add-in module the way a host does: through its class factory.

#include "addin/connectinterface.h"

#include <QLibrary>
#include <QString>

namespace quillbox::app {

// The module beside the program in a build folder, or where the install put it.
QString addinModulePath();

class AddinModule {
public:
    explicit AddinModule(const QString &path = addinModulePath());

    // Loads the module and creates a Connect object; false with lastError() otherwise.
    bool create(quillbox::host::ComPtr<quillbox::host::IDTExtensibility2> *connection);
    QString lastError() const { return m_error; }

private:
    QLibrary m_library;
    QString m_error;
};

} // namespace quillbox::app
