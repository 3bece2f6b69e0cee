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

// Levels of the tanh-sinh rule, counted from level 0, that the ring-by-ring
// integrals sum on a piece of the source radius (models/ring_by_ring.hpp).
// Levels 0-4 (97 nodes) on a piece that ends at the ring through the lens or
// lies within its own width of it hold the integral to 1e-13 of an adaptive
// reference wherever the lens is; levels 0-3 lose up to 1e-10 there (a lens
// near the centre or just outside the rim, a source of 100 Einstein radii),
// and more levels only add rounding.
inline constexpr std::size_t RING_LEVELS_NEAR_LENS = 5;
// Levels 0-3 (49 nodes) on a piece farther from the lens than its own
// width, on which the integrand is smooth on the scale of the piece: 1e-13
// as well, for the linear law and for 1 to 200 sample intervals. Levels 0-2
// lose up to 3e-11 on the wider pieces.
inline constexpr std::size_t RING_LEVELS_AWAY_FROM_LENS = 4;

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

// From this many source radii on (and out to any finite separation), the
// models sum the far-field series of the point-lens magnification instead of
// their closed forms or integrals: there the series, to the terms generated
// in models/point_lens_laplacians.hpp, is within an ulp or two of the exact
// magnification for sources of 1e-5 to 100 Einstein radii, where the closed
// forms lose digits in proportion to the squared separation
// (scripts/generate_far_field.py --measure gives the table behind it).
inline constexpr double FAR_FIELD_SEPARATION = 6.0;

}  // namespace magnikit
