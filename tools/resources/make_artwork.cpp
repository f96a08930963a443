// Draws the SDK's own artwork into the framework bundle: the still images as
// PNG at 1x and 2x, and the two GIF animations. Everything is drawn from
// shapes (no text, no fonts), so reruns give the same files on any machine
// with the same Qt. Built and run by tools/resources/make-artwork.
#include <QColor>
#include <QDir>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRectF>
#include <QString>

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

const QColor kInk(0x2A, 0x2B, 0x38);
const QColor kAccent(0x71, 0x9C, 0xDD);
const QColor kAccentDeep(0x3E, 0x6F, 0xC4);
const QColor kAccentPale(0xDD, 0xE8, 0xF8);
const QColor kGreen(0x2F, 0xB4, 0x7C);
const QColor kRed(0xE5, 0x48, 0x4D);
const QColor kRedPale(0xFD, 0xE7, 0xE8);
const QColor kGrey(0x8A, 0x8F, 0xA3);
const QColor kMist(0xE9, 0xEC, 0xF3);
const QColor kWhite(Qt::white);

// Draws in points; the canvas scales it to the pixel density being written.
using Drawing = std::function<void(QPainter &)>;

QImage render(QSizeF points, qreal scale, const Drawing &draw)
{
    QImage image(qRound(points.width() * scale), qRound(points.height() * scale),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    draw(painter);
    painter.end();
    return image;
}

QPen strokePen(const QColor &color, qreal width)
{
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void fillCircle(QPainter &p, QPointF centre, qreal radius, const QColor &color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(centre, radius, radius);
}

void fillRoundedRect(QPainter &p, const QRectF &rect, qreal radius, const QColor &color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRoundedRect(rect, radius, radius);
}

void strokePolyline(QPainter &p, std::initializer_list<QPointF> points, const QPen &pen)
{
    QPainterPath path;
    auto it = points.begin();
    path.moveTo(*it);
    for (++it; it != points.end(); ++it)
        path.lineTo(*it);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

// A padlock drawn in a 20-point box whose top left is `origin`.
void drawPadlock(QPainter &p, QPointF origin, qreal size, const QColor &color, const QColor &hole)
{
    p.save();
    p.translate(origin);
    p.scale(size / 20.0, size / 20.0);
    QPainterPath shackle;
    shackle.moveTo(6.5, 9.5);
    shackle.lineTo(6.5, 7);
    shackle.arcTo(QRectF(6.5, 3.5, 7, 7), 180, -180);
    shackle.lineTo(13.5, 9.5);
    p.setPen(strokePen(color, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shackle);
    fillRoundedRect(p, QRectF(4, 9, 12, 9.5), 2.2, color);
    fillCircle(p, QPointF(10, 12.8), 1.4, hole);
    fillRoundedRect(p, QRectF(9.4, 13, 1.2, 3), 0.6, hole);
    p.restore();
}

void drawBackArrow(QPainter &p)
{
    const QPen pen = strokePen(kInk, 2);
    strokePolyline(p, {QPointF(11, 7), QPointF(6, 12), QPointF(11, 17)}, pen);
    strokePolyline(p, {QPointF(6.5, 12), QPointF(18, 12)}, pen);
}

// A phone seen from the front; returns its screen rectangle.
QRectF drawPhone(QPainter &p)
{
    fillCircle(p, QPointF(120, 100), 92, kMist);
    fillRoundedRect(p, QRectF(74, 14, 92, 172), 15, kInk);
    const QRectF screen(79, 28, 82, 146);
    fillRoundedRect(p, screen, 6, kWhite);
    fillRoundedRect(p, QRectF(110, 19, 20, 3.5), 1.75, kGrey);
    fillCircle(p, QPointF(120, 180), 3, kGrey);
    return screen;
}

void drawShield(QPainter &p, QPointF centre, qreal size, const QColor &color)
{
    p.save();
    p.translate(centre);
    p.scale(size / 20.0, size / 20.0);
    QPainterPath shield;
    shield.moveTo(0, -9);
    shield.lineTo(8, -6);
    shield.cubicTo(8, 2, 5, 7, 0, 10);
    shield.cubicTo(-5, 7, -8, 2, -8, -6);
    shield.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(shield);
    strokePolyline(p, {QPointF(-3.5, 0.5), QPointF(-0.8, 3.2), QPointF(4, -2.5)}, strokePen(kWhite, 1.8));
    p.restore();
}

// Page 0: open the bank's app.
void drawOnboardingOpenApp(QPainter &p)
{
    const QRectF screen = drawPhone(p);
    const qreal size = 18, gap = 8;
    const qreal left = screen.left() + (screen.width() - (3 * size + 2 * gap)) / 2;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRectF icon(left + column * (size + gap), screen.top() + 14 + row * (size + gap), size, size);
            const bool chosen = row == 1 && column == 1;
            fillRoundedRect(p, icon, 5, chosen ? kAccent : kMist);
            if (chosen) {
                drawShield(p, icon.center(), 12, kWhite);
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(kAccent, 2));
                p.drawEllipse(icon.center(), 17, 17);
                p.setPen(QPen(kAccentPale, 2));
                p.drawEllipse(icon.center(), 23, 23);
            }
        }
    }
}

// Page 1: choose the security token in the app's menu.
void drawOnboardingChooseToken(QPainter &p)
{
    const QRectF screen = drawPhone(p);
    for (int row = 0; row < 5; ++row) {
        const QRectF line(screen.left() + 6, screen.top() + 14 + row * 25, screen.width() - 12, 19);
        const bool chosen = row == 2;
        if (chosen)
            fillRoundedRect(p, line.adjusted(-2, -2, 2, 2), 5, kAccentPale);
        if (chosen)
            drawShield(p, QPointF(line.left() + 9, line.center().y()), 14, kAccentDeep);
        else
            fillCircle(p, QPointF(line.left() + 9, line.center().y()), 5.5, kMist);
        fillRoundedRect(p, QRectF(line.left() + 20, line.top() + 4, chosen ? 40 : 46, 4), 2,
                        chosen ? kAccentDeep : kGrey);
        fillRoundedRect(p, QRectF(line.left() + 20, line.top() + 11, 28, 3), 1.5, kMist);
    }
    // The finger's tap on the chosen row.
    fillCircle(p, QPointF(screen.right() - 14, screen.top() + 14 + 2 * 25 + 9.5), 6, kAccent);
}

// Page 2: type the code the app shows.
void drawOnboardingEnterCode(QPainter &p)
{
    const QRectF screen = drawPhone(p);
    const qreal box = 10, gap = 3;
    const qreal left = screen.left() + (screen.width() - (6 * box + 5 * gap)) / 2;
    fillRoundedRect(p, QRectF(left - 5, screen.top() + 18, 6 * box + 5 * gap + 10, 28), 6, kAccentPale);
    for (int i = 0; i < 6; ++i) {
        const QRectF cell(left + i * (box + gap), screen.top() + 25, box, 14);
        fillRoundedRect(p, cell, 2.5, kWhite);
        fillCircle(p, cell.center(), 2.2, kInk);
    }
    const qreal x = screen.center().x();
    const QPen arrow = strokePen(kAccent, 2.5);
    strokePolyline(p, {QPointF(x, screen.top() + 56), QPointF(x, screen.top() + 80)}, arrow);
    strokePolyline(p, {QPointF(x - 6, screen.top() + 74), QPointF(x, screen.top() + 80), QPointF(x + 6, screen.top() + 74)},
                   arrow);
    const QRectF field(screen.left() + 8, screen.top() + 90, screen.width() - 16, 22);
    p.setPen(QPen(kAccent, 1.5));
    p.setBrush(kWhite);
    p.drawRoundedRect(field, 5, 5);
    for (int i = 0; i < 6; ++i)
        fillCircle(p, QPointF(field.left() + 12 + i * ((field.width() - 24) / 5), field.center().y()), 2.2, kInk);
    fillRoundedRect(p, QRectF(screen.left() + 8, screen.top() + 122, screen.width() - 16, 16), 5, kAccent);
}

struct StillImage {
    QString name;
    QSizeF points;
    Drawing draw;
};

QList<StillImage> stillImages()
{
    return {
        {"LeftArrow", {24, 24},
         [](QPainter &p) {
             fillCircle(p, QPointF(12, 12), 12, kMist);
             drawBackArrow(p);
         }},
        {"LeftArrowTransparent", {24, 24}, [](QPainter &p) { drawBackArrow(p); }},
        {"Lock", {20, 20}, [](QPainter &p) { drawPadlock(p, QPointF(0, 0), 20, kGrey, kWhite); }},
        {"LockError", {28, 28},
         [](QPainter &p) {
             fillCircle(p, QPointF(14, 14), 14, kRedPale);
             drawPadlock(p, QPointF(4, 3.5), 20, kRed, kRedPale);
         }},
        {"ExclamationError", {38, 38},
         [](QPainter &p) {
             fillCircle(p, QPointF(19, 19), 18, kRed);
             fillRoundedRect(p, QRectF(17.25, 8.5, 3.5, 14), 1.75, kWhite);
             fillCircle(p, QPointF(19, 27.5), 2.2, kWhite);
         }},
        {"Indicator", {4, 10},
         [](QPainter &p) { strokePolyline(p, {QPointF(0.8, 0.9), QPointF(3.2, 5), QPointF(0.8, 9.1)}, strokePen(kGrey, 1.2)); }},
        {"Success", {36, 36},
         [](QPainter &p) {
             fillCircle(p, QPointF(18, 18), 17, kGreen);
             strokePolyline(p, {QPointF(10.5, 18.5), QPointF(15.5, 23.5), QPointF(25.5, 13)}, strokePen(kWhite, 3));
         }},
        {"Failure", {36, 36},
         [](QPainter &p) {
             fillCircle(p, QPointF(18, 18), 17, kRed);
             const QPen pen = strokePen(kWhite, 3);
             strokePolyline(p, {QPointF(12.5, 12.5), QPointF(23.5, 23.5)}, pen);
             strokePolyline(p, {QPointF(23.5, 12.5), QPointF(12.5, 23.5)}, pen);
         }},
        {"ENBD-Onboarding-0", {240, 200}, drawOnboardingOpenApp},
        {"ENBD-Onboarding-1", {240, 200}, drawOnboardingChooseToken},
        {"ENBD-Onboarding-2", {240, 200}, drawOnboardingEnterCode},
    };
}

// ---- GIF writing ---------------------------------------------------------

struct Frame {
    QImage image;  // ARGB; pixels under half opacity become transparent
    int delayCs;   // hundredths of a second
};

QRgb opaque(QRgb pixel)
{
    return qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
}

// Median cut down to `limit` colours; only needed when a drawing blends more
// colours than one GIF palette holds.
QList<QRgb> reducePalette(const QHash<QRgb, int> &histogram, int limit)
{
    struct Box {
        std::vector<std::pair<QRgb, int>> colours;
    };
    std::vector<Box> boxes(1);
    for (auto it = histogram.begin(); it != histogram.end(); ++it)
        boxes[0].colours.emplace_back(it.key(), it.value());
    std::sort(boxes[0].colours.begin(), boxes[0].colours.end());
    auto channel = [](QRgb c, int k) { return k == 0 ? qRed(c) : k == 1 ? qGreen(c) : qBlue(c); };
    while (int(boxes.size()) < limit) {
        int best = -1, bestChannel = 0, bestRange = 0;
        for (int b = 0; b < int(boxes.size()); ++b) {
            if (boxes[b].colours.size() < 2)
                continue;
            for (int k = 0; k < 3; ++k) {
                int lo = 255, hi = 0;
                for (const auto &[c, n] : boxes[b].colours) {
                    lo = std::min(lo, channel(c, k));
                    hi = std::max(hi, channel(c, k));
                }
                if (hi - lo > bestRange) {
                    best = b;
                    bestChannel = k;
                    bestRange = hi - lo;
                }
            }
        }
        if (best < 0)
            break;
        auto &colours = boxes[best].colours;
        std::stable_sort(colours.begin(), colours.end(),
                         [&](const auto &a, const auto &b) { return channel(a.first, bestChannel) < channel(b.first, bestChannel); });
        Box upper;
        upper.colours.assign(colours.begin() + colours.size() / 2, colours.end());
        colours.resize(colours.size() / 2);
        boxes.push_back(std::move(upper));
    }
    QList<QRgb> palette;
    for (const Box &box : boxes) {
        double r = 0, g = 0, b = 0, total = 0;
        for (const auto &[c, n] : box.colours) {
            r += qRed(c) * double(n);
            g += qGreen(c) * double(n);
            b += qBlue(c) * double(n);
            total += n;
        }
        palette.append(qRgb(int(std::lround(r / total)), int(std::lround(g / total)), int(std::lround(b / total))));
    }
    return palette;
}

int nearest(const QList<QRgb> &palette, QRgb colour)
{
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < palette.size(); ++i) {
        const long dr = qRed(palette[i]) - qRed(colour), dg = qGreen(palette[i]) - qGreen(colour),
                   db = qBlue(palette[i]) - qBlue(colour);
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

// Writes full-size frames over one global palette whose entry 0 is the
// transparent colour. `loops` is the NETSCAPE2.0 repeat count (0 = forever);
// without it the animation plays once.
bool writeGif(const QString &path, const QList<Frame> &frames, std::optional<int> loops)
{
    const QSize size = frames.first().image.size();
    QList<QImage> images;
    QHash<QRgb, int> histogram;
    for (const Frame &frame : frames) {
        QImage image = frame.image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(line[x]) >= 128)
                    ++histogram[opaque(line[x])];
        }
        images.append(image);
    }
    QList<QRgb> colours;
    if (histogram.size() <= 255) {
        colours = histogram.keys();
        std::sort(colours.begin(), colours.end());
    } else {
        colours = reducePalette(histogram, 255);
    }
    QList<QRgb> palette{qRgb(255, 255, 255)};
    palette.append(colours);
    int mapSize = 2;
    while (mapSize < palette.size())
        mapSize *= 2;
    std::vector<GifColorType> entries(size_t(mapSize), GifColorType{0, 0, 0});
    for (int i = 0; i < palette.size(); ++i)
        entries[size_t(i)] = GifColorType{GifByteType(qRed(palette[i])), GifByteType(qGreen(palette[i])),
                                          GifByteType(qBlue(palette[i]))};
    ColorMapObject *map = GifMakeMapObject(mapSize, entries.data());

    int error = 0;
    GifFileType *gif = EGifOpenFileName(path.toLocal8Bit().constData(), false, &error);
    if (!gif) {
        GifFreeMapObject(map);
        std::fprintf(stderr, "cannot create %s: %s\n", qPrintable(path), GifErrorString(error));
        return false;
    }
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, size.width(), size.height(), 8, 0, map) == GIF_OK;
    if (ok && loops) {
        const GifByteType repeat[3] = {1, GifByteType(*loops & 0xFF), GifByteType((*loops >> 8) & 0xFF)};
        ok = EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK
            && EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK
            && EGifPutExtensionBlock(gif, 3, repeat) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
    }
    QHash<QRgb, int> lookup;
    std::vector<GifPixelType> line(size_t(size.width()));
    for (int f = 0; ok && f < frames.size(); ++f) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSE_BACKGROUND;
        control.UserInputFlag = false;
        control.DelayTime = frames[f].delayCs;
        control.TransparentColor = 0;
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK
            && EGifPutImageDesc(gif, 0, 0, size.width(), size.height(), false, nullptr) == GIF_OK;
        for (int y = 0; ok && y < size.height(); ++y) {
            const QRgb *pixels = reinterpret_cast<const QRgb *>(images[f].constScanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                if (qAlpha(pixels[x]) < 128) {
                    line[size_t(x)] = 0;
                    continue;
                }
                const QRgb colour = opaque(pixels[x]);
                auto it = lookup.constFind(colour);
                if (it == lookup.constEnd())
                    it = lookup.insert(colour, 1 + nearest(colours, colour));
                line[size_t(x)] = GifPixelType(*it);
            }
            ok = EGifPutLine(gif, line.data(), size.width()) == GIF_OK;
        }
    }
    if (!ok)
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), GifErrorString(gif->Error));
    GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) != GIF_OK) {
        std::fprintf(stderr, "cannot finish %s: %s\n", qPrintable(path), GifErrorString(error));
        ok = false;
    }
    return ok;
}

