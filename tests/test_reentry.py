"""Deep re-entry: a __float__ or __iter__ that calls the module, which converts
an argument (or an item of a list) whose __float__ or __iter__ calls it
again, and so on. At any
recursion limit that a plain Python chain survives the chain must end in a
clean RecursionError, never in a crash. Each chain runs in a subprocess
(tests/reentry_chain.py), since a failure is a dead interpreter."""

import os

import pytest

import reentry_chain
from memory.checkers import under_memory_checker

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "reentry_chain.py")


# PyPy turns the recursion limit into a stack budget, which from about 11000
# exceeds the default 8 MB stack: there no chain survives, a plain one
# included, and the test is skipped.
@pytest.mark.parametrize("limit", [100, 1000, 5000, 10000, 15000])
@pytest.mark.parametrize("kind", ["float", "item", "iter"])
def test_reentry_chain_ends_in_recursion_error(kind, limit):
    if limit > 1000 and under_memory_checker():
        pytest.skip("a sanitizer build's frames carry redzones, several times the release size")
    status, _, _ = reentry_chain.run(SCRIPT, "plain", limit)
    if status != 0:
        pytest.skip(f"a plain Python chain does not survive the limit {limit} here")
    status, depth, end = reentry_chain.run(SCRIPT, kind, limit)
    assert (status, end) == (0, "RecursionError")
    # The limit, not a fixed ceiling, decides the depth.
    assert depth > limit // 4
