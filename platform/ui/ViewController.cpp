#include "platform/ui/ViewController.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Log.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace kova::platform {
namespace {

QString describe(const ViewController *controller)
{
    return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(controller->metaObject()->className()), controller->title());
}

} // namespace

ViewController::ViewController() : m_presentationController(std::make_unique<PresentationController>(*this))
{
}

ViewController::~ViewController()
{
    // A presenter that goes takes its presented chain off the screen with it,
    // so no empty layer is left dimming the window.
    if (m_presented && m_presented->m_view) {
        if (auto *host = Window::containing(m_presented->m_view))
            host->removeLayer(m_presented.get(), false, nullptr);
    }
    if (m_view)
        delete m_view.data();
}

QWidget *ViewController::view()
{
    if (!m_view && !m_loadingView) {
        m_loadingView = true;
        loadView();
        if (!m_view)
            setView(new View);
        m_loadingView = false;
        viewDidLoad();
    }
    return m_view;
}

void ViewController::setView(QWidget *view)
{
    m_view = view;
}

void ViewController::loadView()
{
    auto *root = new View;
    root->setBackgroundColor(Qt::white);
    setView(root);
}

void ViewController::setTitle(const QString &title)
{
    m_title = title;
    m_navigationItem.setTitle(title);
    emit titleChanged(title);
}

void ViewController::addChildViewController(const std::shared_ptr<ViewController> &child)
{
    if (!child || child.get() == this)
        return;
    child->removeFromParentViewController();
    m_children.push_back(child);
    child->m_parent = this;
}

void ViewController::add(const std::shared_ptr<ViewController> &child)
{
    addChildViewController(child);
    QWidget *childView = child->view();
    childView->setParent(view());
    childView->show();
    if (isVisible()) {
        child->beginAppearanceTransition(true, false);
        MainQueue::nextTurn([weak = std::weak_ptr<ViewController>(child)] {
            if (auto c = weak.lock())
                c->endAppearanceTransition();
        });
    }
    child->didMoveToParentViewController(this);
}

void ViewController::removeFromParentViewController()
{
    if (!m_parent)
        return;
    ViewController *parent = m_parent;
    m_parent = nullptr;
    // Keeps this controller alive while the parent lets go of it.
    auto self = shared_from_this();
    std::erase_if(parent->m_children, [this](const auto &c) { return c.get() == this; });
    didMoveToParentViewController(nullptr);
}

ViewController *ViewController::presentingViewController() const
{
    for (const ViewController *c = this; c; c = c->m_parent) {
        if (auto presenting = c->m_presenting.lock())
            return presenting.get();
    }
    return nullptr;
}

PresentationController &ViewController::presentationController()
{
    return *m_presentationController;
}

bool ViewController::isBeingPresented() const
{
    return m_transition == Transition::Presenting;
}

bool ViewController::isBeingDismissed() const
{
    return m_transition == Transition::Dismissing;
}

std::shared_ptr<ViewController> ViewController::leavingScreen()
{
    for (ViewController *c = this; c; c = c->m_parent) {
        if (c->m_transition == Transition::Dismissing)
            return c->shared_from_this();
    }
    return nullptr;
}

NavigationController *ViewController::navigationController() const
{
    for (ViewController *c = m_parent; c; c = c->m_parent) {
        if (auto *nav = dynamic_cast<NavigationController *>(c))
            return nav;
    }
    return nullptr;
}

TabBarController *ViewController::tabBarController() const
{
    for (ViewController *c = m_parent; c; c = c->m_parent) {
        if (auto *tabs = dynamic_cast<TabBarController *>(c))
            return tabs;
    }
    return nullptr;
}

Window *ViewController::window() const
{
    if (!m_view)
        return nullptr;
    return Window::containing(m_view);
}

std::shared_ptr<ViewController> ViewController::visibleViewController()
{
    if (m_presented)
        return m_presented->visibleViewController();
    return shared_from_this();
}

bool ViewController::present(const std::shared_ptr<ViewController> &controller, bool animated, Completion completion)
{
    if (!controller || controller.get() == this) {
        log(QStringLiteral("[Kova] Nothing to present on %1").arg(describe(this)), logUI());
        return false;
    }
    if (m_presented) {
        log(QStringLiteral("[Kova] Refused to present %1 on %2, which is already presenting %3")
                .arg(describe(controller.get()), describe(this), describe(m_presented.get())), logUI());
        return false;
    }
    if (controller->m_presenting.lock() || controller->m_parent) {
        log(QStringLiteral("[Kova] Refused to present %1: it is already on screen").arg(describe(controller.get())), logUI());
        return false;
    }
    // On a screen that is leaving (or inside one), the new one would go too.
    if (leavingScreen()) {
        log(QStringLiteral("[Kova] Refused to present %1 on %2, which is leaving").arg(describe(controller.get()), describe(this)), logUI());
        return false;
    }
    Window *host = window();
    if (!host) {
        log(QStringLiteral("[Kova] Refused to present %1: %2 is in no window").arg(describe(controller.get()), describe(this)), logUI());
        return false;
    }
    m_presented = controller;
    controller->m_presenting = weak_from_this();
    controller->m_transition = Transition::Presenting;
    controller->view();
    controller->beginAppearanceTransition(true, animated);
    host->addLayer(controller.get(), controller->m_modalStyle, animated,
                   [weak = std::weak_ptr<ViewController>(controller), completion = std::move(completion)]() mutable {
                       auto presented = weak.lock();
                       if (!presented)
                           return;
                       presented->endAppearanceTransition();
                       if (completion)
                           std::exchange(completion, nullptr)();
                       presented->finishTransition();
                   });
    return true;
}

