#pragma once
// The host's registry: a tree of keys with named values, kept in an INI file under the
// user's configuration folder. Key paths are written with backslashes, as
// "Software\\Microsoft\\Visual Basic\\6.0\\Addins\\Quillbox.Connect".

#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <memory>

namespace quillbox::host {

class Registry {
public:
    // The file every host and add-in of this user shares.
    static QString defaultPath()
    {
        return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
               + QStringLiteral("/QuillboxHost/registry.ini");
    }

    explicit Registry(const QString &path = defaultPath())
        : m_settings(std::make_unique<QSettings>(path, QSettings::IniFormat))
    {}

    QString path() const { return m_settings->fileName(); }

    QVariant value(const QString &key, const QString &name, const QVariant &fallback = {}) const
    {
        return m_settings->value(settingsKey(key, name), fallback);
    }
    void setValue(const QString &key, const QString &name, const QVariant &value)
    {
        m_settings->setValue(settingsKey(key, name), value);
    }
    bool contains(const QString &key, const QString &name) const
    {
        return m_settings->contains(settingsKey(key, name));
    }
    void removeValue(const QString &key, const QString &name) { m_settings->remove(settingsKey(key, name)); }
    // Removes the key with all its values and subkeys.
    void removeKey(const QString &key) { m_settings->remove(groupOf(key)); }
    bool keyExists(const QString &key) const
    {
        m_settings->beginGroup(groupOf(key));
        const bool any = !m_settings->allKeys().isEmpty();
        m_settings->endGroup();
        return any;
    }
    QStringList subkeys(const QString &key) const
    {
        m_settings->beginGroup(groupOf(key));
        const QStringList groups = m_settings->childGroups();
        m_settings->endGroup();
        return groups;
    }
    QStringList valueNames(const QString &key) const
    {
        m_settings->beginGroup(groupOf(key));
        const QStringList keys = m_settings->childKeys();
        m_settings->endGroup();
        return keys;
    }
    // Writes pending changes to the file; false when the file cannot be written.
    bool sync()
    {
        m_settings->sync();
        return m_settings->status() == QSettings::NoError;
    }

private:
    static QString groupOf(const QString &key)
    {
        QString g = key;
        g.replace(QLatin1Char('\\'), QLatin1Char('/'));
        return g;
    }
    static QString settingsKey(const QString &key, const QString &name)
    {
        // The unnamed default value of a key is stored under "(Default)".
        return groupOf(key) + QLatin1Char('/') + (name.isEmpty() ? QStringLiteral("(Default)") : name);
    }

    std::unique_ptr<QSettings> m_settings;
};

// Where hosts of this kind keep their add-in list.
inline const QString kHostRegistryRoot = QStringLiteral("Software\\Microsoft\\Visual Basic\\6.0");
inline const QString kAddinsKey = kHostRegistryRoot + QStringLiteral("\\Addins");

} // namespace quillbox::host
