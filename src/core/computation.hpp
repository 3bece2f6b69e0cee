// The result of a numeric or model operation: a value, or the first
// computation error met on the way, carrying one static message text.
#pragma once

#include <expected>
#include <string_view>
#include <vector>

namespace magnikit {

// A failure of a numeric operation. The message is a string constant of the
// program that begins with the producing function's name and a colon; it is
// never built at run time, so carrying it costs a pointer and a length.
struct ComputationError {
  std::string_view message;
};

template <class T>
using Computed = std::expected<T, ComputationError>;

inline constexpr std::unexpected<ComputationError> fail(std::string_view message) {
  return std::unexpected(ComputationError{message});
}

// One magnification per lens-source separation, in the order of the input.
using FloatVector = std::vector<double>;

}  // namespace magnikit
