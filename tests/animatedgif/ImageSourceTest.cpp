#include <cstring>
#include <QBuffer>
#include <gtest/gtest.h>

#include "platform/image/FrameImage.h"
#include "platform/image/ImageSource.h"
#include "platform/image/UTType.h"
#include "tests/animatedgif/GifWriter.h"
#include "tests/animatedgif/ReferenceCompositor.h"

using namespace kova::platform;
using namespace kova::test;

namespace {

QByteArray pngData()
{
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A GIF that exercises every way a frame is drawn: each disposal method,
// transparency, interlacing, local and global palettes, sub-rectangles, a frame
// hanging over the canvas edge and one wholly outside it, and an index beyond
// its palette.
GifPlan compositingPlan()
{
    GifPlan plan;
    plan.width = 12;
    plan.height = 10;
    plan.globalPalette = distinctPalette(8);

    GifFramePlan background = patternFrame(12, 10, 8, 0);
    background.disposal = 1;
    plan.frames.push_back(background);

    GifFramePlan cleared = patternFrame(5, 4, 8, 1, 2, 2);
    cleared.transparentIndex = 3;
    cleared.disposal = 2;
    plan.frames.push_back(cleared);

    GifFramePlan restored = patternFrame(4, 6, 4, 2, 6, 1);
    restored.localPalette = distinctPalette(4, 9);
    restored.interlaced = true;
    restored.disposal = 3;
    plan.frames.push_back(restored);

    GifFramePlan unspecified = patternFrame(6, 5, 8, 3, 1, 5);
    unspecified.transparentIndex = 0;
    unspecified.disposal = 0;
    plan.frames.push_back(unspecified);

    GifFramePlan overEdge = patternFrame(6, 6, 8, 4, 9, 7);
    overEdge.disposal = 3;
    plan.frames.push_back(overEdge);

    GifFramePlan tallInterlaced = patternFrame(3, 10, 8, 5, 0, 0);
    tallInterlaced.interlaced = true;
    tallInterlaced.transparentIndex = 5;
    tallInterlaced.disposal = 2;
    plan.frames.push_back(tallInterlaced);

    GifFramePlan outside = solidFrame(2, 2, 1, 40, 40);
    plan.frames.push_back(outside);

    // A two-colour table gives 2-bit codes, so indexes 2 and 3 name no colour.
    GifFramePlan beyondPalette = patternFrame(4, 4, 4, 6, 4, 3);
    beyondPalette.localPalette = Palette{qRgb(255, 0, 0), qRgb(0, 0, 255)};
    beyondPalette.disposal = 1;
    plan.frames.push_back(beyondPalette);

    GifFramePlan fullWithHoles = patternFrame(12, 10, 8, 7);
    fullWithHoles.transparentIndex = 2;
    plan.frames.push_back(fullWithHoles);
    return plan;
}

void expectFrame(ImageSource &source, size_t index, const QImage &expected)
{
    const QImage actual = source.imageAtIndex(index);
    ASSERT_FALSE(actual.isNull()) << "frame " << index;
    QString where;
    EXPECT_TRUE(samePixels(actual, expected, &where)) << "frame " << index << ": " << where.toStdString();
}

// The file without its global colour table (the frames keep their own).
QByteArray withoutGlobalPalette(QByteArray gif)
{
    const unsigned char packed = static_cast<unsigned char>(gif[10]);
    const int entries = 1 << ((packed & 0x07) + 1);
    gif.remove(13, 3 * entries);
    gif[10] = char(packed & 0x78);
    return gif;
}

// Three frames whose middle one has a palette of one colour repeated, which
// can be found in the file; the last frame's transparent index as given.
GifPlan markedMiddleFramePlan(int lastTransparentIndex)
{
    GifPlan plan;
    plan.width = 8;
    plan.height = 8;
    plan.globalPalette = distinctPalette(16);
    plan.frames.push_back(patternFrame(8, 8, 16, 0));
    GifFramePlan marked = patternFrame(6, 6, 16, 1, 1, 1);
    marked.localPalette = Palette(16, qRgb(1, 2, 3));
    plan.frames.push_back(marked);
    GifFramePlan last = patternFrame(4, 4, 16, 2, 4, 4);
    last.transparentIndex = lastTransparentIndex;
    plan.frames.push_back(last);
    return plan;
}

// Where the marked palette ends (the frame's code size byte), or -1.
qsizetype afterMarkedPalette(const QByteArray &gif)
{
    const QByteArray marker = QByteArray("\x01\x02\x03", 3).repeated(16);
    const qsizetype at = gif.indexOf(marker);
    return at < 0 ? -1 : at + marker.size();
}

// How much of row `y` (columns [left, left + width)) shows `drawn`: the
// length of a run of `drawn`'s pixels from the left after which the row shows
// `before`; -1 when the row is not such a split.
int drawnPrefix(const QImage &actual, const QImage &drawn, const QImage &before, int y, int left, int width)
{
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32);
    const QImage d = drawn.convertToFormat(QImage::Format_ARGB32);
    const QImage b = before.convertToFormat(QImage::Format_ARGB32);
    int prefix = 0;
    while (prefix < width && a.pixel(left + prefix, y) == d.pixel(left + prefix, y))
        ++prefix;
    for (int x = prefix; x < width; ++x)
        if (a.pixel(left + x, y) != b.pixel(left + x, y))
            return -1;
    return prefix;
}

} // namespace

