#include "ui/look/KOVFormatter.h"

#include <QStringList>
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

int KOVCurrencyFormatter::fractionDigitsOfCurrency(const QString &code)
{
    static const QStringList thousandths = {QStringLiteral("BHD"), QStringLiteral("IQD"), QStringLiteral("JOD"),
                                            QStringLiteral("KWD"), QStringLiteral("LYD"), QStringLiteral("OMR"),
                                            QStringLiteral("TND")};
    static const QStringList whole = {
        QStringLiteral("BIF"), QStringLiteral("CLP"), QStringLiteral("DJF"), QStringLiteral("GNF"),
        QStringLiteral("ISK"), QStringLiteral("JPY"), QStringLiteral("KMF"), QStringLiteral("KRW"),
        QStringLiteral("PYG"), QStringLiteral("RWF"), QStringLiteral("UGX"), QStringLiteral("UYI"),
        QStringLiteral("VND"), QStringLiteral("VUV"), QStringLiteral("XAF"), QStringLiteral("XOF"),
        QStringLiteral("XPF")};
    const QString upper = code.trimmed().toUpper();
    if (thousandths.contains(upper))
        return 3;
    if (whole.contains(upper))
        return 0;
    return 2;
}

void KOVCurrencyFormatter::setCurrencyStyle()
{
    m_currencyStyle = true;
    m_minFraction = m_maxFraction = fractionDigitsOfCurrency(m_currencyCode);
}

void KOVCurrencyFormatter::setCurrencyCode(const QString &code)
{
    m_currencyCode = code;
    if (m_currencyStyle)
        m_minFraction = m_maxFraction = fractionDigitsOfCurrency(code);
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

KOVFormatter::KOVFormatter()
{
    KOVCurrencyFormatter &currency = m_currencyFormatter;
    currency.setGroupingSize(3);
    currency.setGroupingSeparator(QStringLiteral(","));
    currency.setUsesGroupingSeparator(true);
    currency.setMaximumFractionDigits(2);
    // Last, as the number formatter's currency style is set: it brings the
    // currency's own fraction digits and so overrides the two above.
    currency.setCurrencyStyle();
}

} // namespace kova
