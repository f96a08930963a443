#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/foundation/Json.h"
#include "platform/net/URLQueryItem.h"
#include "platform/net/URLSession.h"

namespace kova {

class KOVConfigurations;

// Turns one operation into a POST to the host's server and its reply into
// either a parsed object for the caller or a coded error. One per request.
class KOVAPIManager {
public:
    // The success block owns `done`: the request's operation (and, on a
    // serial lane, the login's next request) waits until it is called.
    using Success = std::function<void(std::function<void()> done, const platform::URLRequest &request,
                                       const std::optional<platform::HTTPURLResponse> &response,
                                       const QJsonObject &reply, const QString &operationID)>;
    using Failure = std::function<void(const std::optional<platform::URLRequest> &request,
                                       const std::optional<platform::HTTPURLResponse> &response,
                                       const platform::Error &error, const QString &operationID)>;

    explicit KOVAPIManager(std::shared_ptr<KOVConfigurations> configurations);

    const QList<platform::URLQueryItem> &queryItems() const { return m_queryItems; }
    void setQueryItems(const QList<platform::URLQueryItem> &items) { m_queryItems = items; }
    const platform::HeaderFields &headers() const { return m_headers; }
    void setHeaders(const platform::HeaderFields &headers) { m_headers = headers; }
    QByteArray body() const { return m_bodyObject ? platform::json::pretty(*m_bodyObject) : m_body; }
    void setBody(const QByteArray &body)
    {
        m_body = body;
        m_bodyObject.reset();
    }
    // The same as the object's JSON text, without writing and reading it back.
    void setBody(const QJsonObject &body)
    {
        m_body.clear();
        m_bodyObject = body;
    }
    const std::shared_ptr<KOVConfigurations> &configurations() const { return m_configurations; }

    // Exactly one block runs, once, on the main queue; with no server URL
    // the failure runs before this returns, on the caller's thread.
    void postEndPoint(const QString &endPoint, Success success, Failure failure);

    // The server URL as components, or empty when none is known yet.
    static std::optional<QUrl> clientsServerUrlComponentsFor(const QString &endPoint);

    // The service's own address for an operation, and a request for it with
    // the service's header fields. Kept for hosts that call the service
    // themselves; the SDK's calls go to the host's server.
    static QUrl kovaServerUrlComponentsFor(const QString &endPoint);
    static platform::URLRequest urlRequestFor(const QUrl &components, const QString &endPoint);

    static platform::Error noServerURLError();

    // How one exchange's outcome is read: exactly one of the blocks runs,
    // at once. Foreign input lands here, so it stands on its own.
    static void handleReply(const QString &endPoint, const platform::URLRequest &request, std::function<void()> done,
                            const QByteArray &data, const std::optional<platform::HTTPURLResponse> &response,
                            const std::optional<platform::Error> &error, const Success &success,
                            const Failure &failure);

private:

    QList<platform::URLQueryItem> m_queryItems;
    platform::HeaderFields m_headers;
    QByteArray m_body;
    std::optional<QJsonObject> m_bodyObject;
    std::shared_ptr<KOVConfigurations> m_configurations;
};

} // namespace kova
