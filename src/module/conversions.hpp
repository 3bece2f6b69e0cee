// Conversions between Python objects and the numeric core's values: floats
// and sequences of floats in, lists of floats and floats out.
#pragma once

#include "core/computation.hpp"
#include "module/error_value.hpp"

namespace magnikit {

// Reads the setting below and looks up what the fast paths need; called
// once, at module initialisation.
//
// MAGNIKIT_GENERAL_CONVERSION=1 in the environment at import makes every
// sequence be read by iteration and every result list be made item by
// item, which is what the fast paths must match exactly; the tests load a
// second copy of the module so to compare the two on the same arguments.
void prepare_conversions();

// The value of an exact float, read where it lies.
inline double exact_float_value(PyObject* exact_float) {
#ifdef PYPY_VERSION
  // PyPy fills in the C-level value of every float it hands to C code; its
  // PyFloat_AS_DOUBLE is a function call.
  return reinterpret_cast<PyFloatObject*>(exact_float)->ob_fval;
#else
  return PyFloat_AS_DOUBLE(exact_float);
#endif
}

// An exact float is read directly; anything else goes through __float__ or
// __index__ (int, bool, NumPy scalars, ...).
PyResult<double> extract_double(PyObject* object);

// Any sequence of numbers except a str: list, tuple, range, bytes, NumPy
// arrays. Read as iteration reads it: its items in order, each converted
// like a float argument, its length only sizing the reservation. Exact
// lists and tuples are read by index, and exact NumPy arrays and
// array.array objects of numbers through their buffers, with the same
// results, errors and calls of the caller's code.
PyResult<FloatVector> extract_float_vector(PyObject* object);

// A new list with one float per element.
PyRef to_python(const FloatVector& values);
// A new float.
PyRef to_python(double value);

}  // namespace magnikit
