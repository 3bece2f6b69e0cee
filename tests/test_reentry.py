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


# Through a limb-darkening law's coefficients a level of re-entry stacks
# 1,120 to 1,280 bytes of C stack here (the entry of five arguments, and the
# reading of rows) against 880 through a list's items: an 8 MiB stack holds
# 6,500 to 7,480 levels, short of the 7,500 that the limit 15000 allows, and
# the process dies there. Expected to fail until those frames shrink.
THROUGH_COEFFICIENTS = {"coefficient", "first item"}


# PyPy turns the recursion limit into a stack budget, which from about 11000
# exceeds the default 8 MB stack: there no chain survives, a plain one
# included, and the test is skipped.
@pytest.mark.parametrize("limit", [100, 1000, 5000, 10000, 15000])
@pytest.mark.parametrize("kind", ["float", "item", "iter", "coefficient", "first item"])
def test_reentry_chain_ends_in_recursion_error(kind, limit, request):
    if limit > 1000 and under_memory_checker():
        pytest.skip("a sanitizer build's frames carry redzones, several times the release size")
    if kind in THROUGH_COEFFICIENTS and limit > 10000:
        request.applymarker(pytest.mark.xfail(reason="the C stack runs out first (see above)"))
    status, _, _ = reentry_chain.run(SCRIPT, "plain", limit)
    if status != 0:
        pytest.skip(f"a plain Python chain does not survive the limit {limit} here")
    status, depth, end = reentry_chain.run(SCRIPT, kind, limit)
    assert (status, end) == (0, "RecursionError")
    # The limit, not a fixed ceiling, decides the depth.
    assert depth > limit // 4
