#!/usr/bin/env python3
"""Cross-checks of the reference magnifications in tests/data.

    python3 scripts/validate_reference.py            # checks against the files
    python3 scripts/validate_reference.py --deep     # also recompute every case
                                                     # at 45 digits

Checks, each printing the largest relative difference it saw:

  exact       uniform disc with the lens at its centre: sqrt(rho^2 + 4)/rho;
              ring of radius 0 or centred on the lens: A at that distance.
  far field   uniform disc far from the lens against the first terms of the
              disc mean-value series sum_k (rho^2/4)^k lap^k A / (k! (k+1)!):
              A(u) + rho^2/8 lap A + rho^4/192 lap^2 A.
  rings       disc and limb-darkened disc as an area average of concentric
              rings about the source centre, each ring by direct angular
              quadrature, the radial integral split at the lens radius where
              it has a logarithmic point: source-centred geometry, against
              the lens-centred sweep used for the tables.
  derivative  ring against the derivative of the lens-centred disc sweep in its
              radius: A_ring(d, s) = (1/2s) d/ds [s^2 A_disc(d, s)].
  7 digits    limb-darkened values known independently to 7 digits.
  deep        every table case recomputed with 45 working digits.
"""

import argparse
import os
import sys

import mpmath
from mpmath import mp, mpf

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import generate_reference as g  # noqa: E402


def read_table(name):
    rows = []
    with open(os.path.join(g.DATA_DIR, name + ".txt")) as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                fields = line.split()
                # inputs are doubles; the truth keeps all 17 digits
                rows.append([mpf(float(x)) for x in fields[:-1]]
                            + [mpf(fields[-1])])
    return rows


def relative(a, b):
    return abs(a - b) / abs(b)


def report(label, worst):
    print("%-44s max relative difference %s" % (label, mpmath.nstr(worst, 3)))


def check_exact():
    worst = mpf(0)
    for l, re, rstar, truth in read_table("uniform_disc"):
        if l == 0:
            rho = rstar / re
            worst = max(worst, relative(truth, mp.sqrt(rho * rho + 4) / rho))
    report("uniform disc, lens at centre (exact)", worst)
    worst = mpf(0)
    for l, r, re, rstar, truth in read_table("ring"):
        if l == 0 or r == 0:
            eps = re / rstar
            worst = max(worst, relative(truth, g.point_magnification((l + r) / eps)))
    report("ring centred on lens or of radius 0 (exact)", worst)


def laplacian(f, u):
    """Laplacian of a radial function in the plane: f'' + f'/u."""
    return mp.diff(f, u, 2) + mp.diff(f, u, 1) / u


def check_far_field():
    worst = mpf(0)
    for l, re, rstar, truth in read_table("uniform_disc"):
        rho = rstar / re
        u = rho * l
        if l < 10 or rho > 0.1:
            continue
        lap = lambda v: laplacian(g.point_magnification, v)
        series = (g.point_magnification(u) + rho ** 2 / 8 * lap(u)
                  + rho ** 4 / 192 * laplacian(lap, u))
        worst = max(worst, relative(truth, series))
    report("uniform disc far field, rho <= 0.1, l >= 10", worst)


def ring_average(l, re, rstar, brightness):
    """Brightness-weighted mean of A over the disc as rings about its centre."""
    l = mpf(l)

    def ring_at(x):
        return 2 * x * brightness(x) * g.ring(l, x, re, rstar)

    points = [mpf(0), l, mpf(1)] if 0 < l < 1 else [mpf(0), mpf(1)]
    weight = g.integrate(lambda x: 2 * x * brightness(x), [mpf(0), mpf(1)])
    return g.integrate(ring_at, points) / weight


def check_rings(digits):
    saved = mp.dps, g.TOLERANCE
    mp.dps, g.TOLERANCE = digits, mpf(10) ** (4 - digits)
    try:
        picks = {"uniform_disc": {0.3, 0.999, 1.0, 1.0 + 5e-6, 1.001, 2.0},
                 "limb_darkened": {0.3, 0.999, 1.0, 1.001, 2.0}}
        uniform = lambda x: mpf(1)
        darkened = lambda x: g.limb_profile(1 - x * x)
        for name, brightness in (("uniform_disc", uniform),
                                 ("limb_darkened", darkened)):
            worst = mpf(0)
            for l, re, rstar, truth in read_table(name):
                near = [p for p in picks[name] if abs(float(l) - p) < 1e-12]
                if near:
                    worst = max(worst, relative(
                        truth, ring_average(l, re, rstar, brightness)))
            report("%s as rings about the centre" % name, worst)
    finally:
        mp.dps, g.TOLERANCE = saved


def check_ring_derivative():
    worst = mpf(0)
    for l, r, re, rstar, truth in read_table("ring"):
        if l == 0 or r == 0:
            continue
        eps = re / rstar
        d, s = l / eps, r / eps
        enclosed = lambda p: p * p * g.uniform_disc(d / p, 1, p)
        worst = max(worst, relative(truth, mp.diff(enclosed, s) / (2 * s)))
    report("ring as radial derivative of the disc", worst)


SEVEN_DIGIT_VALUES = [  # (rstar, l, value to 7 digits), re = 1
    (0.1, 0.5, 19.679003), (0.1, 1.0, 12.298533), (0.1, 2.0, 5.231521),
    (0.1, 10.0, 1.342933), (1.0, 0.5, 2.227093), (1.0, 2.0, 1.074914),
]


def check_seven_digit_values():
    worst = mpf(0)
    for rstar, l, value in SEVEN_DIGIT_VALUES:
        truth = g.limb_darkened(l, 1.0, rstar)
        worst = max(worst, abs(truth - value) / value)
    report("limb-darkened, 7-digit values", worst)


def check_deep():
    saved = mp.dps, g.TOLERANCE
    mp.dps, g.TOLERANCE = 45, mpf("1e-38")
    try:
        for name in sorted(g.TABLES):
            function = g.TABLES[name][0]
            worst = mpf(0)
            # the input columns come first, one truth or several after them
            inputs_count = sum(1 for column in g.TABLES[name][2].split()
                               if column in ("l", "r", "re", "rstar"))
            for row in read_table(name):
                inputs = [float(x) for x in row[:inputs_count]]
                values = function(*inputs)
                if not isinstance(values, tuple):
                    values = (values,)
                for truth, value in zip(row[inputs_count:], values):
                    worst = max(worst, relative(truth, value))
            report("%s recomputed at 45 digits" % name, worst)
    finally:
        mp.dps, g.TOLERANCE = saved


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--deep", action="store_true")
    args = parser.parse_args(argv)
    mp.dps = g.WORKING_DIGITS
    check_exact()
    check_far_field()
    check_ring_derivative()
    check_seven_digit_values()
    check_rings(20)
    if args.deep:
        check_deep()


if __name__ == "__main__":
    main(sys.argv[1:])
