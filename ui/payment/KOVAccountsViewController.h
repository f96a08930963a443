#pragma once

#include <QPointer>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>

#include "core/api/KOVCompletions.h"
#include "platform/store/FetchedResultsController.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"
#include "ui/look/KOVFormatter.h"
#include "ui/payment/KOVAccountsHeaderView.h"

namespace kova {

class KOVAccountsTableViewCell;
class KOVAccountsViewController;
class KOVBankConnection;
class KOVButton;
class KOVSubaccount;
namespace platform {
class Label;
class Button;
} // namespace platform

class KOVAccountsViewControllerDelegate {
public:
    using RefreshCompletion = std::function<void(OptionalError error)>;

    virtual ~KOVAccountsViewControllerDelegate() = default;
    virtual void accountsViewControllerDidSelectSubaccount(KOVAccountsViewController &controller,
                                                           const std::shared_ptr<KOVSubaccount> &subaccount) = 0;
    // Expected to complete once, on the main queue, whatever the outcome.
    virtual void accountsViewControllerDidRequestRefreshForUserID(KOVAccountsViewController &controller,
                                                                  const QString &userID,
                                                                  RefreshCompletion completion) = 0;
    virtual void accountsViewControllerDidRequestDeleteForUserID(KOVAccountsViewController &controller,
                                                                 const QString &userID) = 0;
    virtual void accountsViewControllerDidRequestAddAccount(KOVAccountsViewController &controller) = 0;
};

// The screen on which the sending account is picked: the stored accounts of
// the flow's login, one section per stored connection, live with the store;
// refresh per login, placeholders while accounts are fetched, add a bank,
// and Continue with the remembered account.
class KOVAccountsViewController : public platform::ViewController,
                                  public platform::TableViewDataSource,
                                  public platform::TableViewDelegate,
                                  public platform::FetchedResultsControllerDelegate,
                                  public KOVAccountsHeaderViewDelegate {
    Q_OBJECT
public:
    static inline const QString selectedAccountIDKey = QStringLiteral("selectedAccountID");

    explicit KOVAccountsViewController(std::shared_ptr<KOVBankConnection> connection);
    ~KOVAccountsViewController() override;

    std::shared_ptr<KOVAccountsViewControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<KOVAccountsViewControllerDelegate> delegate) { m_delegate = std::move(delegate); }
    const std::shared_ptr<KOVBankConnection> &connection() const { return m_connection; }

    // A refresh for every placeholder the list shows, once per login.
    void fetchNonLoadedAccounts();

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;

    void addNewAccount();
    void confirmButtonTapped();
    void startPaymentWithAccountID(const QString &accountID);
    QString formattedBalance(double balance, const QString &currencyCode);
    void updateSection(int section, const QString &userID);

    // The account Continue uses: the remembered one (in the user defaults)
    // when it is a row that can be chosen, else the first such row, else
    // none. Only such a row is ever remembered. Every read and write sets
    // whether Continue is enabled.
    QString selectedAccountID();
    void setSelectedAccountID(const QString &accountID);

    const QStringList &refreshingUserIDs() const { return m_refreshingUserIDs; }
    platform::FetchedResultsController &subaccountsFetchedResultsController() { return *m_results; }
    std::shared_ptr<KOVSubaccount> subaccountAt(const platform::IndexPath &indexPath) const;

    platform::TableView *tableView() const { return m_tableView; }
    KOVButton *confirmButton() const { return m_confirmButton; }
    platform::Button *addAccountButton() const { return m_addAccountButton; }
    platform::Label *titleLabel() const { return m_titleLabel; }
    // The header on show for a section, or null.
    KOVAccountsHeaderView *headerForSection(int section) const;

    // Table.
    int numberOfSections(platform::TableView &table) override;
    int numberOfRows(platform::TableView &table, int section) override;
    platform::TableViewCell *cellForRow(platform::TableView &table, const platform::IndexPath &indexPath) override;
    qreal heightForRow(platform::TableView &table, const platform::IndexPath &indexPath) override;
    QWidget *viewForHeader(platform::TableView &table, int section) override;
    qreal heightForHeader(platform::TableView &table, int section) override;
    std::optional<platform::IndexPath> willSelectRow(platform::TableView &table,
                                                     const platform::IndexPath &indexPath) override;
    void didSelectRow(platform::TableView &table, const platform::IndexPath &indexPath) override;
    void configureCell(KOVAccountsTableViewCell *cell, const platform::IndexPath &indexPath);

    // Store.
    void controllerWillChangeContent(platform::FetchedResultsController &controller) override;
    void controllerDidChangeSection(platform::FetchedResultsController &controller, int sectionIndex,
                                    ChangeType type) override;
    void controllerDidChangeObject(platform::FetchedResultsController &controller,
                                   const std::shared_ptr<platform::ManagedObject> &object, ObjectIndex indexPath,
                                   ChangeType type, ObjectIndex newIndexPath) override;
    void controllerDidChangeContent(platform::FetchedResultsController &controller) override;

    void accountsHeaderViewDidTapUpdateAtSection(KOVAccountsHeaderView &header, int section) override;

private:
    // A row whose account Continue may use: fetched, with a balance, and of
    // a login that is not being refreshed.
    bool canChoose(const std::shared_ptr<KOVSubaccount> &subaccount) const;
    // The first listed row that can be chosen and is `wanted`, or null.
    std::shared_ptr<KOVSubaccount> firstChoosable(const std::function<bool(const KOVSubaccount &)> &wanted) const;
    // The first listed row with that ID that can be chosen, or null.
    std::shared_ptr<KOVSubaccount> choosableSubaccount(const QString &accountID) const;
    QString usableAccountID() const;
    void updateConfirmButton();
    void setupFetchedResultsController();
    KOVAccountsHeaderView *makeHeader(int section);
    void showRememberedRow();
    QString userIDOfSection(int section) const;

    std::shared_ptr<KOVBankConnection> m_connection;
    std::weak_ptr<KOVAccountsViewControllerDelegate> m_delegate;
    KOVFormatter m_formatter;
    QStringList m_refreshingUserIDs;
    std::unique_ptr<platform::FetchedResultsController> m_results;
    bool m_resultsDelegateSet = false;

    platform::TableView *m_tableView = nullptr;
    KOVButton *m_confirmButton = nullptr;
    platform::Button *m_addAccountButton = nullptr;
    platform::Label *m_titleLabel = nullptr;
    QWidget *m_separatorView = nullptr;

    // Headers made for the table, by section.
    std::map<int, QPointer<KOVAccountsHeaderView>> m_headers;

    // The batch being passed on to the table.
    struct PendingChange {
        enum Kind { InsertSection, DeleteSection, ReloadSection, InsertRow, DeleteRow, ReloadRow } kind;
        int section;
        int row;
    };
    QList<PendingChange> m_pending;
    int m_sectionsBeforeBatch = 0;
};

} // namespace kova
