// Limb-darkened magnifications, integrated over the source radius x (in
// source radii) with the tanh-sinh rule.
//
// Rounding order: every product and sum is written in the order in which it
// is rounded, and the build never contracts a product into a fused
// multiply-add, so each result is reproducible to the last bit and agrees
// with the reference tables; a mathematically equal rearrangement would
// change the last bits.
#include "models/integrated.hpp"

#include <cmath>
#include <limits>
#include <optional>

#include "core/constants.hpp"
#include "models/far_field.hpp"
#include "models/ring.hpp"
#include "models/ring_by_ring.hpp"
#include "models/uniform_source.hpp"
#include "numeric/quadrature.hpp"

namespace magnikit {
namespace {

// The step of the central difference scales with the cube root of the
// machine epsilon, which balances truncation against rounding error.
double cbrt_eps() {
  static const double CBRT_EPS = std::cbrt(MACHINE_EPSILON);
  return CBRT_EPS;
}

double value_or_nan(const Computed<double>& result) {
  return result ? *result : std::numeric_limits<double>::quiet_NaN();
}

// Integrates over the source radius [0, 1]. The integrand has a logarithmic
// singularity on the ring through the lens, x = l, so a lens inside the
// source splits the interval there and each part gets its own rule.
template <class Integrand>
double integrate_over_radius(Integrand&& f, double l) {
  if (0.0 < l && l < 1.0) {
    const double inner = integrate(f, 0.0, l, QUADRATURE_TARGET).integral;
    const double outer = integrate(f, l, 1.0, QUADRATURE_TARGET).integral;
    return inner + outer;
  }
  return integrate(f, 0.0, 1.0, QUADRATURE_TARGET).integral;
}

// The profile's source in the far field, where the integral is the series
// with the profile's brightness moments (computed once, at first use). The
// moments are exact, so there the result is not divided by the near field's
// quadrature value of the flux.
template <class Profile>
class FarFieldSource {
 public:
  FarFieldSource(double re, double rstar, const Profile& profile)
      : rho_(rstar / re), profile_(profile) {}

  bool holds(double l) const { return in_far_field(l, rho_); }

  double magnification(double l) {
    if (!moments_) moments_ = brightness_moments(profile_);
    return far_field_magnification(rho_ * l, 1.0 / (l * l), *moments_);
  }

 private:
  double rho_;  // source radius in Einstein radii
  const Profile& profile_;
  std::optional<BrightnessMoments> moments_;
};

// Beyond this separation (in source radii) the ring form's term d^2 Pi
// overflows at every radius of the source (from about 1.07e154 on).
constexpr double RING_TERMS_OVERFLOW = 1e154;

// The magnified flux where the ring model is not finite at any radius, so
// that the quadrature would drop every point and report a magnification of
// 0, which no point lens gives; nothing elsewhere. NaN for a NaN or negative
// separation or a NaN Einstein or source radius. Beyond RING_TERMS_OVERFLOW
// (+inf included) the lens is more than 1e8 Einstein radii away for any
// source larger than 1e-146 of them, where every ring is magnified by 1 to
// double precision (A - 1 ~ 2/u^4): the magnified flux is the profile's own,
// the normaliser, and the magnification exactly 1.
std::optional<double> magnified_flux_off_the_integral(double l, double re, double rstar,
                                                      double normaliser) {
  if (!(l >= 0.0) || std::isnan(re) || std::isnan(rstar)) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  if (l > RING_TERMS_OVERFLOW) return normaliser;
  return std::nullopt;
}

}  // namespace

template <class Profile>
Computed<FloatVector> _integrated_heyrovsky_magnification(FloatVector l, double re, double rstar,
                                                          const Profile& profile,
                                                          double normaliser,
                                                          Checkpoint checkpoint) {
  FarFieldSource far_field(re, rstar, profile);
  FloatVector magnifications;
  magnifications.reserve(l.size());
  for (const double separation : l) {
    if (checkpoint.stop_requested()) return stopped_at_checkpoint();
    if (far_field.holds(separation)) {
      magnifications.push_back(far_field.magnification(separation));
      continue;
    }
    // The flux of the ring of radius x, magnified: 2 pi x A_ring(x) I(x).
    const auto ring_flux = [&](double x) {
      const double g = value_or_nan(heyrovsky_magnification(separation, x, re, rstar));
      return ((x * TWO_PI) * g) * profile(x);
    };
    const auto off = magnified_flux_off_the_integral(separation, re, rstar, normaliser);
    const double v = off ? *off : integrate_ring_by_ring(ring_flux, separation, profile);
    magnifications.push_back(v / normaliser);
  }
  return magnifications;
}

template <class Profile>
Computed<FloatVector> _integrated_witt_mao_magnification(FloatVector l, double re, double rstar,
                                                         const Profile& profile,
                                                         double normaliser,
                                                         Checkpoint checkpoint) {
  // The uniform disc at the full radius decides whether the call can fail.
  const auto uniform = witt_mao_magnification(l, re, rstar, checkpoint);
  if (!uniform) return std::unexpected(uniform.error());

  FarFieldSource far_field(re, rstar, profile);
  FloatVector magnifications;
  magnifications.reserve(l.size());
  for (const double separation : l) {
    if (checkpoint.stop_requested()) return stopped_at_checkpoint();
    // The same quantity as the integral below, without differentiating
    // discs numerically.
    if (far_field.holds(separation)) {
      magnifications.push_back(far_field.magnification(separation));
      continue;
    }
    // Magnification of the uniform disc of radius x (in source radii) at the
    // same lens position; nothing of the source lies within radius 0.
    const auto disc = [&](double x) {
      if (x <= 0.0) return 0.0;
      return value_or_nan(UniformSource(re, rstar * x).magnification(separation / x));
    };
    // d/dx [pi x^2 A_disc(x)] = 2 pi x (A_disc + (x/2) A_disc'): the
    // magnified flux of the ring of radius x, with the derivative taken as a
    // central difference, forward point first.
    const auto ring_flux = [&](double x) {
      const double g = disc(x);
      const double delta = (std::fabs(x) + 1.0) * cbrt_eps();
      const double forward = disc(x + delta);
      const double backward = disc(x - delta);
      const double slope = (forward - backward) / (delta + delta);
      return ((x * TWO_PI) * (g + (x * 0.5) * slope)) * profile(x);
    };
    const double v = integrate_over_radius(ring_flux, separation);
    magnifications.push_back(v / normaliser);
  }
  return magnifications;
}

Computed<FloatVector> integrated_heyrovsky_magnification(FloatVector l, double re, double rstar,
                                                         Checkpoint checkpoint) {
  return _integrated_heyrovsky_magnification(std::move(l), re, rstar, linear_limb_darkening,
                                             LIMB_DARKENING_NORM_RING_BY_RING, checkpoint);
}

Computed<FloatVector> integrated_witt_mao_magnification(FloatVector l, double re, double rstar,
                                                        Checkpoint checkpoint) {
  return _integrated_witt_mao_magnification(std::move(l), re, rstar, linear_limb_darkening,
                                            LIMB_DARKENING_NORM, checkpoint);
}

// The flux-map forms integrate with the caller's sampled profile.
template Computed<FloatVector> _integrated_heyrovsky_magnification<SampledProfile>(
    FloatVector, double, double, const SampledProfile&, double, Checkpoint);
template Computed<FloatVector> _integrated_witt_mao_magnification<SampledProfile>(
    FloatVector, double, double, const SampledProfile&, double, Checkpoint);

}  // namespace magnikit
