#include "platform/image/GifCompositor.h"

#include <algorithm>
#include <cstring>
#include <gif_lib.h>
#include <new>
#include <span>

#include "platform/image/GifReader.h"

namespace kova::platform {

namespace {

// Row order of an interlaced image: four passes over the rows.
struct InterlacePass {
    int start;
    int step;
};
constexpr InterlacePass kInterlacePasses[] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
constexpr InterlacePass kSequentialPass[] = {{0, 1}};

constexpr QImage::Format kCanvasFormat = QImage::Format_ARGB32_Premultiplied;

// The records of a frame whose data ends early, closed so that giflib reads
// every byte that did arrive: the last sub-block's length says what is there,
// and a terminator follows.
QByteArray closedImageData(QByteArrayView all, const GifFrameRecord &frame)
{
    QByteArray closed(all.sliced(frame.offset, frame.dataOffset - frame.offset).toByteArray());
    qsizetype position = frame.dataOffset;
    while (position < frame.end) {
        const qsizetype length = static_cast<unsigned char>(all[position]);
        const qsizetype present = std::min(length, frame.end - position - 1);
        if (present <= 0)
            break;
        closed.append(char(present));
        closed.append(all.sliced(position + 1, present).toByteArray());
        position += 1 + present;
    }
    closed.append('\0');
    return closed;
}

// Reads the file's header and positions giflib at the frame's pixel data;
// null when the descriptor does not read or disagrees with the scan.
GifFileType *startFrame(GifReader &reader, const GifFrameRecord &frame)
{
    if (!reader.open())
        return nullptr;
    GifFileType *file = reader.file();
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(file, &type) == GIF_ERROR || type != IMAGE_DESC_RECORD_TYPE)
        return nullptr;
    if (DGifGetImageDesc(file) == GIF_ERROR)
        return nullptr;
    if (file->Image.Width != frame.rect.width() || file->Image.Height != frame.rect.height())
        return nullptr;
    return file;
}

// The pixels of the row where a frame's data stops, as far as they decode.
// giflib fails a line without saying how much of it it wrote, so the frame is
// read again up to that row (`rowsBefore` whole rows in decoding order) and
// the row itself one pixel at a time. Only frames cut short pay for this.
int partialRow(QByteArrayView head, QByteArrayView records, const GifFrameRecord &frame, qsizetype rowsBefore,
               unsigned char *target)
{
    GifReader reader(head, records);
    GifFileType *file = startFrame(reader, frame);
    if (!file)
        return 0;
    const int width = frame.rect.width();
    std::vector<unsigned char> skipped;
    try {
        skipped.resize(size_t(width));
    } catch (const std::bad_alloc &) {
        return 0;
    }
    for (qsizetype row = 0; row < rowsBefore; ++row) {
        if (DGifGetLine(file, skipped.data(), width) == GIF_ERROR)
            return 0;
    }
    int pixels = 0;
    while (pixels < width && DGifGetLine(file, target + pixels, 1) == GIF_OK)
        ++pixels;
    return pixels;
}

} // namespace

GifCompositor::GifCompositor(QByteArray data, const GifContainer &container, qint64 maximumPixels)
    : m_data(std::move(data)),
      m_container(container),
      m_maximumPixels(maximumPixels),
      m_validity(container.frames.size(), Validity::Unknown)
{
    for (size_t i = 0; i < m_validity.size(); ++i) {
        if (!canvasUsable() || !frameShapeUsable(m_container.frames[i]))
            m_validity[i] = Validity::Bad;
    }
}

bool GifCompositor::canvasUsable() const
{
    const QSize canvas = m_container.canvas;
    return canvas.width() > 0 && canvas.height() > 0
        && qint64(canvas.width()) * canvas.height() <= m_maximumPixels;
}

bool GifCompositor::frameShapeUsable(const GifFrameRecord &frame) const
{
    return frame.headerReadable && frame.rect.width() > 0 && frame.rect.height() > 0
        && qint64(frame.rect.width()) * frame.rect.height() <= m_maximumPixels;
}

bool GifCompositor::isDecodable(size_t index)
{
    if (index >= m_validity.size())
        return false;
    if (m_validity[index] == Validity::Unknown)
        m_validity[index] = decodeFrame(index, nullptr, nullptr) ? Validity::Good : Validity::Bad;
    return m_validity[index] == Validity::Good;
}

