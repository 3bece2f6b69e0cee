#include "module/conversions.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/internal_failure.hpp"
#include "module/exact_sequences.hpp"
#include "module/numeric_buffers.hpp"
#include "module/pypy_lists.hpp"

namespace magnikit {
namespace {

bool general_conversion_only = false;

// The general conversion, which every sequence may take and which the fast
// paths reproduce.
PyResult<FloatVector> read_by_iteration(PyObject* object) {
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
    internal_failure("capacity overflow");
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

}  // namespace

void prepare_conversions() {
  const char* setting = std::getenv("MAGNIKIT_GENERAL_CONVERSION");
  general_conversion_only = setting != nullptr && std::strcmp(setting, "1") == 0;
  prepare_numeric_buffers();
#ifdef PYPY_VERSION
  prepare_pypy_lists();
#endif
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

PyResult<FloatVector> extract_float_vector(PyObject* object) {
  if (!general_conversion_only) {
    if (PyList_CheckExact(object) || PyTuple_CheckExact(object)) {
      if (auto read = read_exact_sequence(object)) return *std::move(read);
    } else if (auto read = read_numeric_buffer(object)) {
      return *std::move(read);
    }
  }
  return read_by_iteration(object);
}

PyRef to_python(const FloatVector& values) {
#ifdef PYPY_VERSION
  if (!general_conversion_only && pypy_lists_ready() &&
      values.size() >= static_cast<std::size_t>(SHORTEST_COPIED_LIST)) {
    return new_float_list(values);
  }
#endif
  const auto length = static_cast<Py_ssize_t>(values.size());
  PyRef list = PyRef::steal(PyList_New(length));
  if (!list) python_api_call_failed();
  Py_ssize_t filled = 0;
  for (double value : values) {
    PyObject* item = PyFloat_FromDouble(value);
    if (item == nullptr) python_api_call_failed();
    PyList_SET_ITEM(list.get(), filled, item);
    ++filled;
  }
  return list;
}

PyRef to_python(double value) {
  PyRef result = PyRef::steal(PyFloat_FromDouble(value));
  if (!result) python_api_call_failed();
  return result;
}

}  // namespace magnikit