QColor mix(const QColor &from, const QColor &to, qreal t)
{
    return QColor::fromRgbF(from.redF() + (to.redF() - from.redF()) * t, from.greenF() + (to.greenF() - from.greenF()) * t,
                            from.blueF() + (to.blueF() - from.blueF()) * t);
}

// A ring of dots whose bright head runs round a small bank, one step a frame.
QList<Frame> connectAnimation()
{
    constexpr int kDots = 12;
    QList<Frame> frames;
    for (int f = 0; f < kDots; ++f) {
        frames.append({render({120, 120}, 1,
                              [f](QPainter &p) {
                                  for (int i = 0; i < kDots; ++i) {
                                      const int age = ((f - i) % kDots + kDots) % kDots;
                                      const qreal angle = 2 * M_PI * i / kDots - M_PI / 2;
                                      const QPointF centre(60 + 44 * std::cos(angle), 60 + 44 * std::sin(angle));
                                      const qreal fade = std::min(1.0, age / 7.0);
                                      fillCircle(p, centre, 6.5 - 2.5 * fade, mix(kAccentDeep, kAccentPale, fade));
                                  }
                                  // The bank: a pediment, three columns and a step.
                                  QPainterPath roof;
                                  roof.moveTo(60, 40);
                                  roof.lineTo(79, 50);
                                  roof.lineTo(41, 50);
                                  roof.closeSubpath();
                                  p.setPen(Qt::NoPen);
                                  p.setBrush(kAccent);
                                  p.drawPath(roof);
                                  for (int c = 0; c < 3; ++c)
                                      fillRoundedRect(p, QRectF(45 + c * 12, 53, 6, 19), 1, kAccent);
                                  fillRoundedRect(p, QRectF(40, 74, 40, 5), 1.5, kAccent);
                              }),
                       8});
    }
    return frames;
}

