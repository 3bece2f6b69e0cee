// How a model file describes one Python function of the module: its name,
// its parameter names and the model operation it runs. The description is
// free of Python types, so the models stay independent of the interpreter;
// the module root turns each entry into a function object.
//
// A model operation takes doubles (floats in Python) and float vectors
// (sequences of floats) by value, in parameter order, and returns a
// Computed<double> or a Computed<FloatVector>. A vector operation takes a
// Checkpoint last, which the caller supplies and which is no parameter of
// the Python function.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "core/checkpoint.hpp"

namespace magnikit {

template <class Operation>
struct operation_signature;

template <class Result, class... Parameters>
struct operation_signature<Result (*)(Parameters...)> {
 private:
  using all = std::tuple<std::decay_t<Parameters>...>;
  static constexpr std::size_t count = sizeof...(Parameters);
  static_assert(count > 0, "every operation takes at least one separation");

  template <std::size_t... I>
  static std::tuple<std::tuple_element_t<I, all>...> first(std::index_sequence<I...>);

 public:
  static constexpr bool takes_checkpoint =
      std::is_same_v<std::tuple_element_t<count - 1, all>, Checkpoint>;
  // The parameters of the Python function: all but the checkpoint.
  using parameters =
      decltype(first(std::make_index_sequence<takes_checkpoint ? count - 1 : count>{}));
};

template <auto Operation>
struct FunctionEntry {
  static constexpr auto operation = Operation;
  // The converted arguments, one per parameter, in parameter order.
  using Arguments = typename operation_signature<decltype(Operation)>::parameters;
  static constexpr bool takes_checkpoint =
      operation_signature<decltype(Operation)>::takes_checkpoint;

  // Both are written as string literals, so name.data() is NUL-terminated.
  std::string_view name;
  std::array<std::string_view, std::tuple_size_v<Arguments>> parameters;
};

}  // namespace magnikit
