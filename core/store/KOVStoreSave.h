#pragma once

#include "platform/foundation/Error.h"

namespace kova::platform {
class ManagedObjectContext;
}

namespace kova {

// The SDK's one save path: with no changes it saves nothing and stamps
// nothing; otherwise it stamps every updated object, then every inserted
// one, all with one moment, and saves. A failed save returns false with the store's error.
bool saveContextStamping(platform::ManagedObjectContext &context, platform::Error *error);

} // namespace kova
