#include "platform/ui/StackView.h"

namespace kova::platform {

StackView::StackView(Qt::Orientation axis, QWidget *parent)
    : QWidget(parent), m_axis(axis),
      m_layout(new QBoxLayout(axis == Qt::Vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight, this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
}

void StackView::addArrangedSubview(QWidget *view)
{
    insertArrangedSubview(view, static_cast<int>(m_views.size()));
}

void StackView::insertArrangedSubview(QWidget *view, int index)
{
    m_views.removeAll(view);
    m_views.insert(std::clamp(index, 0, static_cast<int>(m_views.size())), view);
    view->setParent(this);
    relayout();
    if (!view->isHidden() || !view->testAttribute(Qt::WA_WState_ExplicitShowHide))
        view->show();
}

void StackView::removeArrangedSubview(QWidget *view)
{
    m_views.removeAll(view);
    m_layout->removeWidget(view);
}

QList<QWidget *> StackView::arrangedSubviews() const
{
    return m_views;
}

void StackView::setAxis(Qt::Orientation axis)
{
    m_axis = axis;
    m_layout->setDirection(axis == Qt::Vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    relayout();
}

void StackView::setSpacing(int spacing)
{
    m_layout->setSpacing(spacing);
}

void StackView::setDistribution(Distribution distribution)
{
    m_distribution = distribution;
    relayout();
}

void StackView::setAlignment(Alignment alignment)
{
    m_alignment = alignment;
    relayout();
}

void StackView::setLayoutMargins(const QMargins &margins)
{
    m_layout->setContentsMargins(margins);
}

void StackView::relayout()
{
    while (m_layout->count() > 0)
        delete m_layout->takeAt(0);
    Qt::Alignment cross;
    switch (m_alignment) {
    case Alignment::Fill: cross = {}; break;
    case Alignment::Leading: cross = m_axis == Qt::Vertical ? Qt::AlignLeft : Qt::AlignTop; break;
    case Alignment::Center: cross = m_axis == Qt::Vertical ? Qt::AlignHCenter : Qt::AlignVCenter; break;
    case Alignment::Trailing: cross = m_axis == Qt::Vertical ? Qt::AlignRight : Qt::AlignBottom; break;
    }
    for (QWidget *view : m_views) {
        const int stretch = m_distribution == Distribution::FillEqually ? 1 : 0;
        m_layout->addWidget(view, stretch, cross);
        if (m_distribution == Distribution::FillEqually) {
            QSizePolicy policy = view->sizePolicy();
            if (m_axis == Qt::Vertical)
                policy.setVerticalPolicy(QSizePolicy::Ignored);
            else
                policy.setHorizontalPolicy(QSizePolicy::Ignored);
            view->setSizePolicy(policy);
        }
    }
}

} // namespace kova::platform
