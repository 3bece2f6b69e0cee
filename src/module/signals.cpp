#include "module/signals.hpp"

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace magnikit {

bool signal_handler_raised() { return PyErr_CheckSignals() != 0; }

}  // namespace magnikit
