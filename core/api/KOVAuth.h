#pragma once

#include "core/api/KOVAPI.h"
#include "core/api/KOVCompletions.h"

namespace kova {

// Unlinking one login.
class KOVAuth : public KOVAPI {
public:
    static std::shared_ptr<KOVAuth> initWithUserID(const QString &userID, const QString &clientUserID,
                                         std::shared_ptr<KOVConnection> record = nullptr,
                                         platform::Error *error = nullptr);
    // On success the login's record is removed; the keychain secret stays.
    void delinkUser(KOVDelinkCompletion completion);

private:
    using KOVAPI::KOVAPI;
};

} // namespace kova
