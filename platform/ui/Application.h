#pragma once

// Usage:
//   Application::shared().setKeyWindow(window);            // once, by the host
//   auto top = Application::shared().topViewController();  // the visible-controller walk
//   auto over = Application::shared().presentationAnchor(); // where the SDK presents
//   Application::shared().openURL(url);
//   Application::shared().setAnimationsEnabled(false);     // tests
// No global guessing: the key window is the window the host gave while it
// exists, else the most recently active visible Window. Nothing presents over a
// window the host did not give or show.

#include <QPointer>
#include <QUrl>
#include <functional>
#include <memory>

namespace kova::platform {

class ViewController;
class Window;

class Application {
public:
    using URLOpener = std::function<bool(const QUrl &)>;

    static Application &shared();

    void setKeyWindow(Window *window);
    Window *keyWindow() const;
    // Called by every Window when it becomes active.
    void noteActivated(Window *window);

    // The visible controller of the key window's root (null without one):
    // navigation → what it presents, else its top (and on from there);
    // tab bar → its selected; a presenter → its presented; else itself.
    std::shared_ptr<ViewController> topViewController() const;
    // topViewController followed to the end of its presented chain: the
    // controller a new screen goes over, which never presents already.
    std::shared_ptr<ViewController> presentationAnchor() const;
    // Presents `controller` over presentationAnchor(); when that screen is on
    // its way out, over what is left once it has gone. `presented` (if any)
    // hears whether it went up: at once, or after that wait.
    void presentOverTop(std::shared_ptr<ViewController> controller, bool animated,
                        std::function<void(bool presented)> presented = {});

    // The desktop opener hands http(s) URLs to the system browser and refuses
    // every other scheme; tests put a recorder in its place.
    bool openURL(const QUrl &url);
    void setURLOpener(URLOpener opener);

    bool animationsEnabled() const { return m_animations; }
    void setAnimationsEnabled(bool enabled) { m_animations = enabled; }
    // Milliseconds of a standard transition (0 when animations are off).
    int transitionDuration() const;

    // A scroll view sets this while the user drags it; display links in the
    // default run-loop mode wait meanwhile.
    bool isTracking() const { return m_tracking; }
    void setTracking(bool tracking) { m_tracking = tracking; }

private:
    QPointer<Window> m_keyWindow;
    QPointer<Window> m_lastActive;
    URLOpener m_opener;
    bool m_animations = true;
    bool m_tracking = false;
};

} // namespace kova::platform
