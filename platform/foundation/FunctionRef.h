#pragma once

#include <type_traits>
#include <utility>

namespace kova::platform {

template <typename Signature>
class FunctionRef;

// A non-owning reference to something callable, for a callback that is only
// called during the call it is passed to: unlike std::function it never
// allocates, which matters on paths taken thousands of times (keychain reads).
template <typename Result, typename... Args>
class FunctionRef<Result(Args...)> {
public:
    template <typename Callable,
              typename = std::enable_if_t<!std::is_same_v<std::decay_t<Callable>, FunctionRef>>>
    FunctionRef(Callable &&callable) // NOLINT: converts like a std::function would
        : m_object(const_cast<void *>(static_cast<const void *>(std::addressof(callable)))),
          m_call([](void *object, Args... args) -> Result {
              return (*static_cast<std::remove_reference_t<Callable> *>(object))(std::forward<Args>(args)...);
          })
    {
    }

    Result operator()(Args... args) const { return m_call(m_object, std::forward<Args>(args)...); }

private:
    void *m_object;
    Result (*m_call)(void *, Args...);
};

} // namespace kova::platform
