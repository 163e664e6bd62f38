#include "rounding.h"

#include <cmath>
#include <limits>

namespace nimbrel {

double roundHalfEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction < 0.5)
        return lower;
    if (fraction > 0.5)
        return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

int roundHalfEvenToInt(double value) {
    const double rounded = roundHalfEven(value);
    if (std::isnan(rounded) || rounded < std::numeric_limits<int>::min() ||
        rounded > std::numeric_limits<int>::max())
        return rounded > 0 ? std::numeric_limits<int>::max() : std::numeric_limits<int>::min();
    return static_cast<int>(rounded);
}

qint64 roundHalfEven(qint64 numerator, qint64 denominator) {
    qint64 quotient = numerator / denominator;
    const qint64 twiceRemainder = 2 * (numerator % denominator);
    const qint64 magnitude = twiceRemainder < 0 ? -twiceRemainder : twiceRemainder;
    if (magnitude > denominator || (magnitude == denominator && quotient % 2 != 0))
        quotient += numerator < 0 ? -1 : 1;
    return quotient;
}

} // namespace nimbrel
