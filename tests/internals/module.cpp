#include "internals.hpp"

namespace internals {

std::vector<PyMethodDef*>& method_tables() {
  static std::vector<PyMethodDef*> tables;
  return tables;
}

}  // namespace internals

namespace {

PyModuleDef internals_module = {
    PyModuleDef_HEAD_INIT, "_magnikit_internals",
    "Test-only access to the numeric core of magnikit.", -1, nullptr,
    nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__magnikit_internals() {
  PyObject* module = PyModule_Create(&internals_module);
  if (module == nullptr) return nullptr;
  for (PyMethodDef* table : internals::method_tables()) {
    if (PyModule_AddFunctions(module, table) < 0) {
      Py_DECREF(module);
      return nullptr;
    }
  }
  return module;
}