TEST(ImageSourceTypes, GifOtherImagesAndNonImages)
{
    const auto gif = ImageSource::createWithData(simpleGif(4, 3, 3));
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->type(), "com.compuserve.gif");
    EXPECT_TRUE(UTType::conformsTo(gif->type(), UTType::kUTTypeGIF));
    EXPECT_EQ(gif->count(), 3u);
    EXPECT_EQ(gif->canvasSize(), QSize(4, 3));

    const auto png = ImageSource::createWithData(pngData());
    ASSERT_TRUE(png);
    EXPECT_EQ(png->type(), "public.png");
    EXPECT_FALSE(UTType::conformsTo(png->type(), UTType::kUTTypeGIF));
    EXPECT_TRUE(UTType::conformsTo(png->type(), UTType::kUTTypeImage));
    EXPECT_EQ(png->count(), 0u);

    const auto text = ImageSource::createWithData("just some text, not an image");
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->type().isNull());
    EXPECT_FALSE(UTType::conformsTo(text->type(), UTType::kUTTypeGIF));
    EXPECT_EQ(text->count(), 0u);

    EXPECT_EQ(ImageSource::createWithData(QByteArray()), nullptr);

    // A GIF signature with nothing readable after it is a GIF with no images.
    const auto stub = ImageSource::createWithData("GIF89a\x01");
    ASSERT_TRUE(stub);
    EXPECT_EQ(stub->type(), "com.compuserve.gif");
    EXPECT_EQ(stub->count(), 0u);
    EXPECT_EQ(stub->createImageAtIndex(0), nullptr);
    EXPECT_TRUE(stub->imageAtIndex(0).isNull());
}

TEST(ImageSourceProperties, LoopCountAbsentZeroAndSet)
{
    GifPlan plan;
    plan.width = 2;
    plan.height = 2;
    plan.globalPalette = distinctPalette(2);
    plan.frames = {solidFrame(2, 2, 0), solidFrame(2, 2, 1)};

    EXPECT_EQ(ImageSource::createWithData(writeGif(plan))->loopCount(), std::nullopt);
    plan.loop = LoopExtension::Netscape;
    plan.loopCount = 0;
    EXPECT_EQ(ImageSource::createWithData(writeGif(plan))->loopCount(), 0);
    plan.loopCount = 5;
    EXPECT_EQ(ImageSource::createWithData(writeGif(plan))->loopCount(), 5);
    plan.loop = LoopExtension::AnimExts;
    plan.loopCount = 65535;
    const auto source = ImageSource::createWithData(writeGif(plan));
    EXPECT_EQ(source->loopCount(), 65535);
    EXPECT_EQ(source->propertiesDescription(),
              QStringLiteral("{FileSize = %1; \"{GIF}\" = {CanvasPixelHeight = 2; CanvasPixelWidth = 2; "
                             "HasGlobalColorMap = 1; LoopCount = 65535;};}")
                  .arg(writeGif(plan).size()));
}

