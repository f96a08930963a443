#include "platform/ui/ViewHelpers.h"

#include <QEvent>
#include <QHash>
#include <QGraphicsOpacityEffect>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QStyle>
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
    // Three deviations of the blur beyond the offset path.
    return static_cast<int>(std::ceil(m_style.radius * 1.5 + std::max(std::abs(m_style.offset.x()), std::abs(m_style.offset.y())))) + 2;
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

namespace {

// A Gaussian blur of one channel, separable: rows then columns.
void blurAlpha(std::vector<float> &alpha, int width, int height, qreal sigma)
{
    if (sigma <= 0.1)
        return;
    const int radius = static_cast<int>(std::ceil(sigma * 3));
    std::vector<float> kernel(2 * radius + 1);
    float sum = 0;
    for (int i = -radius; i <= radius; ++i) {
        kernel[i + radius] = static_cast<float>(std::exp(-(i * i) / (2 * sigma * sigma)));
        sum += kernel[i + radius];
    }
    for (float &k : kernel)
        k /= sum;
    std::vector<float> pass(alpha.size());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float acc = 0;
            for (int k = -radius; k <= radius; ++k) {
                const int xx = std::clamp(x + k, 0, width - 1);
                acc += alpha[y * width + xx] * kernel[k + radius];
            }
            pass[y * width + x] = acc;
        }
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float acc = 0;
            for (int k = -radius; k <= radius; ++k) {
                const int yy = std::clamp(y + k, 0, height - 1);
                acc += pass[yy * width + x] * kernel[k + radius];
            }
            alpha[y * width + x] = acc;
        }
    }
}

} // namespace

void ShadowLayer::paintEvent(QPaintEvent *)
{
    // The shadow of the rounded path, blurred over the shadow radius and
    // drawn in the shadow colour at its opacity; rendered once per size and
    // style for all layers, as rows and buttons of one look share them.
    const QString key = QStringLiteral("%1x%2/%3x%4/%5/%6/%7,%8/%9")
                            .arg(width()).arg(height()).arg(m_target->width()).arg(m_target->height())
                            .arg(m_style.cornerRadius).arg(m_style.radius).arg(m_style.offset.x()).arg(m_style.offset.y())
                            .arg(m_style.color.name(QColor::HexArgb) + QString::number(m_style.opacity));
    static QHash<QString, QImage> rendered;
    if (m_rendered.size() != size() || m_renderedKey != key) {
        if (const auto found = rendered.constFind(key); found != rendered.constEnd()) {
            m_rendered = *found;
            m_renderedKey = key;
        }
    }
    if (m_rendered.size() != size() || m_renderedKey != key) {
        const int r = reach();
        QImage mask(size(), QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        {
            QPainter painter(&mask);
            painter.setRenderHint(QPainter::Antialiasing);
            QPainterPath path;
            path.addRoundedRect(QRectF(r, r, m_target->width(), m_target->height()).translated(m_style.offset),
                                m_style.cornerRadius, m_style.cornerRadius);
            painter.fillPath(path, Qt::black);
        }
        std::vector<float> alpha(static_cast<size_t>(width()) * height());
        for (int y = 0; y < height(); ++y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(mask.constScanLine(y));
            for (int x = 0; x < width(); ++x)
                alpha[y * width() + x] = qAlpha(line[x]) / 255.0f;
        }
        // The layer's shadow radius is about twice the blur's deviation.
        blurAlpha(alpha, width(), height(), m_style.radius / 2.0);
        m_rendered = QImage(size(), QImage::Format_ARGB32);
        const qreal strength = m_style.color.alphaF() * m_style.opacity;
        for (int y = 0; y < height(); ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(m_rendered.scanLine(y));
            for (int x = 0; x < width(); ++x) {
                const int a = std::clamp(qRound(alpha[y * width() + x] * strength * 255), 0, 255);
                line[x] = qRgba(m_style.color.red(), m_style.color.green(), m_style.color.blue(), a);
            }
        }
        m_renderedKey = key;
        if (rendered.size() >= 64)
            rendered.clear();
        rendered.insert(key, m_rendered);
    }
    QPainter painter(this);
    painter.drawImage(0, 0, m_rendered);
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
    const Window *window = Window::containing(view);
    if (!window)
        return {};
    const QMargins insets = window->safeAreaInsets();
    QPoint sliding;
    for (const QWidget *w = view; w && w != window; w = w->parentWidget())
        sliding += w->property(kSlideOffsetProperty).toPoint();
    const QRect inWindow(view->mapTo(window, QPoint(0, 0)) - sliding, view->size());
    QRect safe = window->rect().marginsRemoved(insets);
    // A bar drawn over its container's content (a transparent navigation
    // bar) is not a safe place either: the container marks how far it reaches.
    for (const QWidget *w = view; w && w != window; w = w->parentWidget()) {
        const int covered = w->property(kBarCoverProperty).toInt();
        if (covered > 0)
            safe.setTop(std::max(safe.top(), w->mapTo(window, QPoint(0, 0)).y() - sliding.y() + covered));
    }
    return QMargins(std::max(0, safe.left() - inWindow.left()), std::max(0, safe.top() - inWindow.top()),
                    std::max(0, inWindow.right() - safe.right()), std::max(0, inWindow.bottom() - safe.bottom()));
}

bool isUnderStyleSheet(const QWidget *view)
{
    return view->style()->inherits("QStyleSheetStyle");
}

void keepPaletteColor(QWidget *view, QPalette::ColorRole role, const QColor &color)
{
    if (!color.isValid())
        return;
    QPalette p = view->palette();
    p.setColor(role, color);
    if (p != view->palette())
        view->setPalette(p);
}

} // namespace kova::platform
