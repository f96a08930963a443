// Animated GIF playback: (1) frames per second through KGAnimatedImage (decode
// on its queue, predraw, store on the main thread) against raw giflib decoding
// with plain compositing of the same file; (2) the most memory the frame cache
// holds while a large GIF plays through, against the bound its cache size
// implies. GIFs are generated here with giflib's encoder.
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <gif_lib.h>
#include <vector>

#include "animatedgif/KGAnimatedImage.h"

using namespace kova;

namespace {

struct Generator {
    quint64 state = 0x9e3779b97f4a7c15ull;
    quint64 next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

int appendBytes(GifFileType *file, const GifByteType *bytes, int length)
{
    static_cast<QByteArray *>(file->UserData)->append(reinterpret_cast<const char *>(bytes), length);
    return length;
}

// `frames` full-canvas frames; high entropy makes every pixel cost the decoder.
QByteArray generateGif(int width, int height, int frames, bool highEntropy)
{
    QByteArray out;
    int error = 0;
    GifFileType *file = EGifOpen(&out, appendBytes, &error);
    EGifSetGifVersion(file, true);
    std::vector<GifColorType> colours(256);
    for (int i = 0; i < 256; ++i)
        colours[size_t(i)] = GifColorType{GifByteType(i), GifByteType(255 - i), GifByteType((i * 7) & 255)};
    ColorMapObject *map = GifMakeMapObject(256, colours.data());
    EGifPutScreenDesc(file, width, height, 8, 0, map);
    GifFreeMapObject(map);
    Generator random;
    std::vector<GifPixelType> line(static_cast<size_t>(width));
    for (int f = 0; f < frames; ++f) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSE_DO_NOT;
        gcb.DelayTime = 4;
        gcb.TransparentColor = highEntropy ? 7 : NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        EGifGCBToExtension(&gcb, extension);
        EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, 4, extension);
        EGifPutImageDesc(file, 0, 0, width, height, false, nullptr);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                line[size_t(x)] = highEntropy ? GifPixelType(random.next() >> 56) : GifPixelType(((x / 50) + (y / 50) + f) & 255);
            EGifPutLine(file, line.data(), width);
        }
    }
    EGifCloseFile(file, &error);
    return out;
}

// ---- the raw baseline: giflib's record API and a plain compositor -------------

struct Reader {
    const QByteArray *data;
    qsizetype position = 0;
};

int readBytes(GifFileType *file, GifByteType *buffer, int length)
{
    auto *reader = static_cast<Reader *>(file->UserData);
    const qsizetype count = std::min<qsizetype>(length, reader->data->size() - reader->position);
    std::memcpy(buffer, reader->data->constData() + reader->position, size_t(count));
    reader->position += count;
    return int(count);
}

// Decodes and composites every frame; returns how many frames came out.
int rawDecodeAll(const QByteArray &gif, quint64 *checksum)
{
    Reader reader{&gif};
    int error = 0;
    GifFileType *file = DGifOpen(&reader, readBytes, &error);
    std::vector<quint32> canvas(size_t(file->SWidth) * size_t(file->SHeight), 0);
    std::vector<GifPixelType> indexes;
    int transparent = -1;
    int frames = 0;
    GifRecordType type;
    while (DGifGetRecordType(file, &type) == GIF_OK && type != TERMINATE_RECORD_TYPE) {
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType *block = nullptr;
            DGifGetExtension(file, &code, &block);
            if (code == GRAPHICS_EXT_FUNC_CODE && block) {
                GraphicsControlBlock gcb;
                DGifExtensionToGCB(block[0], block + 1, &gcb);
                transparent = gcb.TransparentColor;
            }
            while (block)
                DGifGetExtensionNext(file, &block);
            continue;
        }
        DGifGetImageDesc(file);
        const GifImageDesc &d = file->Image;
        const ColorMapObject *map = d.ColorMap ? d.ColorMap : file->SColorMap;
        quint32 palette[256] = {};
        for (int i = 0; i < map->ColorCount; ++i)
            palette[i] = 0xff000000u | (quint32(map->Colors[i].Red) << 16) | (quint32(map->Colors[i].Green) << 8) | map->Colors[i].Blue;
        indexes.resize(size_t(d.Width) * size_t(d.Height));
        for (int y = 0; y < d.Height; ++y)
            DGifGetLine(file, indexes.data() + size_t(y) * size_t(d.Width), d.Width);
        for (int y = 0; y < d.Height; ++y) {
            const GifPixelType *source = indexes.data() + size_t(y) * size_t(d.Width);
            quint32 *target = canvas.data() + size_t(d.Top + y) * size_t(file->SWidth) + size_t(d.Left);
            for (int x = 0; x < d.Width; ++x) {
                if (source[x] != transparent)
                    target[x] = palette[source[x]];
            }
        }
        *checksum += canvas[size_t(frames) % canvas.size()];
        ++frames;
    }
    DGifCloseFile(file, &error);
    return frames;
}

