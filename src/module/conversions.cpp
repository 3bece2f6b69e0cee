#include "module/conversions.hpp"

#include <cstddef>
#include <cstdint>

#include "module/numeric_buffers.hpp"
#include "module/pypy_lists.hpp"
#include "module/settings.hpp"

namespace magnikit {
namespace {

bool general_conversion_only = false;

}  // namespace

void prepare_conversions() {
  general_conversion_only = general_conversion_requested();
  prepare_numeric_buffers();
#ifdef PYPY_VERSION
  prepare_pypy_lists();
#endif
}

PyResult<std::string> extract_text(PyObject* object) {
  if (!PyUnicode_Check(object)) return raise_later(ErrorValue::type_mismatch(object, "PyString"));
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(object, &size);
  if (text == nullptr) return raise_later(fetch_pending_error());
  return std::string(text, static_cast<std::size_t>(size));
}

PyResult<double> extract_double(PyObject* object) {
  if (Py_TYPE(object) == &PyFloat_Type) return exact_float_value(object);
  const double value = PyFloat_AsDouble(object);
  // -1.0 is both a legitimate value and the failure signal.
  if (value == -1.0) {
    if (auto error = take_pending_error()) return raise_later(*std::move(error));
  }
  return value;
}

namespace sequence_reading {

Reading reading_of(PyObject* object) {
  if (general_conversion_only) return Reading::by_iteration;
  if (PyTuple_CheckExact(object)) return Reading::by_index;
  if (PyList_CheckExact(object)) {
#ifdef PYPY_VERSION
    // See pypy_lists.hpp.
    if (!pypy_lists_ready() || PyList_GET_SIZE(object) < SHORTEST_COPIED_LIST) {
      return Reading::by_iteration;
    }
    switch (storage_of(object)) {
      case ListStorage::numbers: return Reading::copying_numbers;
      case ListStorage::c_objects: return Reading::by_index;
      case ListStorage::objects: return Reading::by_iteration;
    }
#endif
    return Reading::by_index;
  }
  return is_numeric_array(object) ? Reading::from_buffer : Reading::by_iteration;
}

// Exactly what the list's or tuple's iterator would yield, in the same
// order and with the same calls of the caller's code. The length is checked
// before every item. An exact float is read where it lies; any other item
// takes the general conversion, held by its own reference meanwhile as the
// iterator holds it, and is released before the next item is looked at.
// That conversion and that release may run Python code, which may change
// the list, its length and its storage, so both are read again after it.
PyResult<FloatVector> by_index(PyObject* sequence) {
  // Held as the iterator holds it, for as long as its items are read.
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

// Through the buffer where the array holds numbers in one dimension (no
// code of the caller's runs then), by iteration otherwise.
PyResult<FloatVector> from_buffer(PyObject* array) {
  if (auto values = read_numeric_buffer(array)) return *std::move(values);
  return by_iteration(array);
}

// The general conversion, which every sequence may take and which the
// others reproduce.
PyResult<FloatVector> by_iteration(PyObject* object) {
  // A str is a sequence of characters, never of numbers. The text is part of
  // the module's interface (callers match on it) and stays byte for byte.
  if (PyUnicode_Check(object)) {
    return raise_later(ErrorValue::type_error("Can't extract `str` to `Vec`"));
  }
  if (PySequence_Check(object) == 0) {
    return raise_later(ErrorValue::type_mismatch(object, "Sequence"));
  }
  Py_ssize_t length = PySequence_Size(object);
  if (length == -1) {
    // A length that cannot be read only costs the reservation.
    discard_pending_error();
    length = 0;
  }
  if (static_cast<std::size_t>(length) > PTRDIFF_MAX / sizeof(double)) {
    // More items than memory can hold, as list() reports it.
    PyErr_NoMemory();
    return raise_later(ErrorValue::pending());
  }
  FloatVector values;
  values.reserve(static_cast<std::size_t>(length));

  PyRef iterator = PyRef::steal(PyObject_GetIter(object));
  if (!iterator) return raise_later(fetch_pending_error());
  while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
    PyResult<double> value = extract_double(item.get());
    if (!value) return raise_later(std::move(value.error()));
    values.push_back(*value);
  }
  if (auto error = take_pending_error()) return raise_later(*std::move(error));
  return values;
}

}  // namespace sequence_reading

namespace {

// The first item of a sequence, by index; null for an empty exact list (with
// no error set), or with the error pending.
PyObject* first_item(PyObject* object) {
#ifdef PYPY_VERSION
  // Reading an item of a list by index through the C API turns the list's
  // storage into C objects for good (pypy_lists.hpp); its iterator does not,
  // and runs no code of the caller's.
  if (PyList_CheckExact(object)) {
    PyRef iterator = PyRef::steal(PyObject_GetIter(object));
    return iterator ? PyIter_Next(iterator.get()) : nullptr;
  }
#endif
  return PySequence_GetItem(object, 0);
}

// Whether a sequence holds rows rather than floats: an exact NumPy array by
// its dimensions, any other sequence by its first item, which starts rows
// when it is a sequence other than a str. The reading that follows may run
// the same code of the caller's again (a __getitem__ that calls the module),
// so the length is not asked for, and an error from the first item is the
// argument's error: dropped to be met again in the reading, it would make a
// chain of re-entries through that code branch at every level and never end.
// An IndexError means an empty sequence, read as floats.
PyResult<bool> holds_rows(PyObject* object) {
  if (auto dimensions = array_dimensions(object)) return *dimensions == 2;
  if (PyUnicode_Check(object) || PySequence_Check(object) == 0) return false;
  PyRef first = PyRef::steal(first_item(object));
  if (!first) {
    if (PyErr_Occurred() != nullptr && PyErr_ExceptionMatches(PyExc_IndexError) == 0) {
      return raise_later(fetch_pending_error());
    }
    discard_pending_error();
    return false;
  }
  // A zero-dimensional NumPy array is a number, though it has the methods
  // of a sequence.
  if (auto dimensions = array_dimensions(first.get())) return *dimensions > 0;
  return PySequence_Check(first.get()) != 0 && !PyUnicode_Check(first.get());
}

}  // namespace

PyResult<FloatRows> extract_float_rows(PyObject* object) {
  PyResult<bool> holds = holds_rows(object);
  if (!holds) return raise_later(std::move(holds.error()));
  if (!*holds) {
    auto row = extract_float_vector(object);
    if (!row) return raise_later(std::move(row.error()));
    return FloatRows{{*std::move(row)}, true};
  }
  FloatRows rows{{}, false};
  PyRef iterator = PyRef::steal(PyObject_GetIter(object));
  if (!iterator) return raise_later(fetch_pending_error());
  while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
    auto row = extract_float_vector(item.get());
    if (!row) return raise_later(std::move(row.error()));
    rows.rows.push_back(*std::move(row));
  }
  if (auto error = take_pending_error()) return raise_later(*std::move(error));
  return rows;
}

