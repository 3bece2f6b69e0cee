"""Deep re-entry: a __float__ or __iter__ that calls the module, which converts
an argument (or an item of a list) whose __float__ or __iter__ calls it
again, and so on. At any
recursion limit the chain must end in a clean RecursionError, never in a
crash. Each chain runs in a subprocess
(tests/reentry_chain.py), since a failure is a dead interpreter."""

import os

import pytest

import reentry_chain
from memory.checkers import under_memory_checker

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "reentry_chain.py")


# A level of re-entry stacks a different amount of C stack through each kind
# (through a limb-darkening law's coefficients 1,100 to 1,300 bytes against
# 880 through a list's items): at a high limit the recursion limit alone
# would let a chain run past the end of an 8 MiB stack, as a plain Python
# chain does at 15000 on PyPy and at 100000 on CPython. The module looks at
# the room left on the stack as well, so its chains end in RecursionError at
# every limit, on both interpreters.
@pytest.mark.parametrize("limit", [100, 1000, 5000, 10000, 15000, 100000])
@pytest.mark.parametrize("kind", ["float", "item", "iter", "coefficient", "first item"])
def test_reentry_chain_ends_in_recursion_error(kind, limit):
    if limit > 1000 and under_memory_checker():
        pytest.skip("a sanitizer build's frames carry redzones, several times the release size")
    status, depth, end = reentry_chain.run(SCRIPT, kind, limit)
    assert (status, end) == (0, "RecursionError")
    # The limit, or the stack, not a fixed ceiling, decides the depth.
    assert depth > min(limit // 4, 2000)
