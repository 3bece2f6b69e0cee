#include "module/exact_sequences.hpp"

#include "module/conversions.hpp"
#include "module/pypy_lists.hpp"

namespace magnikit {
namespace {

// Reads exactly what the sequence's iterator would yield, in the same order
// and with the same calls of the caller's code: the length is checked
// before every item, and after any item whose conversion ran Python code
// (which may have changed the list, its length or its storage) both are
// read again. That item is held by its own reference for its conversion,
// as the iterator holds it, and released before the next item is looked at.
PyResult<FloatVector> read_items(PyObject* sequence) {
  // Held like the iterator holds it, for as long as its items are read.
  PyRef held_sequence = PyRef::borrow(sequence);
  Py_ssize_t length = PySequence_Fast_GET_SIZE(sequence);
  PyObject** items = PySequence_Fast_ITEMS(sequence);
  FloatVector values;
  values.reserve(static_cast<std::size_t>(length));
  for (Py_ssize_t i = 0; i < length; ++i) {
    PyObject* item = items[i];
    if (Py_TYPE(item) == &PyFloat_Type) {
      values.push_back(exact_float_value(item));
      continue;
    }
    {
      PyRef held_item = PyRef::borrow(item);
      PyResult<double> value = extract_double(item);
      if (!value) return raise_later(std::move(value.error()));
      values.push_back(*value);
    }
    length = PySequence_Fast_GET_SIZE(sequence);
    items = PySequence_Fast_ITEMS(sequence);
  }
  return values;
}

}  // namespace

std::optional<PyResult<FloatVector>> read_exact_sequence(PyObject* sequence) {
#ifdef PYPY_VERSION
  if (PyList_CheckExact(sequence)) {
    if (!pypy_lists_ready() || PyList_GET_SIZE(sequence) < SHORTEST_COPIED_LIST) {
      return std::nullopt;
    }
    switch (storage_of(sequence)) {
      case ListStorage::numbers: return copy_numbers(sequence);
      case ListStorage::c_objects: break;
      case ListStorage::objects: return std::nullopt;
    }
  }
#endif
  return read_items(sequence);
}

}  // namespace magnikit
