// Turns a model file's FunctionEntry into the C function the interpreter
// calls: bind the arguments, convert them in parameter order, run the model
// operation, and convert its result, all inside the boundary guard.
//
// The frames of the conversion stay small: converting an argument may run
// Python code that calls the module again, and a chain of such re-entries
// stacks them once per level (see guard.hpp).
#pragma once

#include <array>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>

#include "core/checkpoint.hpp"
#include "core/computation.hpp"
#include "core/function_entry.hpp"
#include "module/arguments.hpp"
#include "module/conversions.hpp"
#include "module/guard.hpp"
#include "module/signals.hpp"

namespace magnikit::binding {

template <class T>
PyResult<T> extract(PyObject* object);
template <>
inline PyResult<double> extract<double>(PyObject* object) {
  return extract_double(object);
}
template <>
inline PyResult<FloatVector> extract<FloatVector>(PyObject* object) {
  return extract_float_vector(object);
}
template <>
inline PyResult<std::string> extract<std::string>(PyObject* object) {
  return extract_text(object);
}
template <>
inline PyResult<FloatRows> extract<FloatRows>(PyObject* object) {
  return extract_float_rows(object);
}

template <const auto& Entry>
using Arguments = typename std::remove_cvref_t<decltype(Entry)>::Arguments;

// Converts the argument of parameter I into its slot of `arguments`; a
// TypeError comes back naming the parameter. Inlined into the entry, so that
// converting costs no frame of its own.
template <const auto& Entry, std::size_t I>
[[gnu::always_inline]] inline PyResult<void> convert_argument(PyObject* object,
                                                              Arguments<Entry>& arguments) {
  auto converted = extract<std::tuple_element_t<I, Arguments<Entry>>>(object);
  if (!converted) {
    return raise_later(wrap_argument_error(Entry.parameters[I], std::move(converted.error())));
  }
  std::get<I>(arguments) = *std::move(converted);
  return {};
}

inline ErrorValue error_value(const ComputationError& error) {
  // A stop at a checkpoint leaves the signal handler's exception pending.
  if (is_stop(error)) return ErrorValue::pending();
  return ErrorValue::runtime_error(error.message);
}

inline ErrorValue error_value(InvalidArgument&& refusal) {
  if (refusal.kind == InvalidArgument::Kind::unequal_lengths) {
    return ErrorValue::profile_length_error(std::move(refusal.message));
  }
  return ErrorValue::value_error(std::move(refusal.message));
}

template <class T>
PyResult<PyRef> to_result(Computed<T>&& result) {
  if (result) return to_python(*result);
  return raise_later(error_value(result.error()));
}

template <class T>
PyResult<PyRef> to_result(Checked<T>&& result) {
  if (result) return to_python(*result);
  return raise_later(std::visit([](auto&& error) { return error_value(std::move(error)); },
                                std::move(result.error())));
}

// Runs the operation on the converted arguments and converts its result.
// Kept out of the frame that converts the arguments, which a re-entry chain
// stacks, since its locals are needed only after the conversion.
template <const auto& Entry>
[[gnu::noinline]] PyResult<PyRef> compute(Arguments<Entry>&& arguments) {
  if constexpr (Entry.takes_checkpoint) {
    return to_result(std::apply(
        [](auto&&... converted) {
          return Entry.operation(std::move(converted)..., Checkpoint(signal_handler_raised));
        },
        std::move(arguments)));
  } else {
    return to_result(std::apply(Entry.operation, std::move(arguments)));
  }
}

template <const auto& Entry, std::size_t... I>
PyResult<PyRef> run(std::span<PyObject* const> slots, std::index_sequence<I...>) {
  Arguments<Entry> arguments{};
  PyResult<void> converted;
  // Strictly in parameter order: the && stops at the first failure, and the
  // later arguments are never touched.
  const bool all_converted =
      ((converted = convert_argument<Entry, I>(slots[I], arguments)) && ...);
  if (!all_converted) return raise_later(std::move(converted.error()));
  return compute<Entry>(std::move(arguments));
}

template <const auto& Entry>
PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyResult<PyRef> {
    constexpr std::size_t count = Entry.parameters.size();
    static constexpr Signature signature{Entry.name, Entry.parameters};
    std::array<PyObject*, count> slots{};
    if (auto bound = bind_arguments(signature, args, nargs, kwnames, slots); !bound) {
      return raise_later(std::move(bound.error()));
    }
    return run<Entry>(slots, std::make_index_sequence<count>{});
  });
}

}  // namespace magnikit::binding
