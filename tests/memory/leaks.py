"""Leak cases: each function on its success path and on each of its error
paths, and gauges of what a process holds (references, Python blocks and
bytes, C heap bytes, resident memory). A case is called many times; any
gauge that grows by more than its noise allowance is a leak."""

import array
import contextlib
import ctypes
import gc
import io
import os
import sys
from dataclasses import dataclass
from typing import Callable

import magnikit

try:
    import tracemalloc
except ImportError:  # PyPy has none
    tracemalloc = None

try:
    import numpy as np
except ImportError:
    np = None

from panics import panic_type

from .checkers import under_memory_checker

PROFILE = {"l": [0.5], "r": 0.3, "re": 1.0, "rstar": 0.1, "bl": [0.0, 0.5, 1.0], "bf": [1.0, 0.8, 0.4],
           "law": "quadratic", "coefficients": [0.4, 0.2]}
PARAMETERS = {
    "witt_mao_magnification": ("l", "re", "rstar"),
    "integrated_witt_mao_magnification": ("l", "re", "rstar"),
    "integrated_flux_map_witt_mao_magnification": ("l", "re", "rstar", "bl", "bf"),
    "heyrovsky_magnification": ("l", "r", "re", "rstar"),
    "integrated_heyrovsky_magnification": ("l", "re", "rstar"),
    "integrated_flux_map_heyrovsky_magnification": ("l", "re", "rstar", "bl", "bf"),
    "discrete_flux_map_heyrovsky_magnification": ("l", "re", "rstar", "bl", "bf"),
    "limb_darkened_magnification": ("l", "re", "rstar", "law", "coefficients"),
}
# The integrated forms integrate over the source for each separation.
EXPENSIVE = {n for n in PARAMETERS if n.startswith("integrated")} | {"limb_darkened_magnification"}
# Forms whose models cannot fail: a failing ring becomes a dropped integrand value.
NEVER_FAIL = {"integrated_heyrovsky_magnification", "integrated_flux_map_heyrovsky_magnification",
              "limb_darkened_magnification"}


class WrappedFailure:
    """A float whose conversion fails with a TypeError that has a cause."""

    def __float__(self):
        raise TypeError("no float") from KeyError("cause")


class OtherFailure:
    """A float whose conversion fails with an error the module passes on
    untouched, left pending in the interpreter."""

    def __float__(self):
        raise ValueError("no float")


class PanicInConversion:
    """A float whose conversion raises the panic exception itself."""

    def __init__(self, panic):
        self.panic = panic

    def __float__(self):
        raise self.panic("raised in __float__")


class ClaimedLength:
    """A sequence of one item that claims the given length."""

    def __init__(self, length):
        self.length = length

    def __len__(self):
        return self.length

    def __getitem__(self, index):
        if index == 0:
            return 0.5
        raise IndexError(index)


@dataclass
class Case:
    function: str
    path: str
    call: Callable[[], None]
    prints: bool = False  # writes to standard error on every call

    @property
    def expensive(self):
        return self.path.startswith("result") and self.function in EXPENSIVE

    def __str__(self):
        return f"{self.function} / {self.path}"


def expecting(kind, function, *args, **kwargs):
    """A call that must raise exactly kind (None: must return)."""

    def call():
        try:
            function(*args, **kwargs)
        except BaseException as error:  # noqa: BLE001
            if type(error) is not kind:
                raise
            return
        if kind is not None:
            raise AssertionError(f"{function.__name__} did not raise {kind.__name__}")

    return call


