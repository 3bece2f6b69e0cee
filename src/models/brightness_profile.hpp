// Radial brightness profiles of the source: surface brightness as a function
// of the radius on the source disc, in source radii. The integrated models
// take a profile as a template parameter, so each profile's calls are
// inlined into the quadrature loop.
#pragma once

#include <cmath>
#include <cstddef>

#include "core/computation.hpp"
#include "numeric/interpolation.hpp"

namespace magnikit {

// A node of the source radius as a law whose brightness is a function of
// mu = sqrt(1 - x^2) sees it: mu, and where the law asks for them, sqrt(mu)
// and ln(mu) (models/ring_by_ring.hpp forms them from v = sqrt(mu) where it
// integrates in v, so that they keep every digit at the limb).
struct LimbPoint {
  double mu;
  double root_mu;
  double log_mu;
};

// The linear limb-darkening law I = 1 - 0.6 (1 - mu), mu = sqrt(1 - x^2).
struct LinearLimbDarkening {
  static constexpr double COEFFICIENT = 0.6;
  double brightness(double mu) const { return 1.0 + (1.0 - mu) * (-COEFFICIENT); }
  double operator()(double x) const { return brightness(std::sqrt(1.0 - x * x)); }

  static constexpr bool nowhere_negative() { return true; }

  // A law of one component, which needs mu alone.
  static constexpr bool needs_root_mu() { return false; }
  static constexpr bool needs_log_mu() { return false; }
  double component(std::size_t, const LimbPoint& point) const { return brightness(point.mu); }
};
inline constexpr LinearLimbDarkening linear_limb_darkening{};

// The flux of the law over the source, int_0^1 2 pi x I(x) dx = 0.8 pi,
// rounded: the normaliser of both integrated forms, so that they agree to
// their quadratures' error.
inline constexpr double LINEAR_LAW_FLUX = 2.5132741228718345;

// A profile sampled by the caller: brightness bf[j] at radius bl[j],
// linear between the samples and zero off them. It refers to the caller's
// vectors and lives no longer than they do.
struct SampledProfile {
  SampledProfile(const FloatVector& radii, const FloatVector& brightness)
      : bl(radii), bf(brightness), interpolant_(radii, brightness, ZERO_OUTSIDE) {}

  const FloatVector& bl;
  const FloatVector& bf;
  // The line the profile follows at x: interp_line(bl, bf, x, ZERO_OUTSIDE),
  // its lines formed once per call.
  Line line(double x) const { return interpolant_.line(x); }
  // Whether no brightness is below zero (nor NaN).
  bool nowhere_negative() const {
    for (const double b : bf) {
      if (!(b >= 0.0)) return false;
    }
    return true;
  }

  // Calls piece(a, b) for each piece of the source radius [0, 1] between
  // consecutive sample radii, outwards: the profile is linear on each, and
  // its slope jumps only where two pieces meet. A radius that is not beyond
  // the previous one (unsorted or repeated radii), lies outside (0, 1) or is
  // NaN starts no piece, so the pieces always cover [0, 1] once.
  template <class Piece>
  void for_each_piece(Piece&& piece) const {
    double start = 0.0;
    for (const double radius : bl) {
      if (start < radius && radius < 1.0) {
        piece(start, radius);
        start = radius;
      }
    }
    piece(start, 1.0);
  }

 private:
  Interpolant interpolant_;
};

}  // namespace magnikit
