#include "core/records/KOVColorHex.h"

#include <optional>

namespace kova {

namespace {

std::optional<int> hexDigit(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode() - '0';
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        return c.unicode() - 'A' + 10;
    return std::nullopt;
}

// A pair whose second character is no hex digit reads as its first digit
// alone ("1Z" is 1); one that does not start with a hex digit is unreadable.
std::optional<int> channel(QChar high, QChar low)
{
    const std::optional<int> first = hexDigit(high);
    if (!first)
        return std::nullopt;
    const std::optional<int> second = hexDigit(low);
    return second ? *first * 16 + *second : *first;
}

const QColor &fallbackColor()
{
    static const QColor color(0x71, 0x9C, 0xDD);
    return color;
}

} // namespace

QColor colorWithHexString(const QString &text)
{
    QString hex = text.trimmed().toUpper();
    hex.remove(QLatin1Char('#'));
    if (hex.size() < 6)
        return fallbackColor();
    if (hex.startsWith(QLatin1String("0X")))
        hex.remove(0, 2);
    if (hex.size() != 6)
        return fallbackColor();
    const std::optional<int> red = channel(hex[0], hex[1]);
    const std::optional<int> green = channel(hex[2], hex[3]);
    const std::optional<int> blue = channel(hex[4], hex[5]);
    if (!red || !green || !blue)
        return fallbackColor();
    return QColor(*red, *green, *blue);
}

} // namespace kova
