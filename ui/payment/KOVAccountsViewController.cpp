#include "ui/payment/KOVAccountsViewController.h"

#include "core/KOVConfigurations.h"
#include "core/Kova.h"
#include "core/KOVAppManager.h"
#include "core/Localizer.h"
#include "core/connections/KOVBankConnection.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVSubaccount.h"
#include "dates/KovaDates.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/View.h"
#include "ui/look/KOVButton.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVTheme.h"
#include "ui/look/ViewStyling.h"
#include "ui/payment/KOVAccountsTableViewCell.h"
#include "ui/payment/KOVPaymentAccounts.h"

namespace kova {

using platform::anchor;
using platform::Attr;
using platform::Guide;
using platform::IndexPath;

namespace {

const QString s_placeholderName = QStringLiteral("Demo");

QString capitalized(const QString &text)
{
    QString result = text.toLower();
    bool startOfWord = true;
    for (QChar &c : result) {
        if (c.isSpace()) {
            startOfWord = true;
        } else if (startOfWord) {
            c = c.toUpper();
            startOfWord = false;
        }
    }
    return result;
}

QString userIDOf(const std::shared_ptr<KOVSubaccount> &subaccount)
{
    const auto connection = subaccount ? subaccount->connection() : nullptr;
    return connection ? connection->userID() : QString();
}

} // namespace

KOVAccountsViewController::KOVAccountsViewController(std::shared_ptr<KOVBankConnection> connection)
    : m_connection(std::move(connection))
{
    m_formatter.dateFormatter().setDateFormat(QStringLiteral("h:mm"));
    setupFetchedResultsController();
}

KOVAccountsViewController::~KOVAccountsViewController() = default;

void KOVAccountsViewController::setupFetchedResultsController()
{
    const QString userID = m_connection ? m_connection->userID() : QString();
    const QString clientUserID = m_connection ? m_connection->clientUserID() : QString();
    platform::FetchRequest request = KOVSubaccount::fetchRequestWithUserID(userID, clientUserID, true);
    QList<platform::SortDescriptor> sorts{{QStringLiteral("sortingCreatedAt"), false}};
    sorts += request.sortDescriptors();
    request.setSortDescriptors(sorts);
    m_results = std::make_unique<platform::FetchedResultsController>(
        request, KOVAppManager::sharedInstance().viewContext(), QStringLiteral("sortingCreatedAt"));
    // Without a user ID the request would list every login's accounts.
    if (!userID.isEmpty())
        m_results->performFetch();
}

std::shared_ptr<KOVSubaccount> KOVAccountsViewController::subaccountAt(const IndexPath &indexPath) const
{
    return std::dynamic_pointer_cast<KOVSubaccount>(m_results->objectAt(indexPath.section, indexPath.row));
}

QString KOVAccountsViewController::userIDOfSection(int section) const
{
    if (m_results->sections().isEmpty())
        return m_connection ? m_connection->userID() : QString();
    return userIDOf(subaccountAt({section, 0}));
}

void KOVAccountsViewController::viewDidLoad()
{
    QWidget *root = view();
    const auto self = sharedAs<KOVAccountsViewController>();
    if (!m_resultsDelegateSet) {
        m_results->setDelegate(self);
        m_resultsDelegateSet = true;
    }

    m_confirmButton = new KOVButton(root);
    m_confirmButton->setTitle(QStringLiteral("Continue"));
    m_confirmButton->setObjectName(QStringLiteral("continueButton")); // hosts' tests find it by name
    connect(m_confirmButton, &QAbstractButton::clicked, this, [this] { confirmButtonTapped(); });
    anchor(m_confirmButton, Attr::Width, root, Attr::Width, 0, Guide::Bounds, 0.8);
    anchor(m_confirmButton, Attr::CenterX, root, Attr::CenterX);
    anchor(m_confirmButton, Attr::Bottom, root, Attr::Bottom, -8, Guide::SafeArea);

    m_titleLabel = new platform::Label(QStringLiteral("Your Accounts"), root);
    m_titleLabel->setFont(KOVFontManager::font(KOVFontManager::semiBold(), 20));
    anchor(m_titleLabel, Attr::Top, root, Attr::Top, 16, Guide::SafeArea);
    anchor(m_titleLabel, Attr::Leading, root, Attr::Leading, 32);

    m_addAccountButton = new platform::Button(root);
    m_addAccountButton->setTitle(Localizer::getLocalizedStringByKey(QStringLiteral("Add")));
    m_addAccountButton->setTitleColor(KOVTheme::activeColor());
    m_addAccountButton->setTitleFont(KOVFontManager::font(KOVFontManager::bold(), 14));
    m_addAccountButton->setCornerRadius(15);
    m_addAccountButton->setStyleSheet(QString());
    applyKOVShadow(m_addAccountButton);
    connect(m_addAccountButton, &QAbstractButton::clicked, this, [this] { addNewAccount(); });
    platform::size(m_addAccountButton, Attr::Width, 60);
    platform::size(m_addAccountButton, Attr::Height, 30);
    anchor(m_addAccountButton, Attr::Trailing, root, Attr::Trailing, -32);
    anchor(m_addAccountButton, Attr::CenterY, m_titleLabel, Attr::CenterY);
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    const auto options = kova ? kova->configurations() : nullptr;
    m_addAccountButton->setHidden(options && !options->showAddAccountButton());
    // The border is drawn by a view behind the button, in the accent colour.
    auto *border = new platform::View(root);
    border->setBorder(KOVTheme::activeColor(), 1);
    border->setCornerRadius(15);
    border->setAttribute(Qt::WA_TransparentForMouseEvents);
    anchor(border, Attr::Leading, m_addAccountButton, Attr::Leading);
    anchor(border, Attr::Trailing, m_addAccountButton, Attr::Trailing);
    anchor(border, Attr::Top, m_addAccountButton, Attr::Top);
    anchor(border, Attr::Bottom, m_addAccountButton, Attr::Bottom);
    border->setHidden(m_addAccountButton->isHidden());
    border->raise();

    auto *separator = new platform::View(root);
    QColor line = KOVTheme::darkBackgroundColor();
    line.setAlphaF(0.08f);
    separator->setBackgroundColor(line);
    m_separatorView = separator;
    platform::size(separator, Attr::Height, 1);
    anchor(separator, Attr::Leading, root, Attr::Leading, 32);
    anchor(separator, Attr::Trailing, root, Attr::Trailing, -32);
    anchor(separator, Attr::Top, m_titleLabel, Attr::Bottom, 16);

    m_tableView = new platform::TableView(root);
    m_tableView->setBackgroundColor(Qt::transparent);
    m_tableView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_tableView->registerCell(reuseIdentifier<KOVAccountsTableViewCell>(), [] { return new KOVAccountsTableViewCell; });
    m_tableView->setDataSource(self);
    m_tableView->setDelegate(self);
    anchor(m_tableView, Attr::Leading, root, Attr::Leading);
    anchor(m_tableView, Attr::Trailing, root, Attr::Trailing);
    anchor(m_tableView, Attr::Top, separator, Attr::Bottom, 4);
    anchor(m_tableView, Attr::Bottom, m_confirmButton, Attr::Top, -8);

    // The root view paints its own fill, over any palette.
    if (auto *rootView = qobject_cast<platform::View *>(root))
        rootView->setBackgroundColor(KOVTheme::backgroundColor());
    QPalette palette = root->palette();
    palette.setColor(QPalette::Window, KOVTheme::backgroundColor());
    root->setPalette(palette);
    root->setAutoFillBackground(true);
    m_tableView->reloadData();
    fetchNonLoadedAccounts();
    if (auto *navigation = navigationController())
        navigation->setTransparentNavigationBar();
}

void KOVAccountsViewController::viewWillAppear(bool)
{
    showRememberedRow();
}

void KOVAccountsViewController::addNewAccount()
{
    if (const auto delegate = m_delegate.lock())
        delegate->accountsViewControllerDidRequestAddAccount(*this);
}

void KOVAccountsViewController::confirmButtonTapped()
{
    startPaymentWithAccountID(selectedAccountID());
}

void KOVAccountsViewController::startPaymentWithAccountID(const QString &accountID)
{
    // The same test a row tap gets: an ID that names no row that can be
    // chosen (a placeholder's, one of a login being refreshed, one that is
    // not listed) is neither remembered nor sent from.
    const auto subaccount = choosableSubaccount(accountID);
    if (!subaccount) {
        updateConfirmButton();
        return;
    }
    setSelectedAccountID(accountID);
    if (const auto delegate = m_delegate.lock())
        delegate->accountsViewControllerDidSelectSubaccount(*this, subaccount);
}

QString KOVAccountsViewController::formattedBalance(double balance, const QString &currencyCode)
{
    if (currencyCode.isNull())
        return QStringLiteral("--");
    m_formatter.currencyFormatter().setCurrencyCode(currencyCode);
    return m_formatter.currencyFormatter().format(balance);
}

std::shared_ptr<KOVSubaccount>
KOVAccountsViewController::firstChoosable(const std::function<bool(const KOVSubaccount &)> &wanted) const
{
    for (const auto &section : m_results->sections()) {
        for (const auto &object : section.objects) {
            const auto subaccount = std::dynamic_pointer_cast<KOVSubaccount>(object);
            if (canChoose(subaccount) && wanted(*subaccount))
                return subaccount;
        }
    }
    return nullptr;
}

std::shared_ptr<KOVSubaccount> KOVAccountsViewController::choosableSubaccount(const QString &accountID) const
{
    return firstChoosable(
        [&](const KOVSubaccount &subaccount) { return KOVPaymentAccounts::sameAccountID(subaccount.accountId(), accountID); });
}

QString KOVAccountsViewController::usableAccountID() const
{
    // The remembered account is one value for the whole app: it may belong
    // to another login, or name a row that cannot be chosen now. Continue
    // then uses the first row that can be chosen, and nothing when none can.
    const QString remembered = platform::UserDefaults::standard().string(selectedAccountIDKey);
    if (choosableSubaccount(remembered))
        return remembered;
    const auto first = firstChoosable([](const KOVSubaccount &subaccount) { return !subaccount.accountId().isEmpty(); });
    return first ? first->accountId() : QString();
}

QString KOVAccountsViewController::selectedAccountID()
{
    const QString result = usableAccountID();
    if (m_confirmButton)
        m_confirmButton->setEnabled(!result.isEmpty());
    return result;
}

void KOVAccountsViewController::updateConfirmButton()
{
    selectedAccountID(); // sets Continue as it answers
}

void KOVAccountsViewController::setSelectedAccountID(const QString &accountID)
{
    if (accountID.isNull())
        platform::UserDefaults::standard().removeObject(selectedAccountIDKey);
    else if (choosableSubaccount(accountID))
        platform::UserDefaults::standard().setValue(selectedAccountIDKey, accountID);
    updateConfirmButton();
}

void KOVAccountsViewController::showRememberedRow()
{
    if (!m_tableView)
        return;
    const QString remembered = selectedAccountID();
    if (remembered.isEmpty())
        return;
    const auto &sections = m_results->sections();
    for (qsizetype s = 0; s < sections.size(); ++s) {
        for (qsizetype r = 0; r < sections.at(s).objects.size(); ++r) {
            const auto subaccount = std::dynamic_pointer_cast<KOVSubaccount>(sections.at(s).objects.at(r));
            if (subaccount && KOVPaymentAccounts::sameAccountID(subaccount->accountId(), remembered)
                && canChoose(subaccount) && s < m_tableView->numberOfSections() && r < m_tableView->numberOfRows(int(s))) {
                m_tableView->selectRow(IndexPath{int(s), int(r)});
                return;
            }
        }
    }
}

void KOVAccountsViewController::fetchNonLoadedAccounts()
{
    // Taken first: a refresh may change the list while this walks it.
    const auto sections = m_results->sections();
    for (qsizetype s = 0; s < sections.size(); ++s) {
        for (const auto &object : sections.at(s).objects) {
            const auto subaccount = std::dynamic_pointer_cast<KOVSubaccount>(object);
            if (!subaccount || subaccount->name() != s_placeholderName)
                continue;
            const QString userID = userIDOf(subaccount);
            if (!userID.isEmpty() && !m_refreshingUserIDs.contains(userID))
                updateSection(int(s), userID);
        }
    }
}

void KOVAccountsViewController::updateSection(int section, const QString &userID)
{
    (void)section;
    m_refreshingUserIDs.append(userID);
    // That login's rows cannot be chosen until the refresh ends.
    updateConfirmButton();
    // Headers built before the login was marked (a placeholder's, at load)
    // show the refresh as well.
    for (const auto &[index, header] : m_headers) {
        if (header && index >= 0 && index < std::max<qsizetype>(1, m_results->sections().size())
            && userIDOfSection(index) == userID)
            header->setIsRefreshing(true);
    }
    auto ended = std::make_shared<bool>(false);
    auto finish = [weak = std::weak_ptr<ViewController>(shared_from_this()), userID, ended](OptionalError) {
        if (std::exchange(*ended, true))
            return;
        const auto self = std::static_pointer_cast<KOVAccountsViewController>(weak.lock());
        if (!self)
            return;
        self->m_refreshingUserIDs.removeAll(userID);
        // Every header of that login on show stops its spinner; sections
        // may have moved since the refresh began.
        for (const auto &[index, header] : self->m_headers) {
            if (header && index >= 0 && index < std::max<qsizetype>(1, self->m_results->sections().size())
                && self->userIDOfSection(index) == userID)
                header->setIsRefreshing(false);
        }
        self->showRememberedRow();
    };
    const auto delegate = m_delegate.lock();
    if (!delegate) {
        finish(std::nullopt);
        return;
    }
    delegate->accountsViewControllerDidRequestRefreshForUserID(*this, userID, finish);
}

KOVAccountsHeaderView *KOVAccountsViewController::headerForSection(int section) const
{
    const auto found = m_headers.find(section);
    return found == m_headers.end() ? nullptr : found->second.data();
}

int KOVAccountsViewController::numberOfSections(platform::TableView &)
{
    return std::max<int>(1, int(m_results->sections().size()));
}

int KOVAccountsViewController::numberOfRows(platform::TableView &, int section)
{
    const auto &sections = m_results->sections();
    if (section < 0 || section >= sections.size())
        return 0;
    return int(sections.at(section).objects.size());
}

platform::TableViewCell *KOVAccountsViewController::cellForRow(platform::TableView &table, const IndexPath &indexPath)
{
    auto *cell = table.dequeueReusableCell<KOVAccountsTableViewCell>(reuseIdentifier<KOVAccountsTableViewCell>(), indexPath);
    if (cell)
        configureCell(cell, indexPath);
    return cell;
}

qreal KOVAccountsViewController::heightForRow(platform::TableView &, const IndexPath &)
{
    return 94;
}

void KOVAccountsViewController::configureCell(KOVAccountsTableViewCell *cell, const IndexPath &indexPath)
{
    const auto subaccount = subaccountAt(indexPath);
    if (!subaccount)
        return;
    const std::optional<double> balance = subaccount->balance();
    if (balance)
        cell->setBankName(platform::fillPlaceholders(Localizer::getLocalizedStringByKey(QStringLiteral("Updated %@")),
                                                     {KovaDates::timeAgoSinceNow(subaccount->modifiedAt())}));
    else
        cell->setBankName(Localizer::getLocalizedStringByKey(QStringLiteral("FetchingBalance")));
    cell->setAccountType(capitalized(subaccount->type()));
    cell->setBalance(formattedBalance(balance.value_or(0), subaccount->currencyCode()));
    cell->setAccountNumber(subaccount->number());
    cell->setAccountID(subaccount->accountId());
    const auto connection = subaccount->connection();
    const auto bankInfo = connection ? connection->bankInfo() : nullptr;
    cell->setLogoURL(bankInfo ? QUrl(bankInfo->miniLogo()) : QUrl());
    const int rows = numberOfRows(*m_tableView, indexPath.section);
    int corners = 0;
    if (rows == 1)
        corners = KOVAccountsTableViewCell::AllCorners;
    else if (indexPath.row == 0)
        corners = KOVAccountsTableViewCell::TopLeft | KOVAccountsTableViewCell::TopRight;
    else if (indexPath.row == rows - 1)
        corners = KOVAccountsTableViewCell::BottomLeft | KOVAccountsTableViewCell::BottomRight;
    cell->setRoundedCorners(corners);
    cell->setIsBalanceLoading(!balance);
    cell->setIsShimmering(subaccount->name() == s_placeholderName);
}

KOVAccountsHeaderView *KOVAccountsViewController::makeHeader(int section)
{
    auto *header = new KOVAccountsHeaderView;
    const auto self = sharedAs<KOVAccountsViewController>();
    const auto &sections = m_results->sections();
    if (!sections.isEmpty() && section < sections.size()) {
        const auto first = subaccountAt({section, 0});
        int verifying = -1;
        for (qsizetype s = 0; s < sections.size(); ++s) {
            const auto head = subaccountAt({int(s), 0});
            if (head && head->sortingCreatedAt() < 0) {
                verifying = int(s);
                break;
            }
        }
        const auto connection = first ? first->connection() : nullptr;
        const auto bankInfo = connection ? connection->bankInfo() : nullptr;
        header->setShowEmptyAccountsView(false);
        header->setBody(bankInfo ? bankInfo->bankName() : QString());
        header->setTitle(section == verifying ? Localizer::getLocalizedStringByKey(QStringLiteral("Verifying")) : QString());
        header->setDelegate(self);
        header->setIsRefreshing(m_refreshingUserIDs.contains(userIDOf(first)));
        header->setSection(section);
        header->setRefreshingEnabled(!first || first->name() != s_placeholderName);
        header->setThemeColor(KOVTheme::activeColor());
    } else {
        header->setBody(m_connection ? m_connection->bankName() : QString());
        header->setDelegate(self);
        header->setIsRefreshing(false);
        header->setSection(section);
        header->setRefreshingEnabled(true);
        header->setThemeColor(KOVTheme::activeColor());
        header->setShowEmptyAccountsView(true);
    }
    return header;
}

QWidget *KOVAccountsViewController::viewForHeader(platform::TableView &, int section)
{
    KOVAccountsHeaderView *header = makeHeader(section);
    m_headers[section] = header;
    return header;
}

qreal KOVAccountsViewController::heightForHeader(platform::TableView &, int section)
{
    if (KOVAccountsHeaderView *header = headerForSection(section))
        return header->sizeHint().height();
    std::unique_ptr<KOVAccountsHeaderView> probe(makeHeader(section));
    return probe->sizeHint().height();
}

bool KOVAccountsViewController::canChoose(const std::shared_ptr<KOVSubaccount> &subaccount) const
{
    return subaccount && subaccount->sortingCreatedAt() > 0 && !m_refreshingUserIDs.contains(userIDOf(subaccount))
        && subaccount->name() != s_placeholderName && subaccount->balance();
}

std::optional<IndexPath> KOVAccountsViewController::willSelectRow(platform::TableView &, const IndexPath &indexPath)
{
    // The highlight shows the account Continue will use: a row that cannot
    // become it leaves the highlight where it was.
    if (!canChoose(subaccountAt(indexPath)))
        return std::nullopt;
    return indexPath;
}

void KOVAccountsViewController::didSelectRow(platform::TableView &, const IndexPath &indexPath)
{
    const auto subaccount = subaccountAt(indexPath);
    if (canChoose(subaccount))
        setSelectedAccountID(subaccount->accountId());
}

void KOVAccountsViewController::controllerWillChangeContent(platform::FetchedResultsController &)
{
    m_pending.clear();
}

void KOVAccountsViewController::controllerDidChangeSection(platform::FetchedResultsController &controller,
                                                           int sectionIndex, ChangeType type)
{
    switch (type) {
    case ChangeType::Insert:
        m_pending.append({PendingChange::InsertSection, sectionIndex, 0});
        break;
    case ChangeType::Delete:
        m_pending.append({PendingChange::DeleteSection, sectionIndex, 0});
        break;
    case ChangeType::Update:
        m_pending.append({PendingChange::ReloadSection, sectionIndex, 0});
        break;
    case ChangeType::Move:
        break;
    }
    (void)controller;
}

void KOVAccountsViewController::controllerDidChangeObject(platform::FetchedResultsController &,
                                                          const std::shared_ptr<platform::ManagedObject> &,
                                                          ObjectIndex indexPath, ChangeType type,
                                                          ObjectIndex newIndexPath)
{
    switch (type) {
    case ChangeType::Insert:
        m_pending.append({PendingChange::InsertRow, newIndexPath.section, newIndexPath.row});
        break;
    case ChangeType::Delete:
        m_pending.append({PendingChange::DeleteRow, indexPath.section, indexPath.row});
        break;
    case ChangeType::Move:
        m_pending.append({PendingChange::DeleteRow, indexPath.section, indexPath.row});
        m_pending.append({PendingChange::InsertRow, newIndexPath.section, newIndexPath.row});
        break;
    case ChangeType::Update:
        m_pending.append({PendingChange::ReloadRow, indexPath.section, indexPath.row});
        break;
    }
}

void KOVAccountsViewController::controllerDidChangeContent(platform::FetchedResultsController &controller)
{
    const QList<PendingChange> changes = std::exchange(m_pending, {});
    if (!m_tableView)
        return;
    const int sectionsNow = int(controller.sections().size());
    int removed = 0;
    for (const PendingChange &change : changes)
        removed += change.kind == PendingChange::DeleteSection;
    // The table's one empty section stands in for the store's sections only
    // while there are none: an insert into it and the delete of the last
    // section reload it instead.
    QList<int> reloadSections;
    QList<IndexPath> reloadRows;
    m_tableView->performBatchUpdates([&] {
        for (const PendingChange &change : changes) {
            switch (change.kind) {
            case PendingChange::InsertSection:
                if (sectionsNow == 1 && removed == 0 && m_tableView->numberOfSections() == 1
                    && m_tableView->numberOfRows(0) == 0)
                    reloadSections.append(0);
                else
                    m_tableView->insertSections({change.section});
                break;
            case PendingChange::DeleteSection:
                if (sectionsNow == 0)
                    reloadSections.append(change.section);
                else
                    m_tableView->deleteSections({change.section});
                break;
            case PendingChange::ReloadSection:
                reloadSections.append(change.section);
                break;
            case PendingChange::InsertRow:
                m_tableView->insertRows({IndexPath{change.section, change.row}});
                break;
            case PendingChange::DeleteRow:
                m_tableView->deleteRows({IndexPath{change.section, change.row}});
                break;
            case PendingChange::ReloadRow:
                reloadRows.append(IndexPath{change.section, change.row});
                break;
            }
        }
    });
    if (!reloadSections.isEmpty())
        m_tableView->reloadSections(reloadSections);
    if (!reloadRows.isEmpty())
        m_tableView->reloadRows(reloadRows);
    showRememberedRow();
}

void KOVAccountsViewController::accountsHeaderViewDidTapUpdateAtSection(KOVAccountsHeaderView &header, int section)
{
    const QString userID = userIDOfSection(section);
    if (userID.isEmpty()) {
        // Nothing to refresh: the refresh the header began ends here.
        header.setIsRefreshing(false);
        return;
    }
    updateSection(section, userID);
}

} // namespace kova
