#pragma once

#include <QStringView>

#include <optional>

// Wherever a text stands for a number (the interval, the counters, the APOP value), the number at its
// start is taken: leading blanks are skipped, then an optional sign, digits and a decimal fraction.
// A text that does not start with a number counts as 0.
class LeadingNumber final {
public:
    static double of(QStringView text);

    // Rounds to the nearest whole number, a half going to the even neighbour. Empty when the result
    // does not fit a 32-bit signed integer.
    static std::optional<qint32> roundHalfEven(double value);
};
