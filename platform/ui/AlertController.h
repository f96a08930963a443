#pragma once

// Usage:
//   auto alert = AlertController::create("Title", "Message");
//   alert->addAction(AlertAction{"OK", AlertAction::Style::Default, [] {...}});
//   top->present(alert, true);
//   auto loader = AlertController::loader();   // frameless spinner, no actions
//   top->present(loader, false); ... loader->dismiss(false);
// An action tap dismisses the alert and then runs the handler. Alerts are
// never closed by Esc or the window's close; only their actions (or the code
// that presented them) dismiss them.

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/ViewController.h"

namespace kova::platform {

class ActivityIndicator;

struct AlertAction {
    enum class Style { Default, Cancel, Destructive };
    QString title;
    Style style = Style::Default;
    std::function<void()> handler;
};

class AlertController : public ViewController {
    Q_OBJECT
public:
    static std::shared_ptr<AlertController> create(const QString &title, const QString &message);
    // A frameless spinner over the dimmed window.
    static std::shared_ptr<AlertController> loader();

    AlertController();
    QString alertTitle() const { return m_title; }
    QString message() const { return m_message; }
    const std::vector<AlertAction> &actions() const { return m_actions; }
    void addAction(AlertAction action);
    bool isLoader() const { return m_loader; }
    // The buttons on show, in action order (tests tap them).
    QList<QWidget *> actionButtons() const { return m_buttons; }
    ActivityIndicator *activityIndicator() const { return m_indicator; }

    void loadView() override;

private:
    QString m_title;
    QString m_message;
    std::vector<AlertAction> m_actions;
    bool m_loader = false;
    QList<QWidget *> m_buttons;
    ActivityIndicator *m_indicator = nullptr;
};

} // namespace kova::platform
