#include "platform/ui/FontRegistry.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QThread>
#include <mutex>
#include <vector>

#include "platform/foundation/Log.h"

namespace kova::platform::FontRegistry {
namespace {

struct State {
    std::mutex mutex;
    std::vector<std::pair<QString, QByteArray>> pending;
    QHash<QString, QString> families; // name -> registered family
    QStringList given;                // every name handed in
};

State &state()
{
    static State s;
    return s;
}

bool guiReady()
{
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

struct StyleWord {
    const char *word;
    QFont::Weight weight;
};

// Longest words first, so "ExtraBold" is not read as "Bold".
constexpr StyleWord kStyles[] = {
    {"ExtraLight", QFont::ExtraLight}, {"ExtraBold", QFont::ExtraBold}, {"SemiBold", QFont::DemiBold},
    {"Black", QFont::Black},           {"Light", QFont::Light},         {"Medium", QFont::Medium},
    {"Regular", QFont::Normal},        {"Bold", QFont::Bold},           {"Thin", QFont::Thin},
};

QString styleOf(const QString &name)
{
    const qsizetype dash = name.lastIndexOf(QLatin1Char('-'));
    return dash < 0 ? QString() : name.mid(dash + 1);
}

} // namespace

bool registerFont(const QString &name, const QByteArray &data)
{
    if (data.isEmpty() || name.isEmpty())
        return false;
    {
        std::lock_guard lock(state().mutex);
        if (state().given.contains(name))
            return false;
        state().given.append(name);
        state().pending.emplace_back(name, data);
    }
    registerPending();
    return true;
}

int registerPending()
{
    if (!guiReady())
        return 0;
    std::vector<std::pair<QString, QByteArray>> work;
    {
        std::lock_guard lock(state().mutex);
        work.swap(state().pending);
    }
    int registered = 0;
    for (const auto &[name, data] : work) {
        const int id = QFontDatabase::addApplicationFontFromData(data);
        const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        if (families.isEmpty()) {
            log(QStringLiteral("Failed to load font: %1").arg(name), logUI());
            continue;
        }
        std::lock_guard lock(state().mutex);
        state().families.insert(name, families.first());
        ++registered;
    }
    return registered;
}

bool isRegistered(const QString &name)
{
    registerPending();
    std::lock_guard lock(state().mutex);
    return state().families.contains(name);
}

QStringList registeredNames()
{
    registerPending();
    std::lock_guard lock(state().mutex);
    return state().families.keys();
}

QString familyForName(const QString &name)
{
    registerPending();
    std::lock_guard lock(state().mutex);
    return state().families.value(name);
}

QFont::Weight weightForName(const QString &name)
{
    const QString style = styleOf(name);
    for (const StyleWord &word : kStyles) {
        if (style.startsWith(QLatin1String(word.word)))
            return word.weight;
    }
    return QFont::Normal;
}

bool italicForName(const QString &name)
{
    return styleOf(name).endsWith(QLatin1String("Italic"));
}

QFont font(const QString &name, qreal pointSize)
{
    const QString family = familyForName(name);
    QFont result = family.isEmpty() ? QFont() : QFont(family);
    if (!family.isEmpty()) {
        result.setWeight(weightForName(name));
        result.setItalic(italicForName(name));
    }
    // One point is one pixel: layouts are in points of a 390-point screen.
    result.setPixelSize(qMax(1, qRound(pointSize)));
    return result;
}

} // namespace kova::platform::FontRegistry
