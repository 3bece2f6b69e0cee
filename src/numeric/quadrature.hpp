// Tanh-sinh (double-exponential) quadrature over a finite interval
// (Takahasi & Mori 1974). The integrand is a template parameter so that each
// integrand gets its own copy of the summing loop with the call inlined. It
// is a function of one point, or a batch integrand that takes the points of
// the rule a level or so at a time; the sum is the same either way, term for
// term.
//
// [a, b] is mapped linearly onto [-1, 1], x -> m + s x, and the substituted
// integrand is summed with the trapezoidal rule in t over [-3, 3], halving the
// step from one level of DE_LEVELS to the next. The routine stops when its
// error estimate is below a quarter of the target, or after the last level
// it is allowed: all seven unless the caller asks for fewer. A target of 0
// is never met: the routine then sums every level it is allowed.
#pragma once

#include <algorithm>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

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
inline double finite_or_zero(double y) { return std::isfinite(y) ? y : 0.0; }

// The points levels 0 to levels - 1 and the centre have together.
constexpr std::size_t rule_points(std::size_t levels) {
  std::size_t points = 1;
  for (std::size_t k = 0; k < std::min(levels, DE_LEVELS.size()); ++k) {
    points += 2 * DE_LEVELS[k].size();
  }
  return points;
}
inline constexpr std::size_t DE_POINTS = rule_points(DE_LEVELS.size());
// The nodes of the largest level.
inline constexpr std::size_t DE_MOST_NODES =
    std::ranges::max(DE_LEVELS, {}, [](std::span<const DeNode> level) { return level.size(); })
        .size();

// An integrand that takes many points at once: f(x, y) sets y[i] to the
// integrand at x[i] for every i, in whatever order suits it, so that it can
// evaluate neighbouring points side by side.
template <class F>
concept BatchIntegrand = std::invocable<F&, std::span<const double>, std::span<double>>;

// The rule's values at one level's nodes, in node order: right[i] at
// m + s x_i, left[i] at m - s x_i.
struct LevelValues {
  const double* right;
  const double* left;
};

