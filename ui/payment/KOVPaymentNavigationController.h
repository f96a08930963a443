#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "platform/ui/NavigationController.h"
#include "ui/look/ViewStyling.h"
#include "ui/payment/KOVNumPadDisplayViewController.h"

namespace kova {

class KOVPaymentNavigationController;

class KOVPaymentNavigationControllerDelegate {
public:
    virtual ~KOVPaymentNavigationControllerDelegate() = default;
    virtual void paymentNavigationControllerDidSubmitValue(KOVPaymentNavigationController &controller, double value)
    {
        (void)controller;
        (void)value;
    }
};

// A navigation container that passes the amount pad's submission on to a
// delegate of its own.
class KOVPaymentNavigationController : public platform::NavigationController,
                                       public KOVNumPadDisplayViewControllerDelegate {
    Q_OBJECT
public:
    using platform::NavigationController::NavigationController;

    void viewDidLoad() override
    {
        platform::NavigationController::viewDidLoad();
        setKOVNavigationTitleFont(*this);
        navigationBar()->setPrefersLargeTitles(true);
    }

    std::shared_ptr<KOVPaymentNavigationControllerDelegate> paymentDelegate() const { return m_paymentDelegate.lock(); }
    void setPaymentDelegate(std::weak_ptr<KOVPaymentNavigationControllerDelegate> delegate)
    {
        m_paymentDelegate = std::move(delegate);
    }
    const QString &currency() const { return m_currency; }
    void setCurrency(const QString &currency) { m_currency = currency; }
    std::optional<double> balance() const { return m_balance; }
    void setBalance(std::optional<double> balance) { m_balance = balance; }
    std::optional<double> amount() const { return m_amount; }
    void setAmount(std::optional<double> amount) { m_amount = amount; }
    quint64 minimumAmount() const { return m_minimumAmount; }
    void setMinimumAmount(quint64 amount) { m_minimumAmount = amount; }
    quint64 maximumAmount() const { return m_maximumAmount; }
    void setMaximumAmount(quint64 amount) { m_maximumAmount = amount; }
    const std::shared_ptr<KOVNumPadDisplayViewController> &numPadDisplayViewController() const { return m_numPad; }
    void setNumPadDisplayViewController(std::shared_ptr<KOVNumPadDisplayViewController> numPad)
    {
        m_numPad = std::move(numPad);
    }

    void numPadDisplayViewControllerDidSubmitValue(KOVNumPadDisplayViewController &, double value) override
    {
        if (const auto delegate = m_paymentDelegate.lock())
            delegate->paymentNavigationControllerDidSubmitValue(*this, value);
    }

private:
    std::weak_ptr<KOVPaymentNavigationControllerDelegate> m_paymentDelegate;
    QString m_currency;
    std::optional<double> m_balance;
    std::optional<double> m_amount;
    quint64 m_minimumAmount = 0;
    quint64 m_maximumAmount = 0;
    std::shared_ptr<KOVNumPadDisplayViewController> m_numPad;
};

} // namespace kova
