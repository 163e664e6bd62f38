#pragma once

namespace nimbrel {

// The largest size from 1 up to, not including, `tooLarge` at which `fits` holds, found by
// halving the range: what a size takes grows with it. 1 when even that does not fit.
template <class Fits> int largestFitting(int tooLarge, const Fits& fits) {
    int fitting = 1;
    while (tooLarge - fitting > 1) {
        const int middle = fitting + (tooLarge - fitting) / 2;
        (fits(middle) ? fitting : tooLarge) = middle;
    }
    return fitting;
}

} // namespace nimbrel
