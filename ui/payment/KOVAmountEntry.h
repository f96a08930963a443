#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace kova {

// What the amount pad decides for a text in its field: the rewritten field,
// whether Send may be tapped and which bound line shows. Kept apart from the
// widgets so every rule can be checked without a screen.
class KOVAmountEntry {
public:
    enum class Limit { None, Minimum, Maximum };

    struct State {
        QString fieldText;
        bool sendEnabled = false;
        Limit limit = Limit::None;
        // The bound the line names (unused for Limit::None).
        quint64 limitAmount = 0;
    };

    // Above this a double no longer holds every whole number, so a larger
    // amount could be sent as another one.
    static constexpr quint64 largestExactAmount = quint64(1) << 53;
    // The field never shows more than this unless a higher upper bound allows it.
    static constexpr quint64 displayCap = 1000000;

    // The whole units of what a person typed or pasted: decimal digits of any
    // script (as ASCII) and the field's own grouping commas, up to the first
    // decimal point; signs, letters and the fraction are dropped.
    static QString filtered(const QString &text);
    // The whole number of a text of digits and commas, saturating at the
    // largest unsigned value; empty for a text without a digit or with any
    // other character.
    static std::optional<quint64> parse(const QString &text);
    // Groups of three with "," whatever the locale.
    static QString grouped(quint64 value);

    // Both bounds are unsigned; 0 means no bound.
    static State evaluate(const QString &text, quint64 minimumAmount, quint64 maximumAmount);

    // The amount a submitted value stands for: a finite value truncated
    // toward zero, or empty when nothing may be sent (not finite, 0 or less,
    // or beyond what a double holds exactly, which also keeps it clear of
    // the "no amount" marker).
    static std::optional<double> wholeAmount(double value);

private:
    static bool breaks(quint64 value, quint64 minimumAmount, quint64 maximumAmount, Limit *limit, quint64 *bound);
};

} // namespace kova
