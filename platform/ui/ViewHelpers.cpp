#include "platform/ui/ViewHelpers.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QVariantAnimation>
#include <cmath>

#include "platform/ui/Window.h"

namespace kova::platform {
namespace {

const char *const kAlphaProperty = "kovaAlpha";
const char *const kShimmerProperty = "kovaShimmer";
const char *const kShimmerKeyProperty = "kovaShimmerKey";
const char *const kInteractionProperty = "kovaInteractionDisabled";

// One effect per widget carries both the alpha and the shimmer mask: Qt lets
// a widget have a single graphics effect.
QGraphicsOpacityEffect *effectFor(QWidget *view, bool create)
{
    auto *effect = qobject_cast<QGraphicsOpacityEffect *>(view->graphicsEffect());
    if (!effect && create) {
        effect = new QGraphicsOpacityEffect(view);
        effect->setOpacity(1.0);
        view->setGraphicsEffect(effect);
    }
    return effect;
}

void dropEffectIfPlain(QWidget *view)
{
    auto *effect = effectFor(view, false);
    if (effect && effect->opacity() >= 1.0 && effect->opacityMask().style() == Qt::NoBrush)
        view->setGraphicsEffect(nullptr);
}

} // namespace

void setAlpha(QWidget *view, qreal value)
{
    const qreal clamped = std::clamp(value, 0.0, 1.0);
    if (clamped < 1.0)
        effectFor(view, true)->setOpacity(clamped);
    else if (auto *effect = effectFor(view, false))
        effect->setOpacity(1.0);
    dropEffectIfPlain(view);
    // A dynamic property change reaches the view's event(), so views that
    // care (the animated image view) learn of it.
    view->setProperty(kAlphaProperty, clamped);
}

qreal alpha(const QWidget *view)
{
    const QVariant value = view->property(kAlphaProperty);
    return value.isValid() ? value.toDouble() : 1.0;
}

void setUserInteractionEnabled(QWidget *view, bool enabled)
{
    view->setAttribute(Qt::WA_TransparentForMouseEvents, !enabled);
    view->setProperty(kInteractionProperty, !enabled);
}

bool isUserInteractionEnabled(const QWidget *view)
{
    return !view->property(kInteractionProperty).toBool();
}

ShadowLayer::ShadowLayer(QWidget *target, const ShadowStyle &style, const QString &name)
    : QWidget(target->parentWidget()), m_target(target), m_style(style)
{
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    target->installEventFilter(this);
    follow();
    // Below its target, above whatever was under the target before.
    stackUnder(target);
    setVisible(target->isVisible() || !target->isHidden());
}

int ShadowLayer::reach() const
{
    return static_cast<int>(std::ceil(m_style.radius + std::max(std::abs(m_style.offset.x()), std::abs(m_style.offset.y())))) + 2;
}

void ShadowLayer::follow()
{
    const int r = reach();
    setGeometry(m_target->geometry().adjusted(-r, -r, r, r));
    update();
}

bool ShadowLayer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_target) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
            follow();
            break;
        case QEvent::Show:
            show();
            break;
        case QEvent::Hide:
            hide();
            break;
        case QEvent::ZOrderChange:
            stackUnder(m_target);
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ShadowLayer::paintEvent(QPaintEvent *)
{
    // A blurred rounded rectangle: concentric outlines whose alpha falls off
    // like a Gaussian over the blur radius.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int r = reach();
    const QRectF body = QRectF(r, r, m_target->width(), m_target->height()).translated(m_style.offset);
    QColor color = m_style.color;
    const qreal baseAlpha = color.alphaF() * m_style.opacity;
    const int steps = std::max(1, static_cast<int>(std::ceil(m_style.radius)));
    const qreal sigma = std::max(1.0, m_style.radius / 2.0);
    painter.setPen(Qt::NoPen);
    for (int i = steps; i >= 0; --i) {
        const qreal spread = i;
        const qreal weight = std::exp(-(spread * spread) / (2 * sigma * sigma));
        QColor ring = color;
        ring.setAlphaF(std::clamp(baseAlpha * weight / (steps / 3.0 + 1.0), 0.0, 1.0));
        QPainterPath path;
        path.addRoundedRect(body.adjusted(-spread / 2, -spread / 2, spread / 2, spread / 2),
                            m_style.cornerRadius + spread / 2, m_style.cornerRadius + spread / 2);
        painter.fillPath(path, ring);
    }
}

