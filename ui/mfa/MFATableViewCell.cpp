#include "ui/mfa/MFATableViewCell.h"

#include "platform/ui/Anchors.h"

namespace kova {

using platform::Attr;

MFATableViewCell::MFATableViewCell(QWidget *parent) : platform::TableViewCell(parent)
{
    setBackgroundColor(Qt::transparent);
    contentView()->setBackgroundColor(Qt::transparent);
}

void MFATableViewCell::setSelected(bool)
{
    platform::TableViewCell::setSelected(false);
}

void MFATableViewCell::setRowView(QWidget *view, QWidget *home)
{
    if (m_rowView == view)
        return;
    if (m_rowView && m_rowView->parentWidget() == contentView()) {
        platform::removeConstraints(m_rowView);
        m_rowView->hide();
        m_rowView->setParent(home);
    }
    m_rowView = view;
    if (!view)
        return;
    platform::removeConstraints(view);
    view->setParent(contentView());
    platform::anchor(view, Attr::Width, contentView(), Attr::Width, 0, platform::Guide::Bounds, 0.9);
    platform::anchor(view, Attr::CenterX, contentView(), Attr::CenterX);
    platform::anchor(view, Attr::Top, contentView(), Attr::Top, Margin);
    platform::anchor(view, Attr::Bottom, contentView(), Attr::Bottom, -Margin);
    view->show();
}

} // namespace kova
