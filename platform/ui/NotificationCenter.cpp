#include "platform/ui/NotificationCenter.h"

namespace kova::platform {

NotificationCenter &NotificationCenter::defaultCenter()
{
    // Never destroyed: an observation held by a screen a host keeps in a
    // global past main ends after the statics have gone.
    static auto *center = new NotificationCenter;
    return *center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString &name, Observer observer)
{
    std::lock_guard lock(m_mutex);
    const Token token = m_next++;
    m_entries.push_back({token, name, std::make_shared<Observer>(std::move(observer))});
    return token;
}

void NotificationCenter::removeObserver(Token token)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [token](const Entry &entry) { return entry.token == token; });
}

void NotificationCenter::post(const QString &name, const QVariantMap &userInfo)
{
    // Observers run outside the lock, from a snapshot, so they may add and
    // remove observers; one removed during the post is not called afterwards.
    std::vector<Entry> snapshot;
    {
        std::lock_guard lock(m_mutex);
        snapshot = m_entries;
    }
    const Notification notification{name, userInfo};
    for (const Entry &entry : snapshot) {
        if (!entry.name.isEmpty() && entry.name != name)
            continue;
        {
            std::lock_guard lock(m_mutex);
            const bool stillThere = std::any_of(m_entries.begin(), m_entries.end(),
                                                [&](const Entry &e) { return e.token == entry.token; });
            if (!stillThere)
                continue;
        }
        (*entry.observer)(notification);
    }
}

NotificationObservation::NotificationObservation(const QString &name, NotificationCenter::Observer observer)
    : m_token(NotificationCenter::defaultCenter().addObserver(name, std::move(observer)))
{
}

NotificationObservation::~NotificationObservation()
{
    if (m_token)
        NotificationCenter::defaultCenter().removeObserver(m_token);
}

NotificationObservation::NotificationObservation(NotificationObservation &&other) noexcept
    : m_token(std::exchange(other.m_token, 0))
{
}

NotificationObservation &NotificationObservation::operator=(NotificationObservation &&other) noexcept
{
    if (this != &other) {
        if (m_token)
            NotificationCenter::defaultCenter().removeObserver(m_token);
        m_token = std::exchange(other.m_token, 0);
    }
    return *this;
}

} // namespace kova::platform
