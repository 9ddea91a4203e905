#include "LeadingNumber.h"

#include <QString>

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

    // Let the library do the decimal conversion so that the value is correctly rounded.
    QString number = text.mid(start, i - start).toString();
    if (number.endsWith(u'.'))
        number.chop(1);
    const QByteArray latin1 = number.toLatin1();
    const char *first = latin1.constData();
    if (*first == '+')
        ++first; // from_chars takes no plus sign
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, latin1.constData() + latin1.size(), value);
    Q_UNUSED(end);
    if (error == std::errc::result_out_of_range) {
        // Far too many digits: keep it "too large" rather than letting it count as 0.
        const bool tiny = number.contains(u'.') && LeadingNumber::of(number.section(u'.', 0, 0)) == 0.0;
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        if (latin1.startsWith('-'))
            value = -value;
    }
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
