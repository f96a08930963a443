#pragma once

// Usage:
//   auto *view = new KGAnimatedImageView(QImage(), parent);
//   view->setRunLoopMode(platform::RunLoopMode::Common);
//   view->setAnimatedImage(KGAnimatedImage::animatedImageWithGIFData(data));
//   view->setLoopCompletionBlock([](quint64 remaining) {...});
// Plays while it has an animated image and is in a window, has a parent, is
// not hidden and has alpha above 0; otherwise it is a plain image view. The
// display link reaches the view through a weak proxy, so the link never keeps
// the view alive.

#include <QImage>
#include <functional>
#include <memory>

#include "animatedgif/KGAnimatedImage.h"
#include "animatedgif/KGWeakProxy.h"
#include "platform/ui/DisplayLink.h"
#include "platform/ui/ImageView.h"

namespace kova {

class KGAnimatedImageView : public platform::ImageView {
    Q_OBJECT
public:
    using LoopCompletionBlock = std::function<void(quint64 loopCountRemaining)>;

    explicit KGAnimatedImageView(const QImage &image = QImage(), QWidget *parent = nullptr);
    KGAnimatedImageView(const QImage &image, const QImage &highlightedImage, QWidget *parent = nullptr);
    ~KGAnimatedImageView() override;

    std::shared_ptr<KGAnimatedImage> animatedImage() const { return m_animatedImage; }
    void setAnimatedImage(const std::shared_ptr<KGAnimatedImage> &animatedImage);
    LoopCompletionBlock loopCompletionBlock() const { return m_loopCompletionBlock; }
    void setLoopCompletionBlock(LoopCompletionBlock block) { m_loopCompletionBlock = std::move(block); }
    QString runLoopMode() const { return m_runLoopMode; }
    void setRunLoopMode(const QString &mode);
    static QString defaultRunLoopMode();

    QImage currentFrame() const { return m_currentFrame; }
    quint64 currentFrameIndex() const { return m_currentFrameIndex; }
    quint64 loopCountdown() const { return m_loopCountdown; }
    double accumulator() const { return m_accumulator; }
    bool shouldAnimate() const { return m_shouldAnimate; }
    bool needsDisplayWhenImageBecomesAvailable() const { return m_needsDisplayWhenImageBecomesAvailable; }
    std::shared_ptr<platform::DisplayLink> displayLink() const { return m_displayLink; }

    QImage image() const override;
    void setImage(const QImage &image) override;
    void setHighlighted(bool highlighted) override;
    QSize intrinsicContentSize() const override;
    void setVisible(bool visible) override;

    double frameDelayGreatestCommonDivisor() const;
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const;
    void updateShouldAnimate();
    void displayDidRefresh(platform::DisplayLink &displayLink);

    // The refresh source new display links use (null: the screen's).
    static void setRefreshSource(std::shared_ptr<platform::RefreshSource> source);

protected:
    bool event(QEvent *event) override;

private:
    struct Anchor {
        KGAnimatedImageView *view;
    };
    void reactToVisibilityChange();
    // One step to the next frame, counting a loop at the end; false when
    // the last loop has ended.
    bool advanceFrame();

    std::shared_ptr<KGAnimatedImage> m_animatedImage;
    QImage m_currentFrame;
    quint64 m_currentFrameIndex = 0;
    quint64 m_loopCountdown = 0;
    double m_accumulator = 0;
    std::shared_ptr<platform::DisplayLink> m_displayLink;
    bool m_shouldAnimate = false;
    bool m_needsDisplayWhenImageBecomesAvailable = false;
    LoopCompletionBlock m_loopCompletionBlock;
    QString m_runLoopMode;
    bool m_animatingPlain = false;
    // What the link's weak proxy points at; destroyed with the view.
    std::shared_ptr<Anchor> m_anchor;
};

} // namespace kova
