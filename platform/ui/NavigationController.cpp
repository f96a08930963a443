#include "platform/ui/NavigationController.h"

#include <QPainter>
#include <QPointer>

#include "platform/dispatch/MainQueue.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/ViewHelpers.h"

namespace kova::platform {
namespace {

constexpr int kItemSpacing = 8;
constexpr int kSideMargin = 16;
constexpr int kTitleViewMargin = 6;
constexpr int kLargeTitleMargin = 16;

Button *buttonFor(const std::shared_ptr<BarButtonItem> &item, const QColor &tint, const QFont &font, QWidget *parent)
{
    auto *button = new Button(parent);
    QFont itemFont = font;
    itemFont.setBold(item->style() == BarButtonItem::Style::Done);
    button->setTitleFont(itemFont);
    button->setTitle(item->title());
    button->setTitleColor(tint);
    if (!item->image().isNull())
        button->setImage(item->image());
    button->setEnabled(item->isEnabled());
    button->setContentEdgeInsets(QMargins(4, 4, 4, 4));
    QObject::connect(button, &Button::clicked, button, [weak = std::weak_ptr<BarButtonItem>(item)] {
        if (auto i = weak.lock())
            i->trigger();
    });
    return button;
}

} // namespace

NavigationBar::NavigationBar(QWidget *parent)
    : QWidget(parent), m_tintColor(0, 122, 255), m_background(248, 248, 248), m_titleColor(Qt::black)
{
    m_titleFont = font();
    m_titleFont.setPixelSize(17);
    m_titleFont.setWeight(QFont::DemiBold);
}

void NavigationBar::setTintColor(const QColor &color)
{
    m_tintColor = color;
    rebuild();
}

void NavigationBar::setBarBackgroundColor(const QColor &color)
{
    m_background = color;
    update();
}

void NavigationBar::setTranslucent(bool translucent)
{
    m_translucent = translucent;
    update();
}

void NavigationBar::setBackgroundImage(const QImage &image)
{
    m_backgroundImage = image;
    m_hasBackgroundImage = true;
    update();
}

void NavigationBar::setShadowImage(const QImage &image)
{
    m_shadowImage = image;
    m_hasShadowImage = true;
    update();
}

void NavigationBar::setTitleFont(const QFont &font)
{
    m_titleFont = font;
    rebuild();
}

void NavigationBar::setTitleColor(const QColor &color)
{
    m_titleColor = color;
    rebuild();
}

void NavigationBar::setBackImage(const QImage &image)
{
    m_backImage = image;
    rebuild();
}

void NavigationBar::setTopInset(int inset)
{
    m_topInset = inset;
    arrange();
}

void NavigationBar::showItem(NavigationItem *item, bool showBack, std::function<void()> back)
{
    if (m_itemConnection)
        disconnect(m_itemConnection);
    m_item = item;
    m_showBack = showBack;
    m_back = std::move(back);
    if (item)
        m_itemConnection = connect(item, &NavigationItem::changed, this, &NavigationBar::rebuild);
    rebuild();
}

QWidget *NavigationBar::backButton() const
{
    return m_backButton;
}

QList<QWidget *> NavigationBar::leftItemWidgets() const
{
    return m_left;
}

QList<QWidget *> NavigationBar::rightItemWidgets() const
{
    return m_right;
}

QString NavigationBar::shownTitle() const
{
    auto *label = qobject_cast<Label *>(m_title);
    return label ? label->text() : QString();
}

void NavigationBar::rebuild()
{
    // Custom views belong to their items; only our own buttons are deleted.
    auto clear = [this](QList<QWidget *> &widgets) {
        for (QWidget *w : widgets) {
            if (qobject_cast<Button *>(w) && w->parent() == this)
                delete w;
            else if (w)
                w->hide();
        }
        widgets.clear();
    };
    clear(m_left);
    clear(m_right);
    delete m_backButton;
    m_backButton = nullptr;
    if (m_title && qobject_cast<Label *>(m_title))
        delete m_title;
    else if (m_title)
        m_title->hide();
    m_title = nullptr;
    delete m_largeTitle;
    m_largeTitle = nullptr;
    if (!m_item) {
        update();
        return;
    }
    // Bar buttons stay in the system font whatever font the title is given.
    QFont itemFont = font();
    itemFont.setPixelSize(17);
    itemFont.setWeight(QFont::Normal);
    if (m_showBack && !m_item->hidesBackButton() && m_item->leftBarButtonItems().empty()) {
        auto *back = new Button(this);
        back->setTitleFont(itemFont);
        if (!m_backImage.isNull())
            back->setImage(m_backImage);
        else
            back->setTitle(QStringLiteral("‹"));
        back->setTitleColor(m_tintColor);
        back->setContentEdgeInsets(QMargins(4, 4, 4, 4));
        connect(back, &Button::clicked, this, [this] {
            if (m_back)
                m_back();
        });
        back->show();
        m_backButton = back;
    }
    for (const auto &item : m_item->leftBarButtonItems()) {
        QWidget *w = item->customView() ? item->customView() : buttonFor(item, m_tintColor, itemFont, this);
        w->setParent(this);
        w->show();
        m_left.append(w);
    }
    for (const auto &item : m_item->rightBarButtonItems()) {
        QWidget *w = item->customView() ? item->customView() : buttonFor(item, m_tintColor, itemFont, this);
        w->setParent(this);
        w->show();
        m_right.append(w);
    }
    if (m_item->titleView()) {
        m_title = m_item->titleView();
        m_title->setParent(this);
    } else {
        auto *label = new Label(m_item->title(), this);
        label->setFont(m_titleFont);
        label->setTextColor(m_titleColor);
        label->setTextAlignment(Qt::AlignHCenter);
        m_title = label;
    }
    m_title->show();
    if (m_largeTitles && !m_item->titleView()) {
        auto *large = new Label(m_item->title(), this);
        QFont largeFont = font();
        largeFont.setPixelSize(34);
        largeFont.setWeight(QFont::Bold);
        large->setFont(largeFont);
        large->setTextColor(m_titleColor);
        m_largeTitle = large;
        m_largeTitle->show();
        m_title->hide();
    }
    arrange();
    update();
}

void NavigationBar::arrange()
{
    int left = kSideMargin / 2;
    auto place = [this](QWidget *w, int x) {
        const QSize hint = w->sizeHint().boundedTo(QSize(width() / 3, Height));
        w->setGeometry(x, m_topInset + (Height - hint.height()) / 2, hint.width(), hint.height());
        return hint.width();
    };
    if (m_backButton)
        left += place(m_backButton, left) + kItemSpacing;
    for (QWidget *w : m_left)
        left += place(w, left) + kItemSpacing;
    int right = width() - kSideMargin / 2;
    for (QWidget *w : m_right) {
        const int wWidth = w->sizeHint().boundedTo(QSize(width() / 3, Height)).width();
        right -= wWidth;
        place(w, right);
        right -= kItemSpacing;
    }
    if (m_title) {
        const int side = std::max(left, width() - right);
        const int titleWidth = std::max(0, width() - 2 * side);
        const QSize hint = m_title->sizeHint();
        // A title view such as a logo keeps a margin to the bar's edges, as
        // the bar's text does.
        const int tallest = qobject_cast<Label *>(m_title) ? Height : Height - 2 * kTitleViewMargin;
        const int h = std::min(tallest, hint.height() > 0 ? hint.height() : tallest);
        m_title->setGeometry(side, m_topInset + (Height - h) / 2, titleWidth, h);
    }
    if (m_largeTitle)
        m_largeTitle->setGeometry(kLargeTitleMargin, m_topInset + Height, std::max(0, width() - 2 * kLargeTitleMargin),
                                  LargeTitleHeight);
}

void NavigationBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_hasBackgroundImage) {
        if (!m_backgroundImage.isNull())
            painter.drawImage(QRectF(rect()), m_backgroundImage);
    } else if (m_background.alpha() > 0) {
        QColor color = m_background;
        if (m_translucent)
            color.setAlphaF(color.alphaF() * 0.94);
        painter.fillRect(rect(), color);
    }
    if (!m_hasShadowImage)
        painter.fillRect(QRect(0, height() - 1, width(), 1), QColor(0, 0, 0, 40));
    else if (!m_shadowImage.isNull())
        painter.drawImage(QRect(0, height() - 1, width(), 1), m_shadowImage);
}

void NavigationBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    arrange();
}

// The navigation controller's root view: the bar under the safe area's top
// and the content below it (or under it, when the bar is transparent).
class NavigationView : public View {
public:
    std::function<void()> relayout;

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        View::resizeEvent(event);
        if (relayout)
            relayout();
    }
    void moveEvent(QMoveEvent *event) override
    {
        View::moveEvent(event);
        if (relayout)
            relayout();
    }
};

void NavigationBar::setPrefersLargeTitles(bool prefers)
{
    if (prefers == m_largeTitles)
        return;
    m_largeTitles = prefers;
    rebuild();
    // The content moves with the bar's new height.
    if (auto *container = dynamic_cast<NavigationView *>(parentWidget()); container && container->relayout)
        container->relayout();
}

NavigationController::NavigationController(std::shared_ptr<ViewController> root)
{
    if (root)
        setViewControllers({std::move(root)}, false);
}

void NavigationController::loadView()
{
    auto *root = new NavigationView;
    root->setBackgroundColor(Qt::white);
    m_content = new QWidget(root);
    m_bar = new NavigationBar(root);
    root->relayout = [this, root] {
        const int top = safeAreaInsets(root).top();
        const bool overlay = m_bar->isTranslucent() && m_bar->barBackgroundColor().alpha() == 0;
        m_bar->setTopInset(top);
        m_bar->setGeometry(0, 0, root->width(), top + m_bar->barHeight());
        m_bar->setVisible(!m_barHidden);
        const int contentTop = (m_barHidden || overlay) ? 0 : top + m_bar->barHeight();
        m_content->setGeometry(0, contentTop, root->width(), root->height() - contentTop);
        m_content->setProperty(kBarCoverProperty, (overlay && !m_barHidden) ? top + m_bar->barHeight() : 0);
        if (m_shown && m_shown->isViewLoaded())
            m_shown->view()->setGeometry(m_content->rect());
        m_bar->raise();
    };
    setView(root);
    showTop(false);
}

