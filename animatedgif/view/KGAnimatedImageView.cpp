#include "animatedgif/view/KGAnimatedImageView.h"

#include <QEvent>
#include <QPointer>
#include <QThread>
#include <cmath>
#include <numeric>

#include "platform/ui/ViewHelpers.h"

namespace kova {
namespace {

std::shared_ptr<platform::RefreshSource> s_refreshSource;

QString describe(const KGAnimatedImageView *view)
{
    return QStringLiteral("<KGAnimatedImageView: 0x%1>").arg(reinterpret_cast<quintptr>(view), 0, 16);
}

} // namespace

KGAnimatedImageView::KGAnimatedImageView(const QImage &image, QWidget *parent)
    : platform::ImageView(image, parent), m_anchor(std::make_shared<Anchor>(Anchor{this}))
{
    setRunLoopMode(defaultRunLoopMode());
}

KGAnimatedImageView::KGAnimatedImageView(const QImage &image, const QImage &highlightedImage, QWidget *parent)
    : KGAnimatedImageView(image, parent)
{
    setHighlightedImage(highlightedImage);
}

KGAnimatedImageView::~KGAnimatedImageView()
{
    if (m_displayLink)
        m_displayLink->invalidate();
}

void KGAnimatedImageView::setRefreshSource(std::shared_ptr<platform::RefreshSource> source)
{
    s_refreshSource = std::move(source);
}

QString KGAnimatedImageView::defaultRunLoopMode()
{
    // A single processor plays only outside tracking, so scrolling stays smooth.
    return QThread::idealThreadCount() < 2 ? platform::RunLoopMode::Default : platform::RunLoopMode::Common;
}

void KGAnimatedImageView::setRunLoopMode(const QString &mode)
{
    if (mode == platform::RunLoopMode::Default || mode == platform::RunLoopMode::Common)
        m_runLoopMode = mode;
    else
        m_runLoopMode = defaultRunLoopMode();
}

void KGAnimatedImageView::setAnimatedImage(const std::shared_ptr<KGAnimatedImage> &animatedImage)
{
    if (animatedImage && animatedImage == m_animatedImage)
        return;
    if (animatedImage) {
        if (!platform::ImageView::image().isNull()) {
            // The still image is cleared the way the platform's setter would.
            platform::ImageView::setImage(animatedImage->posterImage());
            platform::ImageView::setImage(QImage());
        }
        platform::ImageView::setHighlighted(false);
        updateGeometry();
    } else {
        stopAnimating();
        platform::ImageView::setImage(QImage());
    }
    m_animatedImage = animatedImage;
    m_currentFrame = animatedImage ? animatedImage->posterImage() : QImage();
    m_currentFrameIndex = 0;
    const quint64 loops = animatedImage ? animatedImage->loopCount() : 0;
    // A loop count of 0 plays once, not forever.
    m_loopCountdown = loops != 0 ? loops : 1;
    m_accumulator = 0;
    updateShouldAnimate();
    if (m_shouldAnimate)
        startAnimating();
    update();
}

QImage KGAnimatedImageView::image() const
{
    return m_animatedImage ? m_currentFrame : platform::ImageView::image();
}

void KGAnimatedImageView::setImage(const QImage &image)
{
    if (!image.isNull())
        setAnimatedImage(nullptr);
    platform::ImageView::setImage(image);
}

void KGAnimatedImageView::setHighlighted(bool highlighted)
{
    if (m_animatedImage)
        return;
    platform::ImageView::setHighlighted(highlighted);
}

QSize KGAnimatedImageView::intrinsicContentSize() const
{
    return platform::ImageView::intrinsicContentSize();
}

void KGAnimatedImageView::setVisible(bool visible)
{
    platform::ImageView::setVisible(visible);
    reactToVisibilityChange();
}

bool KGAnimatedImageView::event(QEvent *event)
{
    const bool handled = platform::ImageView::event(event);
    switch (event->type()) {
    case QEvent::ParentChange:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
    case QEvent::DynamicPropertyChange:
        reactToVisibilityChange();
        break;
    default:
        break;
    }
    return handled;
}

void KGAnimatedImageView::reactToVisibilityChange()
{
    const bool before = m_shouldAnimate;
    updateShouldAnimate();
    if (m_shouldAnimate)
        startAnimating();
    else if (before || isAnimating())
        stopAnimating();
}

void KGAnimatedImageView::updateShouldAnimate()
{
    // In a shown window, with a parent, not hidden itself, not transparent.
    const bool hasWindow = parentWidget() && window() != this && window()->isVisible();
    m_shouldAnimate = m_animatedImage && hasWindow && parentWidget() && !isHidden() && platform::alpha(this) > 0.0;
}

double KGAnimatedImageView::frameDelayGreatestCommonDivisor() const
{
    if (!m_animatedImage || m_animatedImage->delayTimesForIndexes().empty())
        return 0;
    // Delays are whole hundredths at best: 2 / the shortest honoured delay.
    const double precision = 2.0 / kKGAnimatedImageDelayTimeIntervalMinimum;
    const auto &delays = m_animatedImage->delayTimesForIndexes();
    unsigned long long divisor = 0;
    bool first = true;
    for (const auto &[index, delay] : delays) {
        const auto hundredths =
            static_cast<unsigned long long>(std::nearbyint(static_cast<float>(delay) * precision));
        divisor = first ? hundredths : std::gcd(divisor, hundredths);
        first = false;
    }
    return divisor / precision;
}

void KGAnimatedImageView::startAnimating()
{
    if (!m_animatedImage) {
        m_animatingPlain = true;
        return;
    }
    if (!m_displayLink) {
        auto proxy = KGWeakProxy<Anchor>::weakProxyForObject(m_anchor);
        m_displayLink = platform::DisplayLink::create(
            [proxy](platform::DisplayLink &link) {
                proxy->forward([&link](Anchor &anchor) { anchor.view->displayDidRefresh(link); });
            },
            s_refreshSource);
        m_displayLink->add(m_runLoopMode);
    }
    const double divisor = frameDelayGreatestCommonDivisor();
    m_displayLink->setPreferredFramesPerSecond(divisor > 0 ? static_cast<int>(std::ceil(1.0 / divisor)) : 0);
    m_displayLink->setPaused(false);
}

void KGAnimatedImageView::stopAnimating()
{
    if (!m_animatedImage) {
        m_animatingPlain = false;
        return;
    }
    if (m_displayLink)
        m_displayLink->setPaused(true);
}

bool KGAnimatedImageView::isAnimating() const
{
    if (!m_animatedImage)
        return m_animatingPlain;
    return m_displayLink && !m_displayLink->isPaused();
}

void KGAnimatedImageView::displayDidRefresh(platform::DisplayLink &displayLink)
{
    if (!m_shouldAnimate) {
        KGAnimatedImage::logStringFromBlock(
            [this] { return QStringLiteral("Trying to animate image when we shouldn't: %1").arg(describe(this)); },
            KGAnimatedImageLogLevel::Warning);
        return;
    }
    // Held for the call: the loop callback may drop the image.
    const std::shared_ptr<KGAnimatedImage> image = m_animatedImage;
    const quint64 frameCount = image->frameCount();
    if (m_currentFrameIndex >= frameCount) {
        // Played out: the last frame stays, nothing moves.
        stopAnimating();
        return;
    }
    const auto &delays = image->delayTimesForIndexes();
    const auto found = delays.find(m_currentFrameIndex);
    if (found == delays.end()) {
        // A frame that never decodes: nothing new is shown and no time is
        // taken from the accumulator; playback steps over it.
        advanceFrame();
        return;
    }
    const double delay = found->second;
    const quint64 index = m_currentFrameIndex;
    const QImage frame = image->imageLazilyCachedAtIndex(index);
    if (frame.isNull()) {
        KGAnimatedImage::logStringFromBlock(
            [this, index] { return QStringLiteral("Waiting for frame %1 for animated image: %2").arg(index).arg(describe(this)); },
            KGAnimatedImageLogLevel::Debug);
        return;
    }
    KGAnimatedImage::logStringFromBlock(
        [this, index] { return QStringLiteral("Showing frame %1 for animated image: %2").arg(index).arg(describe(this)); },
        KGAnimatedImageLogLevel::Verbose);
    m_currentFrame = frame;
    if (m_needsDisplayWhenImageBecomesAvailable) {
        update();
        m_needsDisplayWhenImageBecomesAvailable = false;
    }
    m_accumulator += displayLink.targetTimestamp() - displayLink.source()->currentMediaTime();
    while (m_accumulator >= delay) {
        m_accumulator -= delay;
        if (!advanceFrame())
            break;
    }
}

bool KGAnimatedImageView::advanceFrame()
{
    if (!m_animatedImage)
        return false;
    ++m_currentFrameIndex;
    if (m_currentFrameIndex >= m_animatedImage->frameCount()) {
        --m_loopCountdown;
        if (m_loopCompletionBlock) {
            const LoopCompletionBlock block = m_loopCompletionBlock;
            // The callback may take the image away, or the view itself.
            const QPointer<KGAnimatedImageView> alive(this);
            block(m_loopCountdown);
            if (!alive || !m_animatedImage)
                return false;
        }
        if (m_loopCountdown == 0) {
            stopAnimating();
            return false;
        }
        m_currentFrameIndex = 0;
    }
    m_needsDisplayWhenImageBecomesAvailable = true;
    return true;
}

} // namespace kova
