#include "core/records/KOVRecordDate.h"

#include <QRegularExpression>
#include <optional>

namespace kova {

namespace {

// [0-9] rather than \d: the pattern must not accept digits of other scripts.
const QRegularExpression &pattern(KOVRecordDateFormat format)
{
    static const QRegularExpression withMilliseconds(QStringLiteral(
        "^([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})\\.([0-9]{3})"
        "(Z|[+-][0-9]{2}(?::?[0-9]{2})?)$"));
    static const QRegularExpression withSeconds(QStringLiteral(
        "^([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})()"
        "(Z|[+-][0-9]{2}(?::?[0-9]{2})?)$"));
    return format == KOVRecordDateFormat::WithMilliseconds ? withMilliseconds : withSeconds;
}

// Seconds east of UTC; nothing for an offset no clock uses.
std::optional<int> offsetSeconds(const QString &zone)
{
    if (zone == QLatin1String("Z"))
        return 0;
    const int sign = zone.startsWith(QLatin1Char('-')) ? -1 : 1;
    QString digits = zone.mid(1);
    digits.remove(QLatin1Char(':'));
    const int hours = digits.left(2).toInt();
    const int minutes = digits.size() > 2 ? digits.mid(2, 2).toInt() : 0;
    if (hours > 23 || minutes > 59)
        return std::nullopt;
    return sign * (hours * 3600 + minutes * 60);
}

} // namespace

QDateTime parseRecordDate(const QString &text, KOVRecordDateFormat format)
{
    if (text.isEmpty())
        return {};
    const QRegularExpressionMatch match = pattern(format).match(text);
    if (!match.hasMatch())
        return {};
    const auto number = [&match](int group) { return match.captured(group).toInt(); };
    const QDate date(number(1), number(2), number(3));
    const int milliseconds = format == KOVRecordDateFormat::WithMilliseconds ? number(7) : 0;
    const QTime time(number(4), number(5), number(6), milliseconds);
    if (!date.isValid() || !time.isValid())
        return {};
    const std::optional<int> offset = offsetSeconds(match.captured(8));
    if (!offset)
        return {};
    // The wall-clock reading is in the given offset; UTC is that reading less the offset.
    return QDateTime(date, time, Qt::UTC).addSecs(-*offset);
}

} // namespace kova
