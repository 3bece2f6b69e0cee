"""A short leak check: every function, on its success path and on each of its
error paths, called a few thousand times, holds no more references, Python
blocks or heap bytes afterwards than before. scripts/check-memory runs the
same cases 100000 times each under a debug interpreter."""

import ctypes
import sys

import pytest

from memory.checkers import under_memory_checker

if sys.implementation.name != "cpython":
    # No reference counts, block counts or traced allocations to read there,
    # and its C heap follows its garbage collector.
    pytest.skip("the leak gauges are CPython's", allow_module_level=True)
if under_memory_checker():
    # The checker's allocator changes what the interpreter keeps (its caches
    # fill differently); valgrind and the long runs look for leaks there.
    pytest.skip("a memory checker replaces the allocator", allow_module_level=True)

from memory import leaks  # noqa: E402
from memory.leaks import tracemalloc  # noqa: E402

SHORT, LONG = 300, 2000


@pytest.fixture(scope="module")
def readers():
    # Python-level allocations are traced only while this module runs.
    tracing = tracemalloc.is_tracing()
    if not tracing:
        tracemalloc.start()
    yield leaks.gauges()
    if not tracing:
        tracemalloc.stop()


@pytest.mark.parametrize("case", leaks.cases(), ids=str)
def test_repeated_calls_hold_nothing_more(case, readers):
    calls = SHORT if case.expensive or case.path == "panic raised in conversion" else LONG
    growth = leaks.measure(case, calls, readers, warm_up=50)
    if leaks.excess(growth, calls):
        # A leak grows again on every run. The interpreter's own caches do
        # not: CPython 3.9, 3.10 and 3.13 fill some while they print the
        # first few hundred panic tracebacks (3.13 prints through Python code).
        growth = leaks.measure(case, calls, readers, warm_up=0)
    assert leaks.excess(growth, calls) == {}, growth


def holding(make):
    """A case that keeps what make() returns, in slots set aside beforehand."""
    kept, index = [None] * SHORT, iter(range(SHORT))
    return kept, leaks.Case("holding", "result", lambda: kept.__setitem__(next(index), make()))


def test_a_leak_of_one_small_object_per_call_would_be_seen(readers):
    _, case = holding(lambda: bytearray(8))
    growth = leaks.measure(case, SHORT, readers, warm_up=0)
    assert set(leaks.excess(growth, SHORT)) >= {"blocks", "traced"} & set(readers)


def test_a_leak_of_eight_heap_bytes_per_call_would_be_seen(readers):
    if "c heap" not in readers:
        pytest.skip("the C heap cannot be read here")
    libc = ctypes.CDLL(None)
    libc.malloc.restype = ctypes.c_void_p
    libc.free.argtypes = [ctypes.c_void_p]
    kept, case = holding(lambda: libc.malloc(8))
    try:
        growth = leaks.measure(case, SHORT, readers, warm_up=0)
    finally:
        for block in kept:
            libc.free(block)
    assert "c heap" in leaks.excess(growth, SHORT)
