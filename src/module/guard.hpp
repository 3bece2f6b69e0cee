// The boundary guard around every entry from the interpreter: module
// initialisation and each function call. No C++ exception ever crosses it:
// error values are raised as Python exceptions, internal failures as the
// panic exception, and an allocation failure as MemoryError.
#pragma once

#include <exception>
#include <new>
#include <optional>
#include <string>

#include "core/internal_failure.hpp"
#include "module/error_value.hpp"

namespace magnikit {

template <class Body>
PyObject* guarded(Body&& body) noexcept {
  std::optional<PyResult<PyRef>> outcome;
  std::optional<std::string> failure;
  bool out_of_memory = false;
  try {
    outcome.emplace(body());
  } catch (const InternalFailure& internal) {
    failure.emplace(internal.message());
  } catch (const std::bad_alloc&) {
    out_of_memory = true;
  } catch (const std::exception& unexpected) {
    // Any other C++ exception is a broken invariant as well.
    failure.emplace(unexpected.what());
  }
  // A failure that escapes while the outcome is turned into a result or a
  // raised exception has nowhere to go: the trap aborts the process.
  try {
    if (outcome && outcome->has_value()) return (*outcome)->release();
    if (outcome) {
      std::move(outcome->error()).raise();
    } else if (failure) {
      ErrorValue::panic(std::move(*failure)).raise();
    } else if (out_of_memory) {
      PyErr_NoMemory();
    }
    outcome.reset();
  } catch (...) {
    abort_at_boundary();
  }
  return nullptr;
}

}  // namespace magnikit
