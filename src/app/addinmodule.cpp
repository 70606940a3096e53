#include "app/addinmodule.h"

#include "resources/installpaths.h"

#include <QDir>

namespace quillbox::app {

QString addinModulePath()
{
    return quillbox::resources::install::modulePath();
}

AddinModule::AddinModule(const QString &path) : m_library(path)
{}

bool AddinModule::create(host::ComPtr<host::IDTExtensibility2> *connection)
{
    const QString where = QDir::toNativeSeparators(m_library.fileName());
    if (!m_library.load()) {
        m_error = QStringLiteral("The add-in module %1 could not be loaded: %2").arg(where, m_library.errorString());
        return false;
    }
    auto getClassObject = reinterpret_cast<host::DllGetClassObjectFn>(m_library.resolve("DllGetClassObject"));
    if (!getClassObject) {
        m_error = QStringLiteral("%1 is not an add-in module: it has no class factory.").arg(where);
        return false;
    }
    host::ComPtr<host::IClassFactory> factory;
    host::HResult hr = getClassObject(&addin::kConnectClassId, &host::IClassFactory::IID, factory.putVoid());
    if (host::Failed(hr) || !factory) {
        m_error = QStringLiteral("%1 does not serve the Quillbox class (error 0x%2).")
                      .arg(where)
                      .arg(quint32(hr), 8, 16, QLatin1Char('0'));
        return false;
    }
    hr = factory->CreateInstance(nullptr, host::IDTExtensibility2::IID, connection->putVoid());
    if (host::Failed(hr) || !*connection) {
        m_error = QStringLiteral("The Quillbox object could not be created (error 0x%1).")
                      .arg(quint32(hr), 8, 16, QLatin1Char('0'));
        return false;
    }
    return true;
}

} // namespace quillbox::app
