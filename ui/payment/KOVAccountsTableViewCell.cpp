#include "ui/payment/KOVAccountsTableViewCell.h"

#include <QDateTime>
#include <QPainter>
#include <QPainterPath>

#include "core/Localizer.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/StackView.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewHelpers.h"
#include "ui/look/KOVFontColors.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVImageManager.h"
#include "ui/look/KOVTheme.h"
#include "ui/look/ViewStyling.h"

namespace kova {

using platform::anchor;
using platform::Attr;

namespace {

// The row's background, rounded only at the corners the row's place in its
// section asks for. The shape follows the view's size, so a row laid out
// after its corners were set is still drawn whole.
class CornerView : public platform::View {
public:
    using platform::View::View;
    int corners = 0;
    qreal radius = 16;
    QColor fill;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF r = rect();
        const qreal d = 2 * radius;
        QPainterPath path;
        path.moveTo(r.left() + ((corners & 1) ? radius : 0), r.top());
        if (corners & 2) {
            path.lineTo(r.right() - radius, r.top());
            path.arcTo(QRectF(r.right() - d, r.top(), d, d), 90, -90);
        } else {
            path.lineTo(r.right(), r.top());
        }
        if (corners & 8) {
            path.lineTo(r.right(), r.bottom() - radius);
            path.arcTo(QRectF(r.right() - d, r.bottom() - d, d, d), 0, -90);
        } else {
            path.lineTo(r.right(), r.bottom());
        }
        if (corners & 4) {
            path.lineTo(r.left() + radius, r.bottom());
            path.arcTo(QRectF(r.left(), r.bottom() - d, d, d), 270, -90);
        } else {
            path.lineTo(r.left(), r.bottom());
        }
        if (corners & 1) {
            path.lineTo(r.left(), r.top() + radius);
            path.arcTo(QRectF(r.left(), r.top(), d, d), 180, -90);
        } else {
            path.lineTo(r.left(), r.top());
        }
        path.closeSubpath();
        painter.fillPath(path, fill);
    }
};

platform::Label *makeLabel(const QString &font, qreal size, const QColor &color, Qt::Alignment alignment)
{
    auto *label = new platform::Label;
    label->setFont(KOVFontManager::font(font, size));
    label->setTextColor(color);
    label->setTextAlignment(alignment);
    return label;
}

// Hides the direct subviews of `view`; a stack view is not hidden itself but
// has the same rule applied to its own subviews, to any depth.
void setIsHiddenForSubviewsOfView(bool hidden, QWidget *view)
{
    for (QObject *child : view->children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (!widget || widget->isWindow())
            continue;
        if (auto *stack = qobject_cast<platform::StackView *>(widget))
            setIsHiddenForSubviewsOfView(hidden, stack);
        else
            widget->setHidden(hidden);
    }
}

} // namespace

