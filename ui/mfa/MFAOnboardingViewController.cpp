#include "ui/mfa/MFAOnboardingViewController.h"

#include <QVBoxLayout>

#include "core/Localizer.h"
#include "core/records/KOVColorHex.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/PageControl.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewHelpers.h"
#include "ui/look/AssetsLoader.h"
#include "ui/look/KOVFontColors.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVTheme.h"
#include "ui/look/UIColorImage.h"

namespace kova {

using platform::Attr;

MFAOnboardingViewController::MFAOnboardingViewController()
{
    m_instructions = {Localizer::getLocalizedStringByKey(QStringLiteral("EmiratesNBDApp")),
                      Localizer::getLocalizedStringByKey(QStringLiteral("SelectSmartPass")),
                      Localizer::getLocalizedStringByKey(QStringLiteral("SmartPassCode"))};
}

// The guide's layout: a card in the middle of the screen holding the
// picture, the page dots, the instruction and the button.
void MFAOnboardingViewController::loadView()
{
    auto *root = new platform::View;
    root->setBackgroundColor(KOVTheme::backgroundColor());
    setView(root);

    m_baseView = new platform::View(root);
    m_baseView->setObjectName(QStringLiteral("baseView"));
    m_baseView->setBackgroundColor(KOVTheme::errorViewbackgroundColor());
    m_baseView->setBorder(KOVTheme::errorBorderViewbackgroundColor(), 1);
    platform::anchor(m_baseView, Attr::Width, root, Attr::Width, 0, platform::Guide::Bounds, 0.9);
    platform::centerIn(m_baseView, root);

    m_imageView = new platform::ImageView;
    m_imageView->setContentMode(platform::ImageView::ContentMode::ScaleAspectFit);
    m_imageView->setFixedHeight(200);
    m_pageControl = new platform::PageControl;
    m_pageControl->setNumberOfPages(PageCount);
    m_pageControl->setCurrentPage(0);
    m_pageControl->setPageIndicatorTintColor(KOVFontColors::b35());
    m_pageControl->setCurrentPageIndicatorTintColor(colorWithHexString(QStringLiteral("#719CDD")));
    m_instructionLabel = new platform::Label;
    m_instructionLabel->setNumberOfLines(0);
    m_instructionLabel->setTextAlignment(Qt::AlignHCenter);
    m_instructionLabel->setTextColor(KOVFontColors::b100());
    m_actionButton = new platform::Button;
    m_actionButton->setTitleColor(Qt::white);
    m_actionButton->setFixedHeight(56);
    connect(m_actionButton, &platform::Button::clicked, this, &MFAOnboardingViewController::buttonTapped);

    auto *column = new QVBoxLayout(m_baseView);
    column->setContentsMargins(24, 32, 24, 24);
    column->setSpacing(16);
    column->addWidget(m_imageView);
    column->addWidget(m_pageControl, 0, Qt::AlignHCenter);
    column->addWidget(m_instructionLabel);
    column->addSpacing(8);
    column->addWidget(m_actionButton);
}

void MFAOnboardingViewController::viewDidLoad()
{
    platform::setUserInteractionEnabled(m_pageControl, false);
    m_baseView->setCornerRadius(20);
    m_baseView->setClipsToBounds(true);
    m_actionButton->setCornerRadius(16);
    m_actionButton->setBackgroundImage(imageWithColor(colorWithHexString(QStringLiteral("#719CDD"))));
    updateImage();
    updateInstructionsLabel();
    updateButtonTitle();
    m_instructionLabel->setFont(KOVFontManager::font(KOVFontManager::regular(), 16));
    m_actionButton->setTitleFont(KOVFontManager::font(KOVFontManager::bold(), 16));
}

void MFAOnboardingViewController::viewDidAppear(bool animated)
{
    platform::ViewController::viewDidAppear(animated);
    updateButtonTitle();
}

int MFAOnboardingViewController::currentPage() const
{
    return m_pageControl ? m_pageControl->currentPage() : 0;
}

void MFAOnboardingViewController::buttonTapped()
{
    if (currentPage() >= PageCount - 1) {
        dismiss(true);
        return;
    }
    m_pageControl->setCurrentPage(std::min(currentPage() + 1, PageCount - 1));
    updateImage();
    updateInstructionsLabel();
    updateButtonTitle();
}

void MFAOnboardingViewController::updateImage()
{
    // A picture missing from the resources leaves the page without one.
    m_imageView->setImage(AssetsLoader::imageNamed(QStringLiteral("ENBD-Onboarding-%1").arg(currentPage())));
}

void MFAOnboardingViewController::updateInstructionsLabel()
{
    const int page = currentPage();
    m_instructionLabel->setText(page < m_instructions.size() ? m_instructions.at(page) : QString());
}

void MFAOnboardingViewController::updateButtonTitle()
{
    m_actionButton->setTitle(Localizer::getLocalizedStringByKey(currentPage() == PageCount - 1 ? QStringLiteral("Ok")
                                                                                              : QStringLiteral("Next")));
}

} // namespace kova