ShadowLayer *addShadowLayer(QWidget *view, const ShadowStyle &style, const QString &name)
{
    if (!view->parentWidget())
        return nullptr;
    return new ShadowLayer(view, style, name);
}

QList<ShadowLayer *> layersNamed(const QWidget *view, const QString &name)
{
    QList<ShadowLayer *> layers;
    if (!view->parentWidget())
        return layers;
    for (ShadowLayer *layer : view->parentWidget()->findChildren<ShadowLayer *>(name, Qt::FindDirectChildrenOnly)) {
        if (layer->target() == view)
            layers.append(layer);
    }
    return layers;
}

int removeLayersNamed(QWidget *view, const QString &name)
{
    const QList<ShadowLayer *> layers = layersNamed(view, name);
    for (ShadowLayer *layer : layers) {
        view->removeEventFilter(layer);
        delete layer;
    }
    return static_cast<int>(layers.size());
}

void startShimmer(QWidget *view, const ShimmerStyle &style)
{
    stopShimmer(view);
    auto *effect = effectFor(view, true);
    // Sized once from the view's current size: x from -width to 2 * width.
    const qreal w = view->width();
    const qreal h = view->height();
    const QRectF frame(-w, 0, 3 * w, h);
    const QPointF start(frame.left() + style.startPoint.x() * frame.width(), frame.top() + style.startPoint.y() * frame.height());
    const QPointF end(frame.left() + style.endPoint.x() * frame.width(), frame.top() + style.endPoint.y() * frame.height());
    auto apply = [effect = QPointer<QGraphicsOpacityEffect>(effect), style, start, end](const std::vector<qreal> &locations) {
        if (!effect)
            return;
        QLinearGradient gradient(start, end);
        for (size_t i = 0; i < style.colors.size() && i < locations.size(); ++i)
            gradient.setColorAt(std::clamp(locations[i], 0.0, 1.0), style.colors[i]);
        effect->setOpacityMask(QBrush(gradient));
    };
    apply(style.locations);
    auto *animation = new QVariantAnimation(view);
    animation->setObjectName(QString::fromLatin1(kShimmerProperty));
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setDuration(style.durationMs);
    animation->setLoopCount(-1);
    QObject::connect(animation, &QVariantAnimation::valueChanged, view, [apply, style](const QVariant &value) {
        const qreal t = value.toDouble();
        std::vector<qreal> locations;
        for (size_t i = 0; i < style.fromLocations.size() && i < style.toLocations.size(); ++i)
            locations.push_back(style.fromLocations[i] + (style.toLocations[i] - style.fromLocations[i]) * t);
        apply(locations);
    });
    animation->start();
    view->setProperty(kShimmerKeyProperty, style.key);
}

void stopShimmer(QWidget *view)
{
    for (auto *animation : view->findChildren<QVariantAnimation *>(QString::fromLatin1(kShimmerProperty), Qt::FindDirectChildrenOnly))
        delete animation;
    if (auto *effect = effectFor(view, false))
        effect->setOpacityMask(QBrush());
    dropEffectIfPlain(view);
    view->setProperty(kShimmerKeyProperty, QVariant());
}

bool isShimmering(const QWidget *view)
{
    return !view->findChildren<QVariantAnimation *>(QString::fromLatin1(kShimmerProperty), Qt::FindDirectChildrenOnly).isEmpty();
}

QString shimmerAnimationKey(const QWidget *view)
{
    return view->property(kShimmerKeyProperty).toString();
}

QMargins safeAreaInsets(const QWidget *view)
{
    const auto *window = qobject_cast<const Window *>(view->window());
    if (!window)
        return {};
    const QMargins insets = window->safeAreaInsets();
    const QRect inWindow(view->mapTo(window, QPoint(0, 0)), view->size());
    const QRect safe = window->rect().marginsRemoved(insets);
    return QMargins(std::max(0, safe.left() - inWindow.left()), std::max(0, safe.top() - inWindow.top()),
                    std::max(0, inWindow.right() - safe.right()), std::max(0, inWindow.bottom() - safe.bottom()));
}

} // namespace kova::platform
