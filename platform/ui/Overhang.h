#pragma once

// Usage:
//   auto *spinner = new ImageView(image);
//   platform::overhang(spinner, footer, QSize(120, 120));   // centred on footer, drawn whole
//   spinner->show();
// Qt clips every widget to its parent, where a platform view draws past its
// superview unless something on the way clips. An overhanging view therefore
// lives in a frame hosted by the nearest ancestor of its anchor that clips
// anyway (a scroll area's viewport, a View that clips to bounds, a Window, a
// top-level widget), centred on the anchor and kept there as the anchor or
// any widget between moves, resizes, scrolls or changes parent. The frame is
// shown exactly while the anchor is, and goes when the anchor or the view
// goes; the view inside keeps its own shown or hidden state. Like an image
// view it takes no taps: they reach whatever lies under it.

#include <QList>
#include <QPointer>
#include <QSize>
#include <QWidget>

namespace kova::platform {

class Overhang : public QWidget {
    Q_OBJECT
public:
    Overhang(QWidget *content, QWidget *anchor, const QSize &size);
    ~Overhang() override;

    QWidget *anchor() const { return m_anchor; }
    QWidget *content() const { return m_content; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void rehost();
    void follow();
    void updateVisibility();
    void unwatch();

    QPointer<QWidget> m_anchor;
    QPointer<QWidget> m_content;
    QSize m_size;
    QList<QPointer<QWidget>> m_watched;
};

// Puts `content` (any parent it had is dropped) into a new overhang frame
// centred on `anchor` at `size`, and returns the frame.
Overhang *overhang(QWidget *content, QWidget *anchor, const QSize &size);

// The ancestor of `anchor` that an overhang frame would be hosted by; the
// anchor itself when it is a window of its own.
QWidget *clippingAncestor(QWidget *anchor);

} // namespace kova::platform
