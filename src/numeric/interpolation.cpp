// Piecewise-linear interpolation: the value at x0 of the line through the two
// samples of the segment that holds x0, written as intercept + slope * x0.
#include "numeric/interpolation.hpp"

#include <algorithm>
#include <cstddef>

namespace magnikit {

namespace {

// The index of the first sample that x0 does not lie beyond (xs[k] >= x0, or
// either is NaN), or n when x0 lies beyond all n samples.
std::size_t first_sample_not_below(std::span<const double> xs, std::size_t n, double x0) {
  std::size_t k = 0;
  while (k < n && xs[k] < x0) ++k;
  return k;
}

// The line of segment i, from sample i to sample i + 1. A segment of zero
// width has an infinite or NaN slope, and so a NaN value.
Line segment_line(std::span<const double> xs, std::span<const double> ys, std::size_t i) {
  const double slope = (ys[i + 1] - ys[i]) / (xs[i + 1] - xs[i]);
  const double intercept = ys[i] - xs[i] * slope;
  return {intercept, slope};
}

// The segment a query uses, from the first sample p that it does not lie
// beyond: inside the range the one whose right end is that sample (at a
// sample xs[k], k >= 1, the segment on its left), at or below xs[0] the
// first one, beyond the last sample the last one.
std::size_t segment_ending_at(std::size_t p, std::size_t n) {
  return std::min(p >= 1 ? p - 1 : 0, n - 2);
}

// The segment of a query by a scan. (Scanning past the n-th sample could
// not change the segment.)
std::size_t segment_of(std::span<const double> xs, std::size_t n, double x0) {
  return segment_ending_at(first_sample_not_below(xs, n, x0), n);
}

// What to return beyond one end of the samples: the line extended, the end
// sample held, or the fixed value (as values, or as lines of those values).
template <class T>
T outside(const OutOfRangeMode& mode, T line, T end_value, T fixed) {
  switch (mode.kind) {
    case OutOfRangeMode::Extend:
      return line;
    case OutOfRangeMode::HoldEnds:
      return end_value;
    default:
      return fixed;
  }
}

// The interpolant at x0 of n >= 2 samples, from the value there of the line
// of x0's segment. Ordered comparisons: a NaN query is neither below nor
// beyond the range.
double value_at(std::span<const double> xs, std::span<const double> ys, std::size_t n, double x0,
                double line, const OutOfRangeMode& mode) {
  if (x0 < xs[0]) return outside(mode, line, ys[0], mode.value);
  if (x0 > xs[n - 1]) return outside(mode, line, ys[n - 1], mode.value);
  return line;
}

}  // namespace

double interp(std::span<const double> xs, std::span<const double> ys, double x0,
              const OutOfRangeMode& mode) {
  // Only the pairs present in both sequences take part.
  const std::size_t n = std::min(xs.size(), ys.size());
  if (n == 0) return 0.0;
  if (n == 1) return ys[0];
  return value_at(xs, ys, n, x0, segment_line(xs, ys, segment_of(xs, n, x0)).at(x0), mode);
}

Interpolant::Interpolant(std::span<const double> xs, std::span<const double> ys,
                         const OutOfRangeMode& mode)
    : xs_(xs), ys_(ys), n_(std::min(xs.size(), ys.size())), mode_(mode), ascending_(true) {
  if (n_ < 2) return;
  lines_.reserve(n_ - 1);
  for (std::size_t i = 0; i + 1 < n_; ++i) {
    lines_.push_back(segment_line(xs, ys, i));
    ascending_ = ascending_ && xs[i] <= xs[i + 1];
  }
}

std::size_t Interpolant::segment(double x0) const {
  // On ascending radii the first sample not below x0 is where the scan
  // would stop: the samples below x0 come first (and for a NaN x0 there are
  // none).
  if (!ascending_) return segment_of(xs_, n_, x0);
  const auto first_not_below = std::lower_bound(xs_.begin(), xs_.begin() + n_, x0);
  return segment_ending_at(static_cast<std::size_t>(first_not_below - xs_.begin()), n_);
}

double Interpolant::operator()(double x0) const {
  if (n_ == 0) return 0.0;
  if (n_ == 1) return ys_[0];
  return value_at(xs_, ys_, n_, x0, lines_[segment(x0)].at(x0), mode_);
}

Line Interpolant::line(double x0) const {
  if (n_ == 0) return {0.0, 0.0};
  if (n_ == 1) return {ys_[0], 0.0};
  const Line fixed{mode_.value, 0.0};
  if (x0 < xs_[0]) return outside(mode_, lines_[segment(x0)], Line{ys_[0], 0.0}, fixed);
  if (x0 > xs_[n_ - 1]) return outside(mode_, lines_[segment(x0)], Line{ys_[n_ - 1], 0.0}, fixed);
  return lines_[segment(x0)];
}

Line interp_line(std::span<const double> xs, std::span<const double> ys, double x0,
                 const OutOfRangeMode& mode) {
  const std::size_t n = std::min(xs.size(), ys.size());
  if (n == 0) return {0.0, 0.0};
  if (n == 1) return {ys[0], 0.0};

  const Line line = segment_line(xs, ys, segment_of(xs, n, x0));
  const Line fixed{mode.value, 0.0};
  if (x0 < xs[0]) return outside(mode, line, Line{ys[0], 0.0}, fixed);
  if (x0 > xs[n - 1]) return outside(mode, line, Line{ys[n - 1], 0.0}, fixed);
  return line;
}

}  // namespace magnikit
