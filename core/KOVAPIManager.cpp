#include "core/KOVAPIManager.h"

#include <QJsonDocument>

#include "core/KOVAppManager.h"
#include "core/KOVConfigurations.h"
#include "core/KOVConstants.h"
#include "core/KOVEndPointManager.h"
#include "core/KOVOperationQueueManager.h"
#include "core/KOVServerErrorMapper.h"
#include "core/Kova.h"
#include "core/internal/KOVService.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"

namespace kova {

namespace json = platform::json;

KOVAPIManager::KOVAPIManager(std::shared_ptr<KOVConfigurations> configurations)
    : m_configurations(std::move(configurations))
{
}

platform::Error KOVAPIManager::noServerURLError()
{
    return platform::Error::withDescription(
        KOVErrorDomain, KOVErrorInvalidCredentials,
        QStringLiteral("App Config not found because of invalid/missing appKey or bundleID. Please make sure you are "
                       "using the correct appKey. Please make sure that you have set the bundleID value in the SDK as "
                       "well as on the Kova Dashboard."));
}

std::optional<QUrl> KOVAPIManager::clientsServerUrlComponentsFor(const QString &)
{
    const QUrl url = KOVAppManager::sharedInstance().serverURL();
    if (!url.isValid() || url.isEmpty())
        return std::nullopt;
    return url;
}

QUrl KOVAPIManager::kovaServerUrlComponentsFor(const QString &endPoint)
{
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    QUrl url(internal::serviceBaseURL());
    url.setPath(KOVEndPointManager::pathFor(endPoint, kova ? kova->configurations().get() : nullptr));
    return url;
}

platform::URLRequest KOVAPIManager::urlRequestFor(const QUrl &components, const QString &endPoint)
{
    platform::URLRequest request;
    request.url = components;
    const auto headers = KOVEndPointManager::headersFor(endPoint);
    for (auto it = headers.begin(); it != headers.end(); ++it)
        request.setValue(it.value().toUtf8(), it.key().toUtf8());
    return request;
}

void KOVAPIManager::postEndPoint(const QString &endPoint, Success success, Failure failure)
{
    std::optional<QUrl> components = clientsServerUrlComponentsFor(endPoint);
    if (!components) {
        failure(std::nullopt, std::nullopt, noServerURLError(), QString());
        return;
    }
    QUrl url = *components;

    // The server URL's own items stay exactly as written (re-encoding them
    // would turn a "+" into "%2B", which a server reads otherwise); the
    // host's are added after them, and the first item of a name wins.
    const QList<platform::URLQueryItem> own = platform::queryItems(url);
    QList<platform::URLQueryItem> added = m_queryItems;
    auto hasName = [&own, &added](const QString &name) {
        const auto named = [&name](const auto &item) { return item.name == name; };
        return std::any_of(own.begin(), own.end(), named) || std::any_of(added.begin(), added.end(), named);
    };
    if (m_configurations) {
        for (const platform::URLQueryItem &item : m_configurations->endPointExtraQueryItems().value(endPoint))
            if (!hasName(item.name))
                added.append(item);
    }
    platform::appendQueryItems(url, added);

    platform::URLRequest request;
    request.url = url;
    request.httpMethod = QByteArrayLiteral("POST");
    request.headerFields = m_headers;
    request.setValue(QByteArrayLiteral("application/json"), QByteArrayLiteral("Accept"));
    request.setValue(QByteArrayLiteral("application/json; charset=utf-8"), QByteArrayLiteral("Content-Type"));
    request.setValue(QByteArrayLiteral("iOS-SDK"), QByteArrayLiteral("Platform"));
    request.setValue(KovaVersionString.toUtf8(), QByteArrayLiteral("SDKVersion"));
    if (m_configurations) {
        // Added only under names not yet set (in any case): the fixed four stay.
        for (const auto &[name, value] : m_configurations->endPointExtraHeaderFields().value(endPoint))
            if (!request.hasValue(name.toUtf8()))
                request.headerFields.append({name.toUtf8(), value.toUtf8()});
    }

    auto parsedBody = m_bodyObject ? std::variant<QJsonObject, platform::Error>(*m_bodyObject) : json::parseObject(m_body);
    if (auto *bodyError = std::get_if<platform::Error>(&parsedBody)) {
        // An unreadable body is never sent as an empty POST.
        platform::MainQueue::async([failure, request, error = *bodyError]() { failure(request, std::nullopt, error, QString()); });
        return;
    }
    QJsonObject body = std::get<QJsonObject>(parsedBody);
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    body.insert(QStringLiteral("appKey"), json::textOrNull(kova ? kova->appKey() : QString()));
    body.insert(QStringLiteral("action"), QLatin1Char('/') + endPoint);
    const QString bundleID = platform::ProcessInfo::mainBundleIdentifier();
    body.insert(QStringLiteral("bundleID"), json::textOrNull(bundleID));
    if (m_configurations) {
        const auto extra = m_configurations->endPointExtraBody().constFind(endPoint);
        if (extra != m_configurations->endPointExtraBody().constEnd())
            body.insert(QStringLiteral("UserExtraBody"), *extra);
    }
    request.httpBody = json::pretty(body);

    KOVOperationQueueManager::sharedInstance().enqueueRequest(
        request, endPoint, json::readText(body, QStringLiteral("userSecret")),
        [endPoint, request, success = std::move(success), failure = std::move(failure)](
            std::function<void()> done, const QByteArray &data,
            const std::optional<platform::HTTPURLResponse> &response, const std::optional<platform::Error> &error) {
            handleReply(endPoint, request, std::move(done), data, response, error, success, failure);
        });
}

void KOVAPIManager::handleReply(const QString &, const platform::URLRequest &request, std::function<void()> done,
                                const QByteArray &data, const std::optional<platform::HTTPURLResponse> &response,
                                const std::optional<platform::Error> &error, const Success &success,
                                const Failure &failure)
{
    // A reply with a zero-length body is still data (and fails to parse);
    // only an exchange that brought no reply at all has none.
    if (error || !response) {
        const platform::Error transport = error ? *error : platform::Error(platform::NSPOSIXErrorDomain, 54);
        done();
        failure(request, response, transport, QString());
        return;
    }
    auto parsed = json::parseObject(data);
    if (auto *parseError = std::get_if<platform::Error>(&parsed)) {
        done();
        failure(request, response, *parseError, QString());
        return;
    }
    const QJsonObject reply = std::get<QJsonObject>(parsed);
    const QString operationID = json::readText(reply, QStringLiteral("operationID"));
    const QJsonValue successValue = reply.value(QStringLiteral("success"));
    // Only an explicit false fails; true, null, a missing key or a value of
    // another type all go to the caller as a reply. A failed HTTP status is
    // never taken for success unless the body says so in as many words.
    const bool failed = !response->hasSuccessStatus() ? !(successValue.isBool() && successValue.toBool())
                                     : json::readBool(successValue) == false;
    if (failed) {
        if (!operationID.isNull())
            platform::log(QStringLiteral("KOVA: Failed job - ID: %1").arg(operationID), platform::logNetwork());
        QVariantMap userInfo;
        const QString message = json::readText(reply, QStringLiteral("msg"));
        if (!message.isNull())
            userInfo.insert(platform::NSLocalizedDescriptionKey, message);
        userInfo.insert(KOVErrorInfoKey, reply.toVariantMap());
        const platform::Error coded(KOVErrorDomain, KOVServerErrorMapper::mapErrorType(reply.value(QStringLiteral("type"))),
                                    userInfo);
        done();
        failure(request, response, coded, operationID);
        return;
    }
    success(std::move(done), request, response, reply, operationID);
}

} // namespace kova
