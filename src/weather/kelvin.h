#pragma once

namespace nimbrel {

// Air temperatures ever measured at a place lie well inside 150 to 350 K. A figure outside that
// is a fault of the reply (0 K for "unknown", a value in the wrong unit), not weather to show.
constexpr double kLowestReading = 150.0;
constexpr double kHighestReading = 350.0;

constexpr bool isReadingKelvin(double kelvin) {
    // Written so that NaN is no reading either.
    return kelvin >= kLowestReading && kelvin <= kHighestReading;
}

} // namespace nimbrel
