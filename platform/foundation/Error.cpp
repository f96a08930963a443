#include "platform/foundation/Error.h"

namespace kova::platform {

Error::Error(QString d, qint64 c, QVariantMap info) : domain(std::move(d)), code(c), userInfo(std::move(info)) {}

Error Error::withDescription(const QString &domain, qint64 code, const QString &description)
{
    return Error(domain, code, {{NSLocalizedDescriptionKey, description}});
}

bool Error::hasDescription() const
{
    return userInfo.contains(NSLocalizedDescriptionKey);
}

QString Error::localizedDescription() const
{
    if (hasDescription())
        return userInfo.value(NSLocalizedDescriptionKey).toString();
    return QStringLiteral("The operation couldn\u2019t be completed. (%1 error %2.)").arg(domain).arg(code);
}

} // namespace kova::platform
