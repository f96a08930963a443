#include "platform/ui/Window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPropertyAnimation>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>

#include "platform/dispatch/MainQueue.h"
#include "platform/ui/Application.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/ViewHelpers.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

namespace kova::platform {
namespace {

constexpr int kSheetGap = 10;       // between the safe area's top and a sheet
constexpr int kSheetCorner = 10;
constexpr int kSwipeDistance = 100; // a drag this far down closes a sheet
constexpr int kFormSheetMargin = 40; // at least this much dimmed host beside a card

// The light look every screen is drawn for (dark text on light cards), with
// every role set, so a host's palette, dark or not, has nothing to hand down.
const QPalette &screensPalette()
{
    static const QPalette palette = [] {
        std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
        QPalette p = fusion ? fusion->standardPalette() : QPalette(Qt::black, Qt::white);
        for (int group = 0; group < QPalette::NColorGroups; ++group)
            for (int role = 0; role < QPalette::NColorRoles; ++role) {
                const auto g = static_cast<QPalette::ColorGroup>(group);
                const auto r = static_cast<QPalette::ColorRole>(role);
                p.setBrush(g, r, p.brush(g, r));
            }
        return p;
    }();
    return palette;
}

// An application style sheet (or one of an ancestor of the window) reaches
// every widget below it, and outranks palettes: labels turn the host's text
// colour, frames and fields gain its slabs, borders and padding. A layer's own
// sheet outranks it in turn, so while one is in force every layer carries this
// one, which puts back what the screens draw without any: the screens' text
// colour and selection, no background from a sheet (each view paints its own
// fill, and the palette's stays), the platform's border (none, on the
// frameless widgets the screens use), and no padding or margin around a
// label's or field's text; a field draws no panel (the screens' fields are
// see-through, or carry a sheet of their own). Scroll bars keep being drawn
// by the widget style (a sheet's box on them would make Qt draw them flat).
// Without a host sheet the layers carry none, so the screens are drawn and
// measured exactly as they always are.
const QString &neutralStyleSheet()
{
    static const QString sheet = [] {
        const QPalette &p = screensPalette();
        const auto colour = [&p](QPalette::ColorRole role) { return p.color(QPalette::Active, role).name(QColor::HexArgb); };
        return QStringLiteral("* { color: %1; selection-color: %2; selection-background-color: %3;"
                              " alternate-background-color: %4; background: none; border-style: native;"
                              " border-width: 0px; }"
                              " QFrame { padding: 0px; margin: 0px; }"
                              " QLineEdit { background: transparent; border: none; padding: 0px; margin: 0px; }")
            .arg(colour(QPalette::WindowText), colour(QPalette::HighlightedText), colour(QPalette::Highlight),
                 colour(QPalette::AlternateBase));
    }();
    return sheet;
}

// The dimmed backdrop of a sheet or alert; it also swallows taps meant for
// what lies below.
class Backdrop : public QWidget {
public:
    Backdrop(QWidget *parent, qreal dim) : QWidget(parent), m_dim(dim) {}
    void setDim(qreal dim)
    {
        m_dim = dim;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (m_dim <= 0)
            return;
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0, 0, 0, qRound(255 * m_dim)));
    }
    void mousePressEvent(QMouseEvent *event) override { event->accept(); }

private:
    qreal m_dim;
};

// What a person does to a screen: none of it may reach a screen on its way out.
bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

// Runs `work` once, when the animation ends or, should the window (and the
// animation with it) go first, on the turn after: a transition's end is
// never lost.
void whenOver(QAbstractAnimation *animation, std::function<void()> work)
{
    auto pending = std::make_shared<std::function<void()>>(std::move(work));
    auto run = [pending] {
        if (*pending)
            std::exchange(*pending, nullptr)();
    };
    QObject::connect(animation, &QAbstractAnimation::finished, QCoreApplication::instance(), run);
    QObject::connect(animation, &QObject::destroyed, QCoreApplication::instance(), [run] { MainQueue::nextTurn(run); });
}

} // namespace

