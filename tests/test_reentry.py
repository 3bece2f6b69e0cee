"""Deep re-entry: a __float__ or __iter__ that calls the module, which converts
an argument whose __float__ or __iter__ calls it again, and so on. At any
recursion limit that a plain Python chain survives the chain must end in a
clean RecursionError, never in a crash. Each run is a subprocess, since a
failure is a dead interpreter."""

import subprocess
import sys
import textwrap

import pytest

from memory.checkers import under_memory_checker

CHAIN = textwrap.dedent(
    """
    import sys
    kind, limit = sys.argv[1], int(sys.argv[2])
    sys.setrecursionlimit(limit)
    import magnikit
    depth = 0

    class ReentrantFloat:
        def __float__(self):
            global depth
            depth += 1
            magnikit.witt_mao_magnification([1.0], ReentrantFloat(), 0.1)
            return 1.0

    class ReentrantSequence:
        def __len__(self):
            return 1
        def __getitem__(self, i):
            raise IndexError
        def __iter__(self):
            global depth
            depth += 1
            magnikit.integrated_heyrovsky_magnification(ReentrantSequence(), 1.0, 0.1)
            return iter([1.0])

    class PlainFloat:
        def __float__(self):
            global depth
            depth += 1
            return float(PlainFloat())

    start = {"float": lambda: magnikit.witt_mao_magnification([1.0], ReentrantFloat(), 0.1),
             "iter": lambda: magnikit.integrated_heyrovsky_magnification(
                 ReentrantSequence(), 1.0, 0.1),
             "plain": lambda: float(PlainFloat())}[kind]
    try:
        start()
    except RecursionError:
        print("RecursionError", depth)
    """
)


def run_chain(kind, limit):
    return subprocess.run([sys.executable, "-c", CHAIN, kind, str(limit)],
                          capture_output=True, text=True, timeout=300)


# PyPy turns the recursion limit into a stack budget, which from about 11000
# exceeds the default 8 MB stack: there no chain survives, a plain one
# included, and the test is skipped.
@pytest.mark.parametrize("limit", [100, 1000, 5000, 10000, 15000])
@pytest.mark.parametrize("kind", ["float", "iter"])
def test_reentry_chain_ends_in_recursion_error(kind, limit):
    if limit > 1000 and under_memory_checker():
        pytest.skip("a sanitizer build's frames carry redzones, several times the release size")
    plain = run_chain("plain", limit)
    if plain.returncode != 0:
        pytest.skip(f"a plain Python chain does not survive the limit {limit} here")
    run = run_chain(kind, limit)
    assert run.returncode == 0, run.stderr[-2000:]
    word, depth = run.stdout.split()
    assert word == "RecursionError"
    # The limit, not a fixed ceiling, decides the depth.
    assert int(depth) > limit // 4
