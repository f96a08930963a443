#include "ui/connect/PlainAnimationView.h"

#include <algorithm>

namespace kova {

PlainAnimationView::PlainAnimationView(QWidget *parent) : platform::ImageView(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &PlainAnimationView::advance);
}

void PlainAnimationView::setAnimatedImage(const platform::AnimatedImage &animation)
{
    m_animation = animation;
    m_frame = 0;
    setImage(animation.isNull() ? QImage() : animation.images.first());
    if (!animation.isNull()) {
        const double perFrame = animation.duration * 1000.0 / animation.images.size();
        m_timer.setInterval(std::max(10, static_cast<int>(perFrame)));
    }
    updateTimer();
}

void PlainAnimationView::advance()
{
    if (m_animation.images.size() < 2)
        return;
    m_frame = (m_frame + 1) % m_animation.images.size();
    setImage(m_animation.images.at(m_frame));
}

void PlainAnimationView::updateTimer()
{
    if (isVisible() && m_animation.images.size() > 1 && m_animation.duration > 0)
        m_timer.start();
    else
        m_timer.stop();
}

void PlainAnimationView::showEvent(QShowEvent *event)
{
    platform::ImageView::showEvent(event);
    updateTimer();
}

void PlainAnimationView::hideEvent(QHideEvent *event)
{
    platform::ImageView::hideEvent(event);
    updateTimer();
}

} // namespace kova
