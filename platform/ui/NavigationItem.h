#pragma once

// Usage:
//   auto close = BarButtonItem::withImage(image, BarButtonItem::Style::Done, [] {...});
//   controller->navigationItem().setLeftBarButtonItems({close});
//   controller->navigationItem().setHidesBackButton(true);
// The navigation controller's bar shows the top controller's item and
// rebuilds when the item changes.

#include <QImage>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace kova::platform {

class BarButtonItem {
public:
    enum class Style { Plain, Done };
    using Action = std::function<void()>;

    static std::shared_ptr<BarButtonItem> withTitle(const QString &title, Style style, Action action);
    static std::shared_ptr<BarButtonItem> withImage(const QImage &image, Style style, Action action);
    // A custom widget (owned by the bar once shown).
    static std::shared_ptr<BarButtonItem> withCustomView(QWidget *view);

    QString title() const { return m_title; }
    QImage image() const { return m_image; }
    Style style() const { return m_style; }
    QWidget *customView() const { return m_customView; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }
    void trigger() const;

private:
    static std::shared_ptr<BarButtonItem> make(const QString &title, const QImage &image, Style style, Action action);

    QString m_title;
    QImage m_image;
    Style m_style = Style::Plain;
    QWidget *m_customView = nullptr;
    bool m_enabled = true;
    Action m_action;
};

class NavigationItem : public QObject {
    Q_OBJECT
public:
    using Items = std::vector<std::shared_ptr<BarButtonItem>>;

    QString title() const { return m_title; }
    void setTitle(const QString &title);
    QWidget *titleView() const { return m_titleView; }
    void setTitleView(QWidget *view);
    const Items &leftBarButtonItems() const { return m_left; }
    void setLeftBarButtonItems(Items items);
    const Items &rightBarButtonItems() const { return m_right; }
    void setRightBarButtonItems(Items items);
    bool hidesBackButton() const { return m_hidesBackButton; }
    void setHidesBackButton(bool hides);

signals:
    void changed();

private:
    QString m_title;
    QWidget *m_titleView = nullptr;
    Items m_left;
    Items m_right;
    bool m_hidesBackButton = false;
};

} // namespace kova::platform
