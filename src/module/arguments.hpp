// Binding a call's positional and keyword arguments to a function's
// parameters, every one of them required and accepted either way.
#pragma once

#include <span>
#include <string_view>

#include "module/error_value.hpp"

namespace magnikit {

struct Signature {
  std::string_view name;
  std::span<const std::string_view> parameters;
};

// Fills one borrowed reference per parameter, or fails with the TypeError a
// Python function would raise for the same call.
PyResult<void> bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames, std::span<PyObject*> slots);

// A TypeError met while converting the argument of a parameter becomes
// "argument '{parameter}': {message}", keeping its cause; any other error
// passes unchanged.
ErrorValue wrap_argument_error(std::string_view parameter, ErrorValue error);

}  // namespace magnikit
