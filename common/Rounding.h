// Rounding to the nearest whole number with exact halves going to the even
// neighbour (0.5 -> 0, 1.5 -> 2, 2.5 -> 2), whatever rounding mode is set.
#pragma once

#include <cfenv>
#include <cmath>

namespace miniskop {

inline double roundHalfEven(double x) {
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(x);
    std::fesetround(previous);
    return r;
}

}  // namespace miniskop
