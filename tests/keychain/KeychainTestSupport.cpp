#include "tests/keychain/KeychainTestSupport.h"

#include "platform/keychain/ItemStore.h"

namespace kova::test {

PresenceCheckScope::PresenceCheckScope(std::function<bool(const QString &prompt)> check)
{
    platform::ItemStore::setPresenceCheck(std::move(check));
}

PresenceCheckScope::~PresenceCheckScope()
{
    platform::ItemStore::setPresenceCheck({});
}

} // namespace kova::test
