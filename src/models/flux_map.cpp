#include "models/flux_map.hpp"

#include <string>

#include "models/integrated.hpp"
#include "models/ring.hpp"
#include "module/internal_failure.hpp"
#include "numeric/interpolation.hpp"
#include "numeric/quadrature.hpp"

namespace magnikit {
namespace {

constexpr double TWO_PI = 6.283185307179586;

// Radii and brightnesses pair up one to one; anything else is a caller's
// broken invariant, not a value to compute with.
void assert_same_length(const FloatVector& bl, const FloatVector& bf) {
  if (bl.size() != bf.size()) {
    internal_failure("assertion `left == right` failed\n  left: " + std::to_string(bl.size()) +
                     "\n right: " + std::to_string(bf.size()));
  }
}

// The profile between the samples, zero off them.
struct SampledProfile {
  const FloatVector& bl;
  const FloatVector& bf;
  double operator()(double x) const { return interp(bl, bf, x, ZERO_OUTSIDE); }
};

// The source's total flux under the sampled profile, by the same rule the
// magnified flux is integrated with.
double total_flux(const SampledProfile& profile) {
  return integrate([&](double x) { return (x * TWO_PI) * profile(x); }, 0.0, 1.0, 1e-16).integral;
}

}  // namespace

Computed<FloatVector> discrete_flux_map_heyrovsky_magnification(FloatVector l, double re,
                                                                double rstar, FloatVector bl,
                                                                FloatVector bf) {
  assert_same_length(bl, bf);
  FloatVector magnifications;
  magnifications.reserve(l.size());
  for (const double separation : l) {
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

FloatVector integrated_flux_map_heyrovsky_magnification(FloatVector l, double re, double rstar,
                                                        FloatVector bl, FloatVector bf) {
  assert_same_length(bl, bf);
  SampledProfile profile{bl, bf};
  const double N = total_flux(profile);
  return _integrated_heyrovsky_magnification(std::move(l), re, rstar, profile, N);
}

Computed<FloatVector> integrated_flux_map_witt_mao_magnification(FloatVector l, double re,
                                                                 double rstar, FloatVector bl,
                                                                 FloatVector bf) {
  assert_same_length(bl, bf);
  SampledProfile profile{bl, bf};
  const double N = total_flux(profile);
  return _integrated_witt_mao_magnification(std::move(l), re, rstar, profile, N);
}

}  // namespace magnikit
