// The result of a kernel evaluated in lanes: per lane a value, or the first
// computation error met on that lane's way. With one lane (T = double) it
// is a Computed<double>.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "core/computation.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {

template <class T>
struct LaneComputed {
  T value;
  // Per lane the error's message, or empty for a value (no message is empty).
  std::array<std::string_view, lanes::count<T>> error{};

  void fail(std::size_t i, ComputationError failure) { error[i] = failure.message; }
  bool failed(std::size_t i) const { return !error[i].empty(); }
  Computed<double> lane(std::size_t i) const {
    if (failed(i)) return magnikit::fail(error[i]);
    return lanes::get(value, i);
  }
};

// out[i] for the first `live` lanes: the lane's value or error where the
// lanes were evaluated, else one(i), the scalar model.
template <class T, class One>
MAGNIKIT_KERNEL void store_lanes(const LaneComputed<T>& result, lanes::Mask<T> evaluated,
                                 Computed<double>* out, std::size_t live, One&& one) {
  for (std::size_t i = 0; i < live; ++i) out[i] = lanes::holds(evaluated, i) ? result.lane(i) : one(i);
}

}  // namespace magnikit
