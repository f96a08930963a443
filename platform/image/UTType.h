#pragma once

#include <QByteArrayView>
#include <QString>

// Uniform type identifiers for image data: the names the platform gives image
// formats, and the conformance test between them.
namespace kova::platform::UTType {

inline const QString kUTTypeGIF = QStringLiteral("com.compuserve.gif");
inline const QString kUTTypePNG = QStringLiteral("public.png");
inline const QString kUTTypeJPEG = QStringLiteral("public.jpeg");
inline const QString kUTTypeBMP = QStringLiteral("com.microsoft.bmp");
inline const QString kUTTypeTIFF = QStringLiteral("public.tiff");
inline const QString kUTTypeImage = QStringLiteral("public.image");
inline const QString kUTTypeData = QStringLiteral("public.data");

// The image type the bytes announce by their signature; a null QString when
// they are not a known image format.
QString typeOfImageData(QByteArrayView data);

// Whether `type` is `conformsTo` or one of its kinds (every image type is a
// public.image, and every type public.data).
bool conformsTo(const QString &type, const QString &conformsTo);

} // namespace kova::platform::UTType
