// What the Einstein radius re and the source radius rstar decide on their
// own, before any separation is looked at.
//
// Only rho = rstar / re enters a magnification. A source with no Einstein
// radius to speak of, rho = +inf (re = 0, or an infinite source), is not
// magnified at all, and the models give that limit themselves: 1 for every
// disc and ring, +inf for a ring through the lens, as at every finite rho.
// The sizes that describe no lens and source are refused here instead.
#pragma once

#include <cmath>
#include <limits>

#include "core/computation.hpp"

namespace magnikit {

// True when re and rstar describe no lens and source: either is NaN or
// negative (-0.0 counts as zero); the source has no radius (rstar = 0, a
// point source, whose separations in source radii mean nothing); or the
// Einstein radius is infinite (rho = 0 again, or infinite over infinite).
// Every magnification is then NaN, whatever the separations.
inline bool sizes_without_meaning(double re, double rstar) {
  return !(re >= 0.0 && rstar > 0.0 && re < std::numeric_limits<double>::infinity());
}

// The Einstein radius of sizes with a meaning, -0.0 read as 0, so that
// rho = rstar / re is +inf for it too.
inline double einstein_radius(double re) { return std::fabs(re); }

// One NaN per separation.
inline FloatVector not_a_magnification_for_each(std::size_t separations) {
  return FloatVector(separations, std::numeric_limits<double>::quiet_NaN());
}

}  // namespace magnikit
