// Limb-darkened magnifications, integrated over the source radius x (in
// source radii) with the tanh-sinh rule.
//
// Rounding order: every product and sum is written in the order in which it
// is rounded, and the build never contracts a product into a fused
// multiply-add, so each result is reproducible to the last bit and agrees
// with the reference tables; a mathematically equal rearrangement would
// change the last bits.
#include "models/integrated.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <span>

#include "core/constants.hpp"
#include "models/disc_by_disc.hpp"
#include "models/far_field.hpp"
#include "models/ring.hpp"
#include "models/ring_by_ring.hpp"
#include "models/uniform_source.hpp"
#include "numeric/lanes.hpp"
#include "numeric/quadrature.hpp"

namespace magnikit {
namespace {

double value_or_nan(const Computed<double>& result) {
  return result ? *result : std::numeric_limits<double>::quiet_NaN();
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

// The magnified flux of the rings of radius x about the lens at l:
// 2 pi x A_ring(x) I(x), for many radii at once. A ring model error makes
// that point NaN.
template <class Profile>
struct RingFluxes {
  void operator()(std::span<const double> x, std::span<double> flux) const {
    double separations[DE_POINTS];
    Computed<double> rings[DE_POINTS];
    std::fill(separations, separations + x.size(), l);
    heyrovsky_magnifications(std::span(separations, x.size()), x, re, rstar,
                             std::span(rings, x.size()), path);
    for (std::size_t i = 0; i < x.size(); ++i) {
      flux[i] = ((x[i] * TWO_PI) * value_or_nan(rings[i])) * profile(x[i]);
    }
  }

  double l;
  double re;
  double rstar;
  const Profile& profile;
  lanes::Path path;
};

// Each separation in turn, the checkpoint asked before each: the far-field
// series where it holds, else the magnified flux of the near field divided
// by the normaliser.
template <class Profile, class NearField>
Computed<FloatVector> magnify_each(const FloatVector& l, double re, double rstar,
                                   const Profile& profile, double normaliser,
                                   Checkpoint checkpoint, NearField&& magnified_flux) {
  FarFieldSource far_field(re, rstar, profile);
  FloatVector magnifications;
  magnifications.reserve(l.size());
  for (const double separation : l) {
    if (checkpoint.stop_requested()) return stopped_at_checkpoint();
    if (far_field.holds(separation)) {
      magnifications.push_back(far_field.magnification(separation));
      continue;
    }
    magnifications.push_back(magnified_flux(separation) / normaliser);
  }
  return magnifications;
}

}  // namespace

template <class Profile>
Computed<FloatVector> _integrated_heyrovsky_magnification(FloatVector l, double re, double rstar,
                                                          const Profile& profile,
                                                          double normaliser,
                                                          Checkpoint checkpoint,
                                                          lanes::Path path) {
  return magnify_each(l, re, rstar, profile, normaliser, checkpoint, [&](double separation) {
    if (const auto off = magnified_flux_off_the_integral(separation, re, rstar, normaliser)) {
      return *off;
    }
    const RingFluxes<Profile> ring_flux{separation, re, rstar, profile, path};
    return integrate_ring_by_ring(ring_flux, separation, profile);
  });
}

template <class Profile>
Computed<FloatVector> _integrated_witt_mao_magnification(FloatVector l, double re, double rstar,
                                                         const Profile& profile,
                                                         double normaliser,
                                                         Checkpoint checkpoint,
                                                         lanes::Path path) {
  // The uniform disc at the full radius decides whether the call can fail.
  const auto uniform = witt_mao_magnification(l, re, rstar, checkpoint);
  if (!uniform) return std::unexpected(uniform.error());

  auto by_parts = integral_by_parts(profile);
  return magnify_each(l, re, rstar, profile, normaliser, checkpoint, [&](double separation) {
    return by_parts.magnified_flux(DiscFluxes{separation, re, rstar, path});
  });
}

Computed<FloatVector> integrated_heyrovsky_magnification(FloatVector l, double re, double rstar,
                                                         Checkpoint checkpoint) {
  return _integrated_heyrovsky_magnification(std::move(l), re, rstar, linear_limb_darkening,
                                             LIMB_DARKENING_NORM_RING_BY_RING, checkpoint,
                                             lanes::active_path());
}

Computed<FloatVector> integrated_witt_mao_magnification(FloatVector l, double re, double rstar,
                                                        Checkpoint checkpoint) {
  return _integrated_witt_mao_magnification(std::move(l), re, rstar, linear_limb_darkening,
                                            LIMB_DARKENING_NORM_RING_BY_RING, checkpoint,
                                            lanes::active_path());
}

// The flux-map forms integrate with the caller's sampled profile.
template Computed<FloatVector> _integrated_heyrovsky_magnification<SampledProfile>(
    FloatVector, double, double, const SampledProfile&, double, Checkpoint, lanes::Path);
template Computed<FloatVector> _integrated_witt_mao_magnification<SampledProfile>(
    FloatVector, double, double, const SampledProfile&, double, Checkpoint, lanes::Path);
// And, for comparing the paths, with the linear law.
template Computed<FloatVector> _integrated_heyrovsky_magnification<LinearLimbDarkening>(
    FloatVector, double, double, const LinearLimbDarkening&, double, Checkpoint, lanes::Path);
template Computed<FloatVector> _integrated_witt_mao_magnification<LinearLimbDarkening>(
    FloatVector, double, double, const LinearLimbDarkening&, double, Checkpoint, lanes::Path);

}  // namespace magnikit