struct Window::Layer {
    const ViewController *key = nullptr;
    std::weak_ptr<ViewController> controller;
    ModalPresentationStyle style;
    Backdrop *backdrop = nullptr; // covers the window
    QWidget *card = nullptr;      // holds the controller's view
    int dragStartY = -1;
};

Window::Window(QWidget *parent) : QWidget(parent)
{
    resize(390, 844);
    setAttribute(Qt::WA_StyledBackground);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

Window *Window::containing(const QWidget *widget)
{
    for (QWidget *w = const_cast<QWidget *>(widget); w; w = w->parentWidget()) {
        if (auto *window = qobject_cast<Window *>(w))
            return window;
    }
    return nullptr;
}

Window::~Window()
{
    if (!m_leaving.empty())
        QCoreApplication::instance()->removeEventFilter(this);
    // Views belong to their controllers: take them out before the widget
    // tree goes, so a controller that outlives the window keeps a whole view.
    for (auto &layer : m_layers) {
        if (auto c = layer->controller.lock(); c && c->m_view)
            c->m_view->setParent(nullptr);
    }
    // A dismissal still sliding away has nowhere left to slide: its
    // controller stops being presented now, not on a later turn a host that
    // quits may never run, or its presenter would hold the finished screens
    // for as long as it lives.
    for (const Leaving &leaving : m_leaving) {
        auto c = leaving.controller.lock();
        if (!c)
            continue;
        if (c->m_view) {
            c->m_view->hide();
            c->m_view->setParent(nullptr);
        }
        if (auto presenter = c->m_presenting.lock(); presenter && presenter->m_presented == c)
            presenter->m_presented.reset();
        c->m_presenting.reset();
    }
    if (m_root && m_root->m_view)
        m_root->m_view->setParent(nullptr);
}

void Window::setRootViewController(std::shared_ptr<ViewController> root)
{
    if (m_root == root)
        return;
    if (m_root) {
        m_root->beginAppearanceTransition(false, false);
        if (m_root->m_view) {
            m_root->m_view->hide();
            m_root->m_view->setParent(nullptr);
        }
        m_root->endAppearanceTransition();
    }
    m_root = std::move(root);
    if (!m_root)
        return;
    QWidget *view = m_root->view();
    view->setParent(this);
    view->setGeometry(rect());
    view->lower();
    view->show();
    if (isVisible()) {
        m_root->beginAppearanceTransition(true, false);
        QTimer::singleShot(0, this, [weak = std::weak_ptr<ViewController>(m_root)] {
            if (auto r = weak.lock())
                r->endAppearanceTransition();
        });
    }
}

void Window::setSafeAreaInsets(const QMargins &insets)
{
    if (insets == m_safeArea)
        return;
    m_safeArea = insets;
    arrangeLayers();
    // No view changed its size, yet everything placed by the safe area
    // (bars, anchored buttons) must move: each is laid out again, parents first.
    for (QWidget *view : findChildren<QWidget *>()) {
        QResizeEvent again(view->size(), view->size());
        QCoreApplication::sendEvent(view, &again);
    }
}

std::shared_ptr<ViewController> Window::topPresentedViewController() const
{
    if (m_layers.empty())
        return nullptr;
    return m_layers.back()->controller.lock();
}

QWidget *Window::layerFor(const ViewController *controller) const
{
    for (const auto &layer : m_layers) {
        if (layer->key == controller)
            return layer->card;
    }
    return nullptr;
}

void Window::addLayer(ViewController *controller, ModalPresentationStyle style, bool animated, std::function<void()> done)
{
    auto layer = std::make_unique<Layer>();
    layer->key = controller;
    layer->controller = controller->weak_from_this();
    layer->style = style;
    const bool dims = style == ModalPresentationStyle::PageSheet || style == ModalPresentationStyle::Alert;
    layer->backdrop = new Backdrop(this, dims ? 0.4 : 0.0);
    layer->backdrop->setPalette(screensPalette());
    if (isUnderStyleSheet(this))
        layer->backdrop->setStyleSheet(neutralStyleSheet());
    if (style == ModalPresentationStyle::PageSheet) {
        auto *card = new View(layer->backdrop);
        card->setCornerRadius(kSheetCorner);
        card->setClipsToBounds(true);
        card->setBackgroundColor(Qt::white);
        layer->card = card;
    } else {
        layer->card = new QWidget(layer->backdrop);
    }
    layer->card->installEventFilter(this);
    QWidget *view = controller->view();
    view->setParent(layer->card);
    view->show();
    Layer *raw = layer.get();
    m_layers.push_back(std::move(layer));
    arrangeLayers();
    raw->backdrop->show();
    raw->backdrop->raise();
    if (QWidget *focus = view->focusWidget())
        focus->setFocus();
    else
        raw->backdrop->setFocus();

    const int duration = animated ? Application::shared().transitionDuration() : 0;
    if (duration > 0 && style != ModalPresentationStyle::Alert) {
        auto *slide = new QPropertyAnimation(raw->card, "pos", raw->card);
        const QPoint end = raw->card->pos();
        slide->setStartValue(QPoint(end.x(), height()));
        slide->setEndValue(end);
        slide->setDuration(duration);
        slide->setEasingCurve(QEasingCurve::OutCubic);
        // Screens lay themselves out for where the card comes to rest, not
        // for where the slide happens to be (their safe area would be off).
        QPointer<QWidget> card = raw->card;
        card->setProperty(kSlideOffsetProperty, QPoint(0, height() - end.y()));
        connect(slide, &QVariantAnimation::valueChanged, card, [card, end](const QVariant &value) {
            card->setProperty(kSlideOffsetProperty, value.toPoint() - end);
        });
        whenOver(slide, [card, done = std::move(done)]() mutable {
            if (card)
                card->setProperty(kSlideOffsetProperty, QVariant());
            done();
        });
        slide->start(QAbstractAnimation::DeleteWhenStopped);
    } else {
        MainQueue::nextTurn(std::move(done));
    }
}

void Window::removeLayer(ViewController *controller, bool animated, std::function<void()> done)
{
    auto it = std::find_if(m_layers.begin(), m_layers.end(), [controller](const auto &l) { return l->key == controller; });
    if (it == m_layers.end()) {
        MainQueue::nextTurn(std::move(done));
        return;
    }
    std::unique_ptr<Layer> layer = std::move(*it);
    m_layers.erase(it);
    // A Send pressed while the screen slides away would act for a screen the
    // user has already left (and a cancel would become a transfer).
    if (m_leaving.empty())
        QCoreApplication::instance()->installEventFilter(this);
    m_leaving.push_back({layer->backdrop, controller->weak_from_this()});
    auto teardown = [self = QPointer<Window>(this), backdrop = QPointer<QWidget>(layer->backdrop),
                     weak = controller->weak_from_this(), done = std::move(done)]() mutable {
        if (self) {
            std::erase_if(self->m_leaving, [&](const Leaving &l) { return !l.backdrop || l.backdrop == backdrop; });
            if (self->m_leaving.empty())
                QCoreApplication::instance()->removeEventFilter(self);
        }
        if (auto c = weak.lock(); c && c->m_view && backdrop && backdrop->isAncestorOf(c->m_view)) {
            c->m_view->hide();
            c->m_view->setParent(nullptr);
        }
        delete backdrop.data();
        if (done)
            std::exchange(done, nullptr)();
    };
    const int duration = animated ? Application::shared().transitionDuration() : 0;
    if (duration > 0 && layer->style != ModalPresentationStyle::Alert) {
        auto *slide = new QPropertyAnimation(layer->card, "pos", this);
        slide->setStartValue(layer->card->pos());
        slide->setEndValue(QPoint(layer->card->x(), height()));
        slide->setDuration(duration);
        slide->setEasingCurve(QEasingCurve::InCubic);
        whenOver(slide, std::move(teardown));
        slide->start(QAbstractAnimation::DeleteWhenStopped);
    } else {
        // The view leaves the tree now; its owner is told on a later turn.
        layer->backdrop->hide();
        MainQueue::nextTurn(std::move(teardown));
    }
}

void Window::arrangeLayers()
{
    if (m_root && m_root->m_view && m_root->m_view->parentWidget() == this)
        m_root->m_view->setGeometry(rect());
    for (const auto &layer : m_layers) {
        layer->backdrop->setGeometry(rect());
        QRect box;
        switch (layer->style) {
        case ModalPresentationStyle::PageSheet: {
            if (presentsFormSheets()) {
                const QRect room = rect().marginsRemoved(m_safeArea);
                const QSize sheet(kFormSheetWidth, std::min(kFormSheetHeight, room.height() - 2 * kSheetGap));
                box = QRect(QPoint((width() - sheet.width()) / 2, room.top() + (room.height() - sheet.height()) / 2),
                            sheet);
                break;
            }
            const int top = m_safeArea.top() + kSheetGap;
            // The rounded bottom corners sit below the window's edge.
            box = QRect(0, top, width(), height() - top + kSheetCorner);
            break;
        }
        case ModalPresentationStyle::FullScreen:
        case ModalPresentationStyle::OverFullScreen:
            box = rect();
            break;
        case ModalPresentationStyle::Alert: {
            auto owner = layer->controller.lock();
            QWidget *view = owner ? owner->m_view.data() : nullptr;
            QSize hint = view ? view->sizeHint() : QSize(270, 120);
            hint = hint.boundedTo(size());
            box = QRect(QPoint((width() - hint.width()) / 2, (height() - hint.height()) / 2), hint);
            break;
        }
        }
        layer->card->setGeometry(box);
        if (auto owner = layer->controller.lock(); owner && owner->m_view) {
            QRect inner(QPoint(0, 0), box.size());
            if (layer->style == ModalPresentationStyle::PageSheet && !presentsFormSheets())
                inner.setHeight(inner.height() - kSheetCorner);
            owner->m_view->setGeometry(inner);
        }
    }
}

bool Window::presentsFormSheets() const
{
    return width() >= kFormSheetWidth + 2 * kFormSheetMargin;
}

bool Window::userSwipeDown()
{
    return userCloseTop();
}

bool Window::userCloseTop()
{
    auto top = m_layers.empty() ? nullptr : m_layers.back()->controller.lock();
    return top && top->presentationController().userDismiss();
}

void Window::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    arrangeLayers();
}

