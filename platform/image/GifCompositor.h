#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <array>
#include <vector>

#include "platform/image/GifContainer.h"

namespace kova::platform {

// Builds full-canvas frames the way a player shows them: each frame drawn over
// what its predecessors left, after their disposal. Frames are composited in
// order; asking for an earlier frame than the last one starts over from the
// first. A frame of which not one pixel decodes is passed over as if absent;
// pixels a frame lacks leave the canvas as it stands.
// Not thread-safe: its owner serialises calls.
class GifCompositor {
public:
    GifCompositor(QByteArray data, const GifContainer &container, qint64 maximumPixels);

    // The canvas after frame `index` is drawn, or a null image when that frame
    // does not decode (or memory runs out). The image owns its pixels: the
    // canvas is never shared, so no thread ever reads pixels another writes.
    QImage imageAtIndex(size_t index);
    // Brings the canvas to frame `index`; false when that frame does not
    // decode. The canvas is then readable through canvas() until the next call.
    bool compositeToIndex(size_t index);
    const QImage &canvas() const { return m_canvas; }
    // Whether frame `index` decodes, answered once and remembered.
    bool isDecodable(size_t index);

    // How often compositing had to start over from the first frame.
    int restartCount() const { return m_restarts; }

private:
    enum class Validity : unsigned char { Unknown, Good, Bad };
    using Palette = std::array<QRgb, 256>;

    bool canvasUsable() const;
    bool frameShapeUsable(const GifFrameRecord &frame) const;
    // Decodes the palette indexes of a frame into `indexes` (row-major, the
    // frame's own size) and its colours into `palette`, where 0 marks an index
    // that leaves the canvas untouched; m_rowPixels says how much of each row
    // arrived. Data that ends early (or breaks off) still gives the rows
    // before it and the pixels of the row it stops in; false when not one
    // pixel decodes. With no `indexes` only checks.
    bool decodeFrame(size_t index, std::vector<unsigned char> *indexes, Palette *palette);
    bool restart();
    void drawFrame(size_t index, const std::vector<unsigned char> &indexes, const Palette &palette);
    void applyPendingDisposal();

    QByteArray m_data;
    const GifContainer &m_container;
    qint64 m_maximumPixels;
    std::vector<Validity> m_validity;

    QImage m_canvas;
    size_t m_next = 0;              // first frame not yet considered
    qint64 m_lastDrawn = -1;        // frame whose pixels the canvas shows
    QRect m_pendingRect;            // the last drawn frame's area on the canvas
    int m_pendingDisposal = 0;
    QImage m_savedArea;             // what that area held before, for disposal 3
    std::vector<unsigned char> m_indexes;
    std::vector<int> m_rowPixels;   // pixels of each row of the last decoded frame
    int m_restarts = 0;
};

} // namespace kova::platform
