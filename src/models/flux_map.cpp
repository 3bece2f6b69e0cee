// Magnifications of a source whose brightness profile the caller samples.
//
// Rounding order: as in every model, each sum and product is written in the
// order in which it is rounded (the build never fuses a multiply and an
// add), so the results are reproducible to the last bit.
#include "models/flux_map.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <string>

#include "core/constants.hpp"
#include "core/internal_failure.hpp"
#include "models/integrated.hpp"
#include "models/ring.hpp"
#include "models/ring_by_ring.hpp"
#include "numeric/quadrature.hpp"

namespace magnikit {
namespace {

// Radii and brightnesses pair up one to one; anything else is a caller's
// broken invariant, not a value to compute with. The message is part of the
// module's interface and keeps its exact wording and layout.
void assert_same_length(const FloatVector& bl, const FloatVector& bf) {
  if (bl.size() != bf.size()) {
    internal_failure("assertion `left == right` failed\n  left: " + std::to_string(bl.size()) +
                     "\n right: " + std::to_string(bf.size()));
  }
}

// The flux of the ring of radius x under the sampled profile: 2 pi x I(x).
auto ring_flux(const SampledProfile& profile) {
  return [&profile](double x) { return (x * TWO_PI) * profile(x); };
}

// A NaN brightness leaves the flux undefined; the quadrature would drop the
// points it spoils and hide it, so the flux is NaN then, and with it every
// magnification divided by it.
bool has_nan_brightness(const SampledProfile& profile) {
  return std::ranges::any_of(profile.bf, [](double b) { return std::isnan(b); });
}

// The source's total flux under the sampled profile by the ring-by-ring
// rule, piece by piece between samples, as it takes the magnified flux of a
// lens far from every piece. Both integrated forms divide by it, so that
// they agree to rounding.
double total_flux_ring_by_ring(const SampledProfile& profile) {
  if (has_nan_brightness(profile)) return std::numeric_limits<double>::quiet_NaN();
  const auto flux = ring_flux(profile);
  return integrate_ring_by_ring(flux, std::numeric_limits<double>::infinity(), profile);
}

}  // namespace

Computed<FloatVector> _discrete_flux_map_heyrovsky_magnification(FloatVector l, double re,
                                                                 double rstar, FloatVector bl,
                                                                 FloatVector bf,
                                                                 Checkpoint checkpoint,
                                                                 lanes::Path path) {
  assert_same_length(bl, bf);
  // The rings of one separation a few dozen at a time, summed in order.
  constexpr std::size_t RINGS = 16;
  double separations[RINGS];
  Computed<double> rings[RINGS];
  FloatVector magnifications;
  magnifications.reserve(l.size());
  for (const double separation : l) {
    if (checkpoint.stop_requested()) return stopped_at_checkpoint();
    std::fill(separations, separations + std::min(RINGS, bl.size()), separation);
    double S = 0.0;
    for (std::size_t start = 0; start < bl.size(); start += RINGS) {
      const std::size_t count = std::min(RINGS, bl.size() - start);
      heyrovsky_magnifications(std::span(separations, count), std::span(bl).subspan(start, count),
                               re, rstar, std::span(rings, count), path);
      for (std::size_t j = 0; j < count; ++j) {
        if (!rings[j]) return std::unexpected(rings[j].error());
        S = S + *rings[j] * bf[start + j];
      }
    }
    magnifications.push_back(S);
  }
  return magnifications;
}

Computed<FloatVector> discrete_flux_map_heyrovsky_magnification(FloatVector l, double re,
                                                                double rstar, FloatVector bl,
                                                                FloatVector bf,
                                                                Checkpoint checkpoint) {
  return _discrete_flux_map_heyrovsky_magnification(std::move(l), re, rstar, std::move(bl),
                                                    std::move(bf), checkpoint,
                                                    lanes::active_path());
}

Computed<FloatVector> integrated_flux_map_heyrovsky_magnification(FloatVector l, double re,
                                                                  double rstar, FloatVector bl,
                                                                  FloatVector bf,
                                                                  Checkpoint checkpoint) {
  assert_same_length(bl, bf);
  const SampledProfile profile{bl, bf};
  const double N = total_flux_ring_by_ring(profile);
  return _integrated_heyrovsky_magnification(std::move(l), re, rstar, profile, N, checkpoint,
                                             lanes::active_path());
}

Computed<FloatVector> integrated_flux_map_witt_mao_magnification(FloatVector l, double re,
                                                                 double rstar, FloatVector bl,
                                                                 FloatVector bf,
                                                                 Checkpoint checkpoint) {
  assert_same_length(bl, bf);
  const SampledProfile profile{bl, bf};
  const double N = total_flux_ring_by_ring(profile);
  return _integrated_witt_mao_magnification(std::move(l), re, rstar, profile, N, checkpoint,
                                            lanes::active_path());
}

}  // namespace magnikit
