// Each separation of a limb-darkened source in turn: by the far-field
// series, by the integral of its near field, or by neither where the answer
// needs no integral. Shared by every form that integrates over the source
// radius, for a source of one brightness profile or of several bands (the
// rows of coefficients of one limb-darkening law).
//
// A source here has
//   std::size_t bands() const;                  // 1 for a profile of its own
//   double flux(std::size_t band) const;        // the band's own flux
//   const BrightnessMoments& moments(std::size_t band, Checkpoint&);
//   bool nowhere_negative() const;              // every band's brightness
// (the moments of the band's far-field series) and the near field is a
// callable
//   near_field(separation, re, rstar, std::span<double> magnified_fluxes)
// that sets every band's magnified flux. Both may ask the call's checkpoint
// on the way, and need give nothing of use once it says stop.
#pragma once

#include <cmath>
#include <algorithm>
#include <cstddef>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "core/checkpoint.hpp"
#include "core/computation.hpp"
#include "core/constants.hpp"
#include "models/far_field.hpp"
#include "models/point_lens.hpp"

namespace magnikit {

// Beyond this separation (in source radii) the ring form's term d^2 Pi
// overflows at every radius of the source (from about 1.07e154 on).
inline constexpr double RING_TERMS_OVERFLOW = 1e154;

// Where a separation needs no integral, the magnification of every band:
// NaN for a NaN or negative separation, where the ring model is not finite
// at any radius, so that the quadrature would drop every point and report a
// magnification of 0, which no point lens gives. Exactly 1 where every ring
// and disc of the source is magnified by 1 to double precision: beyond
// RING_TERMS_OVERFLOW (+inf included) the lens is more than 1e8 Einstein
// radii away for any source larger than 1e-146 of them (A - 1 ~ 2/u^4); and
// a source of more than DISC_CLOSED_FORM_LARGEST_RHO Einstein radii (+inf
// included: no Einstein radius at all) has A - 1 below 2/rho^2 (the
// magnified flux in excess of the source's own over the whole plane is
// 2 pi Einstein radii squared), times the profile's greatest brightness
// over its mean. Nothing elsewhere.
inline std::optional<double> magnification_off_the_integral(double l, double rho) {
  if (!(l >= 0.0)) return std::numeric_limits<double>::quiet_NaN();
  if (l > RING_TERMS_OVERFLOW || rho > DISC_CLOSED_FORM_LARGEST_RHO) return 1.0;
  return std::nullopt;
}

inline constexpr double NOT_A_MAGNIFICATION = std::numeric_limits<double>::quiet_NaN();

// Whether a band's flux over the source can divide its magnified flux.
inline bool has_flux(double flux) { return std::isfinite(flux) && flux != 0.0; }

// A source of one brightness profile, whose flux is the normaliser and whose
// far-field moments are computed at the first separation that needs them.
template <class Profile>
class ProfileSource {
 public:
  ProfileSource(const Profile& profile, double normaliser)
      : profile_(profile), normaliser_(normaliser), nowhere_negative_(profile.nowhere_negative()) {}

  std::size_t bands() const { return 1; }
  double flux(std::size_t) const { return normaliser_; }
  bool nowhere_negative() const { return nowhere_negative_; }
  const BrightnessMoments& moments(std::size_t, Checkpoint& checkpoint) {
    if (!moments_) moments_ = brightness_moments(profile_, checkpoint);
    return *moments_;
  }

 private:
  const Profile& profile_;
  double normaliser_;
  bool nowhere_negative_;
  std::optional<BrightnessMoments> moments_;
};

// A point lens never demagnifies a source that is nowhere dark below zero,
// but the near field's quadrature, divided by the source's exact flux, can
// come out a few units in the last place below 1 where the magnification is
// 1 to rounding (a source far larger than the Einstein radius).
inline double near_field_magnification(double magnified, double flux, bool nowhere_negative) {
  const double magnification = magnified / flux;
  return nowhere_negative ? at_least_one(magnification) : magnification;
}

// Each separation in turn, the checkpoint asked before each; for every band
// the far-field series where it holds, else its magnified flux from the
// near field divided by its own flux. A band without a finite, non-zero
// flux over the source (a sampled profile with no sample on it, or a
// brightness that is not finite) magnifies to NaN everywhere, the far field
// included. A source far smaller than the Einstein radius sees the point
// lens's A(u) = 1/u + O(u), so that its magnification is F(l) / rho to
// relative order rho^2: below SMALL_SOURCE_RHO the near field is integrated
// for a source of SMALL_SOURCE_REFERENCE_RHO Einstein radii and scaled by
// that radius over the source's own, which overflows only where the
// magnification does.
template <class Source, class NearField>
Computed<std::vector<FloatVector>> magnify_each(const FloatVector& l, double re, double rstar,
                                                Source& source, Checkpoint& checkpoint,
                                                NearField&& near_field) {
  const std::size_t bands = source.bands();
  std::vector<FloatVector> magnifications(bands);
  bool any_flux = false;
  for (std::size_t b = 0; b < bands; ++b) any_flux = any_flux || has_flux(source.flux(b));
  if (!any_flux) {
    for (FloatVector& band : magnifications) band.assign(l.size(), NOT_A_MAGNIFICATION);
    return magnifications;
  }
  for (FloatVector& band : magnifications) band.reserve(l.size());
  std::vector<double> magnified(bands);
  const double rho = rstar / re;
  const bool small_source = rho < SMALL_SOURCE_RHO;
  // The sizes the near field integrates at.
  const double near_re = small_source ? 1.0 : re;
  const double near_rstar = small_source ? SMALL_SOURCE_REFERENCE_RHO : rstar;
  for (const double separation : l) {
    if (checkpoint.stop_requested()) return stopped_at_checkpoint();
    if (in_far_field(separation, rho)) {
      for (std::size_t b = 0; b < bands; ++b) {
        const BrightnessMoments& moments = source.moments(b, checkpoint);
        if (checkpoint.stopped()) return stopped_at_checkpoint();
        magnifications[b].push_back(far_field_magnification(
            rho * separation, 1.0 / (separation * separation), moments));
      }
    } else if (const auto off = magnification_off_the_integral(separation, rho)) {
      for (FloatVector& band : magnifications) band.push_back(*off);
    } else {
      near_field(separation, near_re, near_rstar, std::span(magnified));
      if (checkpoint.stopped()) return stopped_at_checkpoint();
      for (std::size_t b = 0; b < bands; ++b) {
        const double magnification =
            near_field_magnification(magnified[b], source.flux(b), source.nowhere_negative());
        magnifications[b].push_back(
            small_source ? (magnification * SMALL_SOURCE_REFERENCE_RHO) / rho : magnification);
      }
    }
  }
  for (std::size_t b = 0; b < bands; ++b) {
    if (!has_flux(source.flux(b))) magnifications[b].assign(l.size(), NOT_A_MAGNIFICATION);
  }
  return magnifications;
}

}  // namespace magnikit
