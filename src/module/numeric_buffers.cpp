#include "module/numeric_buffers.hpp"

#include <cstring>
#include <type_traits>

namespace magnikit {
namespace {

PyObject* array_type_cell = nullptr;

// NumPy is no dependency of the module, so its array type is recognised by
// its name. A type defined in C carries its module in that name; a class
// made in Python (a subclass, or one that only borrows the name) is a heap
// type and is not taken for it.
bool is_exact_ndarray(PyTypeObject* type) {
  return (type->tp_flags & Py_TPFLAGS_HEAPTYPE) == 0 &&
         std::strcmp(type->tp_name, "numpy.ndarray") == 0;
}

class BufferView {
 public:
  // Whether the object lent its memory, with strides and format.
  bool borrow(PyObject* object) {
    if (PyObject_GetBuffer(object, &view_, PyBUF_RECORDS_RO) == 0) {
      held_ = true;
      return true;
    }
    // The array refused (NumPy lends no buffer of datetimes, say); no code
    // of the caller's ran, and iteration takes over.
    PyErr_Clear();
    return false;
  }
  ~BufferView() {
    if (held_) PyBuffer_Release(&view_);
  }
  const Py_buffer& operator*() const { return view_; }

 private:
  Py_buffer view_{};
  bool held_ = false;
};

// One element after another at the view's stride, which may be negative
// (a reversed array) or zero (a broadcast one). Elements are copied out
// byte-wise, since a NumPy array need not be aligned.
template <class Element>
FloatVector elements_as_doubles(const Py_buffer& view) {
  const auto length = static_cast<std::size_t>(view.shape[0]);
  const Py_ssize_t stride = view.strides != nullptr ? view.strides[0] : view.itemsize;
  const auto* data = static_cast<const char*>(view.buf);
  FloatVector values(length);
  if constexpr (std::is_same_v<Element, double>) {
    if (stride == static_cast<Py_ssize_t>(sizeof(double))) {
      if (length > 0) std::memcpy(values.data(), data, length * sizeof(double));
      return values;
    }
  }
  for (std::size_t i = 0; i < length; ++i) {
    Element element;
    std::memcpy(&element, data + static_cast<Py_ssize_t>(i) * stride, sizeof element);
    // float32 widens exactly; a 64-bit integer rounds to the nearest
    // double, ties to even, as int.__float__ and NumPy's scalars round.
    values[i] = static_cast<double>(element);
  }
  return values;
}

template <class Element>
std::optional<FloatVector> if_sized(const Py_buffer& view) {
  if (view.itemsize != static_cast<Py_ssize_t>(sizeof(Element))) return std::nullopt;
  return elements_as_doubles<Element>(view);
}

// The struct-module codes of native-order, native-size numbers. Any other
// format (float16, bool, complex, objects, a byte order of its own) is read
// by iteration.
std::optional<FloatVector> elements_of(const Py_buffer& view) {
  const char* format = view.format;
  if (format == nullptr) return std::nullopt;
  if (format[0] == '@') ++format;
  if (format[0] == '\0' || format[1] != '\0') return std::nullopt;
  switch (format[0]) {
    case 'd': return if_sized<double>(view);
    case 'f': return if_sized<float>(view);
    case 'b': return if_sized<signed char>(view);
    case 'B': return if_sized<unsigned char>(view);
    case 'h': return if_sized<short>(view);
    case 'H': return if_sized<unsigned short>(view);
    case 'i': return if_sized<int>(view);
    case 'I': return if_sized<unsigned int>(view);
    case 'l': return if_sized<long>(view);
    case 'L': return if_sized<unsigned long>(view);
    case 'q': return if_sized<long long>(view);
    case 'Q': return if_sized<unsigned long long>(view);
    default: return std::nullopt;
  }
}

}  // namespace

void prepare_numeric_buffers() {
  if (array_type_cell != nullptr) return;
  // array is part of every Python; should it be missing or odd, array.array
  // objects are simply read by iteration.
  PyRef module = PyRef::steal(PyImport_ImportModule("array"));
  PyRef type = module ? PyRef::steal(PyObject_GetAttrString(module.get(), "array")) : PyRef();
  if (!type || !PyType_Check(type.get())) {
    PyErr_Clear();
    return;
  }
  array_type_cell = type.release();
}

PyObject* array_type() { return array_type_cell; }

bool is_numeric_array(PyObject* object) {
  PyTypeObject* type = Py_TYPE(object);
  return (array_type_cell != nullptr && reinterpret_cast<PyObject*>(type) == array_type_cell) ||
         is_exact_ndarray(type);
}

std::optional<int> array_dimensions(PyObject* object) {
  if (!is_exact_ndarray(Py_TYPE(object))) return std::nullopt;
  BufferView view;
  if (!view.borrow(object)) return std::nullopt;
  return (*view).ndim;
}

std::optional<FloatVector> read_numeric_buffer(PyObject* object) {
  if (!is_numeric_array(object)) return std::nullopt;
  BufferView view;
  if (!view.borrow(object)) return std::nullopt;
  if ((*view).ndim != 1) return std::nullopt;
  return elements_of(*view);
}

}  // namespace magnikit
