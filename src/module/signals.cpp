#include "module/signals.hpp"

#include "module/error_value.hpp"

namespace magnikit {

#ifdef PYPY_VERSION

namespace {

// PyPy runs the handlers of pending signals only while Python code runs;
// its PyErr_CheckSignals runs none. A call of a Python function that does
// nothing is where they run. Created once and kept for the process.
PyObject* no_op_function = nullptr;

}  // namespace

void prepare_signal_checks() {
  if (no_op_function != nullptr) return;
  PyRef globals = PyRef::steal(PyDict_New());
  if (!globals) python_api_call_failed();
  if (PyDict_SetItemString(globals.get(), "__builtins__", PyEval_GetBuiltins()) != 0) {
    python_api_call_failed();
  }
  PyObject* function = PyRun_String("lambda: None", Py_eval_input, globals.get(), globals.get());
  if (function == nullptr) python_api_call_failed();
  no_op_function = function;
}

bool signal_handler_raised() {
  PyRef result = PyRef::steal(PyObject_CallNoArgs(no_op_function));
  return !result;
}

#else

void prepare_signal_checks() {}

bool signal_handler_raised() { return PyErr_CheckSignals() != 0; }

#endif

}  // namespace magnikit
