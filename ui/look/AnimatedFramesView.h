#pragma once

#include <QTimer>

#include "platform/image/AnimatedImage.h"
#include "platform/ui/ImageView.h"

namespace kova {

// An image view showing a plain animated image: its frames in turn, evenly
// over the image's duration, round and round while the view is shown. An
// empty animated image shows nothing.
class AnimatedFramesView : public platform::ImageView {
    Q_OBJECT
public:
    explicit AnimatedFramesView(platform::AnimatedImage animation, QWidget *parent = nullptr);

    const platform::AnimatedImage &animation() const { return m_animation; }
    int currentFrameIndex() const { return m_index; }
    bool isAnimating() const { return m_timer.isActive(); }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void advance();

    platform::AnimatedImage m_animation;
    QTimer m_timer;
    int m_index = 0;
};

// The loading animation the connect screen and the MFA prompt play: read
// and decoded on first use, then shared (main thread only).
const platform::AnimatedImage &connectAnimation();

} // namespace kova