KOVAccountsTableViewCell::KOVAccountsTableViewCell(QWidget *parent) : platform::TableViewCell(parent)
{
    // The names of the payment screens' controls are how a host's own tests
    // find them: hosts rely on them, so they stay as they are.
    setObjectName(QStringLiteral("accountRow"));
    QWidget *content = contentView();

    auto *base = new CornerView(content);
    base->fill = KOVTheme::textField();
    base->setClipsToBounds(true);
    m_baseView = base;
    anchor(m_baseView, Attr::Leading, content, Attr::Leading, 24);
    anchor(m_baseView, Attr::Trailing, content, Attr::Trailing, -24);
    anchor(m_baseView, Attr::Top, content, Attr::Top);
    anchor(m_baseView, Attr::Height, content, Attr::Height);

    m_selectedView = new platform::View(content);
    m_selectedView->setBackgroundColor(Qt::transparent);
    m_selectedView->setCornerRadius(16);
    m_selectedView->setClipsToBounds(true);
    anchor(m_selectedView, Attr::Leading, content, Attr::Leading, 32);
    anchor(m_selectedView, Attr::Trailing, content, Attr::Trailing, -32);
    anchor(m_selectedView, Attr::Top, content, Attr::Top, 8);
    anchor(m_selectedView, Attr::Bottom, content, Attr::Bottom, -8);

    m_logoBackground = new platform::View;
    m_logoBackground->setBackgroundColor(Qt::white);
    m_logoBackground->setCornerRadius(12);
    m_logoBackground->setClipsToBounds(true);
    m_logoBackground->setFixedSize(32, 32);
    m_logo = new platform::ImageView(m_logoBackground);
    m_logo->setContentMode(platform::ImageView::ContentMode::ScaleAspectFit);
    platform::pinEdges(m_logo, m_logoBackground);

    m_updateLabel = makeLabel(KOVFontManager::regular(), 12, KOVFontColors::b60(), Qt::AlignLeft);
    m_typeLabel = makeLabel(KOVFontManager::regular(), 14, typeColor(), Qt::AlignLeft);
    m_numberLabel = makeLabel(KOVFontManager::regular(), 12, KOVFontColors::b60(), Qt::AlignRight);
    m_balanceLabel = makeLabel(KOVFontManager::bold(), 14, KOVFontColors::b100(), Qt::AlignRight);

    auto *labels = new platform::StackView(Qt::Vertical);
    labels->setSpacing(8);
    labels->addArrangedSubview(m_typeLabel);
    labels->addArrangedSubview(m_updateLabel);
    auto *amounts = new platform::StackView(Qt::Vertical);
    amounts->setSpacing(8);
    amounts->addArrangedSubview(m_balanceLabel);
    amounts->addArrangedSubview(m_numberLabel);
    auto *logoStack = new platform::StackView(Qt::Horizontal, m_selectedView);
    logoStack->setAlignment(platform::StackView::Alignment::Center);
    logoStack->setSpacing(12);
    logoStack->addArrangedSubview(m_logoBackground);
    logoStack->addArrangedSubview(labels);
    auto *amountStack = new platform::StackView(Qt::Horizontal, m_selectedView);
    amountStack->setAlignment(platform::StackView::Alignment::Center);
    amountStack->setSpacing(8);
    amountStack->addArrangedSubview(amounts);
    m_stacks = {labels, amounts, logoStack, amountStack};

    anchor(logoStack, Attr::Leading, m_selectedView, Attr::Leading, 8);
    anchor(logoStack, Attr::CenterY, m_selectedView, Attr::CenterY);
    anchor(logoStack, Attr::Height, m_selectedView, Attr::Height);
    anchor(amountStack, Attr::Trailing, m_selectedView, Attr::Trailing, -18);
    anchor(amountStack, Attr::CenterY, m_selectedView, Attr::CenterY);
    anchor(amountStack, Attr::Height, m_selectedView, Attr::Height, 0, platform::Guide::Bounds, 0.7);

    m_loadingLabel = makeLabel(KOVFontManager::regular(), 16, KOVFontColors::b100(), Qt::AlignHCenter);
    m_loadingLabel->setParent(m_selectedView);
    m_loadingLabel->setText(Localizer::getLocalizedStringByKey(QStringLiteral("LoadingAccount")));
    m_loadingLabel->hide();
    anchor(m_loadingLabel, Attr::Top, m_selectedView, Attr::Top, 16);
    anchor(m_loadingLabel, Attr::Leading, logoStack, Attr::Leading, 8 + 32);
    anchor(m_loadingLabel, Attr::Trailing, m_selectedView, Attr::Trailing);

    m_shimmeringView = new platform::View(content);
    m_shimmeringView->hide();
    m_shimmeringView->setClipsToBounds(true);
    m_shimmeringView->setCornerRadius(8);
    // In the content view, under the loading text of the card.
    anchor(m_shimmeringView, Attr::Top, m_selectedView, Attr::Top, 16 + 20 + 12);
    anchor(m_shimmeringView, Attr::Leading, m_selectedView, Attr::Leading, 8 + 32 + 16);
    anchor(m_shimmeringView, Attr::Trailing, m_selectedView, Attr::Trailing, -16);
    platform::size(m_shimmeringView, Attr::Height, 18);
    m_shimmeringView->raise();

    m_countdown.setInterval(60 * 1000);
}

QString KOVAccountsTableViewCell::shortenedNumber(const QString &number)
{
    return QStringLiteral("**") + (number.size() < 4 ? number : number.right(4));
}

void KOVAccountsTableViewCell::setBankName(const QString &bankName)
{
    m_bankName = bankName;
    m_updateLabel->setText(bankName);
}

void KOVAccountsTableViewCell::setAccountType(const QString &accountType)
{
    m_accountType = accountType;
    m_typeLabel->setText(accountType);
}

void KOVAccountsTableViewCell::setBalance(const QString &balance)
{
    m_balance = balance;
    m_balanceLabel->setText(balance);
}

