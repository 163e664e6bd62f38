#pragma once

#include <QString>

namespace nimbrel {

// What the person asked the display for when they started it: the place as typed and the unit
// as the weather request names it ("Fahrenheit" or "Celsius").
struct DisplayRequest {
    QString location;
    QString unit;
};

} // namespace nimbrel