TEST(ImageSourceProperties, DelaysAsReportedAndAbsentWithoutControlBlock)
{
    GifPlan plan;
    plan.width = 2;
    plan.height = 2;
    plan.globalPalette = distinctPalette(2);
    for (int delay : {0, 1, 2, 7, 65535}) {
        GifFramePlan frame = solidFrame(2, 2, 1);
        frame.delay = delay;
        plan.frames.push_back(frame);
    }
    GifFramePlan bare = solidFrame(2, 2, 0);
    bare.hasControl = false;
    plan.frames.push_back(bare);
    const auto source = ImageSource::createWithData(writeGif(plan));
    ASSERT_EQ(source->count(), 6u);

    const std::pair<double, double> expected[] = {{0.1, 0.0}, {0.1, 0.01}, {0.02, 0.02}, {0.07, 0.07}, {655.35, 655.35}};
    for (size_t i = 0; i < 5; ++i) {
        const ImageProperties properties = source->propertiesAtIndex(i);
        ASSERT_TRUE(properties.gif) << i;
        EXPECT_DOUBLE_EQ(properties.gif->delayTime, expected[i].first) << i;
        EXPECT_DOUBLE_EQ(properties.gif->unclampedDelayTime, expected[i].second) << i;
        EXPECT_EQ(properties.pixelWidth, 2);
    }
    EXPECT_FALSE(source->propertiesAtIndex(5).gif);
    EXPECT_EQ(source->propertiesAtIndex(5).description(), "{PixelHeight = 2; PixelWidth = 2;}");
    EXPECT_EQ(source->propertiesAtIndex(3).description(),
              "{PixelHeight = 2; PixelWidth = 2; \"{GIF}\" = {DelayTime = 0.07; UnclampedDelayTime = 0.07;};}");
    EXPECT_FALSE(source->propertiesAtIndex(6).gif);
    EXPECT_EQ(source->propertiesAtIndex(6).pixelWidth, 0);
}

TEST(ImageSourceCompositing, EveryFrameMatchesTheReferenceInOrder)
{
    const GifPlan plan = compositingPlan();
    const std::vector<QImage> expected = referenceFrames(plan);
    const auto source = ImageSource::createWithData(writeGif(plan));
    ASSERT_EQ(source->count(), plan.frames.size());
    for (size_t i = 0; i < plan.frames.size(); ++i)
        expectFrame(*source, i, expected[i]);
    EXPECT_EQ(source->compositorRestartCount(), 1);
}

TEST(ImageSourceCompositing, JumpsBackStartOverAndStillMatch)
{
    const GifPlan plan = compositingPlan();
    const std::vector<QImage> expected = referenceFrames(plan);
    const auto source = ImageSource::createWithData(writeGif(plan));
    expectFrame(*source, 5, expected[5]);
    expectFrame(*source, 5, expected[5]);
    EXPECT_EQ(source->compositorRestartCount(), 1);
    expectFrame(*source, 2, expected[2]);
    EXPECT_EQ(source->compositorRestartCount(), 2);
    expectFrame(*source, 8, expected[8]);
    expectFrame(*source, 0, expected[0]);
    expectFrame(*source, 4, expected[4]);
    EXPECT_EQ(source->compositorRestartCount(), 3);
}

