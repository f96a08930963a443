#include "platform/keychain/AccessControl.h"

#include "platform/keychain/ItemAttributes.h"
#include "platform/keychain/KeychainStatus.h"

namespace kova::platform {

std::shared_ptr<const AccessControl> AccessControl::create(const QString &accessibility, quint64 flags, Error *error)
{
    QString problem;
    if (!ItemAccessibility::isKnown(accessibility))
        problem = QStringLiteral("The accessibility \u201c%1\u201d is not one the keychain knows.").arg(accessibility);
    else if (flags & ~kKnownFlags)
        problem = QStringLiteral("The access-control flags 0x%1 hold bits the keychain does not know.")
                      .arg(QString::number(flags & ~kKnownFlags, 16));
    if (!problem.isEmpty()) {
        if (error)
            *error = Error::withDescription(NSOSStatusErrorDomain, KeychainStatus::Param, problem);
        return nullptr;
    }
    return std::make_shared<const AccessControl>(accessibility, flags);
}

AccessControl::AccessControl(QString accessibility, quint64 flags)
    : m_accessibility(std::move(accessibility)), m_flags(flags)
{
}

bool AccessControl::requiresUserPresence() const
{
    return m_flags & (UserPresence | BiometryAny | BiometryCurrentSet | DevicePasscode | Watch | ApplicationPassword);
}

} // namespace kova::platform
