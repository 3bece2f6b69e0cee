// Conversions between Python objects and the numeric core's values: floats
// and sequences of floats in, lists of floats and floats out.
#pragma once

#include <string>

#include "core/computation.hpp"
#include "module/error_value.hpp"
#include "module/pypy_lists.hpp"

namespace magnikit {

// Reads the setting below and looks up what the fast paths need; called
// once, at module initialisation.
//
// MAGNIKIT_GENERAL_CONVERSION=1 in the environment at import makes every
// sequence be read by iteration and every result list be made item by
// item, which is what the fast paths must match exactly; the tests load a
// second copy of the module with it, to hold the two against each other on
// the same arguments.
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

// The ways of reading a sequence of floats (conversions.cpp).
namespace sequence_reading {

enum class Reading {
  by_index,  // an exact list or tuple
#ifdef PYPY_VERSION
  copying_numbers,  // a long exact list of numbers on PyPy (pypy_lists.hpp)
#endif
  from_buffer,  // an exact NumPy array or array.array (numeric_buffers.hpp)
  by_iteration,  // anything else, and everything when the setting above asks
};

Reading reading_of(PyObject* object);
PyResult<FloatVector> by_index(PyObject* sequence);
PyResult<FloatVector> from_buffer(PyObject* array);
PyResult<FloatVector> by_iteration(PyObject* object);

}  // namespace sequence_reading

// Any sequence of numbers except a str: list, tuple, range, bytes, NumPy
// arrays. Read as iteration reads it: its items in order, each converted
// like a float argument, its length only sizing the reservation. Exact
// lists and tuples are read by index, and exact NumPy arrays and
// array.array objects of numbers through their buffers, with the same
// results, errors and calls of the caller's code.
//
// Inline, so that choosing the way costs the caller no frame: a reading may
// run the caller's code (a __float__ or __iter__ that calls the module
// again), and every frame below that code is stacked once per level of such
// re-entry.
inline PyResult<FloatVector> extract_float_vector(PyObject* object) {
  using namespace sequence_reading;
  switch (reading_of(object)) {
    case Reading::by_index: return by_index(object);
#ifdef PYPY_VERSION
    case Reading::copying_numbers: return copy_numbers(object);
#endif
    case Reading::from_buffer: return from_buffer(object);
    case Reading::by_iteration: break;
  }
  return by_iteration(object);
}

// A str, as UTF-8 text.
PyResult<std::string> extract_text(PyObject* object);

// One row of floats, read as a float vector, or a sequence of such rows
// (a list of lists or tuples, a two-dimensional NumPy array), each read as
// a float vector. The first item decides: a sequence other than a str
// starts rows; an empty sequence is one empty row, and a two-dimensional
// NumPy array is rows even when it has none.
PyResult<FloatRows> extract_float_rows(PyObject* object);

// A new list with one float per element; MemoryError when memory runs out.
PyResult<PyRef> to_python(const FloatVector& values);
// A new list of floats for a flat row, else a new list of such lists.
PyResult<PyRef> to_python(const FloatRows& rows);
// A new float; MemoryError when memory runs out.
PyResult<PyRef> to_python(double value);

}  // namespace magnikit
