#include "platform/image/MemoryWarning.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace kova::platform::MemoryWarning {

namespace {

struct Observers {
    std::mutex mutex;
    Token next = 1;
    std::map<Token, std::shared_ptr<Observer>> byToken;
};

Observers &observers()
{
    // Never destroyed: observers may be posted to while statics go away.
    static auto *instance = new Observers;
    return *instance;
}

} // namespace

Token addObserver(Observer observer)
{
    Observers &all = observers();
    std::lock_guard lock(all.mutex);
    const Token token = all.next++;
    all.byToken.emplace(token, std::make_shared<Observer>(std::move(observer)));
    return token;
}

void removeObserver(Token token)
{
    Observers &all = observers();
    std::lock_guard lock(all.mutex);
    all.byToken.erase(token);
}

void post()
{
    std::vector<std::shared_ptr<Observer>> current;
    {
        Observers &all = observers();
        std::lock_guard lock(all.mutex);
        for (const auto &[token, observer] : all.byToken)
            current.push_back(observer);
    }
    for (const auto &observer : current) {
        if (*observer)
            (*observer)();
    }
}

} // namespace kova::platform::MemoryWarning
