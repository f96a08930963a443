#pragma once

#include <QList>
#include <memory>

#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"
#include "ui/look/KOVFormatter.h"

namespace kova {

class KOVSubaccount;
class KOVSubaccountsViewController;
namespace platform {
class Button;
class Label;
class StackView;
} // namespace platform

class KOVSubaccountsViewControllerDelegate {
public:
    virtual ~KOVSubaccountsViewControllerDelegate() = default;
    virtual void subaccountViewControllerDidSelectSubaccount(KOVSubaccountsViewController &controller,
                                                             const std::shared_ptr<KOVSubaccount> &subaccount) = 0;
};

// One row of the sub-accounts list: type over balance, and a chevron over
// the update time.
class KOVSubaccountTableViewCell : public platform::TableViewCell {
    Q_OBJECT
public:
    explicit KOVSubaccountTableViewCell(QWidget *parent = nullptr);

    const QString &lastUpdate() const { return m_lastUpdate; }
    void setLastUpdate(const QString &lastUpdate);
    const QString &balance() const { return m_balance; }
    void setBalance(const QString &balance);
    const QString &accountType() const { return m_accountType; }
    void setAccountType(const QString &accountType);

    platform::Label *accountTypeLabel() const { return m_accountTypeLabel; }
    platform::Label *balanceLabel() const { return m_balanceLabel; }
    platform::Label *updatedAtLabel() const { return m_updatedAtLabel; }
    platform::Button *moreButton() const { return m_moreButton; }

private:
    QString m_lastUpdate;
    QString m_balance;
    QString m_accountType;
    platform::Label *m_accountTypeLabel;
    platform::Label *m_balanceLabel;
    platform::Label *m_updatedAtLabel;
    platform::Button *m_moreButton;
};

// A plain list of one login's stored accounts; a tap hands the account to
// the delegate.
class KOVSubaccountsViewController : public platform::ViewController,
                                     public platform::TableViewDataSource,
                                     public platform::TableViewDelegate {
    Q_OBJECT
public:
    explicit KOVSubaccountsViewController(QList<std::shared_ptr<KOVSubaccount>> subaccounts);

    const QList<std::shared_ptr<KOVSubaccount>> &subaccounts() const { return m_subaccounts; }
    std::shared_ptr<KOVSubaccountsViewControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<KOVSubaccountsViewControllerDelegate> delegate) { m_delegate = std::move(delegate); }
    platform::TableView *tableView() const { return m_tableView; }

    void viewDidLoad() override;
    QString formattedBalance(double balance, const QString &currencyCode);

    int numberOfRows(platform::TableView &table, int section) override;
    platform::TableViewCell *cellForRow(platform::TableView &table, const platform::IndexPath &indexPath) override;
    qreal heightForRow(platform::TableView &table, const platform::IndexPath &indexPath) override;
    void didSelectRow(platform::TableView &table, const platform::IndexPath &indexPath) override;

private:
    QList<std::shared_ptr<KOVSubaccount>> m_subaccounts;
    std::weak_ptr<KOVSubaccountsViewControllerDelegate> m_delegate;
    KOVFormatter m_formatter;
    platform::TableView *m_tableView = nullptr;
};

} // namespace kova
