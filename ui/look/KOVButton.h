#pragma once

// Usage: `auto *b = new KOVButton(parent); b->setTitle("Continue");
// b->setEnabled(false);` The accent button: Muli-SemiBold 16, white title, the
// accent (read once, at creation) as background, 40% of it when disabled,
// corner radius 16. Intrinsic size: width 64, height = the title's width.

#include "platform/ui/Button.h"

namespace kova {

class KOVButton : public platform::Button {
    Q_OBJECT
public:
    explicit KOVButton(QWidget *parent = nullptr);
    QSize intrinsicContentSize() const;
    QSize sizeHint() const override;
};

} // namespace kova
