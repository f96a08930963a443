#include "ui/look/AnimatedFramesView.h"

#include <algorithm>
#include <cmath>

#include "animatedgif/UIImageAnimatedGIF.h"
#include "ui/look/AssetsLoader.h"

namespace kova {

const platform::AnimatedImage &connectAnimation()
{
    // Decoding it again for each screen would hold up the road it appears on
    // (a login's requests, a confirmed prompt) by a few milliseconds.
    static platform::AnimatedImage animation;
    if (animation.isNull())
        animation = UIImageAnimatedGIF::animatedImageWithAnimatedGIFData(
            AssetsLoader::dataForGIFNamed(QStringLiteral("connectAnimation")));
    return animation;
}

AnimatedFramesView::AnimatedFramesView(platform::AnimatedImage animation, QWidget *parent)
    : platform::ImageView(parent), m_animation(std::move(animation))
{
    if (m_animation.isNull())
        return;
    setImage(m_animation.images.first());
    const double perFrame = m_animation.duration / m_animation.images.size();
    m_timer.setInterval(std::max(10, int(std::lround(perFrame * 1000))));
    connect(&m_timer, &QTimer::timeout, this, &AnimatedFramesView::advance);
}

void AnimatedFramesView::showEvent(QShowEvent *event)
{
    platform::ImageView::showEvent(event);
    if (m_animation.images.size() > 1)
        m_timer.start();
}

void AnimatedFramesView::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    platform::ImageView::hideEvent(event);
}

void AnimatedFramesView::advance()
{
    m_index = (m_index + 1) % int(m_animation.images.size());
    setImage(m_animation.images.at(m_index));
}

} // namespace kova
