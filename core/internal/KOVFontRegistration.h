#pragma once

#include <memory>

namespace kova {

class KOVScreensProvider;

// The one-time registration of the SDK's fonts, started when the app-wide
// state is first made. The installed screens provider registers them; a
// provider that arrives after the start registers them when it arrives.
void startFontRegistration();
void fontRegistrationProviderInstalled(const std::shared_ptr<KOVScreensProvider> &provider);

} // namespace kova
