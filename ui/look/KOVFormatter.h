#pragma once

// Usage: `KOVFormatter f; f.currencyFormatter().format(1234.5)` → "1,234.50";
// after `setCurrencyCode("KWD")` → "KWD 1,234.500"; `f.dateFormatter().format(date)`
// in "MMM d, h:mm a". Each screen makes its own and may change them
// (currency code, fraction digits).

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace kova {

class KOVDateFormatter {
public:
    QString dateFormat() const { return m_format; }
    void setDateFormat(const QString &format) { m_format = format; }
    QLocale locale() const { return m_locale; }
    void setLocale(const QLocale &locale) { m_locale = locale; }
    // In the device's time zone.
    QString format(const QDateTime &date) const;

private:
    QString m_format = QStringLiteral("MMM d, h:mm a");
    QLocale m_locale = QLocale::system();
};

class KOVCurrencyFormatter {
public:
    int groupingSize() const { return m_groupingSize; }
    void setGroupingSize(int size) { m_groupingSize = size; }
    QString groupingSeparator() const { return m_groupingSeparator; }
    void setGroupingSeparator(const QString &separator) { m_groupingSeparator = separator; }
    bool usesGroupingSeparator() const { return m_grouping; }
    void setUsesGroupingSeparator(bool uses) { m_grouping = uses; }
    int maximumFractionDigits() const { return m_maxFraction; }
    void setMaximumFractionDigits(int digits) { m_maxFraction = digits; }
    int minimumFractionDigits() const { return m_minFraction; }
    void setMinimumFractionDigits(int digits) { m_minFraction = digits; }
    // Written before the number (with a space) when not empty. In the
    // currency style the code also brings its currency's own fraction digits.
    QString currencyCode() const { return m_currencyCode; }
    void setCurrencyCode(const QString &code);
    // The currency number style: from now on the fraction digits, minimum
    // and maximum, are those of the currency code (2 without one).
    bool usesCurrencyStyle() const { return m_currencyStyle; }
    void setCurrencyStyle();
    // The minor units of an ISO 4217 code: 3 for the dinars and rials that
    // count in thousandths, 0 for currencies without a fraction, else 2.
    static int fractionDigitsOfCurrency(const QString &code);
    QString format(double value) const;
    QString format(qint64 value) const { return format(static_cast<double>(value)); }

private:
    int m_groupingSize = 3;
    QString m_groupingSeparator = QStringLiteral(",");
    bool m_grouping = true;
    int m_maxFraction = 2;
    int m_minFraction = 0;
    QString m_currencyCode;
    bool m_currencyStyle = false;
};

class KOVFormatter {
public:
    KOVFormatter();
    KOVDateFormatter &dateFormatter() { return m_dateFormatter; }
    KOVCurrencyFormatter &currencyFormatter() { return m_currencyFormatter; }

private:
    KOVDateFormatter m_dateFormatter;
    KOVCurrencyFormatter m_currencyFormatter;
};

} // namespace kova
