// Magnifications of a source whose brightness profile the caller samples.
//
// Rounding order: as in every model, each sum and product is written in the
// order in which it is rounded (the build never fuses a multiply and an
// add), so the results are reproducible to the last bit.
#include "models/flux_map.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/constants.hpp"
#include "core/internal_failure.hpp"
#include "models/integrated.hpp"
#include "models/ring.hpp"
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

// The source's total flux under the sampled profile, by the same rule the
// magnified flux is integrated with. A NaN brightness leaves the flux
// undefined; the quadrature would drop the points it spoils and hide it, so
// the flux is NaN then, and with it every magnification divided by it.
double total_flux(const SampledProfile& profile) {
  if (std::ranges::any_of(profile.bf, [](double b) { return std::isnan(b); })) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  const auto flux = [&](double x) { return (x * TWO_PI) * profile(x); };
  return integrate(flux, 0.0, 1.0, QUADRATURE_TARGET).integral;
}

}  // namespace

Computed<FloatVector> discrete_flux_map_heyrovsky_magnification(FloatVector l, double re,
                                                                double rstar, FloatVector bl,
                                                                FloatVector bf,
                                                                Checkpoint checkpoint) {
  assert_same_length(bl, bf);
  FloatVector magnifications;
  magnifications.reserve(l.size());
  for (const double separation : l) {
    if (checkpoint.stop_requested()) return stopped_at_checkpoint();
    double S = 0.0;
    for (std::size_t j = 0; j < bl.size(); ++j) {
      const auto A = heyrovsky_magnification(separation, bl[j], re, rstar);
      if (!A) return std::unexpected(A.error());
      S = S + *A * bf[j];
    }
    magnifications.push_back(S);
  }
  return magnifications;
}

Computed<FloatVector> integrated_flux_map_heyrovsky_magnification(FloatVector l, double re,
                                                                  double rstar, FloatVector bl,
                                                                  FloatVector bf,
                                                                  Checkpoint checkpoint) {
  assert_same_length(bl, bf);
  const SampledProfile profile{bl, bf};
  const double N = total_flux(profile);
  return _integrated_heyrovsky_magnification(std::move(l), re, rstar, profile, N, checkpoint);
}

Computed<FloatVector> integrated_flux_map_witt_mao_magnification(FloatVector l, double re,
                                                                 double rstar, FloatVector bl,
                                                                 FloatVector bf,
                                                                 Checkpoint checkpoint) {
  assert_same_length(bl, bf);
  const SampledProfile profile{bl, bf};
  const double N = total_flux(profile);
  return _integrated_witt_mao_magnification(std::move(l), re, rstar, profile, N, checkpoint);
}

}  // namespace magnikit
