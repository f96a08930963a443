#include "ui/payment/KOVAccountsHeaderView.h"

#include <QFontMetrics>

#include "core/Localizer.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/StackView.h"
#include "ui/look/AssetsLoader.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVTheme.h"
#include "ui/look/ViewStyling.h"

namespace kova {

using platform::anchor;
using platform::Attr;

namespace {
constexpr int s_cardTop = 75;
constexpr int s_cardHeight = 300;
} // namespace

KOVAccountsHeaderView::KOVAccountsHeaderView(QWidget *parent) : platform::View(parent)
{
    m_baseView = new platform::View(this);
    m_baseView->setBackgroundColor(KOVTheme::backgroundColor());
    platform::pinEdges(m_baseView, this);

    m_noAccountsView = new platform::View(m_baseView);
    m_noAccountsView->setBackgroundColor(Qt::white);
    m_noAccountsView->setCornerRadius(15);
    anchor(m_noAccountsView, Attr::Top, m_baseView, Attr::Top, s_cardTop);
    platform::size(m_noAccountsView, Attr::Height, s_cardHeight);
    anchor(m_noAccountsView, Attr::Leading, m_baseView, Attr::Leading, 32);
    anchor(m_noAccountsView, Attr::Trailing, m_baseView, Attr::Trailing, -32);
    applyKOVShadow(m_noAccountsView);

    m_noAccountsImage = new platform::ImageView(AssetsLoader::imageNamed(QStringLiteral("ExclamationError")));
    m_noAccountsImage->setContentMode(platform::ImageView::ContentMode::ScaleAspectFit);
    m_noAccountsImage->setFixedHeight(38);
    m_noAccountsHeaderLabel = new platform::Label(Localizer::getLocalizedStringByKey(QStringLiteral("TryAgain")));
    m_noAccountsHeaderLabel->setFont(KOVFontManager::font(KOVFontManager::bold(), 16));
    m_noAccountsHeaderLabel->setTextAlignment(Qt::AlignHCenter);
    m_noAccountsBodyLabel = new platform::Label(Localizer::getLocalizedStringByKey(QStringLiteral("NoAccounts")));
    m_noAccountsBodyLabel->setFont(KOVFontManager::font(KOVFontManager::medium(), 14));
    m_noAccountsBodyLabel->setTextAlignment(Qt::AlignHCenter);
    m_noAccountsBodyLabel->setNumberOfLines(0);
    auto *cardStack = new platform::StackView(Qt::Vertical, m_noAccountsView);
    cardStack->setSpacing(16);
    cardStack->addArrangedSubview(m_noAccountsImage);
    cardStack->addArrangedSubview(m_noAccountsHeaderLabel);
    cardStack->addArrangedSubview(m_noAccountsBodyLabel);
    anchor(cardStack, Attr::Leading, m_noAccountsView, Attr::Leading, 16);
    anchor(cardStack, Attr::Trailing, m_noAccountsView, Attr::Trailing, -16);
    anchor(cardStack, Attr::Bottom, m_noAccountsView, Attr::Bottom, -40);

    m_headerLabel = new platform::Label;
    m_headerLabel->setFont(KOVFontManager::font(KOVFontManager::regular(), 16));
    m_headerLabel->hide();
    // The line with the extra room under it: the stack's spacing is 4, and
    // 18 follow the separator.
    m_separator = new QWidget;
    m_separator->setFixedHeight(1 + 14);
    auto *line = new platform::View(m_separator);
    line->setBackgroundColor(QColor::fromRgbF(0.93f, 0.943f, 0.962f, 1.0f));
    line->setGeometry(0, 0, 2000, 1);
    m_separator->hide();
    m_bodyLabel = new platform::Label;
    m_bodyLabel->setFont(KOVFontManager::font(KOVFontManager::bold(), 14));
    m_stackView = new platform::StackView(Qt::Vertical, this);
    m_stackView->setSpacing(4);
    m_stackView->addArrangedSubview(m_headerLabel);
    m_stackView->addArrangedSubview(m_separator);
    m_stackView->addArrangedSubview(m_bodyLabel);
    anchor(m_stackView, Attr::Leading, this, Attr::Leading, 32);
    anchor(m_stackView, Attr::Trailing, this, Attr::Trailing, -18);
    anchor(m_stackView, Attr::Top, this, Attr::Top, 18);

    auto *button = new platform::Button(this);
    button->setTitle(Localizer::getLocalizedStringByKey(QStringLiteral("Update")));
    button->setTitleFont(KOVFontManager::font(KOVFontManager::regular(), 14));
    button->setCursor(Qt::PointingHandCursor);
    m_refreshButton = button;
    connect(button, &QAbstractButton::clicked, this, [this] { refreshButtonTapped(); });
    anchor(button, Attr::Trailing, this, Attr::Trailing, -32);
    // Update's text sits on the bank name's baseline: the button's bottom
    // goes down by its own inset and the two faces' difference in descent.
    const QMargins insets(8, 6, 8, 6);
    button->setContentEdgeInsets(insets);
    const int baselineOffset = insets.bottom() + QFontMetrics(button->font()).descent()
        - QFontMetrics(m_bodyLabel->font()).descent();
    anchor(button, Attr::Bottom, m_stackView, Attr::Bottom, baselineOffset);

    m_activityIndicatorView = new platform::ActivityIndicator(this);
    m_activityIndicatorView->setHidesWhenStopped(true);
    anchor(m_activityIndicatorView, Attr::CenterX, button, Attr::CenterX);
    anchor(m_activityIndicatorView, Attr::CenterY, button, Attr::CenterY);

    setShowEmptyAccountsView(false);
}

QSize KOVAccountsHeaderView::sizeHint() const
{
    const int titleBlock = m_stackView->sizeHint().height() + 36;
    // The empty-state card hangs below the title block; in a widget tree it
    // has to lie inside the header to be seen at all.
    const int card = m_showEmptyAccountsView ? s_cardTop + s_cardHeight + 24 : 0;
    return QSize(390, std::max(titleBlock, card));
}

void KOVAccountsHeaderView::setTitle(const QString &title)
{
    m_title = title;
    m_headerLabel->setText(title);
    const bool hidden = title.isEmpty();
    m_headerLabel->setHidden(hidden);
    m_separator->setHidden(hidden);
    updateGeometry();
}

void KOVAccountsHeaderView::setBody(const QString &body)
{
    m_body = body;
    m_bodyLabel->setText(body);
}

void KOVAccountsHeaderView::setIsRefreshing(bool refreshing)
{
    m_isRefreshing = refreshing;
    m_refreshButton->setHidden(refreshing);
    if (refreshing)
        m_activityIndicatorView->startAnimating();
    else
        m_activityIndicatorView->stopAnimating();
}

void KOVAccountsHeaderView::setShowEmptyAccountsView(bool show)
{
    m_showEmptyAccountsView = show;
    m_noAccountsView->setVisible(show);
    updateGeometry();
}

void KOVAccountsHeaderView::setRefreshingEnabled(bool enabled)
{
    m_refreshingEnabled = enabled;
    m_refreshButton->setVisible(enabled);
}

void KOVAccountsHeaderView::setThemeColor(const QColor &color)
{
    m_themeColor = color;
    static_cast<platform::Button *>(m_refreshButton)->setTitleColor(color);
}

void KOVAccountsHeaderView::refreshButtonTapped()
{
    // The spinner goes first: a refresh that ends at once, inside the
    // delegate's call, stops it again and brings Update back.
    m_refreshButton->hide();
    m_activityIndicatorView->startAnimating();
    if (const auto delegate = m_delegate.lock())
        delegate->accountsHeaderViewDidTapUpdateAtSection(*this, m_section);
}

} // namespace kova
