#include "core/KOVGeneralRequestOperation.h"

#include "core/KOVConstants.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"

namespace kova {

namespace {
// A body as trace text: only its first bytes are converted, so a huge body
// costs no more than a small one.
QString traceText(const QByteArray &body)
{
    if (body.size() <= KOVMaxTracedBodyBytes)
        return QString::fromUtf8(body);
    return QString::fromUtf8(body.left(KOVMaxTracedBodyBytes))
        + QStringLiteral("\n... (%1 bytes in all)").arg(body.size());
}
} // namespace

KOVGeneralRequestOperation::KOVGeneralRequestOperation(std::shared_ptr<platform::URLSession> session,
                                                       platform::URLRequest request, Completion completion)
    : m_session(std::move(session)), m_request(std::move(request)), m_completion(std::move(completion))
{
}

bool KOVGeneralRequestOperation::isTracingEnabled()
{
    return platform::ProcessInfo::environmentValue("KOVA_NETWORK_LOGGIN_ENABLED")
               .compare(QLatin1String("YES"), Qt::CaseInsensitive) == 0;
}

void KOVGeneralRequestOperation::execute()
{
    const bool tracing = isTracingEnabled();
    if (tracing)
        platform::writeStandardOutput(QStringLiteral("\n\U0001F535 Starting HTTP Request\nURL\n%1\nBody:\n%2")
                                          .arg(m_request.url.toString(), traceText(m_request.httpBody)));

    m_mfaResolved = makeDoneHandle();
    // The task's callback holds the done block, not the operation: the
    // operation belongs to its queue until the done block ends it.
    // An operation runs once, so its completion moves into the task.
    m_session->dataTask(m_request, [tracing, done = m_mfaResolved, completion = std::move(m_completion)](
                                       const QByteArray &data, const std::optional<platform::HTTPURLResponse> &response,
                                       const std::optional<platform::Error> &error) mutable {
        if (tracing)
            platform::writeStandardOutput(
                QStringLiteral("\n\u2705 Received HTTP Response\nURL\n%1\nStatus Code\n%2\nBody\n%3")
                    .arg(response ? response->url.toString() : QString(),
                         QString::number(response ? response->statusCode : 0), traceText(data)));
        if (!completion)
            return;
        // The session already delivers on a later turn of the main loop;
        // another hop would only add latency.
        if (platform::MainQueue::isMainThread()) {
            completion(std::move(done), data, response, error);
            return;
        }
        platform::MainQueue::async([done = std::move(done), completion = std::move(completion), data, response,
                                    error]() { completion(done, data, response, error); });
    });
    // Only the task and the caller hold the done block from here on.
    m_mfaResolved = nullptr;
}

} // namespace kova