bool GifCompositor::decodeFrame(size_t index, std::vector<unsigned char> *indexes, Palette *palette)
{
    const GifFrameRecord &frame = m_container.frames[index];
    if (!frameShapeUsable(frame))
        return false;
    const QByteArrayView all(m_data);
    QByteArray repaired;
    QByteArrayView records = all.sliced(frame.offset, frame.end - frame.offset);
    if (!frame.complete) {
        repaired = closedImageData(all, frame);
        records = repaired;
    }
    const QByteArrayView head = all.first(m_container.headerLength);
    GifReader reader(head, records);
    GifFileType *file = startFrame(reader, frame);
    if (!file)
        return false;
    const int width = frame.rect.width();
    const int height = frame.rect.height();
    const ColorMapObject *map = file->Image.ColorMap ? file->Image.ColorMap : file->SColorMap;
    if (!map || !map->Colors || map->ColorCount <= 0)
        return false;

    if (palette) {
        palette->fill(0);
        const int colours = std::min(map->ColorCount, 256);
        for (int i = 0; i < colours; ++i) {
            const GifColorType &c = map->Colors[i];
            (*palette)[size_t(i)] = qRgb(c.Red, c.Green, c.Blue);
        }
        const int transparent = frame.control ? frame.control->transparentIndex : -1;
        if (transparent >= 0 && transparent < 256)
            (*palette)[size_t(transparent)] = 0;
    }

    std::vector<unsigned char> line;
    try {
        if (indexes)
            indexes->resize(size_t(width) * size_t(height));
        else
            line.resize(size_t(width));
    } catch (const std::bad_alloc &) {
        return false;
    }
    if (indexes)
        m_rowPixels.assign(size_t(height), 0);
    const auto passes = frame.interlaced ? std::span<const InterlacePass>(kInterlacePasses)
                                         : std::span<const InterlacePass>(kSequentialPass);
    qsizetype rowsDone = 0;
    for (const InterlacePass &pass : passes) {
        for (int row = pass.start; row < height; row += pass.step) {
            unsigned char *target = indexes ? indexes->data() + size_t(row) * size_t(width) : line.data();
            // Where the data ends or breaks off the frame ends: what came
            // before is drawn, the row it stops in as far as it goes, as
            // players do with a file cut short.
            if (DGifGetLine(file, target, width) == GIF_ERROR) {
                const int pixels = partialRow(head, records, frame, rowsDone, target);
                if (indexes)
                    m_rowPixels[size_t(row)] = pixels;
                return rowsDone > 0 || pixels > 0;
            }
            ++rowsDone;
            if (indexes)
                m_rowPixels[size_t(row)] = width;
        }
    }
    return rowsDone > 0;
}

bool GifCompositor::restart()
{
    ++m_restarts;
    m_canvas = QImage();
    m_savedArea = QImage();
    m_next = 0;
    m_lastDrawn = -1;
    m_pendingRect = QRect();
    m_pendingDisposal = 0;
    QImage canvas(m_container.canvas, kCanvasFormat);
    if (canvas.isNull())
        return false;
    canvas.fill(0);
    m_canvas = std::move(canvas);
    return true;
}

void GifCompositor::applyPendingDisposal()
{
    if (m_pendingRect.isEmpty())
        return;
    if (m_pendingDisposal == 2) {
        for (int y = m_pendingRect.top(); y <= m_pendingRect.bottom(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(m_canvas.scanLine(y));
            std::fill(row + m_pendingRect.left(), row + m_pendingRect.left() + m_pendingRect.width(), QRgb(0));
        }
    } else if (m_pendingDisposal == 3 && !m_savedArea.isNull()) {
        const size_t bytes = size_t(m_pendingRect.width()) * sizeof(QRgb);
        for (int y = 0; y < m_pendingRect.height(); ++y) {
            std::memcpy(m_canvas.scanLine(m_pendingRect.top() + y) + size_t(m_pendingRect.left()) * sizeof(QRgb),
                        m_savedArea.constScanLine(y), bytes);
        }
    }
    m_pendingRect = QRect();
    m_pendingDisposal = 0;
    m_savedArea = QImage();
}

void GifCompositor::drawFrame(size_t index, const std::vector<unsigned char> &indexes, const Palette &palette)
{
    const GifFrameRecord &frame = m_container.frames[index];
    const QRect area = frame.rect.intersected(QRect(QPoint(0, 0), m_container.canvas));
    const int disposal = frame.control ? frame.control->disposal : 0;
    if (disposal == 3 && !area.isEmpty())
        m_savedArea = m_canvas.copy(area);
    const int frameWidth = frame.rect.width();
    const int skippedColumns = area.left() - frame.rect.left();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const int drawn = std::min(area.width(), m_rowPixels[size_t(y - frame.rect.top())] - skippedColumns);
        if (drawn <= 0)
            continue;
        const unsigned char *source = indexes.data() + size_t(y - frame.rect.top()) * size_t(frameWidth)
                                      + size_t(skippedColumns);
        auto *target = reinterpret_cast<QRgb *>(m_canvas.scanLine(y)) + area.left();
        for (int x = 0; x < drawn; ++x) {
            const QRgb colour = palette[source[x]];
            if (colour)
                target[x] = colour;
        }
    }
    m_pendingRect = area;
    m_pendingDisposal = disposal;
}

QImage GifCompositor::imageAtIndex(size_t index)
{
    if (!compositeToIndex(index))
        return {};
    return m_canvas.copy();
}

bool GifCompositor::compositeToIndex(size_t index)
{
    if (index >= m_validity.size() || m_validity[index] == Validity::Bad)
        return false;
    if (!m_canvas.isNull() && m_lastDrawn == qint64(index))
        return true;
    if (m_canvas.isNull() || index < m_next) {
        if (!restart())
            return false;
    }
    Palette palette;
    for (size_t k = m_next; k <= index; ++k) {
        m_next = k + 1;
        if (m_validity[k] == Validity::Bad)
            continue;
        if (!decodeFrame(k, &m_indexes, &palette)) {
            m_validity[k] = Validity::Bad;
            continue;
        }
        m_validity[k] = Validity::Good;
        applyPendingDisposal();
        drawFrame(k, m_indexes, palette);
        m_lastDrawn = qint64(k);
    }
    return m_lastDrawn == qint64(index);
}

} // namespace kova::platform
