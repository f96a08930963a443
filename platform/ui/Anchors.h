#pragma once

// Usage (anchor-style layout, solved whenever the parent resizes):
//   pinEdges(child, parent);                               // fill the parent
//   pinEdges(child, parent, QMargins(16, 0, 16, 0), Guide::SafeArea);
//   anchor(child, Attr::Top, parent, Attr::Top, 20, Guide::SafeArea);
//   anchor(child, Attr::Top, sibling, Attr::Bottom, 8);    // sibling placed first
//   anchor(child, Attr::Width, parent, Attr::Width, 0, Guide::Bounds, 0.8);
//   Constraint h = size(child, Attr::Height, 56); h.setConstant(64);
//   centerIn(child, parent);
// Each axis of a child is solved from its constraints in the order they were
// made: two edges, an edge and a size, or a centre and a size; a missing size
// comes from the widget's sizeHint() (heightForWidth when it has one). The
// first view of every constraint must be a direct child of the solving
// parent; other views are its parent or siblings.

#include <QMargins>
#include <QWidget>
#include <memory>

namespace kova::platform {

enum class Attr { Leading, Trailing, Top, Bottom, Width, Height, CenterX, CenterY };
enum class Guide { Bounds, SafeArea };

class Constraint {
public:
    Constraint() = default;
    bool isValid() const { return static_cast<bool>(m_data); }
    qreal constant() const;
    // Re-solves the parent's layout on the next turn.
    void setConstant(qreal constant);
    bool isActive() const;
    void setActive(bool active);

    struct Data;
    explicit Constraint(std::shared_ptr<Data> data) : m_data(std::move(data)) {}

private:
    std::shared_ptr<Data> m_data;
};

// view.attr = other.otherAttr * multiplier + constant.
Constraint anchor(QWidget *view, Attr attr, QWidget *other, Attr otherAttr, qreal constant = 0,
                  Guide guide = Guide::Bounds, qreal multiplier = 1.0);
// A fixed width or height.
Constraint size(QWidget *view, Attr attr, qreal constant);
struct EdgeConstraints {
    Constraint leading, trailing, top, bottom;
};
EdgeConstraints pinEdges(QWidget *view, QWidget *parent, const QMargins &insets = {},
                         Guide guide = Guide::Bounds);
void centerIn(QWidget *view, QWidget *parent, Guide guide = Guide::Bounds);
// Solves the parent's children now (tests, and before a grab).
void layoutNow(QWidget *parent);
// Drops every constraint whose first view is `view`.
void removeConstraints(QWidget *view);

} // namespace kova::platform
