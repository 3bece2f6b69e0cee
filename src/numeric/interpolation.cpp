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

// The value of segment i's line (sample i to sample i + 1) at x0. A segment of
// zero width has an infinite or NaN slope, and so a NaN value.
double segment_line(std::span<const double> xs, std::span<const double> ys, std::size_t i,
                    double x0) {
  const double slope = (ys[i + 1] - ys[i]) / (xs[i + 1] - xs[i]);
  const double intercept = ys[i] - xs[i] * slope;
  return intercept + slope * x0;
}

// What to return beyond one end of the samples: the line extended, the end
// sample held, or the fixed value.
double outside(const OutOfRangeMode& mode, double line, double end_value) {
  switch (mode.kind) {
    case OutOfRangeMode::Extend:
      return line;
    case OutOfRangeMode::HoldEnds:
      return end_value;
    default:
      return mode.value;
  }
}

}  // namespace

double interp(std::span<const double> xs, std::span<const double> ys, double x0,
              const OutOfRangeMode& mode) {
  // Only the pairs present in both sequences take part.
  const std::size_t n = std::min(xs.size(), ys.size());
  if (n == 0) return 0.0;
  if (n == 1) return ys[0];

  // A query inside the range uses the segment whose right end is the first
  // sample at or beyond it: at a sample xs[k] (k >= 1) the segment on its
  // left, at or below xs[0] the first segment, beyond the last sample the last
  // segment. (Scanning past the n-th sample could not change the segment.)
  const std::size_t p = first_sample_not_below(xs, n, x0);
  const std::size_t i = std::min(p >= 1 ? p - 1 : 0, n - 2);
  const double line = segment_line(xs, ys, i, x0);

  // Ordered comparisons: a NaN query is neither below nor beyond the range.
  if (x0 < xs[0]) return outside(mode, line, ys[0]);
  if (x0 > xs[n - 1]) return outside(mode, line, ys[n - 1]);
  return line;
}

}  // namespace magnikit