def cases(memory_error=None):
    """Every leak case; memory_error None: unless under a memory checker."""
    if memory_error is None:
        memory_error = not under_memory_checker()
    with quiet_standard_error():
        panic = panic_type()
    found = []
    for name, params in PARAMETERS.items():
        function = getattr(magnikit, name)
        vectors = name != "heyrovsky_magnification"
        good = [0.5 if p == "l" and not vectors else PROFILE[p] for p in params]

        def with_last(last, good=good):
            return [*good[:-1], [0.5, last] if isinstance(good[-1], list) else last]

        def add(path, call, prints=False, name=name):
            found.append(Case(name, path, call, prints))

        add("result", expecting(None, function, *good))
        if vectors:
            # The fast conversions of the separations.
            add("result from a tuple", expecting(None, function, tuple(good[0]), *good[1:]))
            add("result from an array.array", expecting(None, function, array.array("d", good[0]), *good[1:]))
            if np is not None:
                add("result from a NumPy array", expecting(None, function, np.array(good[0]), *good[1:]))
            if name not in EXPENSIVE:
                # Long enough to be copied, and its result made, through an array on PyPy.
                add("result from a long list", expecting(None, function, good[0] * 16, *good[1:]))
            add("conversion error in a list", expecting(TypeError, function, [0.5, WrappedFailure()], *good[1:]))
        add("missing arguments", expecting(TypeError, function, good[0]))
        add("unknown keyword", expecting(TypeError, function, *good[:-1], **{"\udcff": 1.0}))
        add("conversion error", expecting(TypeError, function, *with_last(WrappedFailure())))
        add("error passed through", expecting(ValueError, function, *with_last(OtherFailure())))
        if name not in NEVER_FAIL:
            negative = -0.5 if not vectors else [0.5, -0.5]
            add("model error", expecting(RuntimeError, function, negative, *good[1:]))
        if "bf" in params:
            add("unequal profile lengths",
                expecting(magnikit.ProfileLengthError, function, *good[:-1], [1.0]))
            add("radius not finite",
                expecting(ValueError, function, *good[:-2], [0.5, float("nan")], good[-1][:2]))
        if "coefficients" in params:
            add_law_cases(add, function, good, memory_error)
        if vectors:
            add("more items than memory holds",
                expecting(MemoryError, function, ClaimedLength(2**62), *good[1:]))
        add("panic raised in conversion", expecting(panic, function, *with_last(PanicInConversion(panic))),
            prints=True)
        if vectors and memory_error:
            add("memory error", expecting(MemoryError, function, ClaimedLength(10**15), *good[1:]))
    return found


def add_law_cases(add, function, good, memory_error):
    """A limb-darkening law's own paths: coefficients read flat and as rows
    through each fast reading, conversion errors inside a row, a law that
    is no str or cannot be encoded, and refusals of the law and of its
    coefficients."""
    head, coefficients = good[:3], good[4]

    def law_call(kind, law, given):
        return expecting(kind, function, *head, law, given)

    add("result in rows", law_call(None, "quadratic", [coefficients, tuple(coefficients)]))
    add("result from an array.array of coefficients", law_call(None, "quadratic", array.array("d", coefficients)))
    if np is not None:
        add("result from NumPy coefficients", law_call(None, "quadratic", np.array(coefficients)))
        add("result in rows of a NumPy array", law_call(None, "quadratic", np.array([coefficients] * 2)))
    add("conversion error in a row", law_call(TypeError, "quadratic", [coefficients, [0.5, WrappedFailure()]]))
    add("error passed through from a row", law_call(ValueError, "quadratic", [coefficients, [0.5, OtherFailure()]]))
    add("law not a str", law_call(TypeError, 2.0, coefficients))
    add("law not encodable", law_call(UnicodeEncodeError, "\ud800", coefficients))
    add("unknown law", law_call(ValueError, "quartic", coefficients))
    add("coefficients refused", law_call(ValueError, "quadratic", coefficients[:1]))
    add("coefficients refused in a row", law_call(ValueError, "quadratic", [coefficients, [0.4, 1.9]]))
    add("first item raising", law_call(TypeError, "quadratic", FirstItemRaising()))
    if memory_error:
        add("memory error in coefficients", law_call(MemoryError, "quadratic", ClaimedLength(10**15)))


class FirstItemRaising:
    """A sequence whose first item cannot be had: a TypeError with a cause."""

    def __getitem__(self, index):
        raise TypeError("no item") from KeyError("cause")


