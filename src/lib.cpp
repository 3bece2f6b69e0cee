// The module root: the module definition, its initialisation, and the
// function table in the order the functions appear in __all__.
#include <array>
#include <deque>
#include <string>

#include "models/flux_map.hpp"
#include "models/integrated.hpp"
#include "models/ring.hpp"
#include "models/uniform_source.hpp"
#include "module/attribute_names.hpp"
#include "module/guard.hpp"
#include "module/python_function.hpp"

namespace magnikit {
namespace {

constexpr std::array function_table{
    python_function<witt_mao_magnification_entry>(),
    python_function<integrated_witt_mao_magnification_entry>(),
    python_function<integrated_flux_map_witt_mao_magnification_entry>(),
    python_function<heyrovsky_magnification_entry>(),
    python_function<integrated_heyrovsky_magnification_entry>(),
    python_function<integrated_flux_map_heyrovsky_magnification_entry>(),
    python_function<discrete_flux_map_heyrovsky_magnification_entry>(),
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "magnikit",
    "Magnification of finite sources by a single point-mass gravitational lens.",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyObject* module_cache = nullptr;

// The text signature that inspect.signature reads: "name(a, b)\n--\n\n".
std::string text_signature(const PythonFunction& function) {
  std::string text(function.name);
  text += '(';
  for (std::size_t i = 0; i < function.parameters.size(); ++i) {
    if (i > 0) text += ", ";
    text += function.parameters[i];
  }
  text += ")\n--\n\n";
  return text;
}

// Method records and their texts live until the process ends.
struct MethodRecord {
  std::string name;
  std::string doc;
  PyMethodDef definition;
};

MethodRecord& new_method_record(const PythonFunction& function) {
  static auto* records = new std::deque<MethodRecord>();
  MethodRecord& record = records->emplace_back();
  record.name = std::string(function.name);
  record.doc = text_signature(function);
  record.definition = PyMethodDef{
      record.name.c_str(),
      reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function.call)),
      METH_FASTCALL | METH_KEYWORDS,
      record.doc.c_str(),
  };
  return record;
}

PyResult<PyRef> module_name(PyObject* module) {
  PyObject* dictionary = PyModule_GetDict(module);  // borrowed
  if (dictionary == nullptr) python_api_call_failed();
  PyRef key = new_str("__name__");
  PyRef name = PyRef::steal(PyObject_GetItem(dictionary, key.get()));
  if (!name) {
    PyErr_Clear();
    return raise_later(ErrorValue::attribute_error("__name__"));
  }
  if (!PyUnicode_Check(name.get())) {
    return raise_later(ErrorValue::type_mismatch(name.get(), "PyString"));
  }
  return name;
}

PyResult<PyRef> all_list(PyObject* module) {
  PyRef all = PyRef::steal(PyObject_GetAttr(module, all_attribute()));
  if (!all) {
    ErrorValue error = fetch_pending_error();
    if (PyErr_GivenExceptionMatches(error.normalize().type.get(), PyExc_AttributeError) == 0) {
      return raise_later(std::move(error));
    }
    all = PyRef::steal(PyList_New(0));
    if (!all) python_api_call_failed();
    if (PyObject_SetAttr(module, all_attribute(), all.get()) != 0) {
      return raise_later(fetch_pending_error());
    }
    return all;
  }
  if (!PyList_Check(all.get())) return raise_later(ErrorValue::type_mismatch(all.get(), "PyList"));
  return all;
}

PyResult<void> register_function(PyObject* module, const PythonFunction& function) {
  auto name = module_name(module);
  if (!name) return raise_later(std::move(name.error()));
  MethodRecord& record = new_method_record(function);
  PyRef callable = PyRef::steal(PyCMethod_New(&record.definition, module, name->get(), nullptr));
  name->reset();
  if (!callable) return raise_later(fetch_pending_error());

  PyRef function_name = PyRef::steal(PyObject_GetAttr(callable.get(), name_attribute()));
  if (!function_name) return raise_later(fetch_pending_error());
  if (!PyUnicode_Check(function_name.get())) {
    return raise_later(ErrorValue::type_mismatch(function_name.get(), "PyString"));
  }
  auto all = all_list(module);
  if (!all) return raise_later(std::move(all.error()));
  if (PyList_Append(all->get(), function_name.get()) != 0) {
    internal_failure("could not append __name__ to __all__");
  }
  if (PyObject_SetAttr(module, function_name.get(), callable.get()) != 0) {
    return raise_later(fetch_pending_error());
  }
  return {};
}

PyResult<PyRef> initialise_module() {
  if (module_cache != nullptr) return PyRef::borrow(module_cache);
  PyRef module = PyRef::steal(PyModule_Create2(&module_definition, PYTHON_API_VERSION));
  if (!module) return raise_later(fetch_pending_error());
  for (const PythonFunction& function : function_table) {
    if (auto registered = register_function(module.get(), function); !registered) {
      return raise_later(std::move(registered.error()));
    }
  }
  if (module_cache == nullptr) module_cache = module.release();
  return PyRef::borrow(module_cache);
}

}  // namespace
}  // namespace magnikit

PyMODINIT_FUNC PyInit_magnikit() { return magnikit::guarded(magnikit::initialise_module); }
