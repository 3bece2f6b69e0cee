// The panic exception: how internal failures appear in Python. It derives
// from BaseException, like SystemExit, so that ordinary `except Exception`
// handlers let it through.
#pragma once

#include "module/error_value.hpp"

namespace magnikit {

// The exception type, created on first use (the module creates it when it
// is imported) and kept for the process. It is importable as
// pyo3_runtime.PanicException, so that it pickles by reference.
PyObject* panic_exception_type();

// The exception for a sampled profile whose radii and brightnesses differ
// in length: magnikit.ProfileLengthError, a ValueError, so that `except
// Exception` (and a worker process's job loop) catches it, and a subclass
// of the panic exception as well, which callers caught for it before.
// Created with the panic type, kept for the process.
PyObject* profile_length_error_type();

// Whether an exception of the given type may be a panic exception: the panic
// type exists (nothing can be an instance of it before) and the type is it
// or a subclass. Never creates the type, so it is safe while an exception is
// pending.
bool may_be_panic(PyObject* exception_type);

// A panic exception that Python code raised inside a call (for example from
// a __float__ method) comes back to the module: print it, and carry on as an
// internal failure with the same text.
[[noreturn]] void resume_panic(ErrorValue::Normalized fetched);

}  // namespace magnikit
