"""The panic exception type as a caller meets it: pyo3_runtime.PanicException,
importable once magnikit is imported. A caller provokes one by raising it
inside an argument's conversion, which the module resumes as its own."""

import magnikit  # noqa: F401 - makes pyo3_runtime importable


def panic_type():
    import pyo3_runtime

    return pyo3_runtime.PanicException


class RaisingPanic:
    """A float whose conversion raises the panic exception."""

    def __float__(self):
        raise panic_type()("raised in Python")
