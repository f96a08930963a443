#pragma once

// Usage: free helpers that work on any QWidget, as the platform's view
// extensions would:
//   setAlpha(w, 0.4); alpha(w);                 // opacity of the widget and its children
//   setUserInteractionEnabled(w, false);        // ignores taps, keeps its look
//   addShadowLayer(w, ShadowStyle{...}, "shadowLayer"); removeLayersNamed(w, "shadowLayer");
//   layersNamed(w, "shadowLayer").size();       // layers stack: each call adds one
//   startShimmer(w, ShimmerStyle{...}); stopShimmer(w); isShimmering(w);
//   safeAreaInsets(w);                          // the window's insets that overlap w
// A shadow layer is a sibling widget painted just below `w` in its parent,
// following w's geometry, so the shadow can fall outside w's own rectangle.
// The shimmer is an animated opacity mask over w and its children.

#include <QColor>
#include <QImage>
#include <QList>
#include <QMargins>
#include <QPalette>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <vector>

namespace kova::platform {

// alpha 0 hides the pixels but keeps the widget in the layout.
void setAlpha(QWidget *view, qreal alpha);
qreal alpha(const QWidget *view);
void setUserInteractionEnabled(QWidget *view, bool enabled);
bool isUserInteractionEnabled(const QWidget *view);

struct ShadowStyle {
    qreal cornerRadius = 0;    // of the rounded path the shadow follows
    QColor color = QColor(0, 0, 0, 255);
    qreal opacity = 1.0;       // multiplies the colour's own alpha
    qreal radius = 3;          // blur radius
    QPointF offset{0, -3};
};

// A layer widget: paints the shadow of a rounded rect the size of its target.
class ShadowLayer : public QWidget {
    Q_OBJECT
public:
    ShadowLayer(QWidget *target, const ShadowStyle &style, const QString &name);
    QWidget *target() const { return m_target; }
    const ShadowStyle &style() const { return m_style; }
    // The margin the layer reaches beyond its target on every side.
    int reach() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void follow();

    QWidget *m_target;
    ShadowStyle m_style;
    QImage m_rendered;
    QString m_renderedKey;
};

// Adds one more layer; sized from the target's geometry and following it.
ShadowLayer *addShadowLayer(QWidget *view, const ShadowStyle &style, const QString &name);
QList<ShadowLayer *> layersNamed(const QWidget *view, const QString &name);
int removeLayersNamed(QWidget *view, const QString &name);

struct ShimmerStyle {
    // Mask colours (only their alpha matters) at the given stop locations.
    std::vector<QColor> colors;
    std::vector<qreal> locations;
    QPointF startPoint{0.0, 0.5};
    QPointF endPoint{1.0, 0.5};
    std::vector<qreal> fromLocations; // animated stop locations
    std::vector<qreal> toLocations;
    int durationMs = 1500;
    QString key = QStringLiteral("shimmer");
};

// The mask spans x = -width .. 2*width of the view's size at the call and is
// not resized afterwards; the animation repeats without end.
void startShimmer(QWidget *view, const ShimmerStyle &style);
void stopShimmer(QWidget *view);
bool isShimmering(const QWidget *view);
// The key the running shimmer animation was added under (empty when none).
QString shimmerAnimationKey(const QWidget *view);

QMargins safeAreaInsets(const QWidget *view);

// Whether a style sheet (the application's, or an ancestor's) reaches the
// widget: Qt then draws it through its style-sheet style.
bool isUnderStyleSheet(const QWidget *view);
// A style sheet hands its colours down through the palette: puts `color`
// back in `role` of the widget's own palette, if it is not there already
// (so a palette change it causes ends at once). Nothing for an invalid colour.
void keepPaletteColor(QWidget *view, QPalette::ColorRole role, const QColor &color);
// Set on a widget (int, pixels from its top) whose upper part a bar covers;
// views inside it keep their safe area below that.
inline constexpr char kBarCoverProperty[] = "kovaBarCover";
// Set (QPoint) on a widget that is sliding to its place: how far it still is
// from it. Safe areas inside it are those of the place it slides to.
inline constexpr char kSlideOffsetProperty[] = "kovaSlideOffset";

} // namespace kova::platform
