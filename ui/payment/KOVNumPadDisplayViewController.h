#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "platform/ui/Anchors.h"
#include "platform/ui/NotificationCenter.h"
#include "platform/ui/ViewController.h"
#include "ui/payment/KOVAmountEntry.h"

namespace kova {

class KOVButton;
class KOVNumPadDisplayViewController;
namespace platform {
class Label;
class StackView;
class TextField;
} // namespace platform

class KOVNumPadDisplayViewControllerDelegate {
public:
    virtual ~KOVNumPadDisplayViewControllerDelegate() = default;
    virtual void numPadDisplayViewControllerDidSubmitValue(KOVNumPadDisplayViewController &controller, double value) = 0;
};

// The screen on which the amount of a transfer is typed: a large whole
// number with its currency, the balance, a line naming a bound the amount
// breaks, and Send riding on the keyboard, enabled only inside the bounds.
class KOVNumPadDisplayViewController : public platform::ViewController {
    Q_OBJECT
public:
    KOVNumPadDisplayViewController() = default;

    std::shared_ptr<KOVNumPadDisplayViewControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<KOVNumPadDisplayViewControllerDelegate> delegate) { m_delegate = std::move(delegate); }
    const QString &currency() const { return m_currency; }
    void setCurrency(const QString &currency) { m_currency = currency; }
    std::optional<double> balance() const { return m_balance; }
    void setBalance(std::optional<double> balance) { m_balance = balance; }
    // Shown at load; Send stays disabled until the user edits.
    std::optional<double> amount() const { return m_amount; }
    void setAmount(std::optional<double> amount) { m_amount = amount; }
    quint64 minimumAmount() const { return m_minimumAmount; }
    void setMinimumAmount(quint64 amount) { m_minimumAmount = amount; }
    quint64 maximumAmount() const { return m_maximumAmount; }
    void setMaximumAmount(quint64 amount) { m_maximumAmount = amount; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    // The user's edit of the field.
    void amountLabelValueChanged(const QString &text);
    void updateDisplayWithNumber(const QString &text);
    void confirmButtonTapped();
    void keyboardWillShow(const platform::Notification &notification);
    void keyboardWillHide(const platform::Notification &notification);

    platform::StackView *displayStackView() const { return m_displayStackView; }
    platform::TextField *amountLabel() const { return m_amountLabel; }
    platform::Label *currencyLabel() const { return m_currencyLabel; }
    KOVButton *confirmButton() const { return m_confirmButton; }
    QWidget *balanceLabel() const { return m_balanceLabel; }
    QWidget *limitLabel() const { return m_limitLabel; }
    // The two parts of the bound line and of the balance line.
    platform::Label *limitTextLabel() const { return m_limitText; }
    platform::Label *limitAmountLabel() const { return m_limitAmount; }
    platform::Label *balanceAmountLabel() const { return m_balanceAmount; }
    const platform::Constraint &buttonBottomConstraint() const { return m_buttonBottomConstraint; }

    // The smallest size the amount shrinks to, in points: below it the
    // field scrolls instead.
    static constexpr qreal minimumAmountFontSize = 14;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString money(double value) const;
    // Shrinks the amount's font until all of it fits the field's width.
    void fitAmountToWidth();
    void updateLimitLabelText(const QString &text, quint64 amount);

    std::weak_ptr<KOVNumPadDisplayViewControllerDelegate> m_delegate;
    QString m_currency;
    std::optional<double> m_balance;
    std::optional<double> m_amount;
    quint64 m_minimumAmount = 0;
    quint64 m_maximumAmount = 0;
    KOVAmountEntry::State m_state;

    platform::StackView *m_displayStackView = nullptr;
    platform::TextField *m_amountLabel = nullptr;
    platform::Label *m_currencyLabel = nullptr;
    KOVButton *m_confirmButton = nullptr;
    QWidget *m_balanceLabel = nullptr;
    platform::Label *m_balanceAmount = nullptr;
    QWidget *m_limitLabel = nullptr;
    platform::Label *m_limitText = nullptr;
    platform::Label *m_limitAmount = nullptr;
    platform::Constraint m_buttonBottomConstraint;
    platform::NotificationObservation m_keyboardShow;
    platform::NotificationObservation m_keyboardHide;
};

} // namespace kova
