#!/usr/bin/env python3
"""Records the exact results of the elliptic integrals as built now.

Writes tests/data/elliptic_bits.txt: for each integral, a few hundred
arguments spread over its branches (exact binary fractions from 2^-20 to
2^21, with negative values and parameters near 1 where the function takes
them) and the result as a hex float, or the error text. The test that reads
it fails on any change of operation order, constant or rounding (a fused
multiply-add, fast-math, another maths library), naming the row.

Run it only after a deliberate change of the integrals, with the test-only
module on the path, and review the difference:

    PYTHONPATH=build/internals/internals python3 scripts/record_elliptic_bits.py
"""

import math
import os

import _magnikit_internals as elliptic

PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir,
                    "tests", "data", "elliptic_bits.txt")
SAMPLES = 300
GOLDEN = (1 + 5 ** 0.5) / 2
FUNCTIONS = ["elliprc", "elliprf", "elliprd", "elliprj", "ellipk", "ellipe", "ellippi",
             "ellipk_complementary", "ellipe_complementary", "ellippi_complementary"]


def arguments(name, i):
    def spread(k):  # exact arguments from 2^-20 to 2^21, no maths library
        u = (i * GOLDEN + k * 2 ** 0.5) % 1.0
        return math.ldexp(1 + (7 * u) % 1.0, int(40 * u) - 20)
    a = [spread(k) for k in range(4)]
    negative = i % 4 == 3
    m = 1 - math.ldexp(a[0], -21) if i % 3 else -a[0]
    n = 1 - math.ldexp(a[1], -21) if i % 2 else -a[1]
    mc = math.ldexp(a[0], -21) if i % 3 else a[0]  # the complements themselves
    nc = math.ldexp(a[1], -21) if i % 2 else a[1]
    return {"elliprc": (a[0], -a[1] if negative else a[1]),
            "elliprf": tuple(a[:3]), "elliprd": tuple(a[:3]),
            "elliprj": (a[0], a[1], a[2], -a[3] if negative else a[3]),
            "ellipk": (m,), "ellipe": (m,), "ellippi": (n, m),
            "ellipk_complementary": (mc,), "ellipe_complementary": (mc,),
            "ellippi_complementary": (nc, mc)}[name]


def outcome(name, args):
    try:
        return getattr(elliptic, name)(*args).hex()
    except RuntimeError as error:
        return "error " + str(error)


def main():
    rows = ["# Exact results of the elliptic integrals: name, arguments and result as",
            "# hex floats, or 'error' and the error text. Made by",
            "# scripts/record_elliptic_bits.py; do not edit by hand."]
    for name in FUNCTIONS:
        for i in range(SAMPLES):
            args = arguments(name, i)
            rows.append("%s %s -> %s" % (name, " ".join(x.hex() for x in args),
                                         outcome(name, args)))
    with open(PATH, "w") as table:
        table.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
