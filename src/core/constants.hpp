// Constants shared by the elliptic integrals, the quadrature and the models,
// each written once, as the literal of the double it stands for.
#pragma once

#include <cstddef>
#include <limits>
#include <numbers>

namespace magnikit {

inline constexpr double PI = 3.141592653589793;
inline constexpr double HALF_PI = 1.5707963267948966;
inline constexpr double TWO_PI = 6.283185307179586;
inline constexpr double THREE_PI = 9.42477796076938;
static_assert(PI == std::numbers::pi && HALF_PI == PI / 2 && TWO_PI == 2 * PI &&
              THREE_PI == 3 * PI);

// 2^-52, the spacing of the doubles just above 1.
inline constexpr double MACHINE_EPSILON = 2.220446049250313e-16;
static_assert(MACHINE_EPSILON == std::numeric_limits<double>::epsilon());

// Half-widths of the bands about a ring through the lens and about the rim
// of a uniform disc in which the models form their elliptic parameters from
// the complements 1 - n and 1 - m. Beyond them the parameters formed
// directly lose at most 3.4e-13 of the magnification (measured against
// mpmath over 3,000 random points each between one and two band widths out,
// rho from 1e-5 to 100, separations from 1e-5 to 1e8 source radii); inside,
// the complements hold it to about 1e-15.
// For the ring, a fraction of |l|: the loss grows like ((l + r) / (l - r))^2.
inline constexpr double RING_NEAR_BAND = 0.05;
// For the disc, a fraction of |rho| Einstein radii (so 0.05 source radii):
// the loss grows like ((u + rho) / (u - rho))^2, whatever the source's size.
inline constexpr double RIM_BAND = 0.05;

// The source radii rho (in Einstein radii) for which the disc's closed form
// is evaluated as written. Below the smallest, rho^2 (rho + u) underflows
// into the subnormals (at rho = 2.8e-103 for a lens at the centre) and the
// form loses digits, then fails; there the disc takes the point-lens limit
// 1/u, whose relative error ~rho^2 is far below rounding. Beyond the
// largest, rho^2 (rho + u) |u - rho| overflows (from about 4.8e76 with the
// lens 6 source radii out), and the magnification, between 1 and
// 1 + 2/rho^2, is 1 to double precision.
inline constexpr double DISC_CLOSED_FORM_SMALLEST_RHO = 1e-102;
inline constexpr double DISC_CLOSED_FORM_LARGEST_RHO = 1e76;

// The ring's closed form is evaluated as written while both the Einstein
// radius eps and l + r (in source radii) lie within these bounds: every
// square and product it forms (eps^2 up to 1e140, (l - r)^2 down to
// 2^-108 (l + r)^2) is then a normal double. Beyond them it is evaluated in
// lengths rescaled by a power of two, which changes no digit, or, for a ring
// and lens within 1e-150 Einstein radii of each other, as its point-lens
// limit.
inline constexpr double RING_CLOSED_FORM_SMALLEST = 1e-70;
inline constexpr double RING_CLOSED_FORM_LARGEST = 1e70;
inline constexpr double RING_POINT_LENS_LIMIT = 1e-150;

// Below this source radius (in Einstein radii) the magnified fluxes of the
// rings near the lens approach the largest double, and the integrated forms
// take their near-field integrals for a source of SMALL_SOURCE_REFERENCE_RHO
// and scale them: a source far smaller than the Einstein radius sees the
// point lens's A(u) = 1/u + O(u), so its magnification is F(l) / rho to
// relative order rho^2, F depending on the profile and the lens's place
// alone. The reference is a power of two (2^-600), so that scaling by it is
// exact.
inline constexpr double SMALL_SOURCE_RHO = 1e-160;
inline constexpr double SMALL_SOURCE_REFERENCE_RHO = 0x1p-600;

// From this many source radii on (and out to any finite separation), the
// models sum the far-field series of the point-lens magnification instead of
// their closed forms or integrals: there the series, to the terms generated
// in models/point_lens_laplacians.hpp, is within an ulp or two of the exact
// magnification for sources of 1e-5 to 100 Einstein radii, where the closed
// forms lose digits in proportion to the squared separation
// (scripts/generate_far_field.py --measure gives the table behind it).
inline constexpr double FAR_FIELD_SEPARATION = 6.0;

}  // namespace magnikit
