// How a model file describes one Python function of the module: its name,
// its parameter names and the model operation it runs. The description is
// free of Python types, so the models stay independent of the interpreter;
// the module root turns each entry into a function object.
//
// A model operation takes doubles (floats in Python) and float vectors
// (sequences of floats) by value, in parameter order, and returns a double or
// a float vector, either plainly or as a Computed<> that may carry an error.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace magnikit {

template <class Operation>
struct operation_traits;

template <class Result, class... Parameters>
struct operation_traits<Result (*)(Parameters...)> {
  static constexpr std::size_t arity = sizeof...(Parameters);
};

template <auto Operation>
struct FunctionEntry {
  static constexpr auto operation = Operation;
  std::string_view name;
  std::array<std::string_view, operation_traits<decltype(Operation)>::arity> parameters;
};

}  // namespace magnikit
