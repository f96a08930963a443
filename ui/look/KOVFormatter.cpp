#include "ui/look/KOVFormatter.h"

#include <cmath>

namespace kova {

QString KOVDateFormatter::format(const QDateTime &date) const
{
    // The pattern's "a" is the AM/PM marker in capitals; Qt spells that "AP"
    // ("a" alone is lower case there). Quoted text stays as it is.
    QString pattern;
    bool quoted = false;
    for (const QChar c : m_format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('a'))
            pattern += QStringLiteral("AP");
        else
            pattern += c;
    }
    return m_locale.toString(date.toLocalTime(), pattern);
}

QString KOVCurrencyFormatter::format(double value) const
{
    if (!std::isfinite(value))
        return QString();
    const bool negative = value < 0;
    // Rounded half-even at the fraction digits, as number formatters do.
    const double scale = std::pow(10.0, m_maxFraction);
    double scaled = std::nearbyint(std::abs(value) * scale);
    const double whole = std::floor(scaled / scale);
    qint64 fraction = static_cast<qint64>(scaled - whole * scale);
    QString digits = QString::number(whole, 'f', 0);
    if (m_grouping && m_groupingSize > 0) {
        for (qsizetype i = digits.size() - m_groupingSize; i > 0; i -= m_groupingSize)
            digits.insert(i, m_groupingSeparator);
    }
    QString fractionText;
    if (m_maxFraction > 0) {
        fractionText = QString::number(fraction).rightJustified(m_maxFraction, QLatin1Char('0'));
        while (fractionText.size() > m_minFraction && fractionText.endsWith(QLatin1Char('0')))
            fractionText.chop(1);
    }
    QString text = digits;
    if (!fractionText.isEmpty())
        text += QLatin1Char('.') + fractionText;
    if (negative && (whole > 0 || fraction > 0))
        text.prepend(QLatin1Char('-'));
    if (!m_currencyCode.isEmpty())
        text = m_currencyCode + QLatin1Char(' ') + text;
    return text;
}

} // namespace kova
