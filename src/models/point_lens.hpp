// What every model of a source magnified by a point-mass lens shares.
#pragma once

#include "numeric/lanes.hpp"

namespace magnikit {

// A point lens never demagnifies: where a magnification is 1 to within its
// form's rounding, a sum that comes out an ulp or two below 1 is 1. NaN
// stays NaN.
template <class T>
MAGNIKIT_KERNEL T at_least_one(T A) {
  return lanes::select(A < 1.0, lanes::splat<T>(1.0), A);
}

}  // namespace magnikit
