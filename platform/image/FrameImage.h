#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>

namespace kova::platform {

class ImageSource;

// One image of an image source, as the source hands it out: cheap to make,
// composited only when its pixels are asked for. Keeps its source alive.
class FrameImage {
public:
    FrameImage(std::shared_ptr<ImageSource> source, size_t index, QSize size);

    size_t index() const { return m_index; }
    QSize size() const { return m_size; }
    // The pixels; a null image when memory runs out.
    QImage image() const;
    // The pixels redrawn by `transform` (see ImageSource::imageAtIndex).
    QImage image(const std::function<QImage(const QImage &)> &transform) const;
    QString description() const;

private:
    std::shared_ptr<ImageSource> m_source;
    size_t m_index;
    QSize m_size;
};

} // namespace kova::platform
