#pragma once

#include <QJsonObject>
#include <QString>

#include "platform/net/URLSession.h"

namespace kova::internal {

// Where the service's configs and logs endpoints live: KOVA_SERVICE_URL
// when set, else the build's default.
QString serviceBaseURL();
// A POST of compact JSON to a path of the service's API host, bare of the
// SDK's own header fields (the configs and logs calls).
platform::URLRequest serviceRequest(const QString &path, const QJsonObject &body);
// The session of the configs and logs calls: the platform's default idle
// time-out, an overall deadline of 135 seconds (a reply that trickles cannot
// hold the start forever) and the service's reply bound.
platform::URLSession &serviceSession();

} // namespace kova::internal
