#include "ui/mfa/ButtonTableFooterView.h"

#include <QFont>

#include "platform/ui/Anchors.h"
#include "platform/ui/Button.h"
#include "platform/ui/Overhang.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/UIColorImage.h"

namespace kova {

using platform::Attr;

ButtonTableFooterView::ButtonTableFooterView(QWidget *parent) : platform::View(parent)
{
    m_button = new platform::Button(this);
    m_button->setTitleFont(KOVFontManager::font(KOVFontManager::bold(), 16));
    m_button->setTitleColor(Qt::white);
    m_button->setCornerRadius(16);
    platform::anchor(m_button, Attr::Width, this, Attr::Width, 0, platform::Guide::Bounds, 0.9);
    platform::size(m_button, Attr::Height, 64);
    platform::centerIn(m_button, this);
    connect(m_button, &platform::Button::clicked, this, &ButtonTableFooterView::buttonTapped);
    m_button->setEnabled(false);
}

void ButtonTableFooterView::buttonTapped()
{
    const std::shared_ptr<ButtonTableFooterViewDelegate> delegate = m_delegate.lock();
    if (!delegate)
        return;
    if (!m_animatedImageView) {
        m_animatedImageView = new AnimatedFramesView(connectAnimation());
        m_animatedImageView->setContentMode(platform::ImageView::ContentMode::ScaleAspectFit);
        // Taller than the footer: it reaches over the row above and the
        // space below, so it must not be cut to the footer's rectangle.
        platform::overhang(m_animatedImageView, this, QSize(120, 120));
        m_animatedImageView->show();
    }
    m_button->hide();
    m_button->setEnabled(false);
    delegate->buttonTableFooterViewDidTapButton(*this);
}

void ButtonTableFooterView::setTitle(const QString &title)
{
    m_button->setTitle(title);
    QFont font = m_button->titleFont();
    font.setFamily(QFont().defaultFamily());
    font.setWeight(QFont::Bold);
    font.setPixelSize(16);
    m_button->setTitleFont(font);
}

void ButtonTableFooterView::setColor(const QColor &color)
{
    m_button->setBackgroundImage(imageWithColor(color), platform::Button::State::Normal);
    QColor faded = color;
    faded.setAlphaF(color.alphaF() * 0.5f);
    m_button->setBackgroundImage(imageWithColor(faded), platform::Button::State::Disabled);
}

void ButtonTableFooterView::setIsEnabled(bool enabled)
{
    m_isEnabled = enabled;
    m_button->setEnabled(enabled);
}

} // namespace kova
