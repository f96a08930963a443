#include "platform/image/ImageSource.h"

#include "platform/image/FrameImage.h"
#include "platform/image/UTType.h"

namespace kova::platform {

namespace {

GifContainer scanIfGif(const QByteArray &data, const QString &type, int maximumFrameCount)
{
    if (type != UTType::kUTTypeGIF)
        return {};
    return GifContainer::scan(data, maximumFrameCount);
}

QString number(double value)
{
    return QString::number(value, 'g', 15);
}

} // namespace

QString ImageProperties::description() const
{
    QString text = QStringLiteral("{PixelHeight = %1; PixelWidth = %2;").arg(pixelHeight).arg(pixelWidth);
    if (gif) {
        text += QStringLiteral(" \"{GIF}\" = {DelayTime = %1; UnclampedDelayTime = %2;};")
                    .arg(number(gif->delayTime), number(gif->unclampedDelayTime));
    }
    return text + QLatin1Char('}');
}

std::shared_ptr<ImageSource> ImageSource::createWithData(const QByteArray &data, Limits limits)
{
    if (data.isEmpty())
        return nullptr;
    return std::make_shared<ImageSource>(Passkey{}, data, limits);
}

std::shared_ptr<ImageSource> ImageSource::createWithData(const QByteArray &data)
{
    return createWithData(data, Limits{});
}

ImageSource::ImageSource(Passkey, QByteArray data, Limits limits)
    : m_data(std::move(data)),
      m_type(UTType::typeOfImageData(m_data)),
      m_container(scanIfGif(m_data, m_type, limits.maximumFrameCount)),
      m_compositor(m_data, m_container, limits.maximumCanvasPixels)
{
}

QString ImageSource::type() const
{
    return m_type;
}

size_t ImageSource::count() const
{
    return m_container.frames.size();
}

QSize ImageSource::canvasSize() const
{
    return m_container.canvas;
}

std::optional<int> ImageSource::loopCount() const
{
    return m_container.loopCount;
}

ImageProperties ImageSource::propertiesAtIndex(size_t index) const
{
    ImageProperties properties;
    if (index >= m_container.frames.size())
        return properties;
    properties.pixelWidth = m_container.canvas.width();
    properties.pixelHeight = m_container.canvas.height();
    if (const auto &control = m_container.frames[index].control) {
        GifFrameProperties gif;
        gif.unclampedDelayTime = control->delayCentiseconds / 100.0;
        gif.delayTime = control->delayCentiseconds <= 1 ? 0.1 : gif.unclampedDelayTime;
        properties.gif = gif;
    }
    return properties;
}

QString ImageSource::propertiesDescription() const
{
    QString text = QStringLiteral("{FileSize = %1;").arg(m_data.size());
    if (m_type == UTType::kUTTypeGIF && m_container.readable) {
        text += QStringLiteral(" \"{GIF}\" = {CanvasPixelHeight = %1; CanvasPixelWidth = %2; HasGlobalColorMap = %3;")
                    .arg(m_container.canvas.height())
                    .arg(m_container.canvas.width())
                    .arg(m_container.hasGlobalPalette ? 1 : 0);
        if (m_container.loopCount)
            text += QStringLiteral(" LoopCount = %1;").arg(*m_container.loopCount);
        text += QStringLiteral("};");
    }
    return text + QLatin1Char('}');
}

QString ImageSource::description() const
{
    return QStringLiteral("<ImageSource: 0x%1 type=%2 count=%3>")
        .arg(quintptr(this), 0, 16)
        .arg(m_type.isNull() ? QStringLiteral("(null)") : m_type)
        .arg(count());
}

std::shared_ptr<const FrameImage> ImageSource::createImageAtIndex(size_t index)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_compositor.isDecodable(index))
            return nullptr;
    }
    return std::make_shared<const FrameImage>(shared_from_this(), index, m_container.canvas);
}

QImage ImageSource::imageAtIndex(size_t index)
{
    std::lock_guard lock(m_mutex);
    return m_compositor.imageAtIndex(index);
}

QImage ImageSource::imageAtIndex(size_t index, const Transform &transform)
{
    std::lock_guard lock(m_mutex);
    if (!m_compositor.compositeToIndex(index))
        return {};
    const QImage &canvas = m_compositor.canvas();
    QImage result = transform(canvas);
    if (!result.isNull() && result.constBits() == canvas.constBits())
        result = result.copy();
    return result;
}

int ImageSource::compositorRestartCount() const
{
    std::lock_guard lock(m_mutex);
    return m_compositor.restartCount();
}

} // namespace kova::platform
