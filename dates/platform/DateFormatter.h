#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTimeZone>
#include <memory>
#include <optional>

namespace kova::platform {

// The platform's date and time styles.
enum class DateFormatterStyle {
    NoStyle = 0,
    ShortStyle = 1,
    MediumStyle = 2,
    LongStyle = 3,
    FullStyle = 4,
};

// Turns dates into text and back, by styles or by a pattern in the Unicode
// date-pattern language ("yyyy-MM-dd", "EEE"). Until a locale or a time zone
// is set, the formatter follows the current locale and the system time zone.
// Setting a style replaces the pattern with the style's own; setting a
// pattern replaces the styles.
//
// Not locked: a formatter shared between threads needs its owner's lock.
class DateFormatter {
public:
    DateFormatter();
    ~DateFormatter();
    DateFormatter(const DateFormatter &) = delete;
    DateFormatter &operator=(const DateFormatter &) = delete;

    void setDateStyle(DateFormatterStyle style);
    void setTimeStyle(DateFormatterStyle style);
    void setDateFormat(const QString &pattern);
    void setLocale(const QLocale &locale);
    void setTimeZone(const QTimeZone &zone);

    // The text; a null text for a missing date or a pattern that cannot be
    // used. With both styles NoStyle and no pattern the text is empty.
    QString stringFromDate(const QDateTime &date);
    // Strict: the whole text must match the pattern, fields must be in range
    // and the wall-clock time must exist in the zone; otherwise a null date.
    QDateTime dateFromString(const QString &text);

private:
    struct Impl;
    bool prepare();
    bool guardFraction();
    std::unique_ptr<Impl> d;
};

} // namespace kova::platform
