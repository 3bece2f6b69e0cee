"""How deep a chain of re-entries goes before it ends, and how it ends.

    python benchmarks/reentry_depth.py [LIMIT ...]

For each recursion limit (default 1000 5000 10000 15000) runs, in a
subprocess of this interpreter, a chain of __float__ methods that call
magnikit (float), a chain of __iter__ methods that do (iter), and a plain
Python chain of float() calls for comparison (plain), and prints the depth
each reached and whether it ended in RecursionError or killed the process.
"""

import subprocess
import sys
import textwrap

CHAIN = textwrap.dedent(
    """
    import os, sys
    kind, limit = sys.argv[1], int(sys.argv[2])
    sys.setrecursionlimit(limit)
    import magnikit
    depth = 0

    def reached():
        global depth
        depth += 1
        os.write(1, b"%d\\n" % depth)

    class ReentrantFloat:
        def __float__(self):
            reached()
            magnikit.witt_mao_magnification([1.0], ReentrantFloat(), 0.1)
            return 1.0

    class ReentrantSequence:
        def __len__(self):
            return 1
        def __getitem__(self, i):
            raise IndexError
        def __iter__(self):
            reached()
            magnikit.witt_mao_magnification(ReentrantSequence(), 1.0, 0.1)
            return iter([1.0])

    class PlainFloat:
        def __float__(self):
            reached()
            return float(PlainFloat())

    try:
        {"float": lambda: magnikit.witt_mao_magnification([1.0], ReentrantFloat(), 0.1),
         "iter": lambda: magnikit.witt_mao_magnification(ReentrantSequence(), 1.0, 0.1),
         "plain": lambda: float(PlainFloat())}[kind]()
    except BaseException as error:
        print(type(error).__name__)
    """
)


def main():
    limits = [int(x) for x in sys.argv[1:]] or [1000, 5000, 10000, 15000]
    print(f"{sys.implementation.name} {sys.version.split()[0]}")
    print(f"{'limit':>7} {'chain':>6} {'depth':>7}  end")
    for limit in limits:
        for kind in ("float", "iter", "plain"):
            run = subprocess.run([sys.executable, "-c", CHAIN, kind, str(limit)],
                                 capture_output=True, text=True, timeout=600)
            lines = run.stdout.split()
            depths = [int(x) for x in lines if x.isdigit()]
            end = lines[-1] if run.returncode == 0 else f"crash (exit {run.returncode})"
            print(f"{limit:>7} {kind:>6} {depths[-1] if depths else 0:>7}  {end}")


if __name__ == "__main__":
    main()
