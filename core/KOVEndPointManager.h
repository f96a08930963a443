#pragma once

#include <QHash>
#include <QString>

namespace kova {

class KOVConfigurations;

// Paths of the service's own API for an operation. Kept for hosts that
// build their own requests; the SDK's calls go to the host's server.
class KOVEndPointManager {
public:
    static QString apiVersion();
    // The options' path for the operation (with a leading "/"), else "/v2/<operation>".
    static QString pathFor(const QString &operation, const KOVConfigurations *configurations);
    static QHash<QString, QString> headersFor(const QString &operation);
};

} // namespace kova
