#!/usr/bin/env python3
"""Differential comparison of two builds of the module, bit for bit.

Loads both shared objects into one process and calls every function with
the same random and edge-case inputs, comparing the results as bit patterns
(NaN payloads aside) and the exceptions by type and text.  By default only
separations where neither build takes the far-field series are drawn (below
the threshold, or in a ring far outside the source, or negative, infinite
or NaN), so a build that changed nothing there reports no difference.

    python scripts/compare_builds.py OLD.so NEW.so [--cases N] [--seed S]

The integrated Witt-Mao forms differentiate uniform discs of radius x at
l/x >= l, which reach the far field for small x at any l > 0; they are
compared at l = 0 (and the negative, infinite and NaN separations) only, and
their differences elsewhere are counted separately.
"""

import argparse
import importlib.machinery
import importlib.util
import math
import random
import struct
import sys

FAR_FIELD_SEPARATION = 6.0


def load(path):
    loader = importlib.machinery.ExtensionFileLoader("magnikit", path)
    spec = importlib.util.spec_from_file_location("magnikit", path, loader=loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


def bits(x):
    if math.isnan(x):
        return "nan"
    return struct.pack("<d", x)


def outcome(function, *args):
    try:
        value = function(*args)
    except Exception as error:  # noqa: BLE001 -- compared by type and text
        return ("raised", type(error).__name__, str(error))
    if isinstance(value, float):
        return ("value", bits(value))
    return ("value", tuple(bits(v) for v in value))


def source_sizes(rng, count):
    sizes = [10 ** rng.uniform(-5, 2) for _ in range(count)]
    return sizes + [1e-5, 1e-3, 0.1, 1.0, 10.0, 100.0]


def near_separations(rng, count):
    """Separations (source radii) that stay out of the far field."""
    below = math.nextafter(FAR_FIELD_SEPARATION, 0.0)
    edges = [0.0, -0.0, 1.0, 1.0 + 1e-6, 1.0 - 1e-6, 0.5, 2.0, 5.999,
             FAR_FIELD_SEPARATION * (1 - 1e-9), below,
             -1.0, -7.0, -1e8, math.inf, -math.inf, math.nan]
    drawn = [rng.uniform(0, FAR_FIELD_SEPARATION) for _ in range(count)]
    drawn += [10 ** rng.uniform(-6, math.log10(below)) for _ in range(count)]
    return [x for x in edges + drawn if not x >= FAR_FIELD_SEPARATION]


def profiles(rng):
    yield [0.0, 0.5, 1.0], [1.0, 0.8, 0.3]
    yield [], []
    yield [0.3], [2.0]
    yield [0.2, 0.9, 1.5], [1.0, -0.5, 2.0]          # negative flux, beyond 1
    yield [0.8, 0.1, 0.5], [1.0, 2.0, 3.0]            # unsorted
    yield [0.0, 0.5, 0.5, 1.0], [1.0, 1.0, 0.5, 0.2]  # a step
    for _ in range(3):
        n = rng.randint(2, 12)
        bl = sorted(rng.uniform(0, 1.1) for _ in range(n))
        yield bl, [rng.uniform(0, 2) for _ in range(n)]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--cases", type=int, default=60,
                        help="random separations per kind and source size")
    parser.add_argument("--seed", type=int, default=2024)
    args = parser.parse_args(argv)
    old, new = load(args.old), load(args.new)
    rng = random.Random(args.seed)

    calls = differences = changed_integrated = 0

    def compare(name, *call_args, expect_same=True):
        nonlocal calls, differences, changed_integrated
        a = outcome(getattr(old, name), *call_args)
        b = outcome(getattr(new, name), *call_args)
        calls += 1
        if a == b:
            return
        if expect_same:
            differences += 1
            if differences <= 20:
                print("DIFFERENT %s%r" % (name, call_args))
        else:
            changed_integrated += 1

    sizes = source_sizes(rng, 12)
    odd_sizes = [(1.0, 0.0), (1.0, -0.1), (-1.0, 0.1), (1.0, math.inf), (math.inf, 1.0),
                 (1.0, math.nan), (0.0, 1.0)]
    for re, rstar in [(1.0, s) for s in sizes] + [(2.5, 0.25 * s) for s in sizes[:4]] + odd_sizes:
        ls = near_separations(rng, args.cases)
        for l in ls:
            compare("witt_mao_magnification", [l], re, rstar)
        compare("witt_mao_magnification", ls, re, rstar)
        few = ls[:: max(1, len(ls) // 25)]
        compare("integrated_heyrovsky_magnification", few, re, rstar)
        for l in few:
            same = l == 0 or not l > 0
            compare("integrated_witt_mao_magnification", [l], re, rstar, expect_same=same)
        # Rings: anywhere the ring stays out of its far field.
        for _ in range(args.cases):
            r = rng.choice([rng.uniform(0, 1.5), 10 ** rng.uniform(-6, 0), 0.0, 1.0])
            l = rng.choice([rng.uniform(0, FAR_FIELD_SEPARATION), r + rng.uniform(-2e-3, 2e-3),
                            rng.uniform(0, 1) * FAR_FIELD_SEPARATION * max(1.0, r)])
            if l >= FAR_FIELD_SEPARATION * max(1.0, r):
                continue
            compare("heyrovsky_magnification", l, r, re, rstar)
        for l, r in [(-7.0, 0.5), (7.0, -0.5), (math.nan, 0.5), (7.0, math.nan),
                     (math.inf, 0.5), (7.0, math.inf), (13.0, 3.0), (0.0, 0.0)]:
            compare("heyrovsky_magnification", l, r, re, rstar)
        for bl, bf in profiles(rng):
            compare("discrete_flux_map_heyrovsky_magnification", few, re, rstar, bl, bf)
            compare("integrated_flux_map_heyrovsky_magnification", few[:6], re, rstar, bl, bf)
            for l in few[:6]:
                same = l == 0 or not l > 0
                compare("integrated_flux_map_witt_mao_magnification", [l], re, rstar, bl, bf,
                        expect_same=same)

    print("%d calls compared, %d differ outside the far field" % (calls, differences))
    print("(integrated Witt-Mao forms at 0 < l < threshold, expected to change: %d)"
          % changed_integrated)
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
