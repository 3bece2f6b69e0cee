"""A chain of re-entries, run as a script in a process of its own, since a
chain that goes too deep kills the process:

    python tests/reentry_chain.py KIND LIMIT

With the recursion limit LIMIT: KIND float is a __float__ that calls
magnikit, which converts an argument whose __float__ calls it again, and so
on; item is the same through the items of a list; iter through __iter__;
coefficient through the items of a row of a limb-darkening law's
coefficients; first item through the __getitem__ that gives the first item
of coefficients, which tells rows from floats; plain is a plain Python chain
of float() calls, for comparison. Prints each depth as it is reached, then the
name of the exception that ended the chain."""

import os
import sys

import magnikit

depth = 0


def reached():
    global depth
    depth += 1
    os.write(1, b"%d\n" % depth)


class ReentrantFloat:
    def __float__(self):
        reached()
        magnikit.witt_mao_magnification([1.0], ReentrantFloat(), 0.1)
        return 1.0


class ReentrantItem:
    """An item of a list, whose conversion calls magnikit on a list of one
    such item."""

    def __float__(self):
        reached()
        magnikit.witt_mao_magnification([ReentrantItem()], 1.0, 0.1)
        return 1.0


class ReentrantSequence:
    def __len__(self):
        return 1

    def __getitem__(self, index):
        raise IndexError(index)

    def __iter__(self):
        reached()
        magnikit.integrated_heyrovsky_magnification(ReentrantSequence(), 1.0, 0.1)
        return iter([1.0])


class ReentrantCoefficient:
    """A coefficient in a row, whose conversion calls magnikit on rows of one
    such coefficient."""

    def __float__(self):
        reached()
        magnikit.limb_darkened_magnification([1.0], 1.0, 0.1, "linear", [[ReentrantCoefficient()]])
        return 0.5


class ReentrantFirstItem:
    """Coefficients whose first item calls magnikit on such coefficients."""

    def __getitem__(self, index):
        if index > 0:
            raise IndexError(index)
        reached()
        magnikit.limb_darkened_magnification([1.0], 1.0, 0.1, "linear", ReentrantFirstItem())
        return [0.5]


class PlainFloat:
    def __float__(self):
        reached()
        return float(PlainFloat())


CHAINS = {
    "float": lambda: magnikit.witt_mao_magnification([1.0], ReentrantFloat(), 0.1),
    "item": lambda: magnikit.witt_mao_magnification([ReentrantItem()], 1.0, 0.1),
    "iter": lambda: magnikit.integrated_heyrovsky_magnification(ReentrantSequence(), 1.0, 0.1),
    "coefficient": lambda: magnikit.limb_darkened_magnification([1.0], 1.0, 0.1, "linear",
                                                                [[ReentrantCoefficient()]]),
    "first item": lambda: magnikit.limb_darkened_magnification([1.0], 1.0, 0.1, "linear", ReentrantFirstItem()),
    "plain": lambda: float(PlainFloat()),
}


def run(path, kind, limit, timeout=600):
    """Runs the chain in a subprocess of this interpreter: (exit status,
    depth reached, name of the exception that ended it or '')."""
    import subprocess

    done = subprocess.run([sys.executable, path, kind, str(limit)],
                          capture_output=True, text=True, timeout=timeout)
    lines = done.stdout.split()
    depths = [int(line) for line in lines if line.isdigit()]
    end = lines[-1] if lines and not lines[-1].isdigit() else ""
    return done.returncode, depths[-1] if depths else 0, end


if __name__ == "__main__":
    sys.setrecursionlimit(int(sys.argv[2]))
    try:
        CHAINS[sys.argv[1]]()
    except BaseException as error:  # noqa: BLE001 - the name is the result
        print(type(error).__name__)
