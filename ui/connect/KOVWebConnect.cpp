#include "ui/connect/KOVWebConnect.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Application.h"
#include "ui/connect/KOVWebConnectViewController.h"

namespace kova {

namespace {

// The screen an entry last put up: one the host has closed may still be on
// its way in, and only leaves once it has arrived.
std::weak_ptr<KOVWebConnectViewController> &lastScreen()
{
    static std::weak_ptr<KOVWebConnectViewController> s_screen;
    return s_screen;
}

void logNoWindow()
{
    platform::log(QStringLiteral("[Kova] There is no window to show the connect screen in"), platform::logUI());
}

} // namespace

std::shared_ptr<KOVWebConnect> KOVWebConnect::initWithClientUserID(const QString &clientUserID)
{
    auto connect = std::make_shared<KOVWebConnect>();
    connect->setClientUserID(clientUserID);
    return connect;
}

void KOVWebConnect::setDelegate(std::weak_ptr<KOVConnectDelegate> delegate)
{
    KOVConnect::setDelegate(delegate);
    if (m_screen)
        m_screen->setConnectDelegate(std::move(delegate));
}

void KOVWebConnect::presentWithBankID(const QString &bankID)
{
    m_screen = KOVWebConnectViewController::initWithClientUserID(clientUserID(), bankID);
    m_screen->setConnectDelegate(delegate());
    if (!platform::Application::shared().presentationAnchor()) {
        logNoWindow();
        return;
    }
    m_waiting = std::make_shared<bool>(true);
    presentWhenClear(m_screen, m_waiting);
}

void KOVWebConnect::presentWhenClear(std::shared_ptr<KOVWebConnectViewController> screen, std::shared_ptr<bool> waiting)
{
    if (!*waiting)
        return; // withdrawn meanwhile
    auto retry = [screen, waiting]() { presentWhenClear(screen, waiting); };
    // Over a screen still on its way out (the last connect screen, its
    // message) once it has gone; so too for the last connect screen the host
    // closed while it was still coming in.
    const std::shared_ptr<KOVWebConnectViewController> last = lastScreen().lock();
    if (last && last != screen && last->presentingViewController()
        && last->state() == KOVWebConnectViewController::State::Closed) {
        last->runWhenDismissed(std::move(retry));
        return;
    }
    platform::Application &application = platform::Application::shared();
    const std::shared_ptr<platform::ViewController> anchor = application.presentationAnchor();
    if (!anchor) {
        *waiting = false;
        logNoWindow();
        return;
    }
    if (const std::shared_ptr<platform::ViewController> leaving = anchor->leavingScreen()) {
        leaving->runWhenDismissed(std::move(retry));
        return;
    }
    *waiting = false;
    lastScreen() = screen;
    application.presentOverTop(screen, true);
}

bool KOVWebConnect::isShowing() const
{
    if (!m_screen)
        return false;
    if (m_waiting && *m_waiting)
        return true;
    return m_screen->presentingViewController() && !m_screen->isBeingDismissed()
        && m_screen->state() != KOVWebConnectViewController::State::Closed;
}

void KOVWebConnect::dismissWithCompletion(std::function<void()> completion)
{
    if (!m_screen)
        return;
    if (m_waiting && std::exchange(*m_waiting, false)) {
        // It never went up: there is nothing to take down.
        if (completion)
            platform::MainQueue::async(std::move(completion));
        return;
    }
    // From now on the page is neither seen nor heard, even while the screen
    // still finishes coming in before it can leave.
    m_screen->leavePage();
    // The screen's own dismiss would take only what it presents (a bank's
    // prompt over it) and leave the screen up: its presenter takes the screen
    // and everything over it.
    if (platform::ViewController *presenter = m_screen->presentingViewController())
        presenter->dismiss(true, std::move(completion));
    else
        m_screen->dismiss(true, std::move(completion));
}

} // namespace kova