NavigationBar *NavigationController::navigationBar()
{
    view();
    return m_bar;
}

void NavigationController::setNavigationBarHidden(bool hidden)
{
    m_barHidden = hidden;
    if (isViewLoaded())
        static_cast<NavigationView *>(view())->relayout();
}

void NavigationController::setTransparentNavigationBar()
{
    NavigationBar *bar = navigationBar();
    bar->setBackgroundImage(QImage());
    bar->setShadowImage(QImage());
    bar->setTranslucent(true);
    bar->setBarBackgroundColor(Qt::transparent);
    static_cast<NavigationView *>(view())->relayout();
}

std::shared_ptr<ViewController> NavigationController::topViewController() const
{
    return m_stack.empty() ? nullptr : m_stack.back();
}

std::shared_ptr<ViewController> NavigationController::visibleViewController()
{
    // Follows what is presented, so the walk never stops on a controller
    // that is already presenting.
    if (presentedViewController())
        return presentedViewController()->visibleViewController();
    auto top = topViewController();
    if (!top)
        return shared_from_this();
    if (top->presentedViewController())
        return top->presentedViewController()->visibleViewController();
    return top;
}

void NavigationController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated)
{
    for (const auto &c : m_stack) {
        if (std::find(controllers.begin(), controllers.end(), c) == controllers.end())
            c->removeFromParentViewController();
    }
    m_stack = std::move(controllers);
    for (const auto &c : m_stack) {
        if (c->parentViewController() != this)
            addChildViewController(c);
    }
    showTop(animated);
}

void NavigationController::push(const std::shared_ptr<ViewController> &controller, bool animated)
{
    if (!controller || std::find(m_stack.begin(), m_stack.end(), controller) != m_stack.end())
        return;
    addChildViewController(controller);
    m_stack.push_back(controller);
    showTop(animated);
}

std::shared_ptr<ViewController> NavigationController::pop(bool animated)
{
    if (m_stack.size() < 2)
        return nullptr;
    auto popped = m_stack.back();
    m_stack.pop_back();
    showTop(animated);
    popped->removeFromParentViewController();
    return popped;
}

