#include "module/pypy_lists.hpp"

#ifdef PYPY_VERSION

#include <string_view>

#include "module/numeric_buffers.hpp"

namespace magnikit {
namespace {

PyObject* strategy_function = nullptr;  // __pypy__.strategy
PyObject* double_typecode = nullptr;    // "d"

// array.array('d', source): from a list of numbers or from the bytes of
// doubles.
PyRef double_array(PyObject* source) {
  PyObject* arguments[] = {double_typecode, source};
  return PyRef::steal(PyObject_Vectorcall(array_type(), arguments, 2, nullptr));
}

}  // namespace

void prepare_pypy_lists() {
  if (strategy_function != nullptr) return;
  PyRef module = PyRef::steal(PyImport_ImportModule("__pypy__"));
  PyRef strategy = module ? PyRef::steal(PyObject_GetAttrString(module.get(), "strategy")) : PyRef();
  PyRef typecode = PyRef::steal(PyUnicode_FromString("d"));
  if (!strategy || !typecode || array_type() == nullptr) {
    // Lists are then read and made item by item.
    PyErr_Clear();
    return;
  }
  double_typecode = typecode.release();
  strategy_function = strategy.release();
}

bool pypy_lists_ready() { return strategy_function != nullptr; }

ListStorage storage_of(PyObject* list) {
  PyRef name = PyRef::steal(PyObject_CallOneArg(strategy_function, list));
  if (!name) python_api_call_failed();
  const char* text = PyUnicode_AsUTF8(name.get());
  if (text == nullptr) python_api_call_failed();
  const std::string_view strategy = text;
  // Each holds only exact floats and exact integers, which the array reads
  // as float() does, without calling anything of the caller's.
  if (strategy == "FloatListStrategy" || strategy == "IntegerListStrategy" ||
      strategy == "IntOrFloatListStrategy") {
    return ListStorage::numbers;
  }
  if (strategy == "CPyListStrategy") return ListStorage::c_objects;
  return ListStorage::objects;
}

PyResult<FloatVector> copy_numbers(PyObject* list) {
  PyRef array = double_array(list);
  // Only memory can run out here.
  if (!array) return raise_later(fetch_pending_error());
  auto values = read_numeric_buffer(array.get());
  if (!values) python_api_call_failed();
  return *std::move(values);
}

PyResult<PyRef> new_float_list(const FloatVector& values) {
  PyRef bytes = PyRef::steal(PyBytes_FromStringAndSize(
      reinterpret_cast<const char*>(values.data()),
      static_cast<Py_ssize_t>(values.size() * sizeof(double))));
  if (!bytes) return raise_later(allocation_failed());
  PyRef array = double_array(bytes.get());
  if (!array) return raise_later(allocation_failed());
  PyRef list = PyRef::steal(
      PyObject_CallOneArg(reinterpret_cast<PyObject*>(&PyList_Type), array.get()));
  if (!list) return raise_later(allocation_failed());
  return list;
}

}  // namespace magnikit

#endif
