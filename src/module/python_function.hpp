// Turns a model file's FunctionEntry into the C function the interpreter
// calls: bind the arguments, convert them in parameter order, run the model
// operation, and convert its result, all inside the boundary guard.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "computation.hpp"
#include "module/arguments.hpp"
#include "module/conversions.hpp"
#include "module/function_entry.hpp"
#include "module/guard.hpp"

namespace magnikit {

using FastCallFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// What the module root needs to register one function.
struct PythonFunction {
  std::string_view name;
  std::span<const std::string_view> parameters;
  FastCallFunction call;
};

namespace binding {

inline PyResult<double> extract(PyObject* object, std::type_identity<double>) {
  return extract_double(object);
}
inline PyResult<FloatVector> extract(PyObject* object, std::type_identity<FloatVector>) {
  return extract_float_vector(object);
}

// Converts one argument, or records the (wrapped) error and stops the fold.
template <class T>
bool convert(PyObject* object, std::string_view parameter, T& value,
             std::optional<ErrorValue>& error) {
  PyResult<T> converted = extract(object, std::type_identity<T>{});
  if (!converted) {
    error.emplace(wrap_argument_error(parameter, std::move(converted.error())));
    return false;
  }
  value = *std::move(converted);
  return true;
}

template <class T>
PyResult<PyRef> to_result(Computed<T>&& result) {
  if (!result) return raise_later(ErrorValue::runtime_error(result.error().message));
  return to_python(*result);
}
inline PyResult<PyRef> to_result(FloatVector&& result) { return to_python(result); }
inline PyResult<PyRef> to_result(double result) { return to_python(result); }

template <class Operation>
struct parameters_of;
template <class Result, class... Parameters>
struct parameters_of<Result (*)(Parameters...)> {
  using type = std::tuple<std::decay_t<Parameters>...>;
};

template <const auto& Entry, std::size_t... I>
PyResult<PyRef> run(std::span<PyObject*> slots, std::index_sequence<I...>) {
  typename parameters_of<std::remove_cv_t<decltype(Entry.operation)>>::type values{};
  std::optional<ErrorValue> error;
  // Strictly in parameter order; the first failure ends the conversion.
  const bool converted = (convert(slots[I], Entry.parameters[I], std::get<I>(values), error) && ...);
  if (!converted) return raise_later(*std::move(error));
  return to_result(std::apply(Entry.operation, std::move(values)));
}

template <const auto& Entry>
PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyResult<PyRef> {
    constexpr std::size_t count = Entry.parameters.size();
    std::array<PyObject*, count> slots{};
    const Signature signature{Entry.name, Entry.parameters};
    if (auto bound = bind_arguments(signature, args, nargs, kwnames, slots); !bound) {
      return raise_later(std::move(bound.error()));
    }
    return run<Entry>(slots, std::make_index_sequence<count>{});
  });
}

}  // namespace binding

template <const auto& Entry>
constexpr PythonFunction python_function() {
  return {Entry.name, Entry.parameters, &binding::call<Entry>};
}

}  // namespace magnikit