// The trapezoidal sums over t, level by level, from the integrand's values,
// which values.centre() and values.level(k) give finite or zero; s is the
// half-width of [a, b].
template <class Values>
QuadratureResult tanh_sinh_sum(Values& values, double s, double target, std::size_t levels) {
  const double tol = (target * 0.25) / s;

  // The trapezoidal sum over t. The centre t = 0 has weight pi/2 at step 1;
  // it enters doubled, and the first halving below brings it back to pi/2.
  double sum = values.centre() * PI;
  std::uint32_t evaluations = 1;
  double estimate = 0.0;
  double previous_delta = 0.0;

  for (std::size_t k = 0; k < std::min(levels, DE_LEVELS.size()); ++k) {
    const std::span<const DeNode> level = DE_LEVELS[k];
    const LevelValues at = values.level(k);
    double level_sum = 0.0;
    for (std::size_t i = 0; i < level.size(); ++i) {
      level_sum = level_sum + level[i].weight * (at.right[i] + at.left[i]);
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
      // The level changed nothing: that meets any target but 0, which
      // asks for every level allowed, so that the points the sum takes do
      // not depend on the integrand.
      if (target > 0.0) break;
      previous_delta = delta;
      continue;
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

// A point-by-point integrand's values, taken when the sum asks for a level.
template <class Integrand>
class PointByPoint {
 public:
  PointByPoint(Integrand& f, double m, double s) : f_(f), m_(m), s_(s) {}

  double centre() { return finite_or_zero(f_(m_ + s_ * 0.0)); }

  LevelValues level(std::size_t k) {
    const std::span<const DeNode> nodes = DE_LEVELS[k];
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      // Right point first, then left: the integrand sees them in this order.
      right_[i] = finite_or_zero(f_(m_ + s_ * nodes[i].abscissa));
      left_[i] = finite_or_zero(f_(m_ - s_ * nodes[i].abscissa));
    }
    return {right_, left_};
  }

 private:
  Integrand& f_;
  double m_;
  double s_;
  double right_[DE_MOST_NODES];
  double left_[DE_MOST_NODES];
};

// Where level k's node i falls among the nodes of levels 0 to levels - 1
// in increasing t. Their t are the multiples of the finest level's step
// 2^-(levels - 1) up to 3: level 0's i + 1 and level k's odd multiples
// (2 i + 1) 2^-k, each in increasing order (de_levels.hpp).
constexpr std::size_t rank_in_t(std::size_t levels, std::size_t k, std::size_t i) {
  const std::size_t finest = std::min(levels, DE_LEVELS.size()) - 1;
  const std::size_t multiple = k == 0 ? (i + 1) << finest : (2 * i + 1) << (finest - k);
  return multiple - 1;
}

// The ranks put every node's abscissa in increasing order, for every number
// of levels.
constexpr bool ranks_follow_the_abscissae() {
  for (std::size_t levels = 1; levels <= DE_LEVELS.size(); ++levels) {
    double abscissa[DE_POINTS] = {};
    bool taken[DE_POINTS] = {};
    const std::size_t nodes = (rule_points(levels) - 1) / 2;
    for (std::size_t k = 0; k < levels; ++k) {
      for (std::size_t i = 0; i < DE_LEVELS[k].size(); ++i) {
        const std::size_t rank = rank_in_t(levels, k, i);
        if (rank >= nodes || taken[rank]) return false;
        taken[rank] = true;
        abscissa[rank] = DE_LEVELS[k][i].abscissa;
      }
    }
    for (std::size_t j = 1; j < nodes; ++j) {
      if (!(abscissa[j - 1] <= abscissa[j])) return false;
    }
  }
  return true;
}
static_assert(ranks_follow_the_abscissae());

// The sum judges no convergence before these levels are in (level 2 brings
// the points to DE_FIRST_TEST_EVALUATIONS or more), so a batch integrand
// takes them, with the centre, in one call.
inline constexpr std::size_t DE_FIRST_BATCH_LEVELS = 3;
static_assert(rule_points(DE_FIRST_BATCH_LEVELS - 1) < DE_FIRST_TEST_EVALUATIONS &&
              rule_points(DE_FIRST_BATCH_LEVELS) >= DE_FIRST_TEST_EVALUATIONS);

// A batch integrand's values, taken a batch at a time as the sum reaches
// them: the centre with the first levels, then one level per batch, so a sum
// that stops early takes no point it does not use. In a batch the points
// right of the centre come first, then those left of it, each side in
// increasing t: neighbouring points, whose integrand costs about the same,
// so share a vector.
template <class Integrand>
class LevelByLevel {
 public:
  LevelByLevel(Integrand& f, double m, double s, std::size_t levels)
      : f_(f), m_(m), s_(s), levels_(std::min(levels, DE_LEVELS.size())) {
    std::size_t offset = 1;
    for (std::size_t k = 0; k < levels_; ++k) {
      offsets_[k] = offset;
      offset += 2 * DE_LEVELS[k].size();
    }
  }

  double centre() {
    take_first_levels();
    return values_[0];
  }

  LevelValues level(std::size_t k) {
    if (k < DE_FIRST_BATCH_LEVELS) {
      take_first_levels();
    } else {
      take_level(k);
    }
    const double* right = values_ + offsets_[k];
    return {right, right + DE_LEVELS[k].size()};
  }

 private:
  // The centre and levels 0 to 2 (or fewer, if fewer are allowed), the nodes
  // of each side in increasing t across the three levels.
  void take_first_levels() {
    if (taken_first_) return;
    taken_first_ = true;
    const std::size_t levels = std::min(levels_, DE_FIRST_BATCH_LEVELS);
    const std::size_t nodes = (rule_points(levels) - 1) / 2;
    double x[rule_points(DE_FIRST_BATCH_LEVELS)];
    double y[rule_points(DE_FIRST_BATCH_LEVELS)];
    x[0] = m_ + s_ * 0.0;
    for (std::size_t k = 0; k < levels; ++k) {
      for (std::size_t i = 0; i < DE_LEVELS[k].size(); ++i) {
        const std::size_t rank = rank_in_t(levels, k, i);
        x[1 + rank] = m_ + s_ * DE_LEVELS[k][i].abscissa;
        x[1 + nodes + rank] = m_ - s_ * DE_LEVELS[k][i].abscissa;
      }
    }
    take(x, y, 1 + 2 * nodes);
    values_[0] = y[0];
    for (std::size_t k = 0; k < levels; ++k) {
      const std::size_t size = DE_LEVELS[k].size();
      for (std::size_t i = 0; i < size; ++i) {
        const std::size_t rank = rank_in_t(levels, k, i);
        values_[offsets_[k] + i] = y[1 + rank];
        values_[offsets_[k] + size + i] = y[1 + nodes + rank];
      }
    }
  }

  // A later level, its nodes already in increasing t.
  void take_level(std::size_t k) {
    const std::span<const DeNode> nodes = DE_LEVELS[k];
    double x[2 * DE_MOST_NODES];
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      x[i] = m_ + s_ * nodes[i].abscissa;
      x[nodes.size() + i] = m_ - s_ * nodes[i].abscissa;
    }
    take(x, values_ + offsets_[k], 2 * nodes.size());
  }

  void take(const double* x, double* y, std::size_t count) {
    f_(std::span<const double>(x, count), std::span<double>(y, count));
    for (std::size_t i = 0; i < count; ++i) y[i] = finite_or_zero(y[i]);
  }

  Integrand& f_;
  double m_;
  double s_;
  std::size_t levels_;
  bool taken_first_ = false;
  // Per level, the values right of the centre in node order, then those
  // left of it; the centre first.
  double values_[DE_POINTS];
  std::size_t offsets_[DE_LEVELS.size()] = {};
};

// Levels 0 to levels - 1 of DE_LEVELS are summed at most (all of them when
// levels exceeds their number). The integrand is a function of one point,
// or a batch integrand.
template <class Integrand>
QuadratureResult integrate(Integrand&& f, double a, double b, double target,
                           std::size_t levels = DE_LEVELS.size()) {
  const double s = (b - a) * 0.5;  // half-width
  const double m = (a + b) * 0.5;  // centre
  if constexpr (BatchIntegrand<Integrand>) {
    LevelByLevel<std::remove_reference_t<Integrand>> values(f, m, s, levels);
    return tanh_sinh_sum(values, s, target, levels);
  } else {
    PointByPoint<std::remove_reference_t<Integrand>> values(f, m, s);
    return tanh_sinh_sum(values, s, target, levels);
  }
}

}  // namespace magnikit
