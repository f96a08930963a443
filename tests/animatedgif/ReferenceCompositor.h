#pragma once

#include <QImage>
#include <set>
#include <vector>

#include "tests/animatedgif/GifWriter.h"

namespace kova::test {

// What a player shows for each frame of `plan`, worked out pixel by pixel from
// the description (not from the file): frames in `skipped` are left out
// (a null image in their place).
// Images are ARGB32, transparent where nothing was drawn.
std::vector<QImage> referenceFrames(const GifPlan &plan, const std::set<size_t> &skipped = {});

// Whether two images hold the same pixels, compared as ARGB32; on a mismatch
// `where` says at which pixel.
bool samePixels(const QImage &actual, const QImage &expected, QString *where = nullptr);

} // namespace kova::test
