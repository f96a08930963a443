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
    // that is logged). Over a screen on its way out, the screen goes up once
    // that one has gone.
    void presentWithBankID(const QString &bankID) override;
    // Does nothing, and never runs the block, before a screen was presented.
    // A screen still waiting to go up never does.
    void dismissWithCompletion(std::function<void()> completion) override;
    bool isShowing() const override;

    const std::shared_ptr<KOVWebConnectViewController> &webConnectViewController() const { return m_screen; }
    void setWebConnectViewController(std::shared_ptr<KOVWebConnectViewController> screen) { m_screen = std::move(screen); }

private:
    // Presents the screen once nothing over the host is leaving, unless it
    // was withdrawn meanwhile.
    static void presentWhenClear(std::shared_ptr<KOVWebConnectViewController> screen, std::shared_ptr<bool> waiting);

    std::shared_ptr<KOVWebConnectViewController> m_screen;
    // True while m_screen waits for a screen that is leaving; false once it
    // went up or was withdrawn.
    std::shared_ptr<bool> m_waiting;
};

} // namespace kova
