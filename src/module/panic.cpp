#include "module/panic.hpp"

#include <cstdio>
#include <string_view>

#include "core/internal_failure.hpp"
#include "module/docstrings.hpp"
#include "module/messages.hpp"

namespace magnikit {
namespace {

// The type's qualified name, its doc text and the resume banner below are
// what callers see and match on (`except pyo3_runtime.PanicException`, log
// filters): they stay exactly as they are, whatever they seem to refer to.
constexpr const char* panic_type_name = "pyo3_runtime.PanicException";
constexpr const char* panic_type_doc =
    "\nThe exception raised when magnikit's native code, called from Python, panics "
    "(ends in an internal failure).\n\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n";
constexpr const char* resume_banner =
    "--- PyO3 is resuming a panic after fetching a PanicException from Python. ---\n"
    "Python stack trace below:\n";

constexpr const char* profile_length_error_name = "magnikit.ProfileLengthError";
// The stub's docstring, a string literal and so NUL-terminated.
constexpr std::string_view profile_length_error_doc =
    docstrings::docstring_of("ProfileLengthError");
static_assert(!profile_length_error_doc.empty(),
              "ProfileLengthError has a docstring in src/magnikit.pyi");

PyObject* panic_type_cell = nullptr;
PyObject* profile_length_error_cell = nullptr;

// Makes the type importable where its name says it lives: a module
// pyo3_runtime in sys.modules holding it as PanicException. Pickle finds a
// class by its module and name, so only then does a panic in a worker
// process (multiprocessing, concurrent.futures) reach the parent as itself,
// with its text, instead of as a PicklingError. A pyo3_runtime that is
// already there is left alone.
void make_importable(PyObject* type) {
  PyObject* modules = PyImport_GetModuleDict();  // borrowed
  PyRef name = new_str("pyo3_runtime");
  const int present = PyDict_Contains(modules, name.get());
  if (present < 0) python_api_call_failed();
  if (present == 1) return;
  PyRef module = PyRef::steal(PyModule_NewObject(name.get()));
  if (!module) python_api_call_failed();
  PyRef attribute = new_str("PanicException");
  if (PyObject_SetAttr(module.get(), attribute.get(), type) != 0) python_api_call_failed();
  if (PyDict_SetItem(modules, name.get(), module.get()) != 0) python_api_call_failed();
}

}  // namespace

PyObject* panic_exception_type() {
  if (panic_type_cell != nullptr) return panic_type_cell;
  PyRef base = PyRef::borrow(PyExc_BaseException);
  PyObject* type = PyErr_NewExceptionWithDoc(panic_type_name, panic_type_doc, base.get(), nullptr);
  if (type == nullptr) {
    std::string detail = "Failed to initialize new exception type.";
    if (auto error = take_pending_error()) {
      detail += ' ';
      detail += display(error->normalize().value.get());
    }
    internal_failure(std::move(detail));
  }
  if (panic_type_cell == nullptr) {
    panic_type_cell = type;
    make_importable(type);
  } else {
    Py_DECREF(type);
  }
  return panic_type_cell;
}

PyObject* profile_length_error_type() {
  if (profile_length_error_cell != nullptr) return profile_length_error_cell;
  // Both bases lay their instances out as BaseException does, so the type
  // can derive from both.
  PyRef bases = PyRef::steal(PyTuple_Pack(2, PyExc_ValueError, panic_exception_type()));
  if (!bases) python_api_call_failed();
  PyObject* type = PyErr_NewExceptionWithDoc(profile_length_error_name,
                                             profile_length_error_doc.data(),
                                             bases.get(), nullptr);
  if (type == nullptr) python_api_call_failed();
  if (profile_length_error_cell == nullptr) {
    profile_length_error_cell = type;
  } else {
    Py_DECREF(type);
  }
  return profile_length_error_cell;
}

bool may_be_panic(PyObject* exception_type) {
  return panic_type_cell != nullptr &&
         PyErr_GivenExceptionMatches(exception_type, panic_type_cell) != 0;
}

void resume_panic(ErrorValue::Normalized fetched) {
  std::string message = "Unwrapped panic from Python code";
  if (PyRef text = PyRef::steal(PyObject_Str(fetched.value.get()))) {
    message = lossy_utf8(text.get());
  } else {
    PyErr_Clear();
  }
  std::fputs(resume_banner, stderr);
  std::fflush(stderr);
  PyErr_Restore(fetched.type.release(), fetched.value.release(), fetched.traceback.release());
  PyErr_PrintEx(0);
  throw InternalFailure(std::move(message));
}

}  // namespace magnikit
