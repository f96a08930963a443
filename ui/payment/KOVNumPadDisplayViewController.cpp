#include "ui/payment/KOVNumPadDisplayViewController.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QRect>
#include <algorithm>
#include <cmath>

#include "core/Localizer.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/StackView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewHelpers.h"
#include "ui/look/KOVButton.h"
#include "ui/look/KOVFontColors.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVFormatter.h"
#include "platform/ui/View.h"
#include "ui/look/KOVTheme.h"

namespace kova {

using platform::anchor;
using platform::Attr;
using platform::Guide;

namespace {

QWidget *twoPartLine(QWidget *parent, platform::Label *first, platform::Label *second)
{
    auto *line = new QWidget(parent);
    auto *stack = new platform::StackView(Qt::Horizontal, line);
    stack->setAlignment(platform::StackView::Alignment::Center);
    stack->addArrangedSubview(first);
    stack->addArrangedSubview(second);
    auto *filler = new QWidget(stack);
    filler->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    stack->addArrangedSubview(filler);
    platform::pinEdges(stack, line);
    return line;
}

} // namespace

QString KOVNumPadDisplayViewController::money(double value) const
{
    KOVFormatter formatter;
    formatter.currencyFormatter().setCurrencyCode(m_currency);
    return formatter.currencyFormatter().format(value);
}

void KOVNumPadDisplayViewController::viewDidLoad()
{
    QWidget *root = view();
    // The root view paints its own fill, over any palette.
    if (auto *rootView = qobject_cast<platform::View *>(root))
        rootView->setBackgroundColor(KOVTheme::backgroundColor());
    QPalette palette = root->palette();
    palette.setColor(QPalette::Window, KOVTheme::backgroundColor());
    root->setPalette(palette);
    root->setAutoFillBackground(true);

    m_currencyLabel = new platform::Label(m_currency);
    m_currencyLabel->setTextColor(KOVTheme::currencyLabel());
    m_currencyLabel->setFont(KOVFontManager::font(KOVFontManager::bold(), 30));
    m_currencyLabel->setFixedWidth(70);

    m_amountLabel = new platform::TextField;
    m_amountLabel->setObjectName(QStringLiteral("amountField")); // hosts' tests find it by name
    m_amountLabel->setText(QStringLiteral("0"));
    m_amountLabel->setTextColor(KOVTheme::amountLabel());
    m_amountLabel->setFont(KOVFontManager::font(KOVFontManager::bold(), 50));
    m_amountLabel->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    m_amountLabel->setFrame(false);
    m_amountLabel->setInputMethodHints(Qt::ImhDigitsOnly);
    QPalette fieldPalette = m_amountLabel->palette();
    fieldPalette.setColor(QPalette::Base, Qt::transparent);
    fieldPalette.setColor(QPalette::Text, KOVTheme::amountLabel());
    m_amountLabel->setPalette(fieldPalette);
    connect(m_amountLabel, &platform::TextField::editingChanged, this,
            [this](const QString &text) { amountLabelValueChanged(text); });
    // The field keeps its width whatever is typed: the font gives way, so
    // the leading digits of what Send submits are never scrolled out of view.
    connect(m_amountLabel, &QLineEdit::textChanged, this, [this] { fitAmountToWidth(); });
    m_amountLabel->installEventFilter(this);

    m_displayStackView = new platform::StackView(Qt::Horizontal, root);
    m_displayStackView->setSpacing(8);
    m_displayStackView->setAlignment(platform::StackView::Alignment::Trailing);
    m_displayStackView->addArrangedSubview(m_amountLabel);
    m_displayStackView->addArrangedSubview(m_currencyLabel);
    anchor(m_displayStackView, Attr::Leading, root, Attr::Leading, 16);
    anchor(m_displayStackView, Attr::Trailing, root, Attr::Trailing, -16);
    anchor(m_displayStackView, Attr::Top, root, Attr::Top, 46, Guide::SafeArea);

    QWidget *above = m_displayStackView;
    int gap = 16;
    if (m_balance) {
        auto *available = new platform::Label(Localizer::getLocalizedStringByKey(QStringLiteral("Available")));
        available->setFont(KOVFontManager::font(KOVFontManager::regular(), 16));
        available->setTextColor(KOVFontColors::b60());
        m_balanceAmount = new platform::Label(QStringLiteral("  ") + money(*m_balance));
        m_balanceAmount->setFont(KOVFontManager::font(KOVFontManager::bold(), 16));
        m_balanceAmount->setTextColor(KOVTheme::activeColor());
        m_balanceLabel = twoPartLine(root, available, m_balanceAmount);
        anchor(m_balanceLabel, Attr::Top, m_displayStackView, Attr::Bottom, 16);
        anchor(m_balanceLabel, Attr::Leading, m_displayStackView, Attr::Leading);
        anchor(m_balanceLabel, Attr::Trailing, root, Attr::Trailing);
        above = m_balanceLabel;
        gap = 8;
    }

    m_limitText = new platform::Label;
    m_limitText->setFont(KOVFontManager::font(KOVFontManager::regular(), 16));
    m_limitText->setTextColor(KOVTheme::limitLabel());
    m_limitAmount = new platform::Label;
    m_limitAmount->setFont(KOVFontManager::font(KOVFontManager::bold(), 16));
    m_limitAmount->setTextColor(KOVTheme::limitLabel());
    m_limitLabel = twoPartLine(root, m_limitText, m_limitAmount);
    m_limitLabel->hide();
    // Without a balance line the bound line takes its place under the amount.
    anchor(m_limitLabel, Attr::Top, above, Attr::Bottom, gap);
    anchor(m_limitLabel, Attr::Leading, m_displayStackView, Attr::Leading);
    anchor(m_limitLabel, Attr::Trailing, m_displayStackView, Attr::Trailing);

    if (m_amount && std::isfinite(*m_amount) && *m_amount >= 0)
        updateDisplayWithNumber(QString::number(quint64(std::min(*m_amount, 1.8e19))));

    m_confirmButton = new KOVButton(root);
    m_confirmButton->setCornerRadius(16);
    m_confirmButton->setTitle(Localizer::getLocalizedStringByKey(QStringLiteral("Send")));
    m_confirmButton->setObjectName(QStringLiteral("sendButton")); // hosts' tests find it by name
    m_confirmButton->setEnabled(false);
    connect(m_confirmButton, &QAbstractButton::clicked, this, [this] { confirmButtonTapped(); });
    anchor(m_confirmButton, Attr::Width, root, Attr::Width, 0, Guide::Bounds, 0.8);
    platform::size(m_confirmButton, Attr::Height, 64);
    anchor(m_confirmButton, Attr::CenterX, root, Attr::CenterX);
    m_buttonBottomConstraint = anchor(m_confirmButton, Attr::Bottom, root, Attr::Bottom, -16, Guide::SafeArea);
}

bool KOVNumPadDisplayViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_amountLabel && event->type() == QEvent::Resize)
        fitAmountToWidth();
    return platform::ViewController::eventFilter(watched, event);
}

