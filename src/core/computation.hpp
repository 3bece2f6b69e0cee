// The result of a numeric or model operation: a value, or the first
// computation error met on the way, carrying one static message text; and,
// for the operations that check their caller's arguments before computing,
// the argument they refuse.
#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <variant>
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

// An argument the operation refuses before computing anything: a brightness
// profile whose radii and brightnesses do not pair up or whose radii are out
// of order, an unknown limb-darkening law. The message names the parameter
// and what it accepts.
struct InvalidArgument {
  enum class Kind {
    value,            // a value the parameter does not accept
    unequal_lengths,  // radii and brightnesses of different lengths
  };
  Kind kind;
  std::string message;
};

// The failure of an operation that checks its arguments: the argument it
// refuses, or the computation error it met afterwards.
using OperationError = std::variant<ComputationError, InvalidArgument>;

template <class T>
using Checked = std::expected<T, OperationError>;

inline std::unexpected<OperationError> refuse(InvalidArgument refusal) {
  return std::unexpected(OperationError(std::move(refusal)));
}

// A computed result as the result of a checking operation.
template <class T>
Checked<T> checked(Computed<T>&& computed) {
  if (computed) return *std::move(computed);
  return std::unexpected(OperationError(computed.error()));
}

// One magnification per lens-source separation, in the order of the input.
using FloatVector = std::vector<double>;

// Floats in rows, one row per band of a limb-darkening law: the coefficients
// a caller gives, and the magnifications that come back in the same shape.
// A flat sequence is one row, marked so that its result is flat again.
struct FloatRows {
  std::vector<FloatVector> rows;
  bool flat = true;
};

}  // namespace magnikit
