// Shared plumbing of the test-only module: each source file registers its
// own functions, and a computation error becomes RuntimeError(message).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <vector>

#include "computation.hpp"

namespace internals {

// Collects the method tables of the source files at static-initialisation
// time; the module adds them all when it is created.
std::vector<PyMethodDef*>& method_tables();

struct Registrar {
  explicit Registrar(PyMethodDef* table) { method_tables().push_back(table); }
};

inline PyObject* to_python(const magnikit::Computed<double>& result) {
  if (result) return PyFloat_FromDouble(*result);
  const auto text = result.error().message;
  PyObject* message = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  if (message == nullptr) return nullptr;
  PyErr_SetObject(PyExc_RuntimeError, message);
  Py_DECREF(message);
  return nullptr;
}

}  // namespace internals
