// NumPy arrays and array.array objects of numbers, read through the buffer
// protocol: their elements are copied straight from memory, with no Python
// object made for any of them.
#pragma once

#include <optional>

#include "core/computation.hpp"
#include "module/py_ref.hpp"

namespace magnikit {

// Looks up array.array; called once, at module initialisation.
void prepare_numeric_buffers();

// array.array, or null when it could not be looked up.
PyObject* array_type();

// Whether the object is an exact numpy.ndarray or array.array.
bool is_numeric_array(PyObject* object);

// The number of dimensions of an exact numpy.ndarray that lends its
// buffer; nothing for any other object. No code of the caller's runs.
std::optional<int> array_dimensions(PyObject* object);

// The elements of an exact numpy.ndarray or array.array that is
// one-dimensional and holds float64, float32 or native integers, as the
// doubles their own __float__ gives: float32 widened, integers rounded to
// the nearest double. Nothing for any other object (subclasses, other
// formats, other dimensions), which iteration then reads as before, with
// its own results and errors.
std::optional<FloatVector> read_numeric_buffer(PyObject* object);

}  // namespace magnikit
