#pragma once

#include "platform/operations/Operation.h"

namespace kova {

class KOVOperation;

// Nothing in the SDK sets or calls it; hosts that subclass may.
class KOVOperationDelegate {
public:
    virtual ~KOVOperationDelegate() = default;
};

// The SDK's asynchronous operation: executing from `start` until `finish`.
class KOVOperation : public platform::Operation {
public:
    bool isAsynchronous() const { return true; }
    bool kExecuting() const { return isExecuting(); }
    bool kFinished() const { return isFinished(); }

    std::weak_ptr<KOVOperationDelegate> delegate() const { return m_delegate; }
    void setDelegate(std::weak_ptr<KOVOperationDelegate> delegate) { m_delegate = std::move(delegate); }

private:
    std::weak_ptr<KOVOperationDelegate> m_delegate;
};

} // namespace kova
