#include "LeadingNumber.h"

#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

double LeadingNumber::of(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\r' || text[i] == u'\n'))
        ++i;

    const qsizetype start = i;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    for (; i < n && isDigit(text[i]); ++i)
        ++digits;
    if (i < n && text[i] == u'.') {
        ++i;
        for (; i < n && isDigit(text[i]); ++i)
            ++digits;
    }
    if (digits == 0)
        return 0.0;

    // Let the library do the decimal conversion so that the value is correctly rounded. What is left is
    // ASCII; the usual short numbers are converted without touching the heap (the counters are read ten
    // times a second).
    QVarLengthArray<char, 32> ascii;
    for (qsizetype k = start; k < i; ++k)
        ascii.append(char(text[k].unicode()));
    if (ascii.back() == '.')
        ascii.removeLast();
    const char *first = ascii.constData();
    const char *last = first + ascii.size();
    const bool negative = *first == '-';
    if (*first == '+' || negative)
        ++first; // from_chars takes no plus sign; the minus is put back below
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value);
    Q_UNUSED(end);
    if (error == std::errc::result_out_of_range) {
        // Far too many digits: keep it "too large" rather than letting it count as 0, unless it is a
        // fraction whose whole part is 0.
        const char *point = std::find(first, last, '.');
        const bool tiny = point != last && std::all_of(first, point, [](char c) { return c == '0'; });
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    }
    if (negative)
        value = -value;
    return value + 0.0; // "+ 0.0" turns a negative zero into zero
}

std::optional<qint32> LeadingNumber::roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // the default rounding mode: to nearest, ties to even
    if (rounded < std::numeric_limits<qint32>::min() || rounded > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(rounded);
}
