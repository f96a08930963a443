#include "ui/look/KOVButton.h"

#include <QFontMetrics>

#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVTheme.h"
#include "ui/look/UIColorImage.h"

namespace kova {

KOVButton::KOVButton(QWidget *parent) : platform::Button(parent)
{
    setTitleFont(KOVFontManager::font(KOVFontManager::semiBold(), 16));
    setTitleColor(Qt::white, State::Normal);
    // The accent is read once: a button keeps the colour it was made with.
    const QColor accent = KOVTheme::activeColor();
    QColor faded = accent;
    faded.setAlphaF(0.4f);
    setBackgroundImage(imageWithColor(accent), State::Normal);
    setBackgroundImage(imageWithColor(faded), State::Disabled);
    setCornerRadius(16);
}

QSize KOVButton::intrinsicContentSize() const
{
    // 64 wide; as tall as the title is wide.
    const QFontMetrics metrics(font());
    return QSize(64, metrics.horizontalAdvance(currentTitle()));
}

QSize KOVButton::sizeHint() const
{
    return intrinsicContentSize();
}

} // namespace kova