void KOVNumPadDisplayViewController::fitAmountToWidth()
{
    if (!m_amountLabel)
        return;
    // The line edit keeps 2 pixels each side of its text and a 1-pixel
    // cursor after it; a text wider than the rest is scrolled.
    const QMargins margins = m_amountLabel->textMargins();
    const qreal available = m_amountLabel->contentsRect().width() - margins.left() - margins.right() - 2 * 2 - 1;
    const QString text = m_amountLabel->text();
    qreal size = 50;
    QFont font = KOVFontManager::font(KOVFontManager::bold(), size);
    while (size > minimumAmountFontSize && QFontMetricsF(font).horizontalAdvance(text) > available) {
        size = std::max(minimumAmountFontSize, size - 1);
        font = KOVFontManager::font(KOVFontManager::bold(), size);
    }
    if (m_amountLabel->font() != font)
        m_amountLabel->setFont(font);
}

void KOVNumPadDisplayViewController::viewWillAppear(bool)
{
    if (m_amountLabel)
        m_amountLabel->setFocus(Qt::OtherFocusReason);
    m_keyboardShow = platform::NotificationObservation(
        platform::Keyboard::WillShowNotification,
        [guard = QPointer<QObject>(this), this](const platform::Notification &n) {
            if (guard)
                keyboardWillShow(n);
        });
    m_keyboardHide = platform::NotificationObservation(
        platform::Keyboard::WillHideNotification,
        [guard = QPointer<QObject>(this), this](const platform::Notification &n) {
            if (guard)
                keyboardWillHide(n);
        });
}

