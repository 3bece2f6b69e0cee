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
  return magnikit::guarded([]() -> internals::PyResult<internals::PyRef> {
    internals::PyRef module = internals::PyRef::steal(PyModule_Create(&internals_module));
    if (!module) return internals::raise_later(magnikit::fetch_pending_error());
    for (PyMethodDef* table : internals::method_tables()) {
      if (PyModule_AddFunctions(module.get(), table) < 0) {
        return internals::raise_later(magnikit::fetch_pending_error());
      }
    }
    return module;
  });
}
