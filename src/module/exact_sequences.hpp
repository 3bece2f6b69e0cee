// Exact lists and tuples, read by index from their own storage rather than
// through an iterator: an exact float item is read where it lies, any other
// item takes the general conversion at its turn.
#pragma once

#include <optional>

#include "core/computation.hpp"
#include "module/error_value.hpp"

namespace magnikit {

// The items of an exact list or tuple as doubles, or the error converting
// one of them raised; nothing when iteration is to read it instead (on PyPy,
// a short list or one of Python objects, see pypy_lists.hpp).
std::optional<PyResult<FloatVector>> read_exact_sequence(PyObject* sequence);

}  // namespace magnikit
