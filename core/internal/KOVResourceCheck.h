#pragma once

#include <optional>

#include "platform/foundation/Error.h"

namespace kova {

// Whether the SDK's own resources (the data model and the string table) can
// be read where it looks for them. An error names every one that cannot,
// and where they were looked for: a start without them would store nothing
// it links and show keys instead of texts.
std::optional<platform::Error> missingResourcesError();

} // namespace kova
