#pragma once

#include <QString>
#include <QVariant>
#include <memory>
#include <mutex>

class QSettings;

namespace kova::platform {

// Small persistent key-value settings of the SDK, in an INI file in the
// data directory. Thread-safe; every write reaches the file before the call
// returns, so a value written just before the process dies is kept.
class UserDefaults {
public:
    static UserDefaults &standard();
    // Drops the cached file handle so that the next use reads the data
    // directory afresh (tests move it between cases).
    static void resetStandard();

    explicit UserDefaults(const QString &filePath);
    ~UserDefaults();

    QVariant value(const QString &key) const;
    QString string(const QString &key) const; // null unless the stored value is text
    bool boolean(const QString &key) const;   // NO unless stored as a boolean or number
    void setValue(const QString &key, const QVariant &value);
    void removeObject(const QString &key);
    bool contains(const QString &key) const;

private:
    mutable std::mutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
};

} // namespace kova::platform