TEST(ImageSourceCompositing, ImagesHandedOutStayUnchanged)
{
    const GifPlan plan = compositingPlan();
    const std::vector<QImage> expected = referenceFrames(plan);
    const auto source = ImageSource::createWithData(writeGif(plan));
    const QImage first = source->imageAtIndex(0);
    const auto handle = source->createImageAtIndex(1);
    ASSERT_TRUE(handle);
    EXPECT_EQ(handle->index(), 1u);
    EXPECT_EQ(handle->size(), QSize(12, 10));
    const QImage second = handle->image();
    source->imageAtIndex(7);
    EXPECT_TRUE(samePixels(first, expected[0]));
    EXPECT_TRUE(samePixels(second, expected[1]));
}

TEST(ImageSourceCorruption, AFrameWhoseDataEndsEarlyShowsTheRowsItHas)
{
    GifPlan plan;
    plan.width = 16;
    plan.height = 16;
    plan.globalPalette = distinctPalette(16);
    for (int i = 0; i < 3; ++i)
        plan.frames.push_back(patternFrame(16, 16, 16, i));
    const QByteArray gif = writeGif(plan);
    const std::vector<QImage> expected = referenceFrames(plan);
    // Cut inside the last frame's data, at several depths.
    for (int cut : {40, 60, 80}) {
        SCOPED_TRACE(cut);
        const auto source = ImageSource::createWithData(gif.left(gif.size() - cut));
        ASSERT_EQ(source->count(), 3u);
        EXPECT_NE(source->createImageAtIndex(2), nullptr);
        const QImage last = source->imageAtIndex(2).convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(last.isNull());
        const QImage drawn = expected[2].convertToFormat(QImage::Format_ARGB32);
        const QImage before = expected[1].convertToFormat(QImage::Format_ARGB32);
        // The rows that arrived are the frame's; the rest show the canvas as it stood.
        int rows = 0;
        while (rows < 16 && std::memcmp(last.constScanLine(rows), drawn.constScanLine(rows), 16 * 4) == 0)
            ++rows;
        EXPECT_GT(rows, 0);
        EXPECT_LT(rows, 16);
        // The row the data stops in is the frame's as far as it goes.
        EXPECT_GE(drawnPrefix(last, drawn, before, rows, 0, 16), 0) << "row " << rows;
        for (int y = rows + 1; y < 16; ++y)
            EXPECT_EQ(std::memcmp(last.constScanLine(y), before.constScanLine(y), 16 * 4), 0) << "row " << y;
        expectFrame(*source, 1, expected[1]);
        expectFrame(*source, 0, expected[0]);
    }
    // A lone frame cut short is still an image.
    GifPlan single = plan;
    single.frames.resize(1);
    const QByteArray one = writeGif(single);
    const auto source = ImageSource::createWithData(one.left(one.size() - 30));
    ASSERT_EQ(source->count(), 1u);
    EXPECT_FALSE(source->imageAtIndex(0).isNull());
}

