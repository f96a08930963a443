// Compiled into each program that links the SDK (see platform/CMakeLists.txt),
// so the libraries themselves never carry a path to the source tree.
#include <QString>

namespace kova::platform {

QString defaultResourcesDir();

QString defaultResourcesDir()
{
    return QString::fromUtf8(KOVA_DEFAULT_RESOURCES_DIR);
}

} // namespace kova::platform
