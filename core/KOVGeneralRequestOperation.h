#pragma once

#include <functional>

#include "core/KOVOperation.h"
#include "platform/net/URLSession.h"

namespace kova {

// One data task to the host's server. The operation stays executing after
// the reply: it ends only when its done block (`mfaResolved`) is called.
class KOVGeneralRequestOperation : public KOVOperation {
public:
    using Completion = std::function<void(std::function<void()> done, const QByteArray &data,
                                          const std::optional<platform::HTTPURLResponse> &response,
                                          const std::optional<platform::Error> &error)>;

    KOVGeneralRequestOperation(std::shared_ptr<platform::URLSession> session, platform::URLRequest request,
                               Completion completion);

    const platform::URLRequest &request() const { return m_request; }
    const std::shared_ptr<platform::URLSession> &session() const { return m_session; }
    const std::function<void()> &mfaResolved() const { return m_mfaResolved; }

    // Whether "KOVA_NETWORK_LOGGIN_ENABLED" asks for the network trace.
    static bool isTracingEnabled();

protected:
    void execute() override;

private:
    std::shared_ptr<platform::URLSession> m_session;
    platform::URLRequest m_request;
    Completion m_completion;
    std::function<void()> m_mfaResolved;
};

} // namespace kova
