#include "platform/image/UTType.h"

namespace kova::platform::UTType {

QString typeOfImageData(QByteArrayView data)
{
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a"))
        return kUTTypeGIF;
    if (data.startsWith("\x89PNG\r\n\x1a\n"))
        return kUTTypePNG;
    if (data.startsWith("\xff\xd8\xff"))
        return kUTTypeJPEG;
    if (data.size() >= 14 && data.startsWith("BM"))
        return kUTTypeBMP;
    if (data.startsWith(QByteArrayView("II*\0", 4)) || data.startsWith(QByteArrayView("MM\0*", 4)))
        return kUTTypeTIFF;
    return {};
}

bool conformsTo(const QString &type, const QString &conformsTo)
{
    if (type.isEmpty() || conformsTo.isEmpty())
        return false;
    if (type == conformsTo || conformsTo == kUTTypeData)
        return true;
    if (conformsTo == kUTTypeImage)
        return type == kUTTypeGIF || type == kUTTypePNG || type == kUTTypeJPEG || type == kUTTypeBMP
            || type == kUTTypeTIFF;
    return false;
}

} // namespace kova::platform::UTType
