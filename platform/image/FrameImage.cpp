#include "platform/image/FrameImage.h"

#include "platform/image/ImageSource.h"

namespace kova::platform {

FrameImage::FrameImage(std::shared_ptr<ImageSource> source, size_t index, QSize size)
    : m_source(std::move(source)), m_index(index), m_size(size)
{
}

QImage FrameImage::image() const
{
    return m_source->imageAtIndex(m_index);
}

QImage FrameImage::image(const std::function<QImage(const QImage &)> &transform) const
{
    return m_source->imageAtIndex(m_index, transform);
}

QString FrameImage::description() const
{
    return QStringLiteral("<FrameImage: 0x%1 index=%2 size={%3, %4}>")
        .arg(quintptr(this), 0, 16)
        .arg(m_index)
        .arg(m_size.width())
        .arg(m_size.height());
}

} // namespace kova::platform