TEST(ImageSourceCorruption, TheRowWhereTheDataStopsIsDrawnAsFarAsItsPixelsGo)
{
    struct Case {
        const char *name;
        int width;
        int height;
        bool interlaced;
        double kept; // share of the frame's bytes left before the cut
    };
    const Case cases[] = {
        {"one row", 600, 1, false, 0.5},
        {"very wide, cut in its first row", 3000, 3, false, 0.15},
        {"several rows, cut in the middle", 50, 20, false, 0.55},
        {"interlaced, cut in its last pass", 40, 16, true, 0.6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        GifPlan plan;
        plan.width = c.width;
        plan.height = c.height;
        plan.globalPalette = distinctPalette(256);
        // The canvas first takes a colour the second frame never uses.
        plan.frames.push_back(solidFrame(c.width, c.height, 255));
        GifFramePlan noisy = solidFrame(c.width, c.height, 0);
        noisy.interlaced = c.interlaced;
        quint32 state = 12345;
        for (unsigned char &pixel : noisy.pixels) {
            state = state * 1103515245u + 12345u;
            pixel = static_cast<unsigned char>((state >> 16) % 255);
        }
        plan.frames.push_back(noisy);
        const QByteArray gif = writeGif(plan);
        GifPlan firstOnly = plan;
        firstOnly.frames.resize(1);
        const qsizetype secondStarts = writeGif(firstOnly).size() - 1; // before the trailer
        const qsizetype secondBytes = gif.size() - 1 - secondStarts;
        const QByteArray cut = gif.left(secondStarts + qsizetype(double(secondBytes) * c.kept));
        const std::vector<QImage> expected = referenceFrames(plan);

        const auto source = ImageSource::createWithData(cut);
        ASSERT_EQ(source->count(), 2u);
        EXPECT_NE(source->createImageAtIndex(1), nullptr) << "a frame with any pixel is an image";
        const QImage last = source->imageAtIndex(1);
        if (last.isNull()) {
            ADD_FAILURE() << "the frame cut short shows nothing";
            continue;
        }

        // Rows in the order the data holds them.
        std::vector<int> order;
        const std::vector<std::pair<int, int>> passes =
            c.interlaced ? std::vector<std::pair<int, int>>{{0, 8}, {4, 8}, {2, 4}, {1, 2}}
                         : std::vector<std::pair<int, int>>{{0, 1}};
        for (const auto &[start, step] : passes)
            for (int y = start; y < c.height; y += step)
                order.push_back(y);
        std::vector<int> drawn;
        for (int y : order)
            drawn.push_back(drawnPrefix(last, expected[1], expected[0], y, 0, c.width));
        // Whole rows, then the row the data stops in, partly drawn, then
        // rows that show the canvas as it stood.
        size_t whole = 0;
        while (whole < drawn.size() && drawn[whole] == c.width)
            ++whole;
        if (whole == drawn.size()) {
            ADD_FAILURE() << "every row is whole";
            continue;
        }
        EXPECT_GT(drawn[whole], 0) << "row " << order[whole];
        EXPECT_LT(drawn[whole], c.width) << "row " << order[whole];
        for (size_t k = whole + 1; k < drawn.size(); ++k)
            EXPECT_EQ(drawn[k], 0) << "row " << order[k];
        expectFrame(*source, 0, expected[0]);
    }
}

TEST(ImageSourceCorruption, AFrameHeaderGiflibRefusesIsCountedAndTheScanGoesOn)
{
    const GifPlan plan = markedMiddleFramePlan(-1);
    QByteArray gif = writeGif(plan);
    // The code size that follows frame 1's palette: no GIF may use more than 8 bits.
    const qsizetype codeSize = afterMarkedPalette(gif);
    ASSERT_GT(codeSize, 0);
    gif[codeSize] = char(12);

    const auto source = ImageSource::createWithData(gif);
    ASSERT_EQ(source->count(), 3u);
    EXPECT_EQ(source->createImageAtIndex(1), nullptr);
    EXPECT_NE(source->createImageAtIndex(2), nullptr);
    const std::vector<QImage> expected = referenceFrames(plan, {1});
    expectFrame(*source, 0, expected[0]);
    expectFrame(*source, 2, expected[2]);
}

TEST(ImageSourceCorruption, BadImageDataSkipsOnlyThatFrame)
{
    const GifPlan plan = markedMiddleFramePlan(1);
    QByteArray gif = writeGif(plan);

    // Frame 1's data follows its unmistakable palette: code size, block
    // length, then codes. Codes beyond the table cannot be decoded.
    const qsizetype data = afterMarkedPalette(gif);
    ASSERT_GT(data, 0);
    const int blockLength = static_cast<unsigned char>(gif[data + 1]);
    ASSERT_GT(blockLength, 2);
    for (int i = 0; i < blockLength; ++i)
        gif[data + 2 + i] = char(0xff);

    const auto source = ImageSource::createWithData(gif);
    ASSERT_EQ(source->count(), 3u);
    EXPECT_NE(source->createImageAtIndex(0), nullptr);
    EXPECT_EQ(source->createImageAtIndex(1), nullptr);
    EXPECT_NE(source->createImageAtIndex(2), nullptr);
    const std::vector<QImage> expected = referenceFrames(plan, {1});
    expectFrame(*source, 0, expected[0]);
    EXPECT_TRUE(source->imageAtIndex(1).isNull());
    expectFrame(*source, 2, expected[2]);
}

TEST(ImageSourceCorruption, FramesWithoutAnyPaletteDoNotDecode)
{
    GifPlan plan;
    plan.width = 6;
    plan.height = 6;
    plan.globalPalette = distinctPalette(4);
    plan.frames.push_back(patternFrame(6, 6, 4, 0));
    GifFramePlan own = patternFrame(3, 3, 4, 1, 2, 2);
    own.localPalette = distinctPalette(4, 3);
    plan.frames.push_back(own);
    const auto source = ImageSource::createWithData(withoutGlobalPalette(writeGif(plan)));
    ASSERT_EQ(source->count(), 2u);
    EXPECT_EQ(source->createImageAtIndex(0), nullptr);
    const std::vector<QImage> expected = referenceFrames(plan, {0});
    expectFrame(*source, 1, expected[1]);
}

TEST(ImageSourceLimits, CanvasAndFramesBeyondTheLimitsAllocateNothing)
{
    // A canvas of 65535 × 65535 declared in a few dozen bytes.
    GifPlan huge;
    huge.width = 65535;
    huge.height = 65535;
    huge.globalPalette = distinctPalette(2);
    huge.frames = {solidFrame(1, 1, 1), solidFrame(1, 1, 0)};
    const QByteArray hugeGif = writeGif(huge);
    EXPECT_LT(hugeGif.size(), 100);
    const auto source = ImageSource::createWithData(hugeGif);
    EXPECT_EQ(source->count(), 2u);
    EXPECT_EQ(source->createImageAtIndex(0), nullptr);
    EXPECT_TRUE(source->imageAtIndex(1).isNull());

    GifPlan small;
    small.width = 10;
    small.height = 10;
    small.globalPalette = distinctPalette(2);
    small.frames = {solidFrame(10, 10, 1), solidFrame(11, 10, 0), solidFrame(2, 2, 1), solidFrame(2, 2, 0)};
    const QByteArray smallGif = writeGif(small);

    const auto limited = ImageSource::createWithData(smallGif, {.maximumCanvasPixels = 100, .maximumFrameCount = 3});
    EXPECT_EQ(limited->count(), 3u);
    EXPECT_NE(limited->createImageAtIndex(0), nullptr);
    // Its indexes alone would take more than the limit, canvas or not.
    EXPECT_EQ(limited->createImageAtIndex(1), nullptr);
    EXPECT_NE(limited->createImageAtIndex(2), nullptr);

    const auto tooBig = ImageSource::createWithData(smallGif, {.maximumCanvasPixels = 99, .maximumFrameCount = 10});
    EXPECT_EQ(tooBig->count(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(tooBig->createImageAtIndex(i), nullptr) << i;
}

TEST(ImageSourceCompositing, TransformsSeeTheFrameAndNeverKeepTheSourcesPixels)
{
    const GifPlan plan = compositingPlan();
    const std::vector<QImage> expected = referenceFrames(plan);
    const auto source = ImageSource::createWithData(writeGif(plan));

    QSize seen;
    const QImage converted = source->imageAtIndex(3, [&](const QImage &frame) {
        seen = frame.size();
        return frame.convertToFormat(QImage::Format_RGB32);
    });
    EXPECT_EQ(seen, QSize(12, 10));
    EXPECT_EQ(converted.format(), QImage::Format_RGB32);
    EXPECT_TRUE(samePixels(converted, expected[3].convertToFormat(QImage::Format_RGB32)));

    // Handing the frame straight back gets a copy: later frames leave it be.
    const QImage returned = source->imageAtIndex(4, [](const QImage &frame) { return frame; });
    const QImage later = source->imageAtIndex(8);
    EXPECT_TRUE(samePixels(returned, expected[4]));
    EXPECT_TRUE(samePixels(later, expected[8]));
    EXPECT_TRUE(source->imageAtIndex(40, [](const QImage &frame) { return frame; }).isNull());
}
