// How a model file describes one Python function of the module: its name,
// its parameter names and the model operation it runs. The description is
// free of Python types, so the models stay independent of the interpreter;
// the module root turns each entry into a function object.
//
// A model operation takes doubles (floats in Python) and float vectors
// (sequences of floats) by value, in parameter order, and returns a
// Computed<double> or a Computed<FloatVector>.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <type_traits>

namespace magnikit {

template <class Operation>
struct operation_signature;

template <class Result, class... Parameters>
struct operation_signature<Result (*)(Parameters...)> {
  using parameters = std::tuple<std::decay_t<Parameters>...>;
};

template <auto Operation>
struct FunctionEntry {
  static constexpr auto operation = Operation;
  // The converted arguments, one per parameter, in parameter order.
  using Arguments = typename operation_signature<decltype(Operation)>::parameters;

  // Both are written as string literals, so name.data() is NUL-terminated.
  std::string_view name;
  std::array<std::string_view, std::tuple_size_v<Arguments>> parameters;
};

}  // namespace magnikit
