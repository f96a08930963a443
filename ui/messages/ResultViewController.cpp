#include "ui/messages/ResultViewController.h"

#include "core/Localizer.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/StackView.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewHelpers.h"
#include "ui/look/AssetsLoader.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVTheme.h"
#include "ui/look/UIColorImage.h"

namespace kova {

using platform::Attr;
using platform::Guide;

std::shared_ptr<ResultViewController> ResultViewController::initWithColorScheme(
    std::shared_ptr<KOVFinancialInstitutionColor> colorScheme, bool isSuccess, const QString &message)
{
    auto screen = std::make_shared<ResultViewController>();
    screen->m_message = message;
    screen->m_colorScheme = std::move(colorScheme);
    screen->m_isSuccess = isSuccess;
    return screen;
}

void ResultViewController::loadView()
{
    setView(new platform::View);
}

void ResultViewController::viewDidLoad()
{
    static_cast<platform::View *>(view())->setBackgroundColor(KOVTheme::backgroundColor());
    setupImageView();
    setupResultLabel();
    setupStackView();
    m_stackView->addArrangedSubview(m_imageView);
    m_stackView->addArrangedSubview(m_resultLabel);
    setupStackViewConstraints();
    setupActionButton();
    setupActionButtonConstraints();
}

void ResultViewController::setupImageView()
{
    m_imageView = new platform::ImageView(AssetsLoader::imageNamed(m_isSuccess ? QStringLiteral("Success")
                                                                               : QStringLiteral("Failure")));
    m_imageView->setContentMode(platform::ImageView::ContentMode::ScaleAspectFit);
    m_imageView->setFixedHeight(36);
}

void ResultViewController::setupResultLabel()
{
    m_resultLabel = new platform::Label;
    m_resultLabel->setFont(KOVFontManager::font(KOVFontManager::medium(), 18));
    m_resultLabel->setTextColor(Qt::black);
    m_resultLabel->setNumberOfLines(0);
    m_resultLabel->setTextAlignment(Qt::AlignHCenter);
    m_resultLabel->setText(m_message);
}

void ResultViewController::setupStackView()
{
    m_stackView = new platform::StackView(Qt::Vertical, view());
    m_stackView->setSpacing(32);
}

void ResultViewController::setupStackViewConstraints()
{
    platform::anchor(m_stackView, Attr::Width, view(), Attr::Width, 0, Guide::Bounds, 0.9);
    platform::anchor(m_stackView, Attr::CenterX, view(), Attr::CenterX);
    platform::anchor(m_stackView, Attr::CenterY, view(), Attr::CenterY);
}

void ResultViewController::setupActionButton()
{
    m_actionButton = new platform::Button(view());
    if (m_colorScheme)
        m_actionButton->setBackgroundImage(imageWithColor(m_colorScheme->secondaryColor()));
    m_actionButton->setCornerRadius(16);
    QString key = QStringLiteral("Continue");
    if (!m_isSuccess)
        key = m_showsTryAgian ? QStringLiteral("TryAgain") : QStringLiteral("Close");
    m_actionButton->setTitle(Localizer::getLocalizedStringByKey(key));
    m_actionButton->setTitleFont(KOVFontManager::font(KOVFontManager::bold(), 16));
    m_actionButton->setTitleColor(Qt::white);
    QObject::connect(m_actionButton, &platform::Button::clicked, this, [this] { actionButtonTapped(); });
}

void ResultViewController::setupActionButtonConstraints()
{
    platform::size(m_actionButton, Attr::Height, 64);
    platform::anchor(m_actionButton, Attr::Width, view(), Attr::Width, 0, Guide::Bounds, 0.9);
    platform::anchor(m_actionButton, Attr::CenterX, view(), Attr::CenterX);
    // Clear of the bottom edge on a screen without a home indicator; on the
    // safe area's edge where the screen has its own margin there.
    const bool noBottomInset = platform::safeAreaInsets(view()).bottom() == 0;
    platform::anchor(m_actionButton, Attr::Bottom, view(), Attr::Bottom, noBottomInset ? -16 : 0, Guide::SafeArea);
}

void ResultViewController::actionButtonTapped()
{
    // A failure asks to try again even when its button reads "Close".
    if (m_isSuccess)
        proceedConnection();
    else
        restartConnection();
}

void ResultViewController::proceedConnection()
{
    if (const auto delegate = m_delegate.lock())
        delegate->resultViewControllerDidSuccess(*this);
}

void ResultViewController::restartConnection()
{
    if (const auto delegate = m_delegate.lock())
        delegate->resultViewControllerDidFailAndTryAgain(*this);
}

} // namespace kova
