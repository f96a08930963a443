#pragma once

#include <functional>

namespace kova {

// The one-time registration of the SDK's fonts, started when the app-wide
// state is first made. The look-and-feel layer installs the registration;
// until it does, starting it only notes that fonts are not available yet.
void setFontRegistration(std::function<void()> registration);
void startFontRegistration();

} // namespace kova
