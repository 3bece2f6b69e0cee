// Tanh-sinh (double-exponential) quadrature over a finite interval
// (Takahasi & Mori 1974). The integrand is a template parameter so that each
// integrand gets its own copy of the summing loop with the call inlined.
//
// [a, b] is mapped linearly onto [-1, 1], x -> m + s x, and the substituted
// integrand is summed with the trapezoidal rule in t over [-3, 3], halving the
// step from one level of DE_LEVELS to the next. The routine stops when its
// error estimate is below a quarter of the target, or after the last level
// it is allowed: all seven unless the caller asks for fewer.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/constants.hpp"
#include "numeric/de_levels.hpp"

namespace magnikit {

struct QuadratureResult {
  double estimated_error;  // already scaled to [a, b]
  double integral;
  std::uint32_t evaluations;
};

// Levels 0 and 1 give too coarse a sum to judge convergence by; the first
// estimate is made once this many points have been evaluated.
inline constexpr std::uint32_t DE_FIRST_TEST_EVALUATIONS = 14;

// Convergence is taken to be quadratic when the logarithms of successive
// differences have a ratio strictly between these bounds.
inline constexpr double DE_QUADRATIC_RATIO_LOW = 1.9;
inline constexpr double DE_QUADRATIC_RATIO_HIGH = 2.1;

// The integrand value, or 0 where it is NaN or infinite: a point where the
// integrand overflows or its model fails drops out of the sum.
template <class Integrand>
inline double finite_or_zero(Integrand& f, double x) {
  const double y = f(x);
  return std::isfinite(y) ? y : 0.0;
}

// Levels 0 to levels - 1 of DE_LEVELS are summed at most (all of them when
// levels exceeds their number).
template <class Integrand>
QuadratureResult integrate(Integrand&& f, double a, double b, double target,
                           std::size_t levels = DE_LEVELS.size()) {
  const double s = (b - a) * 0.5;  // half-width
  const double m = (a + b) * 0.5;  // centre
  const double tol = (target * 0.25) / s;

  // The trapezoidal sum over t. The centre t = 0 has weight pi/2 at step 1;
  // it enters doubled, and the first halving below brings it back to pi/2.
  double sum = finite_or_zero(f, m + s * 0.0) * PI;
  std::uint32_t evaluations = 1;
  double estimate = 0.0;
  double previous_delta = 0.0;

  for (const auto level : std::span(DE_LEVELS).first(std::min(levels, DE_LEVELS.size()))) {
    double level_sum = 0.0;
    for (const DeNode& node : level) {
      // Right point first, then left: the integrand sees them in this order.
      const double right = finite_or_zero(f, m + s * node.abscissa);
      const double left = finite_or_zero(f, m - s * node.abscissa);
      level_sum = level_sum + node.weight * (right + left);
    }
    evaluations = evaluations + 2 * static_cast<std::uint32_t>(level.size());

    // Step halving: the coarser sum at half weight plus the new midpoints.
    const double half = sum * 0.5;
    const double difference = half - level_sum;
    sum = half + level_sum;
    const double delta = std::fabs(difference);

    if (evaluations < DE_FIRST_TEST_EVALUATIONS) {
      previous_delta = delta;
      continue;
    }
    if (difference == 0.0) {
      estimate = 0.0;
      break;
    }
    // Near 2 the differences square from level to level, so the next one is
    // expected to be about the square of this one.
    const double ratio = std::log(delta) / std::log(previous_delta);
    estimate = (DE_QUADRATIC_RATIO_LOW < ratio && ratio < DE_QUADRATIC_RATIO_HIGH)
                   ? difference * difference
                   : delta;
    if (estimate < tol) break;
    previous_delta = delta;
  }

  return QuadratureResult{s * estimate, s * sum, evaluations};
}

}  // namespace magnikit
