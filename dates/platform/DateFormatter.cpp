#include "dates/platform/DateFormatter.h"

#include <unicode/datefmt.h>
#include <unicode/smpdtfmt.h>

#include "dates/platform/DateEnvironment.h"
#include "dates/platform/IcuSupport.h"

namespace kova::platform {
namespace {

icu::DateFormat::EStyle icuStyle(DateFormatterStyle style)
{
    switch (style) {
    case DateFormatterStyle::ShortStyle: return icu::DateFormat::kShort;
    case DateFormatterStyle::MediumStyle: return icu::DateFormat::kMedium;
    case DateFormatterStyle::LongStyle: return icu::DateFormat::kLong;
    case DateFormatterStyle::FullStyle: return icu::DateFormat::kFull;
    case DateFormatterStyle::NoStyle: break;
    }
    return icu::DateFormat::kNone;
}

bool isStyle(DateFormatterStyle style)
{
    return icuStyle(style) != icu::DateFormat::kNone;
}

} // namespace

struct DateFormatter::Impl {
    // What the caller asked for.
    DateFormatterStyle dateStyle = DateFormatterStyle::NoStyle;
    DateFormatterStyle timeStyle = DateFormatterStyle::NoStyle;
    std::optional<QString> pattern; // set: pattern mode; empty: style mode
    std::optional<QLocale> locale;
    std::optional<QTimeZone> zone;

    // What the ICU formatter was built with.
    std::unique_ptr<icu::DateFormat> format;
    bool formatDirty = true;
    bool zoneDirty = true;
    QLocale builtLocale;
    QTimeZone builtZone;
};

DateFormatter::DateFormatter() : d(std::make_unique<Impl>()) {}

DateFormatter::~DateFormatter() = default;

void DateFormatter::setDateStyle(DateFormatterStyle style)
{
    if (d->pattern || d->dateStyle != style)
        d->formatDirty = true;
    d->dateStyle = style;
    d->pattern.reset();
}

void DateFormatter::setTimeStyle(DateFormatterStyle style)
{
    if (d->pattern || d->timeStyle != style)
        d->formatDirty = true;
    d->timeStyle = style;
    d->pattern.reset();
}

void DateFormatter::setDateFormat(const QString &pattern)
{
    if (d->pattern == pattern)
        return;
    // A copy of its own: a formatter shared between threads then holds no
    // text whose last reference another thread may drop.
    d->pattern = QString(pattern.constData(), pattern.size());
    d->formatDirty = true;
}

void DateFormatter::setLocale(const QLocale &locale)
{
    d->locale = locale;
}

void DateFormatter::setTimeZone(const QTimeZone &zone)
{
    d->zone = zone;
}

bool DateFormatter::prepare()
{
    const QLocale locale = d->locale ? *d->locale : DateEnvironment::currentLocale();
    if (locale != d->builtLocale)
        d->formatDirty = true;
    const QTimeZone zone = d->zone && d->zone->isValid() ? *d->zone : DateEnvironment::systemTimeZone();
    if (zone != d->builtZone)
        d->zoneDirty = true;

    if (d->formatDirty) {
        d->format.reset();
        const icu::Locale icuLocale = IcuSupport::locale(locale);
        UErrorCode status = U_ZERO_ERROR;
        if (d->pattern) {
            d->format = std::make_unique<icu::SimpleDateFormat>(IcuSupport::toUnicode(*d->pattern), icuLocale, status);
        } else if (isStyle(d->dateStyle) || isStyle(d->timeStyle)) {
            d->format.reset(icu::DateFormat::createDateTimeInstance(icuStyle(d->dateStyle), icuStyle(d->timeStyle), icuLocale));
        }
        if (U_FAILURE(status))
            d->format.reset();
        if (d->format) {
            // Strict parsing: no lenient calendar, no skipped whitespace or
            // punctuation, no partial or alternative matches.
            d->format->setLenient(false);
            d->format->setBooleanAttribute(UDAT_PARSE_ALLOW_WHITESPACE, false, status);
            d->format->setBooleanAttribute(UDAT_PARSE_ALLOW_NUMERIC, false, status);
            d->format->setBooleanAttribute(UDAT_PARSE_PARTIAL_LITERAL_MATCH, false, status);
            d->format->setBooleanAttribute(UDAT_PARSE_MULTIPLE_PATTERNS_FOR_MATCH, false, status);
        }
        d->builtLocale = locale;
        d->formatDirty = false;
        d->zoneDirty = true;
    }
    if (d->format && d->zoneDirty) {
        d->format->adoptTimeZone(IcuSupport::timeZone(zone).release());
        d->builtZone = zone;
        d->zoneDirty = false;
    }
    return d->format != nullptr;
}

QString DateFormatter::stringFromDate(const QDateTime &date)
{
    const auto millis = IcuSupport::toMillis(date);
    if (!millis)
        return QString();
    const bool usable = prepare();
    if (!d->pattern && !isStyle(d->dateStyle) && !isStyle(d->timeStyle))
        return QStringLiteral("");
    if (!usable)
        return QString();
    icu::UnicodeString text;
    d->format->format(*millis, text);
    return IcuSupport::fromUnicode(text);
}

QDateTime DateFormatter::dateFromString(const QString &text)
{
    if (text.isEmpty() || !prepare())
        return QDateTime();
    // ICU skips blanks before a numeric field even when told not to; text
    // the pattern does not begin or end with is refused here.
    const QString pattern = d->pattern.value_or(QString());
    if ((text.front().isSpace() && (pattern.isEmpty() || !pattern.front().isSpace()))
        || (text.back().isSpace() && (pattern.isEmpty() || !pattern.back().isSpace())))
        return QDateTime();
    const icu::UnicodeString source = IcuSupport::toUnicode(text);
    icu::ParsePosition position(0);
    const UDate millis = d->format->parse(source, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() != source.length())
        return QDateTime();
    return IcuSupport::fromMillis(millis);
}

} // namespace kova::platform
