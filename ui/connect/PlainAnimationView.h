#pragma once

#include <QTimer>

#include "platform/image/AnimatedImage.h"
#include "platform/ui/ImageView.h"

namespace kova {

// A plain image view showing an animated image the platform way: its frames
// evenly spaced over its duration, over and over, from the first frame on,
// and only while the view is shown.
class PlainAnimationView : public platform::ImageView {
    Q_OBJECT
public:
    explicit PlainAnimationView(QWidget *parent = nullptr);

    const platform::AnimatedImage &animatedImage() const { return m_animation; }
    void setAnimatedImage(const platform::AnimatedImage &animation);
    int currentFrameIndex() const { return m_frame; }
    bool isAnimating() const { return m_timer.isActive(); }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void advance();
    void updateTimer();

    platform::AnimatedImage m_animation;
    int m_frame = 0;
    QTimer m_timer;
};

} // namespace kova
