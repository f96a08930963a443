#include "core/KOVOperationQueueManager.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

#include "core/KOVConstants.h"
#include "core/internal/KOVProcessState.h"
#include "platform/foundation/Json.h"

namespace kova {
namespace {
using namespace std::chrono_literals;
std::chrono::milliseconds s_defaultTimeout = 135s;
std::chrono::milliseconds s_autoFlowTimeout = 300s;
// A request operation only sets its data task going, so a call made while
// its lane is free goes out at once instead of a turn of the loop later.
constexpr auto kRequestLanes = platform::OperationQueue::StartPolicy::AtOnceWhenIdle;
} // namespace

KOVOperationQueueManager &KOVOperationQueueManager::sharedInstance()
{
    static KOVOperationQueueManager *manager = new KOVOperationQueueManager(); // lives for the process
    return *manager;
}

KOVOperationQueueManager::KOVOperationQueueManager()
    : m_parallelQueue(platform::OperationQueue::create(QStringLiteral("parallelQueue"), 0, kRequestLanes))
{
}

void internal::KOVProcessState::setSessionTimeouts(std::chrono::milliseconds defaultTimeout,
                                                  std::chrono::milliseconds autoFlowTimeout)
{
    s_defaultTimeout = defaultTimeout;
    s_autoFlowTimeout = autoFlowTimeout;
    resetSessions();
}

void internal::KOVProcessState::resetSessions()
{
    auto &manager = KOVOperationQueueManager::sharedInstance();
    manager.m_defaultSession.reset();
    manager.m_autoFlowSession.reset();
}

std::shared_ptr<platform::URLSession> KOVOperationQueueManager::defaultSession()
{
    if (!m_defaultSession)
        m_defaultSession = std::make_shared<platform::URLSession>(
            platform::URLSessionConfiguration{s_defaultTimeout, s_defaultTimeout, KOVMaxAppServerReplyBytes});
    return m_defaultSession;
}

std::shared_ptr<platform::URLSession> KOVOperationQueueManager::autoFlowSession()
{
    if (!m_autoFlowSession)
        m_autoFlowSession = std::make_shared<platform::URLSession>(
            platform::URLSessionConfiguration{s_autoFlowTimeout, s_autoFlowTimeout, KOVMaxAppServerReplyBytes});
    return m_autoFlowSession;
}

std::shared_ptr<platform::URLSession> KOVOperationQueueManager::currentSession()
{
    return m_isAutoFlow ? autoFlowSession() : defaultSession();
}

bool KOVOperationQueueManager::isParallelAllowedEndpoint(const QString &endPoint)
{
    return endPoint.contains(KOVEndPointGetAccountMetadata) || endPoint.contains(KOVEndPointDelinkUser)
        || endPoint.contains(KOVEndPointExchangeToken);
}

QString KOVOperationQueueManager::queueNameForUserSecret(const QString &userSecret)
{
    const QByteArray digest = QCryptographicHash::hash(userSecret.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("login-") + QString::fromLatin1(digest.left(24));
}

namespace {
// The body's "userSecret", or a null text when it has none.
QString userSecretIn(const platform::URLRequest &request)
{
    return platform::json::readText(QJsonDocument::fromJson(request.httpBody).object(), QStringLiteral("userSecret"));
}
} // namespace

void KOVOperationQueueManager::enqueueRequest(const platform::URLRequest &request, const QString &endPoint,
                                              KOVGeneralRequestOperation::Completion completionHandler)
{
    enqueueRequest(request, endPoint, userSecretIn(request), std::move(completionHandler));
}

void KOVOperationQueueManager::enqueueParallelOperation(const platform::URLRequest &request,
                                                        KOVGeneralRequestOperation::Completion completionHandler)
{
    m_parallelQueue->addOperation(
        std::make_shared<KOVGeneralRequestOperation>(currentSession(), request, std::move(completionHandler)));
}

void KOVOperationQueueManager::enqueueSerialOperation(const platform::URLRequest &request,
                                                      KOVGeneralRequestOperation::Completion completionHandler)
{
    enqueueOnLane(request, userSecretIn(request), std::move(completionHandler));
}

void KOVOperationQueueManager::enqueueRequest(const platform::URLRequest &request, const QString &endPoint,
                                              const QString &userSecret,
                                              KOVGeneralRequestOperation::Completion completionHandler)
{
    m_isAutoFlow = endPoint.contains(KOVEndPointCreateTransfer) || endPoint.contains(KOVEndPointCreateWireTransfer);
    if (isParallelAllowedEndpoint(endPoint))
        enqueueParallelOperation(request, std::move(completionHandler));
    else
        enqueueOnLane(request, userSecret, std::move(completionHandler));
}

void KOVOperationQueueManager::enqueueOnLane(const platform::URLRequest &request, const QString &userSecret,
                                             KOVGeneralRequestOperation::Completion completionHandler)
{
    auto operation = std::make_shared<KOVGeneralRequestOperation>(currentSession(), request, std::move(completionHandler));
    if (userSecret.isNull()) {
        // A lane of its own, gone once its one request is done.
        platform::OperationQueue::create(QStringLiteral("request"), 1, kRequestLanes)->addOperation(std::move(operation));
        return;
    }
    const size_t hash = qHash(userSecret, QHashSeed::globalSeed());
    if (const auto found = m_lanesBySecretHash.constFind(hash); found != m_lanesBySecretHash.cend()) {
        (*found)->addOperation(std::move(operation));
        return;
    }
    auto queue = platform::OperationQueue::create(queueNameForUserSecret(userSecret), 1, kRequestLanes);
    m_serialQueues.append(queue);
    m_lanesBySecretHash.insert(hash, queue);
    queue->addOperation(std::move(operation));
}

} // namespace kova