class MallInfo2(ctypes.Structure):
    _fields_ = [(field, ctypes.c_size_t) for field in (
        "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks",
        "uordblks", "fordblks", "keepcost")]


def c_heap_reader():
    """Bytes in use in the C heap (glibc), or None where it cannot be read."""
    try:
        libc = ctypes.CDLL(None)
        mallinfo2 = libc.mallinfo2
    except (OSError, AttributeError, TypeError):  # TypeError: Windows has no CDLL(None)
        return None
    mallinfo2.restype = MallInfo2
    mallinfo2.argtypes = []

    def read():
        info = mallinfo2()
        return info.uordblks + info.hblkhd

    return read


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


# gauge: (unit, allowance floor, allowance per call). A leak of one object,
# one reference or one small vector per call exceeds the allowance.
ALLOWANCES = {
    "refs": ("references", 64, 0.01),
    "blocks": ("blocks", 64, 0.01),
    "traced": ("bytes", 4096, 0.5),
    "c heap": ("bytes", 4096, 1.0),
    "rss": ("bytes", 4 << 20, 8.0),
}


def gauges(resident=False):
    """The readers available in this interpreter: name -> function."""
    readers = {}
    if hasattr(sys, "gettotalrefcount"):
        readers["refs"] = sys.gettotalrefcount
    # Blocks are counted by the interpreter's own allocator only, not when
    # Python objects are allocated with malloc (PYTHONMALLOC=malloc).
    if hasattr(sys, "getallocatedblocks") and sys.getallocatedblocks() > 0:
        readers["blocks"] = sys.getallocatedblocks
    if tracemalloc is not None and tracemalloc.is_tracing():
        readers["traced"] = lambda: tracemalloc.get_traced_memory()[0]
    # PyPy keeps C-level bookkeeping for the objects that cross into C code,
    # which grows and settles over many collections: its C heap says nothing
    # about the module. A memory checker replaces the C heap with its own.
    cpython = sys.implementation.name == "cpython"
    heap = c_heap_reader() if cpython and not under_memory_checker() else None
    if heap is not None:
        readers["c heap"] = heap
    if resident:
        readers["rss"] = resident_bytes
    return readers


@contextlib.contextmanager
def quiet_standard_error():
    """Sends standard error to /dev/null: file descriptor 2 (failure reports,
    banners) and sys.stderr (printed tracebacks), which a test runner may
    otherwise collect in memory."""
    sys.stderr.flush()
    saved = os.dup(2)
    null = os.open(os.devnull, os.O_WRONLY)
    # Written through: a text stream otherwise keeps up to 8 KiB of written
    # text in Python objects before passing it on, which would read as growth.
    saved_stream = sys.stderr
    sys.stderr = io.TextIOWrapper(open(os.devnull, "wb"), write_through=True)
    try:
        os.dup2(null, 2)
        yield
    finally:
        sys.stderr.close()
        sys.stderr = saved_stream
        os.dup2(saved, 2)
        os.close(saved)
        os.close(null)


def measure(case, calls, readers, warm_up=None):
    """Growth of each gauge over calls calls of the case, after a warm-up."""
    warm_up = min(calls, 200) if warm_up is None else warm_up
    quiet = quiet_standard_error() if case.prints else contextlib.nullcontext()
    with quiet:
        for _ in range(warm_up):
            case.call()
        gc.collect()
        before = {gauge: read() for gauge, read in readers.items()}
        for _ in range(calls):
            case.call()
        gc.collect()
        after = {gauge: read() for gauge, read in readers.items()}
    return {gauge: after[gauge] - before[gauge] for gauge in readers}


def excess(growth, calls):
    """The gauges that grew beyond their allowance: gauge -> (growth, allowance)."""
    found = {}
    for gauge, grown in growth.items():
        _, floor, per_call = ALLOWANCES[gauge]
        allowance = floor + per_call * calls
        if grown > allowance:
            found[gauge] = (grown, allowance)
    return found
