#include "platform/foundation/Bundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include "platform/foundation/ProcessInfo.h"

namespace kova::platform {

namespace {
std::mutex s_languagesMutex;
QStringList s_languages;
bool s_languagesSet = false;

// Tables are small; anything larger is not ours and is refused unread.
constexpr qint64 kMaxTableBytes = 4 * 1024 * 1024;
} // namespace

std::shared_ptr<Bundle> Bundle::framework()
{
    QString path = ProcessInfo::environmentValue("KOVA_RESOURCES_DIR");
    if (path.isEmpty())
        path = QStringLiteral(":/kova/resources");
    static std::mutex mutex;
    static std::shared_ptr<Bundle> cached;
    std::lock_guard lock(mutex);
    if (!cached || cached->resourcePath() != path)
        cached = std::make_shared<Bundle>(path);
    return cached;
}

std::shared_ptr<Bundle> Bundle::atPath(const QString &path)
{
    if (!QFileInfo(path).isDir())
        return nullptr;
    return std::make_shared<Bundle>(path);
}

Bundle::Bundle(QString path) : m_path(std::move(path)) {}

std::shared_ptr<Bundle> Bundle::nestedBundle(const QString &name) const
{
    {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_nested.constFind(name); it != m_nested.constEnd())
            return *it;
    }
    // A directory that is missing now may appear later: only hits are kept.
    auto nested = atPath(QDir(m_path).filePath(name));
    if (nested) {
        std::lock_guard lock(m_mutex);
        nested = *m_nested.insert(name, nested);
    }
    return nested;
}

namespace {
std::mutex s_mainMutex;
std::shared_ptr<Bundle> s_hostMain;
std::shared_ptr<Bundle> s_applicationMain;
} // namespace

std::shared_ptr<Bundle> Bundle::main()
{
    std::lock_guard lock(s_mainMutex);
    if (s_hostMain)
        return s_hostMain;
    const QString directory = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    if (directory.isEmpty())
        return nullptr;
    if (!s_applicationMain || s_applicationMain->resourcePath() != directory)
        s_applicationMain = std::make_shared<Bundle>(directory);
    return s_applicationMain;
}

void Bundle::setMain(std::shared_ptr<Bundle> bundle)
{
    std::lock_guard lock(s_mainMutex);
    s_hostMain = std::move(bundle);
}

QStringList Bundle::preferredLanguages()
{
    std::lock_guard lock(s_languagesMutex);
    if (s_languagesSet)
        return s_languages;
    return QLocale::system().uiLanguages();
}

void Bundle::setPreferredLanguages(const QStringList &languages)
{
    std::lock_guard lock(s_languagesMutex);
    s_languages = languages;
    s_languagesSet = true;
}

QStringList Bundle::localizationDirs() const
{
    QStringList dirs;
    auto add = [&dirs](const QString &dir) {
        if (!dirs.contains(dir))
            dirs.append(dir);
    };
    for (QString language : preferredLanguages()) {
        language.replace(QLatin1Char('_'), QLatin1Char('-'));
        add(language + QStringLiteral(".lproj"));
        const qsizetype dash = language.indexOf(QLatin1Char('-'));
        if (dash > 0)
            add(language.left(dash) + QStringLiteral(".lproj"));
    }
    add(QStringLiteral("en.lproj"));
    add(QStringLiteral("Base.lproj"));
    return dirs;
}

QString Bundle::pathForResource(const QString &name, const QString &extension) const
{
    const QString file = extension.isEmpty() ? name : name + QLatin1Char('.') + extension;
    if (file.contains(QLatin1Char('/')) || file.isEmpty())
        return QString();
    const QDir root(m_path);
    if (QFileInfo::exists(root.filePath(file)))
        return root.filePath(file);
    for (const QString &dir : localizationDirs()) {
        const QString candidate = root.filePath(dir + QLatin1Char('/') + file);
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return QString();
}

std::shared_ptr<const Bundle::Table> Bundle::table(const QString &name) const
{
    const QStringList languages = preferredLanguages();
    std::lock_guard lock(m_mutex);
    if (languages != m_tableLanguages) {
        m_tables.clear();
        m_tableLanguages = languages;
    }
    if (auto it = m_tables.constFind(name); it != m_tables.constEnd())
        return *it;

    auto loaded = std::make_shared<Table>();
    if (!name.contains(QLatin1Char('/'))) {
        const QDir root(m_path);
        for (const QString &dir : localizationDirs()) {
            QFile file(root.filePath(dir + QLatin1Char('/') + name + QStringLiteral(".json")));
            if (!file.exists() || file.size() > kMaxTableBytes || !file.open(QIODevice::ReadOnly))
                continue;
            const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
            if (!doc.isObject())
                continue;
            const QJsonObject object = doc.object();
            for (auto it = object.begin(); it != object.end(); ++it)
                if (it.value().isString())
                    loaded->texts.insert(it.key(), it.value().toString());
            loaded->found = true;
            break;
        }
    }
    m_tables.insert(name, loaded);
    return loaded;
}

QString Bundle::localizedString(const QString &key, const QString &value, const QString &tableName) const
{
    const auto t = table(tableName);
    if (!t->found)
        return QString();
    if (auto it = t->texts.constFind(key); it != t->texts.constEnd())
        return *it;
    return value.isEmpty() ? key : value;
}

bool Bundle::hasTable(const QString &tableName) const
{
    return table(tableName)->found;
}

QStringList Bundle::keysInTable(const QString &tableName) const
{
    QStringList keys = table(tableName)->texts.keys();
    keys.sort();
    return keys;
}

} // namespace kova::platform
