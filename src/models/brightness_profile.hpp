// Radial brightness profiles of the source: surface brightness as a function
// of the radius on the source disc, in source radii. The integrated models
// take a profile as a template parameter, so each profile's calls are
// inlined into the quadrature loop.
#pragma once

#include <cmath>

#include "core/computation.hpp"
#include "numeric/interpolation.hpp"

namespace magnikit {

// The linear limb-darkening law I = 1 - 0.6 (1 - mu), mu = sqrt(1 - x^2).
struct LinearLimbDarkening {
  static constexpr double COEFFICIENT = 0.6;
  double operator()(double x) const {
    return 1.0 + (1.0 - std::sqrt(1.0 - x * x)) * (-COEFFICIENT);
  }
};
inline constexpr LinearLimbDarkening linear_limb_darkening{};

// The tanh-sinh value of the integral of 2 pi x I(x) over [0, 1] for the law
// above, to the last bit (the exact value is 0.8 pi). Dividing by the rule's
// own value of the flux keeps a uniform magnification exactly uniform.
inline constexpr double LIMB_DARKENING_NORM = 2.5132741228717936;

// A profile sampled by the caller: brightness bf[j] at radius bl[j],
// linear between the samples and zero off them. It refers to the caller's
// vectors and lives no longer than they do.
struct SampledProfile {
  const FloatVector& bl;
  const FloatVector& bf;
  double operator()(double x) const { return interp(bl, bf, x, ZERO_OUTSIDE); }
};

}  // namespace magnikit
