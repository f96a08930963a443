#pragma once

#include <QString>
#include <memory>

#include "platform/foundation/Error.h"

namespace kova::platform {

// Errors the item store's helpers report in the platform's own status domain.
inline const QString NSOSStatusErrorDomain = QStringLiteral("NSOSStatusErrorDomain");

// An access-control policy for an item: the accessibility it is stored with
// and the conditions a read or change of its value must meet.
class AccessControl {
public:
    // Policy bits. A host passes them as one unsigned 64-bit set.
    enum Flag : quint64 {
        UserPresence = 1ull << 0,
        BiometryAny = 1ull << 1,
        BiometryCurrentSet = 1ull << 3,
        DevicePasscode = 1ull << 4,
        Watch = 1ull << 5,
        Or = 1ull << 14,
        And = 1ull << 15,
        PrivateKeyUsage = 1ull << 30,
        ApplicationPassword = 1ull << 31,
    };
    static constexpr quint64 kKnownFlags = UserPresence | BiometryAny | BiometryCurrentSet | DevicePasscode | Watch
        | Or | And | PrivateKeyUsage | ApplicationPassword;

    // A policy for the accessibility value (one of ItemAccessibility) and the
    // flags; an unknown accessibility or flag fails with
    // NSOSStatusErrorDomain -50 and no object.
    static std::shared_ptr<const AccessControl> create(const QString &accessibility, quint64 flags, Error *error);

    AccessControl(QString accessibility, quint64 flags);

    QString accessibility() const { return m_accessibility; }
    quint64 flags() const { return m_flags; }
    // Whether using the item's value needs the user to confirm their presence.
    bool requiresUserPresence() const;

    bool operator==(const AccessControl &other) const = default;

private:
    QString m_accessibility;
    quint64 m_flags = 0;
};

} // namespace kova::platform
