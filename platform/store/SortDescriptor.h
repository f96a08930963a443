#pragma once

#include <QString>

namespace kova::platform {

// Orders fetch results by an attribute, also through to-one relationships
// ("connection.createdAt"). Empty values come first in ascending order.
struct SortDescriptor {
    QString key;
    bool ascending = true;

    bool operator==(const SortDescriptor &other) const = default;
};

} // namespace kova::platform
