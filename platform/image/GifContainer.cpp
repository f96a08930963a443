#include "platform/image/GifContainer.h"

#include <cstring>
#include <gif_lib.h>

#include "platform/image/GifReader.h"

namespace kova::platform {

namespace {

bool isLoopingApplication(const GifByteType *block)
{
    // An application block starts with its 11-byte identifier and code.
    return block && block[0] == 11
        && (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
}

// Reads the rest of an extension's sub-blocks; false when the file ends first.
bool skipExtensionBlocks(GifFileType *file, GifByteType *block)
{
    while (block) {
        if (DGifGetExtensionNext(file, &block) == GIF_ERROR)
            return false;
    }
    return true;
}

} // namespace

GifContainer GifContainer::scan(QByteArrayView data, int maximumFrameCount)
{
    GifContainer result;
    GifReader reader(data);
    if (!reader.open())
        return result;
    GifFileType *file = reader.file();
    result.readable = true;
    result.canvas = QSize(file->SWidth, file->SHeight);
    result.hasGlobalPalette = file->SColorMap != nullptr;
    result.headerLength = reader.position();

    std::optional<GifGraphicControl> pendingControl;
    for (;;) {
        const qsizetype recordStart = reader.position();
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(file, &type) == GIF_ERROR)
            break;
        if (type == TERMINATE_RECORD_TYPE)
            break;
        if (type == IMAGE_DESC_RECORD_TYPE) {
            if (int(result.frames.size()) >= maximumFrameCount) {
                result.frameLimitReached = true;
                break;
            }
            if (DGifGetImageDesc(file) == GIF_ERROR) {
                // Counted, as an image that does not decode; its data is
                // stepped over so the images after it can still be read.
                GifFrameRecord refused;
                refused.headerReadable = false;
                refused.offset = recordStart;
                refused.control = pendingControl;
                pendingControl.reset();
                const bool skipped = reader.skipSubBlocks();
                refused.end = reader.position();
                result.frames.push_back(refused);
                if (!skipped)
                    break;
                continue;
            }
            GifFrameRecord frame;
            frame.rect = QRect(file->Image.Left, file->Image.Top, file->Image.Width, file->Image.Height);
            frame.interlaced = file->Image.Interlace;
            frame.offset = recordStart;
            frame.dataOffset = reader.position();
            frame.control = pendingControl;
            pendingControl.reset();
            // Skip the compressed data block by block; decoding waits until a
            // frame is asked for.
            int codeSize = 0;
            GifByteType *block = nullptr;
            bool ok = DGifGetCode(file, &codeSize, &block) != GIF_ERROR;
            while (ok && block)
                ok = DGifGetCodeNext(file, &block) != GIF_ERROR;
            frame.end = reader.position();
            frame.complete = ok;
            result.frames.push_back(frame);
            if (!ok)
                break;
            continue;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType *block = nullptr;
            if (DGifGetExtension(file, &code, &block) == GIF_ERROR)
                break;
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] == 4) {
                GraphicsControlBlock gcb;
                if (DGifExtensionToGCB(4, block + 1, &gcb) == GIF_OK) {
                    GifGraphicControl control;
                    control.disposal = gcb.DisposalMode >= 0 && gcb.DisposalMode <= 3 ? gcb.DisposalMode : 0;
                    control.delayCentiseconds = gcb.DelayTime;
                    control.transparentIndex = gcb.TransparentColor;
                    pendingControl = control;
                }
            } else if (code == APPLICATION_EXT_FUNC_CODE && isLoopingApplication(block)) {
                if (DGifGetExtensionNext(file, &block) == GIF_ERROR)
                    break;
                // Sub-block 1 carries the loop count, little-endian.
                if (block && block[0] >= 3 && block[1] == 1 && !result.loopCount)
                    result.loopCount = int(block[2]) | (int(block[3]) << 8);
            }
            if (!skipExtensionBlocks(file, block))
                break;
            continue;
        }
        break;
    }
    return result;
}

} // namespace kova::platform
