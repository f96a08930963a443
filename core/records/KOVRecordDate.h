#pragma once

#include <QDateTime>
#include <QString>

namespace kova {

// The two date layouts the service writes into replies.
enum class KOVRecordDateFormat {
    // "yyyy-MM-dd'T'HH:mm:ss.SSSZ": transactions.
    WithMilliseconds,
    // "yyyy-MM-dd'T'HH:mm:ssZ": card expiry and due dates.
    WithSeconds,
};

// Reads a reply date in exactly the given layout: Gregorian, ASCII digits
// only, the whole text consumed, a zone of "Z", "+HH", "+HHmm" or "+HH:mm"
// (or "-"). Anything else gives a null QDateTime. The result is in UTC.
QDateTime parseRecordDate(const QString &text, KOVRecordDateFormat format);

} // namespace kova
