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

// The linear limb-darkening law I = 1 - 0.6 (1 - mu), mu = sqrt(1 - x^2).
struct LinearLimbDarkening {
  static constexpr double COEFFICIENT = 0.6;
  double operator()(double x) const {
    return 1.0 + (1.0 - std::sqrt(1.0 - x * x)) * (-COEFFICIENT);
  }

  // A profile of its own, not a sum of components.
  static constexpr std::size_t components() { return 1; }
  double component(std::size_t, double x) const { return (*this)(x); }

  // The law is smooth over the whole source radius: one piece.
  template <class Piece>
  void for_each_piece(Piece&& piece) const {
    piece(0.0, 1.0);
  }
};
inline constexpr LinearLimbDarkening linear_limb_darkening{};

// The tanh-sinh value of the integral of 2 pi x I(x) over [0, 1] for the law
// above, to the last bit (the exact value is 0.8 pi), by levels 0-3
// (RING_LEVELS_AWAY_FROM_LENS), as the ring-by-ring integral takes the
// magnified flux of a lens beyond twice the source radius
// (models/ring_by_ring.hpp); 5e-15 of the rest of the integral. Dividing by
// the rule's own value of the flux keeps a uniform magnification uniform;
// the integral from uniform discs divides by it too, so that the two forms
// agree to rounding.
inline constexpr double LIMB_DARKENING_NORM_RING_BY_RING = 2.5132741228718309;

// A profile sampled by the caller: brightness bf[j] at radius bl[j],
// linear between the samples and zero off them. It refers to the caller's
// vectors and lives no longer than they do.
struct SampledProfile {
  SampledProfile(const FloatVector& radii, const FloatVector& brightness)
      : bl(radii), bf(brightness), interpolant_(radii, brightness, ZERO_OUTSIDE) {}

  const FloatVector& bl;
  const FloatVector& bf;
  // interp(bl, bf, x, ZERO_OUTSIDE), its lines formed once per call.
  double operator()(double x) const { return interpolant_(x); }
  // The line the profile follows at x: interp_line(bl, bf, x, ZERO_OUTSIDE).
  Line line(double x) const { return interpolant_.line(x); }
  static constexpr std::size_t components() { return 1; }
  double component(std::size_t, double x) const { return (*this)(x); }

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
