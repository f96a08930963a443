#pragma once

// Usage: pass `guarded(this, [this](auto... args) { ... })` wherever the core
// or a timer calls back into a screen. The wrapper holds only a QPointer to
// the guard object; once that object is destroyed the call does nothing (and
// a non-void call returns a value-initialised result). Main thread only.

#include <QObject>
#include <QPointer>
#include <type_traits>
#include <utility>

namespace kova::platform {

template <typename Callback>
auto guarded(QObject *guard, Callback callback)
{
    return [guard = QPointer<QObject>(guard), callback = std::move(callback)](auto &&...args) mutable {
        using Result = std::invoke_result_t<Callback &, decltype(args)...>;
        if (!guard) {
            if constexpr (!std::is_void_v<Result>)
                return Result{};
            else
                return;
        }
        return callback(std::forward<decltype(args)>(args)...);
    };
}

} // namespace kova::platform
