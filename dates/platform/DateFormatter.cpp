#include "dates/platform/DateFormatter.h"

#include <unicode/datefmt.h>
#include <unicode/decimfmt.h>
#include <unicode/smpdtfmt.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

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

// ICU turns a fraction of a second into milliseconds by dividing by ten to
// the power of its digit count less three, computed in 32 bits: from 35
// digits on that divisor wraps to zero and the division ends the process
// (34 digits are the most it survives). It counts decimal digits of any
// script, after any blanks and bidi marks it skips.
constexpr int32_t kUnsafeFractionDigits = 35;

int32_t digitsBetween(const icu::UnicodeString &text, int32_t start, int32_t end)
{
    int32_t digits = 0;
    for (int32_t i = start; i < end;) {
        UChar32 c;
        U16_NEXT(text.getBuffer(), i, end, c);
        if (u_isdigit(c))
            ++digits;
    }
    return digits;
}

// The number format ICU reads the fraction field through: the date format's
// own, except that it does not hand back a run of digits ICU cannot divide,
// and notes that it refused one so that the whole text is refused (ICU
// would otherwise retry an abutting field with fewer digits). A copy of the
// date format's own keeps its digits, signs and leniency; ICU copies it
// again for a field that takes no sign, so it stays a DecimalFormat.
class FractionFormat final : public icu::DecimalFormat {
public:
    FractionFormat(const icu::DecimalFormat &base, bool *refused) : icu::DecimalFormat(base), m_refused(refused) {}

    FractionFormat *clone() const override { return new FractionFormat(*this); }

    using icu::DecimalFormat::parse;
    void parse(const icu::UnicodeString &text, icu::Formattable &result, icu::ParsePosition &position) const override
    {
        const int32_t start = position.getIndex();
        icu::DecimalFormat::parse(text, result, position);
        if (position.getIndex() > start && digitsBetween(text, start, position.getIndex()) >= kUnsafeFractionDigits) {
            *m_refused = true;
            position.setIndex(start);
            position.setErrorIndex(start);
        }
    }

private:
    bool *m_refused;
};

} // namespace

struct DateFormatter::Impl {
    // What the caller asked for.
    DateFormatterStyle dateStyle = DateFormatterStyle::NoStyle;
    DateFormatterStyle timeStyle = DateFormatterStyle::NoStyle;
    std::optional<QString> pattern; // set: pattern mode; empty: style mode
    std::optional<QLocale> locale;
    std::optional<QTimeZone> zone;

    // Set by the fraction field's number format when it refuses a text; it
    // outlives the formatter that points at it.
    bool fractionRefused = false;
    // What the ICU formatter was built with.
    std::unique_ptr<icu::DateFormat> format;
    std::optional<bool> fractionGuarded; // unset until the first parse
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
        d->fractionGuarded.reset();
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

// Only a format that parses gets the fraction guard: formatting keeps ICU's
// own number format for the fraction, and with it ICU's fast path.
bool DateFormatter::guardFraction()
{
    if (!d->fractionGuarded) {
        auto *format = dynamic_cast<icu::SimpleDateFormat *>(d->format.get());
        const auto *numbers = format ? dynamic_cast<const icu::DecimalFormat *>(format->getNumberFormat()) : nullptr;
        UErrorCode status = U_ZERO_ERROR;
        if (numbers)
            format->adoptNumberFormat(icu::UnicodeString(u"S"), new FractionFormat(*numbers, &d->fractionRefused), status);
        d->fractionGuarded = numbers && U_SUCCESS(status);
    }
    return *d->fractionGuarded;
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
    // Without the guard (a format ICU built otherwise), any text with as
    // many digits as could crash the fraction field is refused.
    if (!guardFraction() && digitsBetween(source, 0, source.length()) >= kUnsafeFractionDigits)
        return QDateTime();
    icu::ParsePosition position(0);
    d->fractionRefused = false;
    const UDate millis = d->format->parse(source, position);
    if (d->fractionRefused || position.getErrorIndex() >= 0 || position.getIndex() != source.length())
        return QDateTime();
    return IcuSupport::fromMillis(millis);
}

} // namespace kova::platform
