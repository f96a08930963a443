#pragma once

#include <QByteArray>
#include <QImage>
#include <QRgb>
#include <optional>
#include <vector>

// Test GIFs are made here, with giflib's encoder, from a plain description.
namespace kova::test {

using Palette = std::vector<QRgb>;

struct GifFramePlan {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    std::vector<unsigned char> pixels;      // width × height palette indexes, row by row
    std::optional<Palette> localPalette;
    bool hasControl = true;                 // write a graphic control block
    int disposal = 0;
    int delay = 10;                         // hundredths of a second
    int transparentIndex = -1;
};

enum class LoopExtension { None, Netscape, AnimExts };

struct GifPlan {
    int width = 0;
    int height = 0;
    std::optional<Palette> globalPalette;
    LoopExtension loop = LoopExtension::None;
    int loopCount = 0;
    std::vector<GifFramePlan> frames;
};

// The encoded file; fails the calling test when giflib refuses the description.
QByteArray writeGif(const GifPlan &plan);

// A frame covering `width` × `height` at (left, top), every pixel `index`.
GifFramePlan solidFrame(int width, int height, unsigned char index, int left = 0, int top = 0);
// A frame whose indexes are a deterministic function of position and `seed`,
// cycling through `colours` values.
GifFramePlan patternFrame(int width, int height, int colours, int seed, int left = 0, int top = 0);
// A palette of `count` distinct opaque colours.
Palette distinctPalette(int count, int seed = 0);

// `count` frames of `width` × `height`, each with the given delay (hundredths).
QByteArray simpleGif(int width, int height, int count, int delay = 10);

} // namespace kova::test
