"""How deep a chain of re-entries goes before it ends, and how it ends.

    python benchmarks/reentry_depth.py [LIMIT ...]

For each recursion limit (default 1000 5000 10000 15000) runs, each in a
subprocess of this interpreter, the chains of tests/reentry_chain.py: a
chain of __float__ methods that call magnikit (float), the same through the
items of lists (item), one of __iter__ methods (iter), the same through the
coefficients of a limb-darkening law (coefficient) and through the first
item of coefficients (first item), and a plain Python chain of float()
calls for comparison (plain); prints the depth each reached and whether it
ended in RecursionError or killed the process.
"""

import pathlib
import sys

TESTS = pathlib.Path(__file__).resolve().parent.parent / "tests"
sys.path.insert(0, str(TESTS))

import reentry_chain  # noqa: E402


def main():
    limits = [int(x) for x in sys.argv[1:]] or [1000, 5000, 10000, 15000]
    print(f"{sys.implementation.name} {sys.version.split()[0]}")
    print(f"{'limit':>7} {'chain':>11} {'depth':>7}  end")
    for limit in limits:
        for kind in ("float", "item", "iter", "coefficient", "first item", "plain"):
            status, depth, end = reentry_chain.run(str(TESTS / "reentry_chain.py"), kind, limit)
            print(f"{limit:>7} {kind:>11} {depth:>7}  {end if status == 0 else f'crash (exit {status})'}")


if __name__ == "__main__":
    main()
