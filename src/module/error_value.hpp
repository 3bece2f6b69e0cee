// Error values: exceptions on their way out of the module. A deferred error
// holds an exception type and a payload and becomes Python objects only when
// it is raised or inspected; a normalised one holds the interpreter's own
// (type, value, traceback); a pending one is an exception that the
// interpreter already holds and that the module passes on untouched.
#pragma once

#include <expected>
#include <memory>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <variant>

#include "module/py_ref.hpp"

namespace magnikit {

class ErrorValue {
 public:
  struct Normalized {
    PyRef type;
    PyRef value;
    PyRef traceback;
  };

  // RuntimeError(text) for a computation error; the text is a program constant.
  static ErrorValue runtime_error(std::string_view static_text);
  static ErrorValue type_error(std::string text);
  // TypeError "'{type}' object cannot be converted to '{target}'", whose text
  // is built only when the error is raised.
  static ErrorValue type_mismatch(PyObject* object, std::string_view target);
  static ErrorValue attribute_error(std::string_view static_text);
  // ValueError(text) for an argument that an operation refuses.
  static ErrorValue value_error(std::string text);
  // magnikit.ProfileLengthError(text), for radii and brightnesses of
  // different lengths.
  static ErrorValue profile_length_error(std::string text);
  // SystemError for a C API call that reported failure but set no exception.
  static ErrorValue nothing_set();
  // The panic exception with the failure text as its single argument.
  static ErrorValue panic(std::string text);
  static ErrorValue normalized(PyRef type, PyRef value, PyRef traceback);
  // The interpreter's pending exception, left where it is. Taking it out
  // (PyErr_Fetch) would make PyPy build the exception object, which fails
  // fatally for a RecursionError at the recursion limit; an error that only
  // passes through the module is never taken out.
  static ErrorValue pending();

  // Makes this the interpreter's pending exception, normalised (a pending
  // error is already there).
  void raise() &&;
  // The (type, value, traceback) of this error. A deferred error is turned
  // into the interpreter's objects here, and a pending one taken from the
  // interpreter, once; later calls return them.
  Normalized& normalize();
  // Whether the normalised exception's type is exactly `type`. A pending
  // error is taken from the interpreter only when its type is `type` or a
  // subclass; any other pending error cannot normalise to `type`.
  bool is_exactly(PyObject* type);

 private:
  struct TypeMismatch {
    PyRef object;
    std::string_view target;
  };
  struct Deferred {
    PyObject* type;  // a built-in exception or one of the module's: never freed
    std::variant<std::string_view, std::string, TypeMismatch> payload;
    bool as_arguments_tuple = false;
  };

  using State = std::variant<Deferred, Normalized>;

  explicit ErrorValue(std::unique_ptr<State> state) : state_(std::move(state)) {}
  // The exception's constructor argument: the text, or a tuple holding it.
  static PyRef payload_object(const Deferred& deferred);

  // Null for a pending error. The state lives on the heap so that an error
  // value, and every result that may hold one, is a pointer wide: results
  // are held in the frames of the argument conversion, which a re-entrant
  // argument (a __float__ calling the module) stacks once per level.
  std::unique_ptr<State> state_;
};

template <class T>
using PyResult = std::expected<T, ErrorValue>;

inline std::unexpected<ErrorValue> raise_later(ErrorValue error) {
  return std::unexpected(std::move(error));
}

// Takes the interpreter's pending exception, if any, as a pending error. A
// pending panic exception raised by Python code is resumed as an internal
// failure instead.
std::optional<ErrorValue> take_pending_error();
// The same, but with nothing pending the result is the SystemError
// "attempted to fetch exception but none was set".
ErrorValue fetch_pending_error();
// Discards the interpreter's pending exception, if any (a panic exception is
// still resumed).
void discard_pending_error();

// A C API call that must not fail has failed: prints and clears the pending
// exception, then fails with "Python API call failed".
[[noreturn]] void python_api_call_failed(
    std::source_location where = std::source_location::current());

// The interpreter could not make a new object. Running out of memory is the
// caller's to handle, as MemoryError (list() raises the same); any other
// failure of such a call is a broken invariant, as above.
[[nodiscard]] ErrorValue allocation_failed(
    std::source_location where = std::source_location::current());

// A new reference to a str made from UTF-8 text; must not fail.
PyRef new_str(std::string_view text);

}  // namespace magnikit
