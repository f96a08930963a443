#pragma once

#include <functional>
#include <memory>
#include <type_traits>

namespace kova {

// Lets timers and delayed calls reach an object without keeping it alive:
// messages go to the target while it exists; once it is gone every message is
// answered with null (a value-initialised result) and nothing else happens.
template <typename Target>
class KGWeakProxy {
public:
    static std::shared_ptr<KGWeakProxy> weakProxyForObject(const std::shared_ptr<Target> &object)
    {
        auto proxy = std::make_shared<KGWeakProxy>();
        proxy->m_target = object;
        return proxy;
    }

    std::shared_ptr<Target> target() const { return m_target.lock(); }
    void setTarget(const std::shared_ptr<Target> &target) { m_target = target; }

    // Sends `message` (a callable taking the target) on; returns its answer.
    template <typename Message>
    auto forward(Message &&message) const -> std::invoke_result_t<Message, Target &>
    {
        using Answer = std::invoke_result_t<Message, Target &>;
        if (const std::shared_ptr<Target> target = m_target.lock())
            return std::invoke(std::forward<Message>(message), *target);
        if constexpr (!std::is_void_v<Answer>)
            return Answer{};
    }

private:
    std::weak_ptr<Target> m_target;
};

} // namespace kova
