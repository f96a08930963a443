#include "core/KOVEndPointManager.h"

#include "core/KOVConfigurations.h"

namespace kova {

QString KOVEndPointManager::apiVersion()
{
    return QStringLiteral("v2");
}

QString KOVEndPointManager::pathFor(const QString &operation, const KOVConfigurations *configurations)
{
    if (configurations) {
        const auto it = configurations->endpoints().constFind(operation);
        if (it != configurations->endpoints().constEnd())
            return it->startsWith(QLatin1Char('/')) ? *it : QLatin1Char('/') + *it;
    }
    return QLatin1Char('/') + apiVersion() + QLatin1Char('/') + operation;
}

QHash<QString, QString> KOVEndPointManager::headersFor(const QString &)
{
    return {{QStringLiteral("Content-Type"), QStringLiteral("application/json; charset=utf-8")}};
}

} // namespace kova
