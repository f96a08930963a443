#include "ui/payment/KOVTransferLoaderViewController.h"

#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Label.h"
#include "platform/ui/StackView.h"
#include "platform/ui/View.h"
#include "ui/look/KOVFontColors.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVTheme.h"

namespace kova {

using platform::anchor;
using platform::Attr;

KOVTransferLoaderViewController::KOVTransferLoaderViewController()
{
    setModalPresentationStyle(platform::ModalPresentationStyle::Alert);
}

void KOVTransferLoaderViewController::loadView()
{
    auto *box = new platform::View;
    box->setBackgroundColor(Qt::white);
    box->setCornerRadius(14);
    box->setIntrinsicContentSize(QSize(270, 130));

    m_indicator = new platform::ActivityIndicator(box, platform::ActivityIndicator::Style::Large);
    m_indicator->setColor(KOVTheme::autoFlowLoaderBackground());
    m_indicator->setFixedSize(50, 50);
    anchor(m_indicator, Attr::CenterX, box, Attr::CenterX);
    anchor(m_indicator, Attr::Top, box, Attr::Top, 15);
    m_indicator->startAnimating();

    const QFont font = KOVFontManager::font(KOVFontManager::regular(), 14);
    m_messageLabel = new platform::Label;
    m_messageLabel->setFont(font);
    m_messageLabel->setTextColor(KOVFontColors::b100());
    m_dotsLabel = new platform::Label;
    m_dotsLabel->setFont(font);
    m_dotsLabel->setTextColor(KOVTheme::loaderDotsColor());
    auto *line = new platform::StackView(Qt::Horizontal, box);
    line->addArrangedSubview(m_messageLabel);
    line->addArrangedSubview(m_dotsLabel);
    anchor(line, Attr::CenterX, box, Attr::CenterX);
    anchor(line, Attr::Top, m_indicator, Attr::Bottom, 16);
    setView(box);
    refresh();
}

void KOVTransferLoaderViewController::setMessage(const QString &message, int visibleDots, int faintDots)
{
    m_message = message;
    m_visibleDots = visibleDots;
    m_faintDots = faintDots;
    refresh();
}

QString KOVTransferLoaderViewController::shownText() const
{
    return m_message + QString(m_visibleDots, QLatin1Char('.')) + QString(m_faintDots, QLatin1Char('.'));
}

void KOVTransferLoaderViewController::refresh()
{
    if (!m_messageLabel)
        return;
    m_messageLabel->setText(m_message + QString(m_visibleDots, QLatin1Char('.')));
    m_dotsLabel->setText(QString(m_faintDots, QLatin1Char('.')));
}

} // namespace kova
