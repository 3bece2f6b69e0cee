// PyPy's lists, read and made without a C object per item.
//
// PyPy keeps a list of numbers unboxed, as raw doubles or machine integers,
// and its C API makes a C object for every item that C code reads; reading
// an item by index through the C API even turns the whole list's storage
// into C objects for good. What it handles natively is copying between a
// list and an array.array of doubles, so a long list is read by making such
// an array of it, which runs no Python code for a list of floats or
// integers, and a long result list is made from one. Both are builtin calls
// made from C, so no Python bytecode runs, and with it no signal handler and
// no other thread, just as when the items are read one by one.
#pragma once

#include "core/computation.hpp"
#include "module/error_value.hpp"

#ifdef PYPY_VERSION

namespace magnikit {

// Below this length the calls that copying costs (about 0.4 µs) outweigh
// what it saves (about 60 ns an item read, 80 ns an item made), so short
// lists are read and made item by item.
inline constexpr Py_ssize_t SHORTEST_COPIED_LIST = 8;

enum class ListStorage {
  numbers,    // unboxed floats and integers: copied through an array
  c_objects,  // already C objects: read by index like a tuple
  objects,    // Python objects: read by iteration
};

// Looks up what the copies need; called once, at module initialisation,
// after prepare_numeric_buffers.
void prepare_pypy_lists();
// Whether copying is possible (always, unless a lookup failed).
bool pypy_lists_ready();

// How the exact list stores its items.
ListStorage storage_of(PyObject* list);

// The items of an exact list whose storage is numbers, as doubles.
PyResult<FloatVector> copy_numbers(PyObject* list);

// A new list of floats holding the values, made through an array;
// MemoryError when memory runs out.
PyResult<PyRef> new_float_list(const FloatVector& values);

}  // namespace magnikit

#endif
