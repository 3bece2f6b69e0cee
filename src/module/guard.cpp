#include "module/guard.hpp"

#include <exception>
#include <new>

#include "core/internal_failure.hpp"

namespace magnikit {

bool enter_recursion_level() noexcept {
  return Py_EnterRecursiveCall(" while calling a magnikit function") == 0;
}

void leave_recursion_level() noexcept { Py_LeaveRecursiveCall(); }

PyObject* finish_outcome(PyResult<PyRef>&& outcome) noexcept {
  try {
    if (outcome) return outcome->release();
    std::move(outcome.error()).raise();
  } catch (...) {
    abort_at_boundary();
  }
  return nullptr;
}

PyObject* raise_caught_failure() noexcept {
  try {
    try {
      throw;
    } catch (const InternalFailure& internal) {
      ErrorValue::panic(internal.message()).raise();
    } catch (const std::bad_alloc&) {
      PyErr_NoMemory();
    } catch (const std::exception& unexpected) {
      // Any other C++ exception is a broken invariant as well.
      ErrorValue::panic(unexpected.what()).raise();
    }
  } catch (...) {
    abort_at_boundary();
  }
  return nullptr;
}

}  // namespace magnikit
