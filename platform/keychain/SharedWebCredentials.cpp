#include "platform/keychain/SharedWebCredentials.h"

#include <sodium.h>

#include "platform/dispatch/MainQueue.h"
#include "platform/keychain/AccessControl.h"
#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/VaultKeys.h"

namespace kova::platform::SharedWebCredentials {
namespace {
Error unimplemented()
{
    return Error::withDescription(NSOSStatusErrorDomain, KeychainStatus::Unimplemented,
                                  QStringLiteral("Shared web credentials are not available on this platform."));
}
} // namespace

void request(const QString &, const QString &, RequestCompletion completion)
{
    MainQueue::async([completion = std::move(completion)] {
        if (completion)
            completion({}, unimplemented());
    });
}

void add(const QString &, const QString &, const QString &, AddCompletion completion)
{
    MainQueue::async([completion = std::move(completion)] {
        if (completion)
            completion(unimplemented());
    });
}

QString createPassword()
{
    // Letters and digits that cannot be mistaken for one another.
    static const QByteArray alphabet = QByteArrayLiteral("abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789");
    VaultKeys::initializeSodium();
    for (;;) {
        QString password;
        bool upper = false, lower = false, digit = false;
        for (int i = 0; i < 12; ++i) {
            if (i > 0 && i % 3 == 0)
                password.append(QLatin1Char('-'));
            const char c = alphabet.at(qsizetype(randombytes_uniform(uint32_t(alphabet.size()))));
            upper = upper || (c >= 'A' && c <= 'Z');
            lower = lower || (c >= 'a' && c <= 'z');
            digit = digit || (c >= '0' && c <= '9');
            password.append(QLatin1Char(c));
        }
        if (upper && lower && digit)
            return password;
    }
}

} // namespace kova::platform::SharedWebCredentials