void ViewController::dismiss(bool animated, Completion completion)
{
    std::shared_ptr<ViewController> base;
    if (m_presented) {
        base = m_presented;
    } else {
        // A child inside a presented container dismisses that container.
        for (ViewController *c = this; c; c = c->m_parent) {
            if (c->m_presenting.lock()) {
                base = c->shared_from_this();
                break;
            }
        }
    }
    if (!base) {
        MainQueue::nextTurn(std::move(completion));
        return;
    }
    dismissChain(base, animated, std::move(completion), false);
}

void ViewController::runAfterTransition(Completion work)
{
    m_afterTransition.push_back(std::move(work));
}

void ViewController::finishTransition()
{
    m_transition = Transition::None;
    auto pending = std::exchange(m_afterTransition, {});
    for (auto &work : pending) {
        if (work)
            work();
    }
}

void ViewController::dismissChain(const std::shared_ptr<ViewController> &base, bool animated, Completion completion,
                                  bool byUser)
{
    if (base->m_transition == Transition::Dismissing) {
        // Asked again while leaving: runs once the running dismissal ends.
        base->runAfterTransition(
            [completion = std::move(completion)]() mutable { MainQueue::nextTurn(std::move(completion)); });
        return;
    }
    std::shared_ptr<ViewController> arriving;
    for (auto c = base; c && !arriving; c = c->m_presented) {
        if (c->m_transition == Transition::Presenting)
            arriving = c;
    }
    if (arriving) {
        // Leaves as soon as the whole chain has arrived.
        arriving->runAfterTransition([weak = std::weak_ptr<ViewController>(base), animated, byUser,
                                  completion = std::move(completion)]() mutable {
            auto b = weak.lock();
            if (b && b->m_presenting.lock())
                dismissChain(b, animated, std::move(completion), byUser);
            else
                MainQueue::nextTurn(std::move(completion));
        });
        return;
    }
    auto presenter = base->m_presenting.lock();
    Window *host = base->window();
    std::vector<std::shared_ptr<ViewController>> chain;
    for (auto c = base; c; c = c->m_presented)
        chain.push_back(c);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        (*it)->m_transition = Transition::Dismissing;
        (*it)->beginAppearanceTransition(false, animated);
    }
    auto finish = [chain, presenter, completion = std::move(completion), byUser]() mutable {
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const auto &c = *it;
            c->endAppearanceTransition();
            c->m_presenting.reset();
            c->m_presented.reset();
        }
        if (presenter && presenter->m_presented == chain.front())
            presenter->m_presented.reset();
        if (completion)
            std::exchange(completion, nullptr)();
        if (byUser) {
            if (auto delegate = chain.front()->presentationController().delegate())
                delegate->presentationControllerDidDismiss(chain.front()->presentationController());
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            (*it)->finishTransition();
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            for (auto &work : std::exchange((*it)->m_whenDismissed, {}))
                if (work)
                    work();
    };
    if (!host) {
        MainQueue::nextTurn(std::move(finish));
        return;
    }
    // The layers above the base go at once; the base's layer animates.
    for (size_t i = chain.size(); i-- > 1;)
        host->removeLayer(chain[i].get(), false, nullptr);
    host->removeLayer(base.get(), animated, std::move(finish));
}

void ViewController::beginAppearanceTransition(bool appearing, bool animated)
{
    if (appearing && (m_appearance == Appearance::Disappeared || m_appearance == Appearance::Disappearing)) {
        m_appearance = Appearance::Appearing;
        m_appearanceAnimated = animated;
        viewWillAppear(animated);
    } else if (!appearing && (m_appearance == Appearance::Appeared || m_appearance == Appearance::Appearing)) {
        m_appearance = Appearance::Disappearing;
        m_appearanceAnimated = animated;
        viewWillDisappear(animated);
    } else {
        return;
    }
    for (const auto &child : appearanceChildren())
        child->beginAppearanceTransition(appearing, animated);
}

void ViewController::endAppearanceTransition()
{
    if (m_appearance == Appearance::Appearing) {
        m_appearance = Appearance::Appeared;
        viewDidAppear(m_appearanceAnimated);
    } else if (m_appearance == Appearance::Disappearing) {
        m_appearance = Appearance::Disappeared;
        viewDidDisappear(m_appearanceAnimated);
    } else {
        return;
    }
    for (const auto &child : appearanceChildren())
        child->endAppearanceTransition();
}

} // namespace kova::platform
