#include "ui/look/AssetsLoader.h"

#include <QFile>
#include <QGuiApplication>

#include "platform/foundation/Bundle.h"

namespace kova {

QImage AssetsLoader::imageNamed(const QString &name)
{
    if (name.isEmpty())
        return QImage();
    const auto bundle = platform::Bundle::framework();
    // The variant for the screen's scale: "@2x" on dense screens when there
    // is one, else the plain file.
    const qreal scale = qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? qGuiApp->devicePixelRatio() : 1.0;
    const QStringList variants = scale > 1.0 ? QStringList{name + QStringLiteral("@2x"), name}
                                             : QStringList{name, name + QStringLiteral("@2x")};
    for (const QString &variant : variants) {
        const QString path = bundle->pathForResource(variant, QStringLiteral("png"));
        if (path.isEmpty())
            continue;
        QImage image(path);
        if (image.isNull())
            continue;
        image.setDevicePixelRatio(variant.endsWith(QLatin1String("@2x")) ? 2.0 : 1.0);
        return image;
    }
    return QImage();
}

QByteArray AssetsLoader::dataForGIFNamed(const QString &name)
{
    if (name.isEmpty())
        return QByteArray();
    const QString path = platform::Bundle::framework()->pathForResource(name, QStringLiteral("gif"));
    if (path.isEmpty())
        return QByteArray();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace kova
