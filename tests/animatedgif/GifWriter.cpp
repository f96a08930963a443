#include "tests/animatedgif/GifWriter.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

namespace kova::test {

namespace {

int writeToByteArray(GifFileType *file, const GifByteType *bytes, int length)
{
    static_cast<QByteArray *>(file->UserData)->append(reinterpret_cast<const char *>(bytes), length);
    return length;
}

// giflib wants a power-of-two table; the extra entries are black.
ColorMapObject *makeMap(const Palette &palette)
{
    int size = 2;
    while (size < int(palette.size()))
        size *= 2;
    std::vector<GifColorType> colours(size_t(size), GifColorType{0, 0, 0});
    for (size_t i = 0; i < palette.size(); ++i)
        colours[i] = GifColorType{GifByteType(qRed(palette[i])), GifByteType(qGreen(palette[i])), GifByteType(qBlue(palette[i]))};
    return GifMakeMapObject(size, colours.data());
}

} // namespace

QByteArray writeGif(const GifPlan &plan)
{
    QByteArray out;
    int error = 0;
    GifFileType *file = EGifOpen(&out, writeToByteArray, &error);
    EXPECT_NE(file, nullptr);
    if (!file)
        return {};
    EGifSetGifVersion(file, true);
    ColorMapObject *global = plan.globalPalette ? makeMap(*plan.globalPalette) : nullptr;
    EXPECT_EQ(EGifPutScreenDesc(file, plan.width, plan.height, 8, 0, global), GIF_OK);
    GifFreeMapObject(global);

    if (plan.loop != LoopExtension::None) {
        const char *id = plan.loop == LoopExtension::Netscape ? "NETSCAPE2.0" : "ANIMEXTS1.0";
        const unsigned char loop[3] = {1, static_cast<unsigned char>(plan.loopCount & 0xff),
                                       static_cast<unsigned char>((plan.loopCount >> 8) & 0xff)};
        EXPECT_EQ(EGifPutExtensionLeader(file, APPLICATION_EXT_FUNC_CODE), GIF_OK);
        EXPECT_EQ(EGifPutExtensionBlock(file, 11, id), GIF_OK);
        EXPECT_EQ(EGifPutExtensionBlock(file, 3, loop), GIF_OK);
        EXPECT_EQ(EGifPutExtensionTrailer(file), GIF_OK);
    }

    for (const GifFramePlan &frame : plan.frames) {
        if (frame.hasControl) {
            GraphicsControlBlock gcb{};
            gcb.DisposalMode = frame.disposal;
            gcb.UserInputFlag = false;
            gcb.DelayTime = frame.delay;
            gcb.TransparentColor = frame.transparentIndex;
            GifByteType bytes[4];
            const size_t length = EGifGCBToExtension(&gcb, bytes);
            EXPECT_EQ(EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, int(length), bytes), GIF_OK);
        }
        ColorMapObject *local = frame.localPalette ? makeMap(*frame.localPalette) : nullptr;
        EXPECT_EQ(EGifPutImageDesc(file, frame.left, frame.top, frame.width, frame.height, frame.interlaced, local),
                  GIF_OK);
        GifFreeMapObject(local);
        EXPECT_EQ(frame.pixels.size(), size_t(frame.width) * size_t(frame.height));
        std::vector<unsigned char> line(size_t(frame.width));
        auto putRow = [&](int row) {
            std::copy_n(frame.pixels.begin() + ptrdiff_t(row) * frame.width, frame.width, line.begin());
            EXPECT_EQ(EGifPutLine(file, line.data(), frame.width), GIF_OK);
        };
        if (frame.interlaced) {
            for (const auto &[start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}}) {
                for (int row = start; row < frame.height; row += step)
                    putRow(row);
            }
        } else {
            for (int row = 0; row < frame.height; ++row)
                putRow(row);
        }
        // giflib replaces the frame's local table without freeing the last one.
        if (file->Image.ColorMap) {
            GifFreeMapObject(file->Image.ColorMap);
            file->Image.ColorMap = nullptr;
        }
    }
    EXPECT_EQ(EGifCloseFile(file, &error), GIF_OK);
    return out;
}

GifFramePlan solidFrame(int width, int height, unsigned char index, int left, int top)
{
    GifFramePlan frame;
    frame.left = left;
    frame.top = top;
    frame.width = width;
    frame.height = height;
    frame.pixels.assign(size_t(width) * size_t(height), index);
    return frame;
}

GifFramePlan patternFrame(int width, int height, int colours, int seed, int left, int top)
{
    GifFramePlan frame = solidFrame(width, height, 0, left, top);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            frame.pixels[size_t(y) * size_t(width) + size_t(x)] =
                static_cast<unsigned char>((x * 7 + y * 13 + seed * 29 + (x * y) % 5) % colours);
    }
    return frame;
}

Palette distinctPalette(int count, int seed)
{
    Palette palette;
    for (int i = 0; i < count; ++i)
        palette.push_back(qRgb((i * 37 + seed * 11 + 5) % 256, (i * 91 + seed * 3 + 17) % 256, (i * 53 + seed + 29) % 256));
    return palette;
}

QByteArray simpleGif(int width, int height, int count, int delay)
{
    GifPlan plan;
    plan.width = width;
    plan.height = height;
    plan.globalPalette = distinctPalette(16);
    for (int i = 0; i < count; ++i) {
        GifFramePlan frame = patternFrame(width, height, 16, i);
        frame.delay = delay;
        plan.frames.push_back(frame);
    }
    return writeGif(plan);
}

} // namespace kova::test
