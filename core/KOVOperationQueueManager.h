#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

#include "core/KOVGeneralRequestOperation.h"
#include "platform/operations/OperationQueue.h"

namespace kova::internal {
struct KOVProcessState;
}

namespace kova {

// Picks the URL session and the operation queue for each request. Requests
// of one bank login (one user secret) run one at a time in the order they
// were enqueued; metadata, delink and token exchange share a queue that
// does not wait. Lives for the process, on the main thread.
class KOVOperationQueueManager {
public:
    static KOVOperationQueueManager &sharedInstance();

    void enqueueRequest(const platform::URLRequest &request, const QString &endPoint,
                        KOVGeneralRequestOperation::Completion completionHandler);
    void enqueueParallelOperation(const platform::URLRequest &request,
                                  KOVGeneralRequestOperation::Completion completionHandler);
    void enqueueSerialOperation(const platform::URLRequest &request,
                                KOVGeneralRequestOperation::Completion completionHandler);
    // The same, for a caller that has the body's user secret at hand (null
    // when the body has none), which spares reading the body again.
    void enqueueRequest(const platform::URLRequest &request, const QString &endPoint, const QString &userSecret,
                        KOVGeneralRequestOperation::Completion completionHandler);

    static bool isParallelAllowedEndpoint(const QString &endPoint);

    // Serial queues are named by a digest of the user secret, never the secret.
    static QString queueNameForUserSecret(const QString &userSecret);

    const QList<std::shared_ptr<platform::OperationQueue>> &serialQueues() const { return m_serialQueues; }
    const std::shared_ptr<platform::OperationQueue> &parallelQueue() const { return m_parallelQueue; }
    std::shared_ptr<platform::URLSession> defaultSession();
    std::shared_ptr<platform::URLSession> autoFlowSession();
    bool isAutoFlow() const { return m_isAutoFlow; }

private:
    friend struct internal::KOVProcessState;

    KOVOperationQueueManager();
    std::shared_ptr<platform::URLSession> currentSession();
    void enqueueOnLane(const platform::URLRequest &request, const QString &userSecret,
                       KOVGeneralRequestOperation::Completion completionHandler);

    QList<std::shared_ptr<platform::OperationQueue>> m_serialQueues;
    // The same lanes by a seeded hash of their secret: finding a login's lane
    // costs no digest per request, and the map holds no secret. Two secrets
    // of one hash would merely share a lane.
    QHash<size_t, std::shared_ptr<platform::OperationQueue>> m_lanesBySecretHash;
    std::shared_ptr<platform::OperationQueue> m_parallelQueue;
    std::shared_ptr<platform::URLSession> m_defaultSession;
    std::shared_ptr<platform::URLSession> m_autoFlowSession;
    bool m_isAutoFlow = false;
};

} // namespace kova
