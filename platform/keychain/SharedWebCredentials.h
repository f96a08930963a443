#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>

#include "platform/foundation/Error.h"

// Credentials shared between an app and its web domains. There is no such
// service on this platform: requests and additions complete, on the main
// queue, with NSOSStatusErrorDomain -4 (unimplemented). Password generation
// works locally.
namespace kova::platform::SharedWebCredentials {

// The entries of one returned credential.
inline const QString ServerKey = QStringLiteral("server");
inline const QString AccountKey = QStringLiteral("account");
inline const QString PasswordKey = QStringLiteral("password");

using RequestCompletion = std::function<void(QList<QVariantMap> credentials, std::optional<Error> error)>;
using AddCompletion = std::function<void(std::optional<Error> error)>;

// Either argument may be null.
void request(const QString &domain, const QString &account, RequestCompletion completion);
// A null password removes the credential.
void add(const QString &domain, const QString &account, const QString &password, AddCompletion completion);

// A fresh password of four groups of three characters ("xxx-xxx-xxx-xxx")
// with at least one capital, one small letter and one digit, from the
// system's random source.
QString createPassword();

} // namespace kova::platform::SharedWebCredentials
