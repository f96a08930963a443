#pragma once

#include <memory>

#include "core/KOVConnect.h"

namespace kova {

class KOVWebConnectViewController;

// The connect entry the screens provide: presents the web connect screen
// over whatever the host's window shows on top, and keeps the screen it last
// presented.
class KOVWebConnect : public KOVConnect {
public:
    static std::shared_ptr<KOVWebConnect> initWithClientUserID(const QString &clientUserID);

    void setDelegate(std::weak_ptr<KOVConnectDelegate> delegate) override;
    // Without a window of the host's to present over, nothing is shown (and
    // that is logged).
    void presentWithBankID(const QString &bankID) override;
    // Does nothing, and never runs the block, before a screen was presented.
    void dismissWithCompletion(std::function<void()> completion) override;

    const std::shared_ptr<KOVWebConnectViewController> &webConnectViewController() const { return m_screen; }
    void setWebConnectViewController(std::shared_ptr<KOVWebConnectViewController> screen) { m_screen = std::move(screen); }

private:
    std::shared_ptr<KOVWebConnectViewController> m_screen;
};

} // namespace kova