void Window::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && !m_layers.empty()) {
        userCloseTop();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Window::closeEvent(QCloseEvent *event)
{
    if (!m_layers.empty() && m_layers.back()->style == ModalPresentationStyle::PageSheet) {
        // The close button closes the sheet on top, not the host's window.
        event->ignore();
        userCloseTop();
        return;
    }
    QWidget::closeEvent(event);
}

void Window::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::StyleChange) {
        const QString sheet = isUnderStyleSheet(this) ? neutralStyleSheet() : QString();
        for (const auto &layer : m_layers)
            if (layer->backdrop->styleSheet() != sheet)
                layer->backdrop->setStyleSheet(sheet);
    }
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Application::shared().noteActivated(this);
}

bool Window::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_leaving.empty() && isInput(event->type()) && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        for (const Leaving &leaving : m_leaving)
            if (leaving.backdrop && (leaving.backdrop == widget || leaving.backdrop->isAncestorOf(widget)))
                return true;
    }
    // A drag down on a sheet's card (where no child took the press) is the
    // user's swipe.
    for (const auto &layer : m_layers) {
        if (layer->card != watched || layer->style != ModalPresentationStyle::PageSheet)
            continue;
        if (event->type() == QEvent::MouseButtonPress) {
            layer->dragStartY = static_cast<QMouseEvent *>(event)->globalPosition().toPoint().y();
        } else if (event->type() == QEvent::MouseButtonRelease && layer->dragStartY >= 0) {
            const int dy = static_cast<QMouseEvent *>(event)->globalPosition().toPoint().y() - layer->dragStartY;
            layer->dragStartY = -1;
            if (dy >= kSwipeDistance && layer.get() == m_layers.back().get()) {
                userCloseTop();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Window::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_root && !m_root->isVisible()) {
        m_root->beginAppearanceTransition(true, false);
        QTimer::singleShot(0, this, [weak = std::weak_ptr<ViewController>(m_root)] {
            if (auto r = weak.lock())
                r->endAppearanceTransition();
        });
    }
    Application::shared().noteActivated(this);
}

} // namespace kova::platform
