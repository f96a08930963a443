#include "ui/connect/KOVWebConnect.h"

#include "platform/foundation/Log.h"
#include "platform/ui/Application.h"
#include "ui/connect/KOVWebConnectViewController.h"

namespace kova {

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
        platform::log(QStringLiteral("[Kova] There is no window to show the connect screen in"), platform::logUI());
        return;
    }
    // Over a screen still on its way out (the last connect screen, its
    // message) once it has gone.
    platform::Application::shared().presentOverTop(m_screen, true);
}

void KOVWebConnect::dismissWithCompletion(std::function<void()> completion)
{
    if (!m_screen)
        return;
    // The screen's own dismiss would take only what it presents (a bank's
    // prompt over it) and leave the screen up: its presenter takes the screen
    // and everything over it.
    if (platform::ViewController *presenter = m_screen->presentingViewController())
        presenter->dismiss(true, std::move(completion));
    else
        m_screen->dismiss(true, std::move(completion));
}

} // namespace kova
