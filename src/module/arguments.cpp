#include "module/arguments.hpp"

#include <optional>
#include <string>
#include <vector>

#include "module/messages.hpp"

namespace magnikit {
namespace {

std::optional<std::size_t> parameter_index(const Signature& signature, std::string_view keyword) {
  for (std::size_t i = 0; i < signature.parameters.size(); ++i) {
    if (signature.parameters[i] == keyword) return i;
  }
  return std::nullopt;
}

std::string function_name(const Signature& signature) {
  return std::string(signature.name) + "()";
}

}  // namespace

PyResult<void> bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames, std::span<PyObject*> slots) {
  const auto count = static_cast<Py_ssize_t>(signature.parameters.size());
  for (Py_ssize_t i = 0; i < nargs && i < count; ++i) slots[static_cast<std::size_t>(i)] = args[i];
  if (nargs > count) {
    return raise_later(ErrorValue::type_error(
        function_name(signature) + " takes " + std::to_string(count) +
        " positional arguments but " + std::to_string(nargs) + (nargs == 1 ? " was" : " were") +
        " given"));
  }

  if (kwnames != nullptr) {
    const Py_ssize_t keywords = PyTuple_Size(kwnames);
    for (Py_ssize_t j = 0; j < keywords; ++j) {
      PyObject* keyword = PyTuple_GetItem(kwnames, j);
      Py_ssize_t size = 0;
      const char* text = PyUnicode_AsUTF8AndSize(keyword, &size);
      std::optional<std::size_t> index;
      if (text == nullptr) {
        // A name that is not valid UTF-8 can match no parameter.
        PyErr_Clear();
      } else {
        index = parameter_index(signature, std::string_view(text, static_cast<std::size_t>(size)));
      }
      if (!index) {
        return raise_later(ErrorValue::type_error(function_name(signature) +
                                                  " got an unexpected keyword argument '" +
                                                  display(keyword) + "'"));
      }
      if (slots[*index] != nullptr) {
        return raise_later(ErrorValue::type_error(
            function_name(signature) + " got multiple values for argument '" +
            std::string(text, static_cast<std::size_t>(size)) + "'"));
      }
      slots[*index] = args[nargs + j];
    }
  }

  if (nargs < count) {
    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < signature.parameters.size(); ++i) {
      if (slots[i] == nullptr) missing.push_back(signature.parameters[i]);
    }
    if (!missing.empty()) {
      return raise_later(ErrorValue::type_error(
          function_name(signature) + " missing " + std::to_string(missing.size()) +
          " required positional " + (missing.size() == 1 ? "argument" : "arguments") + ": " +
          quoted_list(missing)));
    }
  }
  return {};
}

ErrorValue wrap_argument_error(std::string_view parameter, ErrorValue error) {
  if (!error.is_exactly(PyExc_TypeError)) return error;
  const auto& original = error.normalize();
  const std::string text = display(original.value.get());
  PyRef cause = PyRef::steal(PyException_GetCause(original.value.get()));

  ErrorValue wrapped =
      ErrorValue::type_error("argument '" + std::string(parameter) + "': " + text);
  // The new error carries the original's cause, not the original itself.
  PyException_SetCause(wrapped.normalize().value.get(), cause.release());
  return wrapped;
}

}  // namespace magnikit
