// Limb-darkened magnifications, integrated over the source radius x (in
// source radii) by the near field's rule of graded cells.
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
#include "models/each_separation.hpp"
#include "models/far_field.hpp"
#include "models/ring.hpp"
#include "models/ring_by_ring.hpp"
#include "models/source_sizes.hpp"
#include "models/uniform_source.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {
namespace {

// The one band of a source of one profile.
template <class Profile, class NearField>
Computed<FloatVector> magnify_each_of_one_profile(const FloatVector& l, double re, double rstar,
                                                  const Profile& profile, double normaliser,
                                                  Checkpoint& checkpoint,
                                                  NearField&& magnified_flux) {
  ProfileSource<Profile> source(profile, normaliser);
  auto magnifications = magnify_each(
      l, re, rstar, source, checkpoint,
      [&](double separation, double lens, double source_radius, std::span<double> fluxes) {
        fluxes[0] = magnified_flux(separation, lens, source_radius);
      });
  if (!magnifications) return std::unexpected(magnifications.error());
  return std::move(magnifications->front());
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
  NearFieldScratch scratch;
  return magnify_each_of_one_profile(l, re, rstar, profile, normaliser, checkpoint,
                      [&](double separation, double lens, double source) {
                        const RingMagnifications rings{separation, lens, source, path};
                        return ring_by_ring_flux(rings, lens / source, profile, scratch,
                                                 checkpoint);
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
  return magnify_each_of_one_profile(l, re, rstar, profile, normaliser, checkpoint,
                      [&](double separation, double lens, double source) {
                        return by_parts.magnified_flux(DiscFluxes{separation, lens, source, path},
                                                       checkpoint);
                      });
}

Computed<FloatVector> integrated_heyrovsky_magnification(FloatVector l, double re, double rstar,
                                                         Checkpoint checkpoint) {
  return _integrated_heyrovsky_magnification(std::move(l), re, rstar, linear_limb_darkening,
                                             LINEAR_LAW_FLUX, checkpoint,
                                             lanes::active_path());
}

Computed<FloatVector> integrated_witt_mao_magnification(FloatVector l, double re, double rstar,
                                                        Checkpoint checkpoint) {
  return _integrated_witt_mao_magnification(std::move(l), re, rstar, linear_limb_darkening,
                                            LINEAR_LAW_FLUX, checkpoint,
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
