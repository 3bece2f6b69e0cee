// The module root: the module definition, its initialisation, and the
// function table in the order the functions appear in __all__.
#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>

#include "core/internal_failure.hpp"
#include "models/flux_map.hpp"
#include "models/integrated.hpp"
#include "models/limb_darkening.hpp"
#include "models/ring.hpp"
#include "models/uniform_source.hpp"
#include "module/attribute_names.hpp"
#include "module/conversions.hpp"
#include "module/docstrings.hpp"
#include "module/guard.hpp"
#include "module/panic.hpp"
#include "module/python_function.hpp"
#include "module/settings.hpp"
#include "module/signals.hpp"

namespace magnikit {
namespace {

// The function's docstring as the interpreter takes it: the text signature
// that inspect.signature reads, "name(a, b)\n--\n\n", spelled out at compile
// time from the entry's names, then the stub's docstring, which is what
// __doc__, help() and pydoc show.
template <const auto& Entry>
constexpr auto method_doc = [] {
  static_assert(!docstrings::docstring_of(Entry.name).empty(),
                "every function has a docstring in src/magnikit.pyi");
  constexpr std::size_t length = [] {
    // "(" and ")\n--\n\n" around the parameters, then the docstring.
    std::size_t size = Entry.name.size() + 1 + 6 + docstrings::docstring_of(Entry.name).size();
    for (std::size_t i = 0; i < Entry.parameters.size(); ++i) {
      size += Entry.parameters[i].size() + (i > 0 ? 2 : 0);
    }
    return size;
  }();
  std::array<char, length + 1> doc{};
  std::size_t end = 0;
  const auto append = [&](std::string_view part) {
    for (const char c : part) doc[end++] = c;
  };
  append(Entry.name);
  append("(");
  for (std::size_t i = 0; i < Entry.parameters.size(); ++i) {
    if (i > 0) append(", ");
    append(Entry.parameters[i]);
  }
  append(")\n--\n\n");
  append(docstrings::docstring_of(Entry.name));
  return doc;
}();

// The interpreter calls every function with the vectorcall convention
// (METH_FASTCALL | METH_KEYWORDS); the record's field has the type of the
// plain convention, so the pointer is stored through the generic function
// pointer type, as the C API documents.
template <const auto& Entry>
PyMethodDef method_record() {
  static_assert(Entry.name.data()[Entry.name.size()] == '\0');
  return {Entry.name.data(),
          reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&binding::call<Entry>)),
          METH_FASTCALL | METH_KEYWORDS, method_doc<Entry>.data()};
}

// Registered in this order, which is also the order of __all__. The records
// live as long as the process, as the function objects require.
std::array function_table{
    method_record<witt_mao_magnification_entry>(),
    method_record<integrated_witt_mao_magnification_entry>(),
    method_record<integrated_flux_map_witt_mao_magnification_entry>(),
    method_record<heyrovsky_magnification_entry>(),
    method_record<integrated_heyrovsky_magnification_entry>(),
    method_record<integrated_flux_map_heyrovsky_magnification_entry>(),
    method_record<discrete_flux_map_heyrovsky_magnification_entry>(),
    method_record<limb_darkened_magnification_entry>(),
};
static_assert(docstrings::function_texts.size() == std::tuple_size_v<decltype(function_table)>,
              "the stub documents exactly the functions the module registers");

// The module's docstring is a string literal, so it ends in a NUL.
static_assert(docstrings::module_text.data()[docstrings::module_text.size()] == '\0');

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "magnikit",
    docstrings::module_text.data(),
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyObject* module_cache = nullptr;

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

// Sets the module attribute of that name and lists it in __all__.
PyResult<void> export_attribute(PyObject* module, PyObject* name, PyObject* value) {
  auto all = all_list(module);
  if (!all) return raise_later(std::move(all.error()));
  if (PyList_Append(all->get(), name) != 0) {
    internal_failure("could not append __name__ to __all__");
  }
  if (PyObject_SetAttr(module, name, value) != 0) return raise_later(fetch_pending_error());
  return {};
}

PyResult<void> register_function(PyObject* module, PyMethodDef& record) {
  auto name = module_name(module);
  if (!name) return raise_later(std::move(name.error()));
  PyRef callable = PyRef::steal(PyCMethod_New(&record, module, name->get(), nullptr));
  name->reset();
  if (!callable) return raise_later(fetch_pending_error());

  PyRef function_name = PyRef::steal(PyObject_GetAttr(callable.get(), name_attribute()));
  if (!function_name) return raise_later(fetch_pending_error());
  if (!PyUnicode_Check(function_name.get())) {
    return raise_later(ErrorValue::type_mismatch(function_name.get(), "PyString"));
  }
  return export_attribute(module, function_name.get(), callable.get());
}

// The module's own exception, after the functions.
PyResult<void> register_exception(PyObject* module) {
  PyRef name = new_str("ProfileLengthError");
  return export_attribute(module, name.get(), profile_length_error_type());
}

// The package version, set at build time from the package metadata; an
// attribute of the module, not one of its functions, so not in __all__.
PyResult<void> set_version(PyObject* module) {
  if (PyModule_AddStringConstant(module, "__version__", MAGNIKIT_VERSION) != 0) {
    return raise_later(fetch_pending_error());
  }
  return {};
}

PyResult<PyRef> initialise_module() {
  if (module_cache != nullptr) return PyRef::borrow(module_cache);
  // Created now rather than at the first panic: a process that receives a
  // pickled panic from a worker must be able to import its type, and
  // nothing is created while an exception is pending.
  panic_exception_type();
  prepare_signal_checks();
  prepare_conversions();
  if (auto warned = warn_of_unknown_settings(); !warned) {
    return raise_later(std::move(warned.error()));
  }
  PyRef module = PyRef::steal(PyModule_Create2(&module_definition, PYTHON_API_VERSION));
  if (!module) return raise_later(fetch_pending_error());
  for (PyMethodDef& record : function_table) {
    if (auto registered = register_function(module.get(), record); !registered) {
      return raise_later(std::move(registered.error()));
    }
  }
  if (auto registered = register_exception(module.get()); !registered) {
    return raise_later(std::move(registered.error()));
  }
  if (auto versioned = set_version(module.get()); !versioned) {
    return raise_later(std::move(versioned.error()));
  }
  if (module_cache == nullptr) module_cache = module.release();
  return PyRef::borrow(module_cache);
}

}  // namespace
}  // namespace magnikit

PyMODINIT_FUNC PyInit_magnikit() { return magnikit::guarded(magnikit::initialise_module); }
