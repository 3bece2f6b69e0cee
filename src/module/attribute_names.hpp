// The attribute names the module looks up again and again, created once per
// process as interned strings and kept.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace magnikit {

PyObject* name_attribute();      // "__name__"
PyObject* all_attribute();       // "__all__"
PyObject* qualname_attribute();  // "__qualname__"

}  // namespace magnikit
