// The one owning reference type for Python objects. Every reference the
// module creates is held by a PyRef, so every path, error paths included,
// releases exactly what it created.
//
// A release happens at once. Every PyRef lives inside one call on the thread
// that holds the interpreter lock, and the module never releases the lock
// during a call, so no reference is ever dropped by a thread that does not
// hold it and none needs its release put off until the lock is taken again.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace magnikit {

class PyRef {
 public:
  PyRef() noexcept = default;
  // Takes over a new reference (which may be null, for a failed C API call).
  static PyRef steal(PyObject* object) noexcept { return PyRef(object); }
  // Adds a reference to a borrowed object.
  static PyRef borrow(PyObject* object) noexcept {
    Py_XINCREF(object);
    return PyRef(object);
  }

  PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() { reset(); }

  PyObject* get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  // Hands the reference over to the caller.
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  void reset() noexcept { Py_XDECREF(std::exchange(object_, nullptr)); }

 private:
  explicit PyRef(PyObject* object) noexcept : object_(object) {}
  PyObject* object_ = nullptr;
};

}  // namespace magnikit
