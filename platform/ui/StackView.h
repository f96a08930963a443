#pragma once

// Usage:
//   auto *stack = new StackView(Qt::Vertical, parent);
//   stack->setSpacing(8); stack->setDistribution(StackView::Distribution::FillEqually);
//   stack->addArrangedSubview(label);
// Hidden arranged views take no room.

#include <QBoxLayout>
#include <QMargins>
#include <QWidget>

namespace kova::platform {

class StackView : public QWidget {
    Q_OBJECT
public:
    enum class Distribution { Fill, FillEqually };
    enum class Alignment { Fill, Leading, Center, Trailing };

    explicit StackView(Qt::Orientation axis = Qt::Vertical, QWidget *parent = nullptr);

    void addArrangedSubview(QWidget *view);
    void insertArrangedSubview(QWidget *view, int index);
    void removeArrangedSubview(QWidget *view);
    QList<QWidget *> arrangedSubviews() const;
    Qt::Orientation axis() const { return m_axis; }
    void setAxis(Qt::Orientation axis);
    void setSpacing(int spacing);
    void setDistribution(Distribution distribution);
    void setAlignment(Alignment alignment);
    void setLayoutMargins(const QMargins &margins);

private:
    void relayout();

    Qt::Orientation m_axis;
    Distribution m_distribution = Distribution::Fill;
    Alignment m_alignment = Alignment::Fill;
    QBoxLayout *m_layout;
    QList<QWidget *> m_views;
};

} // namespace kova::platform
