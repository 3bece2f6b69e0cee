#include "module/guard.hpp"

#include <cstddef>
#include <exception>
#include <new>

#include "core/internal_failure.hpp"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif
#else
#include <pthread.h>
#endif

namespace magnikit {

namespace {

// Room kept free below a call of the module: enough for the interpreter to
// raise and unwind, and for the few frames of a conversion that calls back
// into Python before the next entry looks again.
constexpr std::size_t STACK_KEPT_FREE = 256 * 1024;

// The lowest address of the calling thread's stack, or null where it cannot
// be told.
const char* stack_bottom() noexcept {
#if defined(_WIN32)
  ULONG_PTR low = 0;
  ULONG_PTR high = 0;
  GetCurrentThreadStackLimits(&low, &high);
  return reinterpret_cast<const char*>(low);
#elif defined(__APPLE__)
  pthread_t self = pthread_self();
  return static_cast<const char*>(pthread_get_stackaddr_np(self)) - pthread_get_stacksize_np(self);
#elif defined(__linux__)
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return nullptr;
  void* address = nullptr;
  std::size_t size = 0;
  const bool known = pthread_attr_getstack(&attributes, &address, &size) == 0;
  pthread_attr_destroy(&attributes);
  return known ? static_cast<const char*>(address) : nullptr;
#else
  return nullptr;
#endif
}

// The address of the calling frame on the thread's own stack (a sanitizer
// may keep the locals elsewhere).
inline const char* current_frame() noexcept {
#if defined(_MSC_VER) && !defined(__clang__)
  return static_cast<const char*>(_AddressOfReturnAddress());
#else
  return static_cast<const char*>(__builtin_frame_address(0));
#endif
}

// Whether the C stack has less room left than STACK_KEPT_FREE. A chain of
// re-entries (a __float__ that calls the module, which converts an argument
// whose __float__ calls it again) stacks the interpreter's frames and the
// module's at every level; the recursion limit bounds the levels, but how
// much stack a level takes depends on the function and the interpreter, and
// a high limit lets a chain run past the end of the stack. Looked up once
// per thread.
bool stack_nearly_exhausted() noexcept {
  thread_local const char* const floor = [] {
    const char* bottom = stack_bottom();
    return bottom == nullptr ? nullptr : bottom + STACK_KEPT_FREE;
  }();
  return floor != nullptr && current_frame() < floor;
}

}  // namespace

bool enter_recursion_level() noexcept {
  if (stack_nearly_exhausted()) {
    PyErr_SetString(PyExc_RecursionError,
                    "maximum recursion depth exceeded while calling a magnikit function");
    return false;
  }
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
