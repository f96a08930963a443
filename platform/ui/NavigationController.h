#pragma once

// Usage:
//   auto nav = std::make_shared<NavigationController>(rootScreen);
//   nav->navigationBar()->setTintColor(...); nav->setTransparentNavigationBar();
//   nav->push(next, true); nav->pop(true);
//   host->present(nav, true);
// The bar sits under the window's top safe area (none inside a sheet) and
// shows the top controller's NavigationItem; a back button appears for every
// controller above the first unless its item hides it.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QWidget>
#include <memory>
#include <vector>

#include "platform/ui/Anchors.h"
#include "platform/ui/ViewController.h"

namespace kova::platform {

class NavigationBar : public QWidget {
    Q_OBJECT
public:
    explicit NavigationBar(QWidget *parent = nullptr);

    static constexpr int Height = 44;
    // The row under the bar's items that a large title takes.
    static constexpr int LargeTitleHeight = 52;

    // A large title: the item's title in the bold system face at 34 points,
    // left-aligned in a row of its own under the items, in place of the
    // centred one. The bar grows by that row.
    bool prefersLargeTitles() const { return m_largeTitles; }
    void setPrefersLargeTitles(bool prefers);
    // The bar's height below its top inset.
    int barHeight() const { return Height + (m_largeTitles ? LargeTitleHeight : 0); }
    // The large title on show, if any.
    QWidget *largeTitleWidget() const { return m_largeTitle; }

    QColor tintColor() const { return m_tintColor; }
    void setTintColor(const QColor &color);
    QColor barBackgroundColor() const { return m_background; }
    void setBarBackgroundColor(const QColor &color);
    bool isTranslucent() const { return m_translucent; }
    void setTranslucent(bool translucent);
    // Empty images mean no bar background and no hairline under the bar.
    void setBackgroundImage(const QImage &image);
    void setShadowImage(const QImage &image);
    QImage backgroundImage() const { return m_backgroundImage; }
    QImage shadowImage() const { return m_shadowImage; }
    // The title's font and colour only: bar buttons keep the system font
    // and the tint colour.
    void setTitleFont(const QFont &font);
    void setTitleColor(const QColor &color);
    QFont titleFont() const { return m_titleFont; }
    QColor titleColor() const { return m_titleColor; }
    void setBackImage(const QImage &image);
    // The bar reaches up under the status bar by this much; its items sit in
    // the Height points below.
    void setTopInset(int inset);
    int topInset() const { return m_topInset; }

    // What the bar shows (the navigation controller calls this).
    void showItem(NavigationItem *item, bool showBack, std::function<void()> back);
    // The widgets on show, for tests: the back button, the left and right items.
    QWidget *backButton() const;
    QList<QWidget *> leftItemWidgets() const;
    QList<QWidget *> rightItemWidgets() const;
    QString shownTitle() const;
    // The title on show: the bar's own label, or the item's title view.
    QWidget *titleWidget() const { return m_title; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void rebuild();
    void arrange();

    int m_topInset = 0;
    QColor m_tintColor;
    QColor m_background;
    bool m_translucent = true;
    bool m_hasBackgroundImage = false;
    bool m_hasShadowImage = false;
    QImage m_backgroundImage;
    QImage m_shadowImage;
    QImage m_backImage;
    QFont m_titleFont;
    QColor m_titleColor;
    QPointer<NavigationItem> m_item;
    bool m_showBack = false;
    std::function<void()> m_back;
    QList<QWidget *> m_left;
    QList<QWidget *> m_right;
    QWidget *m_backButton = nullptr;
    QWidget *m_title = nullptr;
    QWidget *m_largeTitle = nullptr;
    bool m_largeTitles = false;
    QMetaObject::Connection m_itemConnection;
};

class NavigationController : public ViewController {
    Q_OBJECT
public:
    explicit NavigationController(std::shared_ptr<ViewController> root = nullptr);

    const std::vector<std::shared_ptr<ViewController>> &viewControllers() const { return m_stack; }
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated);
    void push(const std::shared_ptr<ViewController> &controller, bool animated);
    std::shared_ptr<ViewController> pop(bool animated);
    void popToRoot(bool animated);
    std::shared_ptr<ViewController> topViewController() const;

    NavigationBar *navigationBar();
    bool isNavigationBarHidden() const { return m_barHidden; }
    void setNavigationBarHidden(bool hidden);
    // Clear bar over the screen's own background: no background or shadow
    // image, translucent, clear colour.
    void setTransparentNavigationBar();
    // Does nothing: every sheet can be closed by the user already.
    void addDismissButtonIfNeeded() {}
    void dismissSelf() { dismiss(true); }

    // The controller it presents, else the top of its stack.
    std::shared_ptr<ViewController> visibleViewController() override;

    void loadView() override;
    std::vector<std::shared_ptr<ViewController>> appearanceChildren() const override;

private:
    void showTop(bool animated);

    std::vector<std::shared_ptr<ViewController>> m_stack;
    NavigationBar *m_bar = nullptr;
    QWidget *m_content = nullptr;
    bool m_barHidden = false;
    std::shared_ptr<ViewController> m_shown;
};

class TabBarController : public ViewController {
    Q_OBJECT
public:
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers);
    const std::vector<std::shared_ptr<ViewController>> &viewControllers() const { return m_tabs; }
    int selectedIndex() const { return m_selected; }
    void setSelectedIndex(int index);
    std::shared_ptr<ViewController> selectedViewController() const;

    // Continues from the selected controller.
    std::shared_ptr<ViewController> visibleViewController() override;
    std::vector<std::shared_ptr<ViewController>> appearanceChildren() const override;
    void loadView() override;

private:
    void showSelected();

    std::vector<std::shared_ptr<ViewController>> m_tabs;
    int m_selected = 0;
    QWidget *m_content = nullptr;
};

} // namespace kova::platform
