#pragma once

// Usage:
//   auto token = NotificationCenter::defaultCenter().addObserver(name, [](const Notification &n) {...});
//   NotificationCenter::defaultCenter().post(name, userInfo);
//   NotificationCenter::defaultCenter().removeObserver(token);
// Observers run synchronously on the posting thread (the main thread for
// everything the screens post), in the order they were added. An observer may
// add or remove observers while it runs.

#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace kova::platform {

struct Notification {
    QString name;
    QVariantMap userInfo;
};

class NotificationCenter {
public:
    using Observer = std::function<void(const Notification &)>;
    using Token = quint64;

    static NotificationCenter &defaultCenter();

    // An empty name observes every notification.
    Token addObserver(const QString &name, Observer observer);
    void removeObserver(Token token);
    void post(const QString &name, const QVariantMap &userInfo = {});

private:
    struct Entry {
        Token token;
        QString name;
        std::shared_ptr<Observer> observer;
    };
    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    Token m_next = 1;
};

// RAII registration: removes the observer when it goes out of scope.
class NotificationObservation {
public:
    NotificationObservation() = default;
    NotificationObservation(const QString &name, NotificationCenter::Observer observer);
    ~NotificationObservation();
    NotificationObservation(NotificationObservation &&other) noexcept;
    NotificationObservation &operator=(NotificationObservation &&other) noexcept;
    NotificationObservation(const NotificationObservation &) = delete;
    NotificationObservation &operator=(const NotificationObservation &) = delete;

private:
    NotificationCenter::Token m_token = 0;
};

} // namespace kova::platform
