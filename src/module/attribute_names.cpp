#include "module/attribute_names.hpp"

#include <string_view>

#include "module/error_value.hpp"
#include "core/internal_failure.hpp"

namespace magnikit {
namespace {

// Fills a once-cell with an interned string. The interpreter lock is held
// throughout; should another thread have filled the cell meanwhile, its
// object wins and ours is released.
PyObject* interned(PyObject*& cell, std::string_view text) {
  if (cell != nullptr) return cell;
  PyObject* name = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  if (name == nullptr) python_api_call_failed();
  PyUnicode_InternInPlace(&name);
  if (cell == nullptr) {
    cell = name;
  } else {
    Py_DECREF(name);
  }
  return cell;
}

PyObject* name_cell = nullptr;
PyObject* all_cell = nullptr;
PyObject* qualname_cell = nullptr;

}  // namespace

PyObject* name_attribute() { return interned(name_cell, "__name__"); }
PyObject* all_attribute() { return interned(all_cell, "__all__"); }
PyObject* qualname_attribute() { return interned(qualname_cell, "__qualname__"); }

}  // namespace magnikit
