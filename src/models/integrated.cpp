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
#include "models/source_sizes.hpp"
#include "models/uniform_source.hpp"
#include "numeric/lanes.hpp"
#include "numeric/quadrature.hpp"

namespace magnikit {
namespace {

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

// The magnified flux where the integral is not needed or not meaningful;
// nothing elsewhere. NaN for a NaN or negative separation, where the ring
// model is not finite at any radius, so that the quadrature would drop
// every point and report a magnification of 0, which no point lens gives.
// The profile's own flux, the normaliser, so that the magnification is
// exactly 1, where every ring and disc of the source is magnified by 1 to
// double precision: beyond RING_TERMS_OVERFLOW (+inf included) the lens is
// more than 1e8 Einstein radii away for any source larger than 1e-146 of
// them (A - 1 ~ 2/u^4); and a source of more than
// DISC_CLOSED_FORM_LARGEST_RHO Einstein radii (+inf included: no Einstein
// radius at all) has A - 1 below 2/rho^2 (the magnified flux in excess of
// the source's own over the whole plane is 2 pi Einstein radii squared),
// times the profile's greatest brightness over its mean.
std::optional<double> magnified_flux_off_the_integral(double l, double re, double rstar,
                                                      double normaliser) {
  if (!(l >= 0.0)) return std::numeric_limits<double>::quiet_NaN();
  if (l > RING_TERMS_OVERFLOW || rstar / re > DISC_CLOSED_FORM_LARGEST_RHO) return normaliser;
  return std::nullopt;
}

// Each separation in turn, the checkpoint asked before each: the far-field
// series where it holds, else the magnified flux of the near field,
// magnified_flux(separation, re, rstar), divided by the normaliser, the
// profile's own flux. Below SMALL_SOURCE_RHO the near field is integrated
// for a source of SMALL_SOURCE_REFERENCE_RHO Einstein radii and scaled by
// that radius over the source's own, which overflows only where the
// magnification does.
template <class Profile, class NearField>
Computed<FloatVector> magnify_each(const FloatVector& l, double re, double rstar,
                                   const Profile& profile, double normaliser,
                                   Checkpoint checkpoint, NearField&& magnified_flux) {
  FarFieldSource far_field(re, rstar, profile);
  // A profile without a finite, non-zero flux over the source (no sample on
  // it, or a brightness that is not finite) magnifies to nothing anywhere,
  // the far field included.
  const bool has_flux = std::isfinite(normaliser) && normaliser != 0.0;
  const double rho = rstar / re;
  const bool small_source = rho < SMALL_SOURCE_RHO;
  FloatVector magnifications;
  magnifications.reserve(l.size());
  for (const double separation : l) {
    if (checkpoint.stop_requested()) return stopped_at_checkpoint();
    if (!has_flux) {
      magnifications.push_back(std::numeric_limits<double>::quiet_NaN());
      continue;
    }
    if (far_field.holds(separation)) {
      magnifications.push_back(far_field.magnification(separation));
      continue;
    }
    if (const auto off = magnified_flux_off_the_integral(separation, re, rstar, normaliser)) {
      magnifications.push_back(*off / normaliser);
      continue;
    }
    if (small_source) {
      const double reference =
          magnified_flux(separation, 1.0, SMALL_SOURCE_REFERENCE_RHO) / normaliser;
      magnifications.push_back((reference * SMALL_SOURCE_REFERENCE_RHO) / rho);
      continue;
    }
    magnifications.push_back(magnified_flux(separation, re, rstar) / normaliser);
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
  if (sizes_without_meaning(re, rstar)) return not_a_magnification_for_each(l.size());
  re = einstein_radius(re);
  return magnify_each(l, re, rstar, profile, normaliser, checkpoint,
                      [&](double separation, double lens, double source) {
                        RingFluxes rings{separation, lens, source, path};
                        ComponentFluxes<RingFluxes, Profile> ring_flux{rings, profile, 0};
                        return integrate_ring_by_ring(ring_flux, separation, profile);
                      });
}

template <class Profile>
Computed<FloatVector> _integrated_witt_mao_magnification(FloatVector l, double re, double rstar,
                                                         const Profile& profile,
                                                         double normaliser,
                                                         Checkpoint checkpoint,
                                                         lanes::Path path) {
  if (sizes_without_meaning(re, rstar)) return not_a_magnification_for_each(l.size());
  re = einstein_radius(re);
  // The uniform disc at the full radius decides whether the call can fail.
  const auto uniform = witt_mao_magnification(l, re, rstar, checkpoint);
  if (!uniform) return std::unexpected(uniform.error());

  auto by_parts = integral_by_parts(profile);
  return magnify_each(l, re, rstar, profile, normaliser, checkpoint,
                      [&](double separation, double lens, double source) {
                        return by_parts.magnified_flux(DiscFluxes{separation, lens, source, path});
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
