#pragma once

// Usage:
//   class MyScreen : public ViewController {
//       void viewDidLoad() override { /* build widgets under view() */ }
//   };
//   auto screen = std::make_shared<MyScreen>();
//   presenter->present(screen, true, [] { /* on screen, a later loop turn */ });
//   screen->dismiss(true, [] { /* gone, a later loop turn */ });
//
// Controllers are held by std::shared_ptr; a presenting controller holds its
// presented one, the window holds its root. The view is made on first use of
// view() (loadView(), then viewDidLoad()).
//
// Presentation contract:
// - present() on a controller that already presents is refused: logged,
//   returns false, the completion never runs.
// - viewDidAppear and every completion run on a later loop turn, also with
//   animations off.
// - dismiss() on a presenter removes its whole presented chain; on a
//   presented controller (that presents nothing) it goes to its presenter.
//   With nothing to dismiss the completion still runs once, on a later turn.
// - A completion asked for while a dismissal runs runs after it ends.
// - Programmatic dismissal never calls the presentation-controller delegate;
//   the user's close (Esc, window close, swipe) asks shouldDismiss and then
//   reports didDismiss.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/NavigationItem.h"

namespace kova::platform {

class NavigationController;
class TabBarController;
class PresentationController;
class Window;

enum class ModalPresentationStyle {
    PageSheet,      // a card over a dimmed presenter, user-dismissible (the default)
    FullScreen,     // covers the window; the presenter disappears
    OverFullScreen, // covers the window; the presenter stays visible below
    Alert,          // centred box over a dimmed window (alert controllers)
};

class ViewController : public QObject, public std::enable_shared_from_this<ViewController> {
    Q_OBJECT
public:
    using Completion = std::function<void()>;

    ViewController();
    ~ViewController() override;

    // The root view, made on first access.
    QWidget *view();
    bool isViewLoaded() const { return !m_view.isNull(); }
    // Subclasses may call this from loadView() to supply their own root.
    void setView(QWidget *view);

    QString title() const { return m_title; }
    void setTitle(const QString &title);
    NavigationItem &navigationItem() { return m_navigationItem; }

    // Children: the containers' contents and Add-as-child (the child's view
    // becomes a subview of this view).
    void add(const std::shared_ptr<ViewController> &child);
    void addChildViewController(const std::shared_ptr<ViewController> &child);
    void removeFromParentViewController();
    const std::vector<std::shared_ptr<ViewController>> &childViewControllers() const { return m_children; }
    ViewController *parentViewController() const { return m_parent; }

    // Presentation.
    bool present(const std::shared_ptr<ViewController> &controller, bool animated, Completion completion = {});
    void dismiss(bool animated, Completion completion = {});
    std::shared_ptr<ViewController> presentedViewController() const { return m_presented; }
    ViewController *presentingViewController() const;
    ModalPresentationStyle modalPresentationStyle() const { return m_modalStyle; }
    void setModalPresentationStyle(ModalPresentationStyle style) { m_modalStyle = style; }
    // Made with the controller; valid while presented and after.
    PresentationController &presentationController();
    bool isBeingPresented() const;
    bool isBeingDismissed() const;
    // The controller, or the container it is in, that is on its way out, if
    // any: nothing can be presented over it.
    std::shared_ptr<ViewController> leavingScreen();
    // Runs `work` once this controller has been dismissed and its presenter
    // can present again (the next dismissal, or the one under way).
    void runWhenDismissed(Completion work) { m_whenDismissed.push_back(std::move(work)); }
    // Whether the controller's view is in a window and shown (after
    // viewWillAppear until viewWillDisappear).
    bool isVisible() const { return m_appearance == Appearance::Appearing || m_appearance == Appearance::Appeared; }

    // The nearest containers among the parents (null when none).
    NavigationController *navigationController() const;
    TabBarController *tabBarController() const;
    // The window this controller's view is in, or null.
    Window *window() const;

    template <typename T>
    std::shared_ptr<T> sharedAs()
    {
        return std::dynamic_pointer_cast<T>(shared_from_this());
    }

    // Lifecycle (override; the base versions do nothing).
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool /*animated*/) {}
    virtual void viewDidAppear(bool /*animated*/) {}
    virtual void viewWillDisappear(bool /*animated*/) {}
    virtual void viewDidDisappear(bool /*animated*/) {}
    virtual void didMoveToParentViewController(ViewController * /*parent*/) {}
    // The controller the top-controller walk lands on for this one.
    virtual std::shared_ptr<ViewController> visibleViewController();

    // Appearance forwarding, used by the containers and the window.
    void beginAppearanceTransition(bool appearing, bool animated);
    void endAppearanceTransition();
    // The children that appear and disappear with this controller.
    virtual std::vector<std::shared_ptr<ViewController>> appearanceChildren() const { return m_children; }

signals:
    void titleChanged(const QString &title);

private:
    friend class Window;
    friend class PresentationController;
    enum class Appearance { Disappeared, Appearing, Appeared, Disappearing };
    enum class Transition { None, Presenting, Dismissing };

    // Removes the chain that starts at `base` from its presenter.
    static void dismissChain(const std::shared_ptr<ViewController> &base, bool animated, Completion completion,
                             bool byUser);
    void runAfterTransition(Completion work);
    void finishTransition();

    QPointer<QWidget> m_view;
    QString m_title;
    NavigationItem m_navigationItem;
    std::vector<std::shared_ptr<ViewController>> m_children;
    ViewController *m_parent = nullptr;
    std::shared_ptr<ViewController> m_presented;
    std::weak_ptr<ViewController> m_presenting;
    ModalPresentationStyle m_modalStyle = ModalPresentationStyle::PageSheet;
    std::unique_ptr<PresentationController> m_presentationController;
    Appearance m_appearance = Appearance::Disappeared;
    bool m_appearanceAnimated = false;
    Transition m_transition = Transition::None;
    std::vector<Completion> m_afterTransition;
    std::vector<Completion> m_whenDismissed;
    bool m_loadingView = false;
};

} // namespace kova::platform
