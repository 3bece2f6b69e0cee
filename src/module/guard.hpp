// The boundary guard around every entry from the interpreter: module
// initialisation and each function call. No C++ exception ever crosses it:
// error values are raised as Python exceptions, internal failures as the
// panic exception, and an allocation failure as MemoryError.
//
// The guard stays small on purpose. A function can be re-entered from the
// Python code that converting its arguments runs (a __float__ or __iter__
// that calls the module again), and each level of such a chain stacks this
// frame; the work of raising is done out of line.
#pragma once

#include <optional>

#include "module/error_value.hpp"

namespace magnikit {

// Each entry counts as one level of the interpreter's recursion, like a call
// of a Python function, so a chain of re-entries ends in RecursionError
// while the C stack still has room. Returns false with RecursionError set
// when the limit is reached.
bool enter_recursion_level() noexcept;
void leave_recursion_level() noexcept;

// The body's outcome becomes the result: its object, or NULL with its error
// raised. A failure while raising has nowhere to go and aborts the process.
PyObject* finish_outcome(PyResult<PyRef>&& outcome) noexcept;
// Raises the C++ exception being handled: the panic exception for an
// internal failure or any other C++ exception, MemoryError for an allocation
// failure. Returns NULL.
PyObject* raise_caught_failure() noexcept;

// Inlined into each entry, so that an entry costs one frame, not two.
template <class Body>
[[gnu::always_inline]] inline PyObject* guarded(Body&& body) noexcept {
  if (!enter_recursion_level()) return nullptr;
  PyObject* result = nullptr;
  std::optional<PyResult<PyRef>> outcome;
  try {
    outcome.emplace(body());
  } catch (...) {
    result = raise_caught_failure();
  }
  if (outcome) result = finish_outcome(std::move(*outcome));
  outcome.reset();
  leave_recursion_level();
  return result;
}

}  // namespace magnikit
