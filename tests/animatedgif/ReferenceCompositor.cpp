#include "tests/animatedgif/ReferenceCompositor.h"

namespace kova::test {

std::vector<QImage> referenceFrames(const GifPlan &plan, const std::set<size_t> &skipped)
{
    std::vector<QImage> frames;
    QImage canvas(plan.width, plan.height, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    for (size_t i = 0; i < plan.frames.size(); ++i) {
        if (skipped.contains(i)) {
            frames.emplace_back();
            continue;
        }
        const GifFramePlan &frame = plan.frames[i];
        const QImage before = canvas.copy();
        // The file's table has a power-of-two size, padded with black.
        Palette palette = frame.localPalette ? *frame.localPalette : *plan.globalPalette;
        size_t tableSize = 2;
        while (tableSize < palette.size())
            tableSize *= 2;
        palette.resize(tableSize, qRgb(0, 0, 0));
        for (int y = 0; y < frame.height; ++y) {
            for (int x = 0; x < frame.width; ++x) {
                const int cx = frame.left + x;
                const int cy = frame.top + y;
                if (cx >= plan.width || cy >= plan.height)
                    continue;
                const int index = frame.pixels[size_t(y) * size_t(frame.width) + size_t(x)];
                if (index == frame.transparentIndex || index >= int(palette.size()))
                    continue;
                canvas.setPixel(cx, cy, palette[size_t(index)] | 0xff000000u);
            }
        }
        frames.push_back(canvas.copy());
        if (frame.disposal == 2) {
            for (int y = frame.top; y < std::min(plan.height, frame.top + frame.height); ++y) {
                for (int x = frame.left; x < std::min(plan.width, frame.left + frame.width); ++x)
                    canvas.setPixel(x, y, 0);
            }
        } else if (frame.disposal == 3) {
            canvas = before;
        }
    }
    return frames;
}

bool samePixels(const QImage &actual, const QImage &expected, QString *where)
{
    if (actual.size() != expected.size()) {
        if (where)
            *where = QStringLiteral("size %1x%2, expected %3x%4")
                         .arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height());
        return false;
    }
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32);
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != e.pixel(x, y)) {
                if (where)
                    *where = QStringLiteral("pixel (%1, %2) is %3, expected %4")
                                 .arg(x).arg(y).arg(a.pixel(x, y), 8, 16, QLatin1Char('0'))
                                 .arg(e.pixel(x, y), 8, 16, QLatin1Char('0'));
                return false;
            }
        }
    }
    return true;
}

} // namespace kova::test
