// Piecewise-linear interpolation of sampled data, with a choice of what to
// return outside the sampled range.
#pragma once

#include <cstdint>
#include <span>

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

}  // namespace magnikit