// ---- playback through KGAnimatedImage -------------------------------------------

// Asks for each frame in turn, as a player does, until it is there.
template <typename Sample>
void play(KGAnimatedImage &image, quint64 from, quint64 to, Sample sample)
{
    for (quint64 i = from; i < to; ++i) {
        for (;;) {
            const QImage frame = image.imageLazilyCachedAtIndex(i);
            sample();
            if (!frame.isNull())
                break;
            // Sleeps until the decoded frame's delivery arrives.
            QAbstractEventDispatcher::instance()->processEvents(QEventLoop::WaitForMoreEvents);
            sample();
        }
    }
}

double seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

void throughput()
{
    constexpr int kWidth = 800, kHeight = 600, kFrames = 100, kRounds = 3;
    const QByteArray gif = generateGif(kWidth, kHeight, kFrames, true);
    std::printf("throughput: %dx%d, %d frames, high entropy, %.1f MB file\n", kWidth, kHeight, kFrames,
                gif.size() / 1048576.0);

    double bestRaw = 1e300, bestImage = 1e300, bestCreate = 1e300;
    quint64 checksum = 0;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const int frames = rawDecodeAll(gif, &checksum);
        bestRaw = std::min(bestRaw, seconds(timer) / frames);

        timer.restart();
        auto image = KGAnimatedImage::animatedImageWithGIFData(gif);
        bestCreate = std::min(bestCreate, seconds(timer));
        if (!image) {
            std::printf("  KGAnimatedImage could not be made\n");
            return;
        }
        // Frame 0 is the poster, ready at creation: the rest go through the queue.
        timer.restart();
        play(*image, 1, kFrames, [] {});
        bestImage = std::min(bestImage, seconds(timer) / (kFrames - 1));
        if (round == 0)
            std::printf("  frame cache size chosen: %llu\n", static_cast<unsigned long long>(image->frameCacheSizeCurrent()));
    }
    const double rawFps = 1.0 / bestRaw, imageFps = 1.0 / bestImage;
    std::printf("  raw giflib + plain compositing: %.1f frames/s (baseline)\n", rawFps);
    std::printf("  KGAnimatedImage decode+predraw+store: %.1f frames/s\n", imageFps);
    std::printf("  ratio: %.2f (goal >= 0.8)\n", imageFps / rawFps);
    std::printf("  creation (scan, check every frame, poster): %.1f ms = %.1f raw frame times\n", bestCreate * 1e3,
                bestCreate / bestRaw);
    if (checksum == 42)
        std::printf(" \n");
}

void memory()
{
    constexpr int kWidth = 1000, kHeight = 1000, kFrames = 100;
    const QByteArray gif = generateGif(kWidth, kHeight, kFrames, false);
    auto image = KGAnimatedImage::animatedImageWithGIFData(gif);
    if (!image) {
        std::printf("memory: KGAnimatedImage could not be made\n");
        return;
    }
    const qint64 frameBytes = qint64(4) * kWidth * kHeight;
    qint64 peak = 0;
    size_t peakCached = 0, peakInFlight = 0;
    auto sample = [&] {
        qint64 held = 0;
        for (const auto &[index, frame] : image->cachedFramesForIndexes())
            held += frame.sizeInBytes();
        const size_t inFlight = image->requestedFrameIndexes().size();
        held += qint64(inFlight) * frameBytes;
        if (held > peak) {
            peak = held;
            peakCached = image->cachedFramesForIndexes().size();
            peakInFlight = inFlight;
        }
    };
    play(*image, 0, kFrames, sample);
    play(*image, 0, 1, sample);
    const quint64 cacheSize = image->frameCacheSizeCurrent();
    // The window, the poster kept beside it, and a window's worth being decoded.
    const qint64 bound = qint64(cacheSize + 1 + cacheSize) * frameBytes;
    std::printf("memory: %dx%d, %d frames (%.0f MB decoded), frame cache size %llu\n", kWidth, kHeight, kFrames,
                double(frameBytes) * kFrames / 1048576.0, static_cast<unsigned long long>(cacheSize));
    std::printf("  peak held by the frame cache: %.2f MB (%zu cached + %zu in flight)\n", peak / 1048576.0, peakCached,
                peakInFlight);
    std::printf("  bound (cache size + poster + in flight) x 4 x w x h: %.2f MB\n", bound / 1048576.0);
    std::printf("  ratio: %.2f (goal <= 1.0)\n", double(peak) / double(bound));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    throughput();
    memory();
    return 0;
}
