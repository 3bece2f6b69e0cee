#include "module/signals.hpp"

#include "module/error_value.hpp"

namespace magnikit {

#ifdef PYPY_VERSION

namespace {

// PyPy runs the handlers of pending signals only where Python code passes
// the head of a loop, a check its compiler keeps in compiled code; its
// PyErr_CheckSignals runs none, and a call of a function without a loop
// stops running them once the function is compiled. A call of a function
// whose body is one turn of an empty loop is where they run. Created once
// and kept for the process.
PyObject* signal_point = nullptr;

}  // namespace

void prepare_signal_checks() {
  if (signal_point != nullptr) return;
  PyRef globals = PyRef::steal(PyDict_New());
  if (!globals) python_api_call_failed();
  if (PyDict_SetItemString(globals.get(), "__builtins__", PyEval_GetBuiltins()) != 0) {
    python_api_call_failed();
  }
  constexpr const char* source = "def signal_point():\n    for _ in (None,):\n        pass\n";
  PyRef defined =
      PyRef::steal(PyRun_String(source, Py_file_input, globals.get(), globals.get()));
  if (!defined) python_api_call_failed();
  PyObject* function = PyDict_GetItemString(globals.get(), "signal_point");  // borrowed
  if (function == nullptr) python_api_call_failed();
  Py_INCREF(function);
  signal_point = function;
}

bool signal_handler_raised() {
  PyRef result = PyRef::steal(PyObject_CallNoArgs(signal_point));
  return !result;
}

#else

void prepare_signal_checks() {}

bool signal_handler_raised() { return PyErr_CheckSignals() != 0; }

#endif

}  // namespace magnikit
