// Shared plumbing of the test-only module. Each source file registers its
// own functions; every function runs inside the module's own boundary guard
// and converts its arguments and results with the module's own conversions,
// so the numeric core is seen exactly as the module sees it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/computation.hpp"
#include "module/conversions.hpp"
#include "module/error_value.hpp"
#include "module/guard.hpp"

namespace internals {

using magnikit::ErrorValue;
using magnikit::PyRef;
using magnikit::PyResult;
using magnikit::raise_later;

// Collects the method tables of the source files at static-initialisation
// time; the module adds them all when it is created.
std::vector<PyMethodDef*>& method_tables();

struct Registrar {
  explicit Registrar(PyMethodDef* table) { method_tables().push_back(table); }
};

// Exactly `count` positional arguments, or a TypeError naming the function.
inline PyResult<void> expect_arguments(const char* name, Py_ssize_t count, Py_ssize_t nargs) {
  if (nargs == count) return {};
  return raise_later(ErrorValue::type_error(std::string(name) + "() takes " +
                                            std::to_string(count) + " arguments (" +
                                            std::to_string(nargs) + " given)"));
}

// The N arguments as doubles, converted as the module converts a float.
template <std::size_t N>
PyResult<std::array<double, N>> doubles(PyObject* const* args) {
  std::array<double, N> values{};
  for (std::size_t i = 0; i < N; ++i) {
    auto value = magnikit::extract_double(args[i]);
    if (!value) return raise_later(std::move(value.error()));
    values[i] = *value;
  }
  return values;
}

// A computation result as a float, or RuntimeError with its message.
inline PyResult<PyRef> to_result(const magnikit::Computed<double>& result) {
  if (!result) return raise_later(ErrorValue::runtime_error(result.error().message));
  return magnikit::to_python(*result);
}

// A new list of `size` empty slots, to be filled with PyList_SET_ITEM.
inline PyRef new_list(std::size_t size) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(size)));
  if (!list) magnikit::python_api_call_failed();
  return list;
}

// The C function type of a METH_FASTCALL method, stored in a method record
// through the generic function pointer type, as the C API documents.
using FastCall = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t);
inline PyCFunction method(FastCall function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

}  // namespace internals
