// Constants shared by the elliptic integrals, the quadrature and the models,
// each written once, as the literal of the double it stands for.
#pragma once

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

// Every integral over the source radius asks the tanh-sinh rule for this
// absolute error. It lies below the rule's own truncation floor, so in
// practice every integral runs all seven levels.
inline constexpr double QUADRATURE_TARGET = 1e-16;

// Half-width of the band around a ring through the lens in which the ring
// model takes its near-ring form, as a fraction of min(|l|, 1) source radii.
inline constexpr double RING_NEAR_BAND = 0.001;

// Half-width of the band around the source rim in which the uniform disc
// takes the rim's own closed form, as a fraction of min(|rho|, 1) Einstein
// radii.
inline constexpr double RIM_BAND = 1e-5;

}  // namespace magnikit
