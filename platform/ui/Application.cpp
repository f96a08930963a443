#include "platform/ui/Application.h"

#include <QDesktopServices>

#include "platform/foundation/Log.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace kova::platform {

Application &Application::shared()
{
    static Application application;
    return application;
}

void Application::setKeyWindow(Window *window)
{
    m_keyWindow = window;
}

Window *Application::keyWindow() const
{
    if (m_keyWindow)
        return m_keyWindow;
    // Not the focused window: the one last used, even when another
    // application has the focus now.
    if (m_lastActive && m_lastActive->isVisible())
        return m_lastActive;
    return nullptr;
}

void Application::noteActivated(Window *window)
{
    m_lastActive = window;
}

std::shared_ptr<ViewController> Application::topViewController() const
{
    Window *window = keyWindow();
    if (!window || !window->rootViewController())
        return nullptr;
    return window->rootViewController()->visibleViewController();
}

std::shared_ptr<ViewController> Application::presentationAnchor() const
{
    Window *window = keyWindow();
    if (!window || !window->rootViewController())
        return nullptr;
    // Over the topmost layer of the window, whoever presented it.
    std::shared_ptr<ViewController> anchor = window->topPresentedViewController();
    anchor = anchor ? anchor->visibleViewController() : topViewController();
    while (anchor && anchor->presentedViewController())
        anchor = anchor->presentedViewController();
    return anchor;
}

void Application::presentOverTop(std::shared_ptr<ViewController> controller, bool animated,
                                 std::function<void(bool presented)> presented)
{
    const std::shared_ptr<ViewController> anchor = presentationAnchor();
    if (anchor) {
        if (const std::shared_ptr<ViewController> leaving = anchor->leavingScreen()) {
            leaving->runWhenDismissed([this, controller = std::move(controller), animated,
                                       presented = std::move(presented)]() mutable {
                presentOverTop(std::move(controller), animated, std::move(presented));
            });
            return;
        }
    }
    const bool shown = anchor && anchor->present(controller, animated);
    if (presented)
        presented(shown);
}

bool Application::openURL(const QUrl &url)
{
    if (m_opener)
        return m_opener(url);
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        log(QStringLiteral("[Kova] Not opening %1: only web addresses are opened").arg(url.toString()), logUI());
        return false;
    }
    return QDesktopServices::openUrl(url);
}

void Application::setURLOpener(URLOpener opener)
{
    m_opener = std::move(opener);
}

int Application::transitionDuration() const
{
    return m_animations ? 300 : 0;
}

} // namespace kova::platform
