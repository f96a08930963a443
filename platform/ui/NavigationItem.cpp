#include "platform/ui/NavigationItem.h"

namespace kova::platform {

std::shared_ptr<BarButtonItem> BarButtonItem::make(const QString &title, const QImage &image, Style style, Action action)
{
    auto item = std::make_shared<BarButtonItem>();
    item->m_title = title;
    item->m_image = image;
    item->m_style = style;
    item->m_action = std::move(action);
    return item;
}

std::shared_ptr<BarButtonItem> BarButtonItem::withTitle(const QString &title, Style style, Action action)
{
    return make(title, QImage(), style, std::move(action));
}

std::shared_ptr<BarButtonItem> BarButtonItem::withImage(const QImage &image, Style style, Action action)
{
    return make(QString(), image, style, std::move(action));
}

std::shared_ptr<BarButtonItem> BarButtonItem::withCustomView(QWidget *view)
{
    auto item = std::make_shared<BarButtonItem>();
    item->m_customView = view;
    return item;
}

void BarButtonItem::trigger() const
{
    if (!m_enabled || !m_action)
        return;
    // A copy: the action may replace the items and free this one.
    const Action action = m_action;
    action();
}

void NavigationItem::setTitle(const QString &title)
{
    m_title = title;
    emit changed();
}

void NavigationItem::setTitleView(QWidget *view)
{
    m_titleView = view;
    emit changed();
}

void NavigationItem::setLeftBarButtonItems(Items items)
{
    m_left = std::move(items);
    emit changed();
}

void NavigationItem::setRightBarButtonItems(Items items)
{
    m_right = std::move(items);
    emit changed();
}

void NavigationItem::setHidesBackButton(bool hides)
{
    m_hidesBackButton = hides;
    emit changed();
}

} // namespace kova::platform
