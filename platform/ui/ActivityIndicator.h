#pragma once

// Usage: `auto *spin = new ActivityIndicator(parent); spin->setColor(...);
// spin->startAnimating();` Hidden while stopped (hidesWhenStopped, default on).

#include <QColor>
#include <QWidget>

class QVariantAnimation;

namespace kova::platform {

class ActivityIndicator : public QWidget {
    Q_OBJECT
public:
    enum class Style { Medium, Large };
    explicit ActivityIndicator(QWidget *parent = nullptr, Style style = Style::Medium);

    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return m_animating; }
    void setHidesWhenStopped(bool hides);
    void setColor(const QColor &color);
    QColor color() const { return m_color; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Style m_style;
    QColor m_color;
    bool m_animating = false;
    bool m_hidesWhenStopped = true;
    qreal m_angle = 0;
    QVariantAnimation *m_animation;
};

} // namespace kova::platform
