#pragma once

#include <QtGlobal>

namespace nimbrel {

// Every conversion to a whole number in this program sends a half to the even neighbour. Both
// forms are exact and ignore the FPU rounding mode, so a result never depends on who set it.

// The nearest whole number to a double.
double roundHalfEven(double value);
// The same, held to int's range (pixel positions; anything beyond is off every screen).
int roundHalfEvenToInt(double value);
// numerator / denominator, worked in whole numbers so that a fraction given as a decimal text
// (a temperature of the reply) rounds as written, not as its nearest double.
qint64 roundHalfEven(qint64 numerator, qint64 denominator);

} // namespace nimbrel
