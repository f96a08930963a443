#include "ui/look/KOVLabel.h"

namespace kova {

QSize KOVLabel::intrinsicContentSize() const
{
    const QSize base = platform::Label::intrinsicContentSize();
    return QSize(base.width(), qRound(base.height() * 1.5));
}

} // namespace kova
