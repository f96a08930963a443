#pragma once

// Usage: `auto *card = new View(parent); card->setBackgroundColor(...);
// card->setCornerRadius(16);`. A plain container that paints its own
// background, rounded corners and border (antialiased) and clips its children
// to the rounded shape when clipsToBounds is on. Alpha, hidden, user
// interaction, shadows and shimmer work on any QWidget through ViewHelpers.h;
// View only adds the painted look and an intrinsic size.

#include <QColor>
#include <QSize>
#include <QWidget>

namespace kova::platform {

class View : public QWidget {
    Q_OBJECT
public:
    explicit View(QWidget *parent = nullptr);

    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor &color);
    qreal cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(qreal radius);
    QColor borderColor() const { return m_borderColor; }
    qreal borderWidth() const { return m_borderWidth; }
    void setBorder(const QColor &color, qreal width);
    bool clipsToBounds() const { return m_clipsToBounds; }
    void setClipsToBounds(bool clips);
    // An invalid size (the default) means "no intrinsic size": the layout
    // falls back to the children's layout or constraints.
    QSize intrinsicContentSize() const { return m_intrinsicSize; }
    void setIntrinsicContentSize(const QSize &size);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateClipMask();
    // A square, borderless, fully opaque background: the view paints every
    // pixel of its rect itself.
    bool coversItsRect() const;
    void updateOpaque();

    QColor m_backgroundColor = Qt::transparent;
    qreal m_cornerRadius = 0;
    QColor m_borderColor = Qt::transparent;
    qreal m_borderWidth = 0;
    bool m_clipsToBounds = false;
    QSize m_intrinsicSize;
};

} // namespace kova::platform
