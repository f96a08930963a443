#pragma once

// Usage: `auto *iv = new ImageView(image, parent);
// iv->setContentMode(ImageView::ContentMode::ScaleAspectFit);`
// Images carry their scale in QImage::devicePixelRatio (an "@2x" file has 2):
// the intrinsic size is in points. A highlighted image, when set, shows while
// highlighted. image() and setImage() are virtual so that the animated image
// view can stand in for the still image.

#include <QImage>
#include <QWidget>

namespace kova::platform {

class ImageView : public QWidget {
    Q_OBJECT
public:
    enum class ContentMode { ScaleToFill, ScaleAspectFit, ScaleAspectFill, Center };

    explicit ImageView(QWidget *parent = nullptr);
    explicit ImageView(const QImage &image, QWidget *parent = nullptr);

    virtual QImage image() const { return m_image; }
    virtual void setImage(const QImage &image);
    QImage highlightedImage() const { return m_highlightedImage; }
    void setHighlightedImage(const QImage &image);
    bool isHighlighted() const { return m_highlighted; }
    virtual void setHighlighted(bool highlighted);
    ContentMode contentMode() const { return m_mode; }
    void setContentMode(ContentMode mode);

    // The image's size in points, or (-1, -1) with no image.
    virtual QSize intrinsicContentSize() const;
    QSize sizeHint() const override;
    // The image drawn now (the highlighted one while highlighted).
    QImage displayedImage() const;

signals:
    void imageChanged();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_image;
    QImage m_highlightedImage;
    bool m_highlighted = false;
    ContentMode m_mode = ContentMode::ScaleToFill;
};

} // namespace kova::platform