void KOVNumPadDisplayViewController::viewWillDisappear(bool)
{
    m_keyboardShow = platform::NotificationObservation();
    m_keyboardHide = platform::NotificationObservation();
}

void KOVNumPadDisplayViewController::keyboardWillShow(const platform::Notification &notification)
{
    const QRect frame = notification.userInfo.value(platform::Keyboard::FrameEndUserInfoKey).toRect();
    const int bottomInset = isViewLoaded() ? platform::safeAreaInsets(view()).bottom() : 0;
    // The button's bottom constraint is measured from the safe area, so the
    // inset is given back to rest the button on the keyboard's top.
    m_buttonBottomConstraint.setConstant(-frame.height() + bottomInset);
    if (isViewLoaded())
        platform::layoutNow(view());
}

void KOVNumPadDisplayViewController::keyboardWillHide(const platform::Notification &)
{
    m_buttonBottomConstraint.setConstant(-16);
    if (isViewLoaded())
        platform::layoutNow(view());
}

void KOVNumPadDisplayViewController::amountLabelValueChanged(const QString &text)
{
    updateDisplayWithNumber(KOVAmountEntry::filtered(text));
}

void KOVNumPadDisplayViewController::updateLimitLabelText(const QString &text, quint64 amount)
{
    m_limitText->setText(text);
    m_limitAmount->setText(QStringLiteral("  ") + money(double(amount)));
}

void KOVNumPadDisplayViewController::updateDisplayWithNumber(const QString &text)
{
    m_state = KOVAmountEntry::evaluate(text, m_minimumAmount, m_maximumAmount);
    switch (m_state.limit) {
    case KOVAmountEntry::Limit::Minimum:
        updateLimitLabelText(Localizer::getLocalizedStringByKey(QStringLiteral("MinimumAmount")), m_state.limitAmount);
        break;
    case KOVAmountEntry::Limit::Maximum:
        updateLimitLabelText(Localizer::getLocalizedStringByKey(QStringLiteral("MaximumAmount")), m_state.limitAmount);
        break;
    case KOVAmountEntry::Limit::None:
        break;
    }
    m_limitLabel->setVisible(m_state.limit != KOVAmountEntry::Limit::None);
    if (m_confirmButton)
        m_confirmButton->setEnabled(m_state.sendEnabled);
    // A programmatic rewrite: the field does not report it as an edit.
    if (m_amountLabel->text() != m_state.fieldText)
        m_amountLabel->setText(m_state.fieldText);
}

void KOVNumPadDisplayViewController::confirmButtonTapped()
{
    if (!m_confirmButton || !m_confirmButton->isEnabled())
        return;
    const std::optional<quint64> value = KOVAmountEntry::parse(m_amountLabel->text());
    if (!value || *value == 0 || *value > KOVAmountEntry::largestExactAmount)
        return;
    if (const auto delegate = m_delegate.lock())
        delegate->numPadDisplayViewControllerDidSubmitValue(*this, double(*value));
}

} // namespace kova
