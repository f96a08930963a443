#pragma once

#include <functional>

namespace kova::internal {

// A host may hand an empty block to a call whose answer it does not want.
// Calling an empty std::function throws, and out of the event loop that ends
// the host's process, so every public call takes its block through this:
// the roads behind it can then call it without asking.
template <typename R, typename... Args>
std::function<R(Args...)> orNothing(std::function<R(Args...)> block)
{
    if (block)
        return block;
    return [](Args...) -> R { return R(); };
}

} // namespace kova::internal