// A green disc that grows, then a white tick that draws itself; the last frame
// holds the finished mark.
QList<Frame> successfulTransfer()
{
    const QPointF tick[3] = {QPointF(25, 45), QPointF(38, 58), QPointF(63, 32)};
    const qreal first = std::hypot(tick[1].x() - tick[0].x(), tick[1].y() - tick[0].y());
    const qreal second = std::hypot(tick[2].x() - tick[1].x(), tick[2].y() - tick[1].y());
    auto frame = [&](qreal disc, qreal drawn) {
        return render({88, 88}, 1, [&](QPainter &p) {
            fillCircle(p, QPointF(44, 44), 41 * disc, kGreen);
            if (drawn <= 0)
                return;
            const qreal length = drawn * (first + second);
            QPainterPath path;
            path.moveTo(tick[0]);
            if (length <= first) {
                path.lineTo(tick[0] + (tick[1] - tick[0]) * (length / first));
            } else {
                path.lineTo(tick[1]);
                path.lineTo(tick[1] + (tick[2] - tick[1]) * ((length - first) / second));
            }
            p.setPen(strokePen(kWhite, 7));
            p.setBrush(Qt::NoBrush);
            p.drawPath(path);
        });
    };
    QList<Frame> frames;
    constexpr int kGrow = 6, kDraw = 9;
    for (int i = 0; i < kGrow; ++i) {
        const qreal t = qreal(i + 1) / kGrow;
        frames.append({frame(0.35 + 0.65 * (1 - (1 - t) * (1 - t)), 0), 4});
    }
    for (int i = 0; i < kDraw; ++i)
        frames.append({frame(1, qreal(i + 1) / kDraw), i + 1 == kDraw ? 100 : 4});
    return frames;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists()) {
        std::fprintf(stderr, "no such directory: %s\n", argv[1]);
        return 2;
    }
    bool ok = true;
    for (const StillImage &still : stillImages()) {
        for (int scale : {1, 2}) {
            const QString file = still.name + (scale == 2 ? QStringLiteral("@2x") : QString()) + QStringLiteral(".png");
            if (!render(still.points, scale, still.draw).save(out.filePath(file), "PNG")) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(out.filePath(file)));
                ok = false;
            }
        }
    }
    // The loading animation runs until the page or the bank answers; the
    // success mark plays once and stays.
    ok = writeGif(out.filePath(QStringLiteral("connectAnimation.gif")), connectAnimation(), 0) && ok;
    ok = writeGif(out.filePath(QStringLiteral("successful_transfer.gif")), successfulTransfer(), std::nullopt) && ok;
    return ok ? 0 : 1;
}
