#pragma once

#include <QString>

namespace kova::platform {

// Where a damaged file is kept instead of being deleted: beside it, under
// "<path>.damaged-<UTC time>", with "-2", "-3" … when that name is taken.
QString unusedDamagedName(const QString &path);

} // namespace kova::platform
