// The far field: a source many of its own radii away from the lens. There
// the magnification of the whole source is the point-lens magnification
// A0(u) = (u^2 + 2) / (u sqrt(u^2 + 4)) expanded about the source centre,
//
//   A = A0(u) + sum_{k>=1} (rho^2/4)^k / (k!)^2 M_k Delta^k A0(u),
//
// Delta the two-dimensional Laplacian and M_k the brightness moments of the
// source: a thin ring of radius r has (with r rho in place of rho) M_k = 1, a
// uniform disc M_k = 1/(k + 1), a brightness profile I(x)
// M_k = int_0^1 x^(2k+1) I dx / int_0^1 x I dx. Each term is smaller than the
// one before by about (source radius / separation)^2, so a few terms give
// the magnification to the last bit, at a small fixed cost, exactly where
// the closed forms cancel and the integrals are dear.
#pragma once

#include <array>
#include <cmath>

#include "core/checkpoint.hpp"
#include "core/computation.hpp"
#include "core/constants.hpp"
#include "models/brightness_profile.hpp"
#include "models/point_lens_laplacians.hpp"

namespace magnikit {

// M_1 .. M_FAR_FIELD_TERMS (M_0 = 1 is implied).
using BrightnessMoments = std::array<double, FAR_FIELD_TERMS>;

// Whether a model takes the far-field series for a lens l source radii from
// the source centre: finite l from FAR_FIELD_SEPARATION on, and a finite
// positive scale (the source radius in Einstein radii, or its reciprocal).
// Negative, infinite and NaN separations and sizes keep the closed forms'
// answers.
inline bool in_far_field(double l, double scale) {
#ifdef MAGNIKIT_NO_FAR_FIELD
  (void)l;
  (void)scale;
  return false;
#else
  return l >= FAR_FIELD_SEPARATION && std::isfinite(l) && scale > 0.0 && std::isfinite(scale);
#endif
}

// The same for a thin ring of radius r source radii, whose series converges
// like (r/l)^2: the ring must be no larger than the source would be.
inline bool ring_in_far_field(double l, double r, double scale) {
  return in_far_field(l, scale) && r >= 0.0 && l >= FAR_FIELD_SEPARATION * r;
}

// The series for a source u Einstein radii from the lens whose radius (the
// ring's, for a ring) is sqrt(h) times that separation, h = (radius / l)^2.
// Never below 1 for non-negative moments; 1 where u is too large to matter.
double far_field_magnification(double u, double h, const BrightnessMoments& moments);

inline constexpr BrightnessMoments THIN_RING_MOMENTS = [] {
  BrightnessMoments moments{};
  for (double& moment : moments) moment = 1.0;
  return moments;
}();

inline constexpr BrightnessMoments UNIFORM_DISC_MOMENTS = [] {
  BrightnessMoments moments{};
  for (int k = 1; k <= FAR_FIELD_TERMS; ++k) moments[k - 1] = 1.0 / (k + 1.0);
  return moments;
}();

// The linear law I = (1 - a) + a sqrt(1 - x^2), in closed form:
// int_0^1 x^(2k+1) sqrt(1 - x^2) dx = B(k + 1, 3/2) / 2 = J_k with J_0 = 1/3
// and J_k = J_{k-1} 2k / (2k + 3).
constexpr BrightnessMoments brightness_moments(const LinearLimbDarkening&) {
  constexpr double a = LinearLimbDarkening::COEFFICIENT;
  double J = 1.0 / 3.0;
  const double flux = (1.0 - a) / 2.0 + a * J;
  BrightnessMoments moments{};
  for (int k = 1; k <= FAR_FIELD_TERMS; ++k) {
    J = J * (2.0 * k) / (2.0 * k + 3.0);
    moments[k - 1] = ((1.0 - a) / (2.0 * k + 2.0) + a * J) / flux;
  }
  return moments;
}
inline BrightnessMoments brightness_moments(const LinearLimbDarkening& law, Checkpoint&) {
  return brightness_moments(law);
}

// A sampled profile, exactly: the interpolant is one line between
// neighbouring sample radii and the integrals run over [0, 1] only, where
// the quadrature of the near field sees it. Pieces where the line is not
// finite count as 0. A profile with no flux over [0, 1] has NaN or infinite
// moments, as the near field divides by a zero flux. The checkpoint is asked
// between the pieces of a finely sampled profile; once it says stop the
// moments are of no use.
BrightnessMoments brightness_moments(const SampledProfile& profile, Checkpoint& checkpoint);
// The integrals the moments are made of: int_0^1 x^(2j+1) I(x) dx for
// j = 0 .. FAR_FIELD_TERMS, the first being the profile's flux over 2 pi.
std::array<double, FAR_FIELD_TERMS + 1> brightness_integrals(const SampledProfile& profile,
                                                             Checkpoint& checkpoint);
inline BrightnessMoments brightness_moments(const SampledProfile& profile) {
  Checkpoint never_stops;
  return brightness_moments(profile, never_stops);
}

}  // namespace magnikit
