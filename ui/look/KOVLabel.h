#pragma once

// Usage: a Label that stands 1.5 times as tall as its text.

#include "platform/ui/Label.h"

namespace kova {

class KOVLabel : public platform::Label {
    Q_OBJECT
public:
    using platform::Label::Label;
    QSize intrinsicContentSize() const override;
};

} // namespace kova
