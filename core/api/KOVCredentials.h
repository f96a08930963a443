#pragma once

#include <QString>

namespace kova {

// What names one bank login in every call to the host's server: the login's
// secret, its token ID and its bank's ID, carried together.
struct KOVCredentials {
    QString userSecret;
    QString tokenID;
    QString bankID;
};

} // namespace kova
