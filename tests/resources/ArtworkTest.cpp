#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <gtest/gtest.h>

#include <gif_lib.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "platform/foundation/Bundle.h"

using kova::platform::Bundle;

namespace {

// Every image the screens ask the framework bundle for, by name.
const QStringList kImages = {
    "LeftArrow", "LeftArrowTransparent", "Lock", "LockError", "ExclamationError",
    "Indicator", "Success", "Failure",
};
constexpr int kOnboardingPages = 3;

bool hasVisiblePixel(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) > 0)
                return true;
    return false;
}

void expectStillImage(const QString &name)
{
    SCOPED_TRACE(name.toStdString());
    const QString path = Bundle::framework()->pathForResource(name, "png");
    ASSERT_FALSE(path.isEmpty()) << "no " << name.toStdString() << ".png in the framework bundle";
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "png");
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
    EXPECT_TRUE(image.hasAlphaChannel());
    EXPECT_TRUE(hasVisiblePixel(image));

    // The double-density variant draws the same picture at twice the pixels,
    // so both show at the same size on screen.
    const QString doubled = Bundle::framework()->pathForResource(name + "@2x", "png");
    ASSERT_FALSE(doubled.isEmpty());
    const QImage large(doubled);
    ASSERT_FALSE(large.isNull());
    EXPECT_EQ(large.size(), image.size() * 2);
}

TEST(Artwork, EveryImageNameResolvesToADecodablePicture)
{
    for (const QString &name : kImages)
        expectStillImage(name);
}

TEST(Artwork, OnboardingPagesAreNumberedFromZeroLikeThePageControl)
{
    for (int page = 0; page < kOnboardingPages; ++page)
        expectStillImage(QStringLiteral("ENBD-Onboarding-%1").arg(page));
    EXPECT_TRUE(Bundle::framework()->pathForResource(QStringLiteral("ENBD-Onboarding-%1").arg(kOnboardingPages), "png").isEmpty());
}

TEST(Artwork, MissingNamesFindNothing)
{
    EXPECT_TRUE(Bundle::framework()->pathForResource("NoSuchImage", "png").isEmpty());
    EXPECT_TRUE(Bundle::framework()->pathForResource("NoSuchAnimation", "gif").isEmpty());
}

// What giflib reads from one file: frames, their delays and the loop block.
struct GifFacts {
    QString error;
    QSize screen;
    int frames = 0;
    QList<int> delaysCs;
    bool everyFrameTransparent = true;
    bool everyFrameInside = true;
    bool everyIndexInMap = true;
    std::optional<int> loops; // NETSCAPE2.0 repeat count, when present
};

GifFacts readGif(const QString &path)
{
    GifFacts facts;
    int error = 0;
    std::unique_ptr<GifFileType, void (*)(GifFileType *)> gif(
        DGifOpenFileName(path.toLocal8Bit().constData(), &error), [](GifFileType *g) {
            int ignored = 0;
            DGifCloseFile(g, &ignored);
        });
    if (!gif) {
        facts.error = GifErrorString(error);
        return facts;
    }
    if (DGifSlurp(gif.get()) != GIF_OK) {
        facts.error = GifErrorString(gif->Error);
        return facts;
    }
    facts.screen = QSize(gif->SWidth, gif->SHeight);
    facts.frames = gif->ImageCount;
    for (int f = 0; f < gif->ImageCount; ++f) {
        const SavedImage &image = gif->SavedImages[f];
        const GifImageDesc &desc = image.ImageDesc;
        if (desc.Left < 0 || desc.Top < 0 || desc.Left + desc.Width > gif->SWidth || desc.Top + desc.Height > gif->SHeight)
            facts.everyFrameInside = false;
        const ColorMapObject *map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        const long pixels = long(desc.Width) * desc.Height;
        for (long p = 0; p < pixels; ++p)
            if (!map || image.RasterBits[p] >= map->ColorCount)
                facts.everyIndexInMap = false;
        GraphicsControlBlock control{};
        if (DGifSavedExtensionToGCB(gif.get(), f, &control) == GIF_OK) {
            facts.delaysCs.append(control.DelayTime);
            if (control.TransparentColor == NO_TRANSPARENT_COLOR)
                facts.everyFrameTransparent = false;
        } else {
            facts.delaysCs.append(-1);
            facts.everyFrameTransparent = false;
        }
        // giflib files the application extension with the image that follows it.
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock &block = image.ExtensionBlocks[e];
            const ExtensionBlock &data = image.ExtensionBlocks[e + 1];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11
                && QByteArray(reinterpret_cast<const char *>(block.Bytes), 11) == "NETSCAPE2.0" && data.ByteCount == 3
                && data.Bytes[0] == 1)
                facts.loops = data.Bytes[1] | (data.Bytes[2] << 8);
        }
    }
    return facts;
}

class GifArtwork : public ::testing::TestWithParam<const char *> {};

TEST_P(GifArtwork, DecodesWithSaneFramesAndDelays)
{
    const QString path = Bundle::framework()->pathForResource(GetParam(), "gif");
    ASSERT_FALSE(path.isEmpty()) << "no " << GetParam() << ".gif in the framework bundle";
    const GifFacts facts = readGif(path);
    ASSERT_TRUE(facts.error.isEmpty()) << facts.error.toStdString();
    EXPECT_GE(facts.frames, 2);
    EXPECT_TRUE(facts.everyFrameInside);
    EXPECT_TRUE(facts.everyIndexInMap);
    EXPECT_TRUE(facts.everyFrameTransparent) << "artwork sits on coloured screens; it needs a clear background";
    // Delays below two hundredths are rounded up to a tenth by the player:
    // the artwork must not depend on that.
    for (int delay : facts.delaysCs)
        EXPECT_GE(delay, 2);
    EXPECT_LE(facts.screen.width(), 240);
    EXPECT_LE(facts.screen.height(), 240);

    // Qt's reader (the image-format layer the screens sit on) agrees.
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "gif");
    EXPECT_TRUE(reader.supportsAnimation());
    int frames = 0;
    while (reader.canRead()) {
        const QImage frame = reader.read();
        if (frame.isNull())
            break;
        EXPECT_EQ(frame.size(), facts.screen);
        ++frames;
    }
    EXPECT_EQ(frames, facts.frames);
}

INSTANTIATE_TEST_SUITE_P(Resources, GifArtwork, ::testing::Values("connectAnimation", "successful_transfer"));

TEST(Artwork, LoadingAnimationRepeatsWhileTheSuccessMarkPlaysOnceAndHolds)
{
    const GifFacts loading = readGif(Bundle::framework()->pathForResource("connectAnimation", "gif"));
    ASSERT_TRUE(loading.error.isEmpty());
    ASSERT_TRUE(loading.loops.has_value());
    EXPECT_EQ(*loading.loops, 0); // forever
    // The connect screen shows it 100 points square, the MFA footer 120.
    EXPECT_GE(loading.screen.width(), 100);
    EXPECT_EQ(loading.screen.width(), loading.screen.height());

    // The animated view plays a GIF without a loop count once and keeps its
    // last frame up: the finished mark must be that frame, held longest.
    const GifFacts success = readGif(Bundle::framework()->pathForResource("successful_transfer", "gif"));
    ASSERT_TRUE(success.error.isEmpty());
    EXPECT_FALSE(success.loops.has_value());
    ASSERT_FALSE(success.delaysCs.isEmpty());
    EXPECT_EQ(success.delaysCs.last(), *std::max_element(success.delaysCs.begin(), success.delaysCs.end()));
    EXPECT_GT(success.delaysCs.last(), success.delaysCs.first());
}

} // namespace
