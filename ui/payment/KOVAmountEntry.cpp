#include "ui/payment/KOVAmountEntry.h"

#include <cmath>
#include <limits>

namespace kova {

QString KOVAmountEntry::filtered(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        // Amounts are whole units: what follows a decimal point is a
        // fraction (cents pasted from an invoice), never more of the amount.
        if (c == u'.' || c == u'\u066B')
            break;
        if (c == u',')
            result.append(c);
        else if (c.isDigit())
            result.append(QChar(u'0' + c.digitValue()));
    }
    return result;
}

std::optional<quint64> KOVAmountEntry::parse(const QString &text)
{
    constexpr quint64 largest = std::numeric_limits<quint64>::max();
    quint64 value = 0;
    bool sawDigit = false;
    for (const QChar c : text) {
        if (c == u',')
            continue;
        if (c < u'0' || c > u'9')
            return std::nullopt;
        sawDigit = true;
        const quint64 digit = quint64(c.unicode() - u'0');
        if (value > (largest - digit) / 10)
            value = largest;
        else
            value = value * 10 + digit;
    }
    if (!sawDigit)
        return std::nullopt;
    return value;
}

QString KOVAmountEntry::grouped(quint64 value)
{
    const QString digits = QString::number(value);
    QString result;
    result.reserve(digits.size() + digits.size() / 3);
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            result.append(u',');
        result.append(digits.at(i));
    }
    return result;
}

bool KOVAmountEntry::breaks(quint64 value, quint64 minimumAmount, quint64 maximumAmount, Limit *limit, quint64 *bound)
{
    // The lower bound is tested first: an amount below it never gets the
    // upper-bound text.
    if (minimumAmount != 0 && value < minimumAmount) {
        *limit = Limit::Minimum;
        *bound = minimumAmount;
        return true;
    }
    if (maximumAmount != 0 && value > maximumAmount) {
        *limit = Limit::Maximum;
        *bound = maximumAmount;
        return true;
    }
    return false;
}

KOVAmountEntry::State KOVAmountEntry::evaluate(const QString &text, quint64 minimumAmount, quint64 maximumAmount)
{
    State state;
    const std::optional<quint64> typed = parse(text);
    const quint64 value = typed.value_or(0);

    // The field is rewritten from the amount as typed; an amount above the
    // upper bound (or any amount with none) falls to the display cap.
    std::optional<quint64> shown = typed;
    if (typed && value > maximumAmount)
        shown = std::min(value, displayCap);
    state.fieldText = shown ? grouped(*shown) : QString();

    if (breaks(value, minimumAmount, maximumAmount, &state.limit, &state.limitAmount))
        return state;
    // What Send submits is the field's text after the rewrite, so it has to
    // keep inside the bounds as well as the amount typed.
    const quint64 submitted = shown.value_or(0);
    if (breaks(submitted, minimumAmount, maximumAmount, &state.limit, &state.limitAmount))
        return state;
    state.sendEnabled = value > 0 && value <= largestExactAmount && submitted > 0;
    return state;
}

std::optional<double> KOVAmountEntry::wholeAmount(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double whole = std::trunc(value);
    if (whole <= 0 || whole > double(largestExactAmount))
        return std::nullopt;
    return whole;
}

} // namespace kova
