#include "core/KOVConnect.h"

#include "core/KOVScreensProvider.h"
#include "core/connections/KOVBankConnection.h"
#include "platform/foundation/Log.h"

namespace kova {

std::shared_ptr<KOVConnect> KOVConnect::initWithClientUserID(const QString &clientUserID)
{
    std::shared_ptr<KOVConnect> connect = KOVScreensProvider::current()->makeConnect(clientUserID);
    if (!connect)
        platform::log(QStringLiteral("[Kova] The connect screen is not available yet"));
    return connect;
}

QList<std::shared_ptr<KOVBankConnection>> KOVConnect::getConnections() const
{
    return KOVBankConnection::getConnectionsWithClientUserID(m_clientUserID);
}

} // namespace kova
