#pragma once

// Usage (host):
//   auto *window = new Window;                  // a top-level widget
//   window->setRootViewController(home);
//   Application::shared().setKeyWindow(window); // the SDK presents over this
//   window->show();
// Presented controllers become overlay layers inside this one widget tree
// (dimming + card for sheets, full-window for full screen, centred box for
// alerts), so grabbing the window shows the whole composition. On a window
// wider than a phone a sheet is a centred card, as tablets show form sheets.
// The layers keep a look of their own: neither the host's palette nor its
// widget style nor an application style sheet reaches the SDK's screens. Esc or
// userSwipeDown() on the top sheet is the user's close; so is the window's
// close button while a sheet is on top (the window then stays open).

#include <QMargins>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

namespace kova::platform {

class ViewController;
enum class ModalPresentationStyle;

class Window : public QWidget {
    Q_OBJECT
public:
    // 390 x 844 points, the safe area of a phone with a notch.
    explicit Window(QWidget *parent = nullptr);
    ~Window() override;

    // A phone's screen, also when a layout of the host's sizes the window.
    QSize sizeHint() const override { return QSize(390, 844); }

    // Wider than this, sheets are a centred card of the tablets' form-sheet
    // size rather than the window's width.
    static constexpr int kFormSheetWidth = 540;
    static constexpr int kFormSheetHeight = 620;
    bool presentsFormSheets() const;

    // The Window a widget is in: its nearest Window ancestor, so a Window
    // the host embeds in a window of its own works as well. Null when none.
    static Window *containing(const QWidget *widget);

    std::shared_ptr<ViewController> rootViewController() const { return m_root; }
    void setRootViewController(std::shared_ptr<ViewController> root);

    QMargins safeAreaInsets() const { return m_safeArea; }
    void setSafeAreaInsets(const QMargins &insets);

    // The user's swipe down on the top sheet (tests); returns whether a sheet
    // was there to take it.
    bool userSwipeDown();
    // The controller on the top layer, or null.
    std::shared_ptr<ViewController> topPresentedViewController() const;
    // The overlay widget of a presented controller (its card, or its view for
    // full screen), or null.
    QWidget *layerFor(const ViewController *controller) const;

    // Used by ViewController.
    void addLayer(ViewController *controller, ModalPresentationStyle style, bool animated,
                  std::function<void()> done);
    void removeLayer(ViewController *controller, bool animated, std::function<void()> done);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Layer;
    void arrangeLayers();
    bool userCloseTop();

    std::shared_ptr<ViewController> m_root;
    QMargins m_safeArea{0, 47, 0, 34};
    std::vector<std::unique_ptr<Layer>> m_layers;
    // Layers sliding away: the user has left them, so they take no input.
    struct Leaving {
        QPointer<QWidget> backdrop;
        std::weak_ptr<ViewController> controller;
    };
    std::vector<Leaving> m_leaving;
};

} // namespace kova::platform
