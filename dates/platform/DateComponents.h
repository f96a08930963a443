#pragma once

#include <QtGlobal>
#include <optional>

namespace kova::platform {

// Calendar fields of a date, or the field counts of a difference or an
// addition. A field that was not asked for or not set is empty.
struct DateComponents {
    std::optional<qint64> era;
    std::optional<qint64> year;
    std::optional<qint64> month;
    std::optional<qint64> day;
    std::optional<qint64> hour;
    std::optional<qint64> minute;
    std::optional<qint64> second;
    std::optional<qint64> weekday;
    std::optional<qint64> weekdayOrdinal;
    std::optional<qint64> quarter;
    std::optional<qint64> weekOfMonth;
    std::optional<qint64> weekOfYear;
    std::optional<qint64> yearForWeekOfYear;
};

} // namespace kova::platform
