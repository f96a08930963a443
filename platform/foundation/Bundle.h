#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>

namespace kova::platform {

// A directory of resources (on disk or in Qt's resource system), with localised string
// tables in "<language>.lproj/<Table>.json" (a flat JSON object of key to
// text). Lookups are thread-safe; tables are read once and cached.
class Bundle {
public:
    // The SDK's own resources: KOVA_RESOURCES_DIR when set, else those the
    // libraries carry inside them (":/kova/resources"; each library adds
    // its own files there).
    static std::shared_ptr<Bundle> framework();
    static std::shared_ptr<Bundle> atPath(const QString &path);
    // The host application's own bundle (translations of texts the SDK
    // shows in the host's name, table "Localizable"): the one the host set,
    // else the application's directory.
    static std::shared_ptr<Bundle> main();
    static void setMain(std::shared_ptr<Bundle> bundle);

    explicit Bundle(QString path);

    QString resourcePath() const { return m_path; }
    // The bundle "<name>" (such as "KovaConnect.bundle") inside this one, or
    // null when there is no such directory. The same object every time, so
    // its tables are read once.
    std::shared_ptr<Bundle> nestedBundle(const QString &name) const;
    // A resource file by name and extension, searched at the top of the
    // bundle and then in the preferred localisations; empty when missing.
    QString pathForResource(const QString &name, const QString &extension) const;

    // The table's text for the key. A missing key yields `value` when it is
    // not empty, else the key itself; a missing table yields a null text.
    QString localizedString(const QString &key, const QString &value, const QString &table) const;
    bool hasTable(const QString &table) const;
    // Every key of the table in its first available localisation.
    QStringList keysInTable(const QString &table) const;

    // Languages in order of preference ("ru-RU", "en"); the system's UI
    // languages unless a test sets them.
    static QStringList preferredLanguages();
    static void setPreferredLanguages(const QStringList &languages);

private:
    struct Table {
        bool found = false;
        QHash<QString, QString> texts;
    };
    std::shared_ptr<const Table> table(const QString &name) const;
    QStringList localizationDirs() const;

    QString m_path;
    mutable std::mutex m_mutex;
    mutable QHash<QString, std::shared_ptr<Table>> m_tables;
    mutable QStringList m_tableLanguages; // the preferences the cache was built for
    mutable QHash<QString, std::shared_ptr<Bundle>> m_nested;
};

} // namespace kova::platform
