// Piecewise-linear interpolation of sampled data, with a choice of what to
// return outside the sampled range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace magnikit {

struct OutOfRangeMode {
  enum Kind : std::uint32_t { Extend = 0, HoldEnds = 1, Fixed = 2 };
  std::uint32_t kind;
  double value;
};

// A brightness profile is zero off the sampled radii.
inline constexpr OutOfRangeMode ZERO_OUTSIDE{OutOfRangeMode::Fixed, 0.0};

double interp(std::span<const double> xs, std::span<const double> ys, double x0,
              const OutOfRangeMode& mode);

// A straight line, evaluated as intercept + slope * x.
struct Line {
  double intercept;
  double slope;
  double at(double x) const { return intercept + slope * x; }
};

// The line that interp follows at x0: the segment's line, or beyond the
// samples a constant line for HoldEnds and Fixed. Between two neighbouring
// sample radii interp is this one line, which lets a caller integrate the
// interpolant exactly piece by piece. (At an infinite x0 interp returns a
// held or fixed value where this line's value would be NaN.)
Line interp_line(std::span<const double> xs, std::span<const double> ys, double x0,
                 const OutOfRangeMode& mode);

// interp of fixed samples, for many queries: bit for bit interp(xs, ys, x0,
// mode) at every x0, with the segments' lines formed once and, where the
// sample radii ascend (each at or beyond the one before, none NaN), a
// query's segment found by bisection instead of a scan from the first
// sample. It refers to the samples and lives no longer than they do.
class Interpolant {
 public:
  Interpolant(std::span<const double> xs, std::span<const double> ys, const OutOfRangeMode& mode);
  double operator()(double x0) const;
  // Bit for bit interp_line(xs, ys, x0, mode), found as the value is.
  Line line(double x0) const;

 private:
  std::span<const double> xs_;
  std::span<const double> ys_;
  std::size_t n_;
  OutOfRangeMode mode_;
  // The segment of a query: by bisection where the radii ascend.
  std::size_t segment(double x0) const;

  std::vector<Line> lines_;
  bool ascending_;
};

}  // namespace magnikit
