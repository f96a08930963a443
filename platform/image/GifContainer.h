#pragma once

#include <QByteArrayView>
#include <QRect>
#include <QSize>
#include <optional>
#include <vector>

namespace kova::platform {

// What a graphic control block says about the frame that follows it.
struct GifGraphicControl {
    int disposal = 0;           // 0 unspecified, 1 keep, 2 clear to background, 3 restore previous
    int delayCentiseconds = 0;  // as stored: hundredths of a second
    int transparentIndex = -1;  // -1 when the frame has no transparent colour
};

// Where one image of the file lives and how it is to be drawn. Geometry is the
// descriptor's, untrusted: it may lie partly or wholly outside the canvas.
struct GifFrameRecord {
    QRect rect;
    bool interlaced = false;
    qsizetype offset = 0;       // the image separator
    qsizetype dataOffset = 0;   // the first data sub-block, after the code size
    qsizetype end = 0;          // just past the image data's terminator (or the file's end)
    bool complete = false;      // the image data's blocks were all present
    bool headerReadable = true; // giflib accepted the descriptor (and code size)
    std::optional<GifGraphicControl> control;
};

// The layout of a GIF file, read once without decoding any pixels: canvas,
// palette presence, loop count and one record per image.
class GifContainer {
public:
    static GifContainer scan(QByteArrayView data, int maximumFrameCount);

    bool readable = false;          // header and screen descriptor were read
    QSize canvas;
    bool hasGlobalPalette = false;
    qsizetype headerLength = 0;     // header, screen descriptor and global palette
    std::optional<int> loopCount;   // absent when the file has no looping extension
    bool frameLimitReached = false;
    std::vector<GifFrameRecord> frames;
};

} // namespace kova::platform
