#include "ui/payment/KOVSubaccountsViewController.h"

#include "core/store/KOVSubaccount.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/StackView.h"
#include "ui/look/AssetsLoader.h"
#include "ui/look/KOVFontColors.h"
#include "ui/look/KOVFontManager.h"
#include "platform/ui/View.h"
#include "ui/look/KOVTheme.h"
#include "ui/look/ViewStyling.h"

namespace kova {

using platform::anchor;
using platform::Attr;
using platform::Guide;

KOVSubaccountTableViewCell::KOVSubaccountTableViewCell(QWidget *parent) : platform::TableViewCell(parent)
{
    auto label = [](const QColor &color, Qt::Alignment alignment) {
        auto *l = new platform::Label;
        l->setFont(KOVFontManager::font(KOVFontManager::regular(), 14));
        l->setTextColor(color);
        l->setTextAlignment(alignment);
        return l;
    };
    m_accountTypeLabel = label(KOVFontColors::b60(), Qt::AlignLeft);
    m_balanceLabel = label(KOVFontColors::b100(), Qt::AlignLeft);
    m_updatedAtLabel = label(KOVFontColors::b35(), Qt::AlignHCenter);

    // Decoration only: it never takes a tap.
    m_moreButton = new platform::Button;
    m_moreButton->setBackgroundImage(AssetsLoader::imageNamed(QStringLiteral("Indicator")));
    m_moreButton->setEnabled(false);
    m_moreButton->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_moreButton->setFixedSize(4, 10);

    QWidget *content = contentView();
    auto *labels = new platform::StackView(Qt::Vertical, content);
    labels->setAlignment(platform::StackView::Alignment::Leading);
    labels->setDistribution(platform::StackView::Distribution::FillEqually);
    labels->setSpacing(4);
    labels->addArrangedSubview(m_accountTypeLabel);
    labels->addArrangedSubview(m_balanceLabel);
    auto *more = new platform::StackView(Qt::Vertical, content);
    more->setAlignment(platform::StackView::Alignment::Trailing);
    more->setSpacing(4);
    more->addArrangedSubview(m_moreButton);
    more->addArrangedSubview(m_updatedAtLabel);

    anchor(labels, Attr::Leading, content, Attr::Leading, 30);
    anchor(labels, Attr::CenterY, content, Attr::CenterY);
    anchor(labels, Attr::Height, content, Attr::Height, 0, Guide::Bounds, 0.8);
    anchor(more, Attr::Trailing, content, Attr::Trailing, -30);
    anchor(more, Attr::Top, content, Attr::CenterY, -5);
    anchor(more, Attr::Bottom, content, Attr::Bottom, -13);
}

void KOVSubaccountTableViewCell::setLastUpdate(const QString &lastUpdate)
{
    m_lastUpdate = lastUpdate;
    m_updatedAtLabel->setText(lastUpdate);
}

void KOVSubaccountTableViewCell::setBalance(const QString &balance)
{
    m_balance = balance;
    m_balanceLabel->setText(balance);
}

void KOVSubaccountTableViewCell::setAccountType(const QString &accountType)
{
    m_accountType = accountType;
    m_accountTypeLabel->setText(accountType);
}

KOVSubaccountsViewController::KOVSubaccountsViewController(QList<std::shared_ptr<KOVSubaccount>> subaccounts)
    : m_subaccounts(std::move(subaccounts))
{
}

void KOVSubaccountsViewController::viewDidLoad()
{
    QWidget *root = view();
    const auto self = sharedAs<KOVSubaccountsViewController>();
    m_tableView = new platform::TableView(root);
    m_tableView->setBackgroundColor(KOVTheme::subaccountsBackground());
    m_tableView->registerCell(reuseIdentifier<KOVSubaccountTableViewCell>(), [] { return new KOVSubaccountTableViewCell; });
    m_tableView->setDataSource(self);
    m_tableView->setDelegate(self);
    platform::pinEdges(m_tableView, root, {}, Guide::SafeArea);
    // The root view paints its own fill, over any palette.
    if (auto *rootView = qobject_cast<platform::View *>(root))
        rootView->setBackgroundColor(KOVTheme::backgroundColor());
    QPalette palette = root->palette();
    palette.setColor(QPalette::Window, KOVTheme::backgroundColor());
    root->setPalette(palette);
    root->setAutoFillBackground(true);
    m_tableView->reloadData();
}

QString KOVSubaccountsViewController::formattedBalance(double balance, const QString &currencyCode)
{
    m_formatter.currencyFormatter().setCurrencyCode(currencyCode);
    return m_formatter.currencyFormatter().format(balance);
}

int KOVSubaccountsViewController::numberOfRows(platform::TableView &, int)
{
    return int(m_subaccounts.size());
}

platform::TableViewCell *KOVSubaccountsViewController::cellForRow(platform::TableView &table,
                                                                  const platform::IndexPath &indexPath)
{
    auto *cell = table.dequeueReusableCell<KOVSubaccountTableViewCell>(reuseIdentifier<KOVSubaccountTableViewCell>(), indexPath);
    if (!cell || indexPath.row < 0 || indexPath.row >= m_subaccounts.size())
        return cell;
    const auto &subaccount = m_subaccounts.at(indexPath.row);
    cell->setAccountType(subaccount->type());
    cell->setLastUpdate(m_formatter.dateFormatter().format(subaccount->modifiedAt()));
    cell->setBalance(formattedBalance(subaccount->balance().value_or(0), subaccount->currencyCode()));
    return cell;
}

qreal KOVSubaccountsViewController::heightForRow(platform::TableView &, const platform::IndexPath &)
{
    return 80;
}

void KOVSubaccountsViewController::didSelectRow(platform::TableView &table, const platform::IndexPath &indexPath)
{
    const auto delegate = m_delegate.lock();
    if (delegate && indexPath.row >= 0 && indexPath.row < m_subaccounts.size())
        delegate->subaccountViewControllerDidSelectSubaccount(*this, m_subaccounts.at(indexPath.row));
    table.deselectRow(indexPath);
}

} // namespace kova
