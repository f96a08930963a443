#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

// The application's memory-warning notification. Linux sends no such thing, so
// the host posts one when it learns memory is short (or a test does); every
// observer is called on the posting thread, in the order they were added.
namespace kova::platform::MemoryWarning {

inline const QString UIApplicationDidReceiveMemoryWarningNotification =
    QStringLiteral("UIApplicationDidReceiveMemoryWarningNotification");

using Observer = std::function<void()>;
using Token = quint64;

Token addObserver(Observer observer);
void removeObserver(Token token);
// Safe from any thread; observers may add or remove observers.
void post();

} // namespace kova::platform::MemoryWarning
