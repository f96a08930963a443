#pragma once

// Usage: a screen that wants a say in the user's close of its sheet derives
// from PresentationControllerDelegate and sets itself as the weak delegate:
//   screen->presentationController().setDelegate(screen);   // a shared_ptr of the delegate
// shouldDismiss() is asked only for the user's close (Esc, window close, a
// swipe); when it allows, the sheet leaves and didDismiss() follows once it
// has gone. Programmatic dismissals never call either.

#include <memory>

namespace kova::platform {

class PresentationController;
class ViewController;

class PresentationControllerDelegate {
public:
    virtual ~PresentationControllerDelegate() = default;
    virtual bool presentationControllerShouldDismiss(PresentationController & /*controller*/) { return true; }
    virtual void presentationControllerWillDismiss(PresentationController & /*controller*/) {}
    virtual void presentationControllerDidDismiss(PresentationController & /*controller*/) {}
};

class PresentationController {
public:
    explicit PresentationController(ViewController &presented) : m_presented(presented) {}

    ViewController &presentedViewController() const { return m_presented; }
    std::shared_ptr<ViewController> presentingViewController() const;

    std::shared_ptr<PresentationControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<PresentationControllerDelegate> delegate) { m_delegate = std::move(delegate); }

    // The user's close of the presented controller: asks the delegate, then
    // dismisses and reports didDismiss once gone. Returns whether the close
    // was allowed. Only sheets can be closed this way.
    bool userDismiss();

private:
    ViewController &m_presented;
    std::weak_ptr<PresentationControllerDelegate> m_delegate;
};

} // namespace kova::platform
