// Arbitrary text as a date pattern and a date string (split at the first
// line break): strict parsing, then formatting the result with the pattern.

#include <QTimeZone>
#include <cstddef>
#include <cstdint>

#include "dates/KovaDates.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = text.indexOf(QLatin1Char('\n'));
    const QString format = split < 0 ? text : text.left(split);
    const QString value = split < 0 ? QString() : text.mid(split + 1);
    const QDateTime date = kova::KovaDates::dateWithString(value, format, QTimeZone::utc());
    volatile qsizetype sink = 0;
    if (date.isValid())
        sink = sink + kova::KovaDates::formattedDateWithFormat(date, format, QTimeZone::utc()).size();
    sink = sink + kova::KovaDates::formattedDateWithFormat(QDateTime::fromSecsSinceEpoch(0, QTimeZone::utc()), format).size();
    (void)sink;
    return 0;
}