void NavigationController::popToRoot(bool animated)
{
    while (m_stack.size() > 2) {
        m_stack[m_stack.size() - 2]->removeFromParentViewController();
        m_stack.erase(m_stack.end() - 2);
    }
    pop(animated);
}

std::vector<std::shared_ptr<ViewController>> NavigationController::appearanceChildren() const
{
    return m_shown ? std::vector<std::shared_ptr<ViewController>>{m_shown} : std::vector<std::shared_ptr<ViewController>>{};
}

void NavigationController::showTop(bool animated)
{
    if (!isViewLoaded())
        return;
    auto top = topViewController();
    const auto showBarFor = [this](const std::shared_ptr<ViewController> &shown) {
        m_bar->showItem(&shown->navigationItem(), m_stack.size() > 1, [weak = weak_from_this()] {
            if (auto self = std::dynamic_pointer_cast<NavigationController>(weak.lock()))
                self->pop(true);
        });
    };
    if (top == m_shown) {
        // The same screen on a stack of another depth: its back button
        // comes or goes with what lies below it.
        if (top)
            showBarFor(top);
        return;
    }
    auto previous = m_shown;
    const bool onScreen = isVisible();
    if (previous && onScreen)
        previous->beginAppearanceTransition(false, animated);
    else if (previous)
        // Taken off while the whole stack is on its way out: it was told it
        // would disappear, and the stack's own end now reaches only the new top.
        previous->endAppearanceTransition();
    m_shown = top;
    if (top) {
        QWidget *v = top->view();
        v->setParent(m_content);
        v->setGeometry(m_content->rect());
        v->show();
        if (onScreen)
            top->beginAppearanceTransition(true, animated);
        showBarFor(top);
    } else {
        m_bar->showItem(nullptr, false, nullptr);
    }
    if (previous && previous->isViewLoaded() && previous->view()->parentWidget() == m_content) {
        previous->view()->hide();
        previous->view()->setParent(nullptr);
    }
    static_cast<NavigationView *>(view())->relayout();
    if (onScreen) {
        MainQueue::nextTurn([self = QPointer<NavigationController>(this), previous, top] {
            if (!self)
                return;
            if (previous)
                previous->endAppearanceTransition();
            if (top)
                top->endAppearanceTransition();
        });
    }
}

void TabBarController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers)
{
    for (const auto &c : m_tabs)
        c->removeFromParentViewController();
    m_tabs = std::move(controllers);
    for (const auto &c : m_tabs)
        addChildViewController(c);
    m_selected = 0;
    showSelected();
}

void TabBarController::setSelectedIndex(int index)
{
    if (index < 0 || index >= static_cast<int>(m_tabs.size()))
        return;
    m_selected = index;
    showSelected();
}

std::shared_ptr<ViewController> TabBarController::selectedViewController() const
{
    if (m_selected < 0 || m_selected >= static_cast<int>(m_tabs.size()))
        return nullptr;
    return m_tabs[m_selected];
}

std::shared_ptr<ViewController> TabBarController::visibleViewController()
{
    auto selected = selectedViewController();
    return selected ? selected->visibleViewController() : ViewController::visibleViewController();
}

std::vector<std::shared_ptr<ViewController>> TabBarController::appearanceChildren() const
{
    auto selected = selectedViewController();
    return selected ? std::vector<std::shared_ptr<ViewController>>{selected} : std::vector<std::shared_ptr<ViewController>>{};
}

void TabBarController::loadView()
{
    auto *root = new View;
    root->setBackgroundColor(Qt::white);
    m_content = new QWidget(root);
    pinEdges(m_content, root, QMargins(0, 0, 0, 49));
    setView(root);
    showSelected();
}

void TabBarController::showSelected()
{
    if (!isViewLoaded())
        return;
    for (const auto &c : m_tabs) {
        if (c->isViewLoaded() && c->view()->parentWidget() == m_content)
            c->view()->hide();
    }
    if (auto selected = selectedViewController()) {
        QWidget *v = selected->view();
        v->setParent(m_content);
        v->setGeometry(m_content->rect());
        v->show();
        removeConstraints(v);
        pinEdges(v, m_content);
    }
}

} // namespace kova::platform