PyResult<PyRef> to_python(const FloatVector& values) {
#ifdef PYPY_VERSION
  if (!general_conversion_only && pypy_lists_ready() &&
      values.size() >= static_cast<std::size_t>(SHORTEST_COPIED_LIST)) {
    return new_float_list(values);
  }
#endif
  const auto length = static_cast<Py_ssize_t>(values.size());
  PyRef list = PyRef::steal(PyList_New(length));
  if (!list) return raise_later(allocation_failed());
  Py_ssize_t filled = 0;
  for (double value : values) {
    PyObject* item = PyFloat_FromDouble(value);
    if (item == nullptr) return raise_later(allocation_failed());
    PyList_SET_ITEM(list.get(), filled, item);
    ++filled;
  }
  return list;
}

PyResult<PyRef> to_python(const FloatRows& rows) {
  if (rows.flat && rows.rows.size() == 1) return to_python(rows.rows[0]);
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(rows.rows.size())));
  if (!list) return raise_later(allocation_failed());
  for (std::size_t i = 0; i < rows.rows.size(); ++i) {
    auto row = to_python(rows.rows[i]);
    if (!row) return raise_later(std::move(row.error()));
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), row->release());
  }
  return list;
}

PyResult<PyRef> to_python(double value) {
  PyRef result = PyRef::steal(PyFloat_FromDouble(value));
  if (!result) return raise_later(allocation_failed());
  return result;
}

}  // namespace magnikit