void KOVAccountsTableViewCell::setAccountNumber(const QString &accountNumber)
{
    m_accountNumber = accountNumber;
    m_numberLabel->setText(shortenedNumber(accountNumber));
}

void KOVAccountsTableViewCell::setIsBalanceLoading(bool loading)
{
    m_isBalanceLoading = loading;
    m_balanceLabel->setHidden(loading);
    platform::setAlpha(m_balanceLabel, loading ? 0 : 1);
}

void KOVAccountsTableViewCell::setLogoURL(const QUrl &url)
{
    m_logoURL = url;
    KOVImageManager::sharedInstance().fetchImageWithURL(
        url, [guard = QPointer<KOVAccountsTableViewCell>(this)](const QImage &, const std::optional<platform::Error> &) {
            if (guard && guard->m_isShimmering)
                guard->m_logo->setImage(QImage());
        });
}

void KOVAccountsTableViewCell::setIsShimmering(bool shimmering)
{
    m_isShimmering = shimmering;
    setIsHiddenForSubviewsOfView(shimmering, m_selectedView);
    m_logoBackground->show();
    m_logo->show();
    m_loadingLabel->setVisible(shimmering);
    m_shimmeringView->setVisible(shimmering);
    const QColor placeholder = shimmering ? KOVTheme::shimmerView() : QColor(Qt::transparent);
    m_logoBackground->setBackgroundColor(shimmering ? placeholder : QColor(Qt::white));
    m_shimmeringView->setBackgroundColor(placeholder);
    platform::MainQueue::async([guard = QPointer<KOVAccountsTableViewCell>(this), shimmering]() {
        if (!guard || guard->m_isShimmering != shimmering)
            return;
        if (shimmering) {
            guard->m_logo->setImage(QImage());
            startShimmering(guard->m_logoBackground);
            startShimmering(guard->m_shimmeringView);
        } else {
            setImageURL(guard->m_logo, guard->m_logoURL);
            stopShimmering(guard->m_logoBackground);
            stopShimmering(guard->m_shimmeringView);
        }
    });
}

void KOVAccountsTableViewCell::setRoundedCorners(int corners)
{
    m_roundedCorners = corners;
    platform::MainQueue::async([guard = QPointer<KOVAccountsTableViewCell>(this), corners]() {
        if (!guard)
            return;
        static_cast<CornerView *>(guard->m_baseView)->corners = corners;
        guard->m_baseView->update();
    });
}

int KOVAccountsTableViewCell::appliedCorners() const
{
    return static_cast<CornerView *>(m_baseView)->corners;
}

void KOVAccountsTableViewCell::setSelected(bool selected)
{
    platform::TableViewCell::setSelected(selected);
    m_selectedView->setBackgroundColor(selected ? QColor(Qt::white) : QColor(Qt::transparent));
}

void KOVAccountsTableViewCell::setTimeLeft(double secondsSince1970)
{
    const qint64 seconds = QDateTime::currentDateTimeUtc().secsTo(QDateTime::fromSecsSinceEpoch(qint64(secondsSince1970), Qt::UTC));
    const qint64 hours = seconds > 0 ? seconds / 3600 : 0;
    const qint64 minutes = seconds > 0 ? (seconds % 3600) / 60 : 0;
    QString text = Localizer::getLocalizedStringByKey(QStringLiteral("TimeLeft"));
    if (hours >= 1)
        text += QString::number(hours) + QLatin1Char(':');
    text += QString::number(minutes) + (hours >= 1 ? QStringLiteral(" h") : QStringLiteral(" m"));
    m_updateLabel->setText(text);
}

void KOVAccountsTableViewCell::setActivationDate(double secondsSince1970)
{
    stopCountdown();
    if (!(secondsSince1970 > 0)) {
        m_typeLabel->setText(m_accountType);
        return;
    }
    setTimeLeft(secondsSince1970);
    QObject::connect(&m_countdown, &QTimer::timeout, this, [this, secondsSince1970] { setTimeLeft(secondsSince1970); });
    m_countdown.start();
}

void KOVAccountsTableViewCell::stopCountdown()
{
    m_countdown.stop();
    QObject::disconnect(&m_countdown, &QTimer::timeout, this, nullptr);
}

void KOVAccountsTableViewCell::prepareForReuse()
{
    // A reused row never keeps another row's countdown.
    stopCountdown();
}

} // namespace kova
