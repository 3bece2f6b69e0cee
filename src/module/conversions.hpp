// Conversions between Python objects and the numeric core's values: floats
// and sequences of floats in, lists of floats and floats out.
#pragma once

#include "core/computation.hpp"
#include "module/error_value.hpp"

namespace magnikit {

// An exact float is read directly; anything else goes through __float__ or
// __index__ (int, bool, NumPy scalars, ...).
PyResult<double> extract_double(PyObject* object);

// Any sequence of numbers except a str, read by iteration: list, tuple,
// range, bytes, NumPy arrays. Its length only sizes the reservation.
PyResult<FloatVector> extract_float_vector(PyObject* object);

// A new list with one float per element.
PyRef to_python(const FloatVector& values);
// A new float.
PyRef to_python(double value);

}  // namespace magnikit
