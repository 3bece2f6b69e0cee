#!/usr/bin/env python3
"""Cross-checks of the reference magnifications in tests/data.

    python3 scripts/validate_reference.py            # checks against the files
    python3 scripts/validate_reference.py --deep     # also recompute every case
                                                     # at 45 digits
    python3 scripts/validate_reference.py --deep ring limb_darkening_laws
                                                     # ... of these tables only

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
  laws        limb-darkening laws: the uniform law against Witt and Mao's
              closed form (every row off the rim); every law's coefficient
              sets at a few points against the lens-centred disc sweep of
              the law's own brightness, normalised by a quadrature of its
              flux: the sweep shares neither the ring model, nor the basis
              profiles, nor their closed-form fluxes with the tables' route.
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
                # inputs are doubles or names; the truth keeps all 17 digits
                rows.append([number_or_name(x) for x in fields[:-1]]
                            + [mpf(fields[-1])])
    return rows


def number_or_name(field):
    try:
        return mpf(float(field))
    except ValueError:
        return field


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


def check_deep(names):
    saved = mp.dps, g.TOLERANCE
    mp.dps, g.TOLERANCE = 45, mpf("1e-38")
    try:
        for name in names:
            function = g.TABLES[name][0]
            worst = mpf(0)
            # the input columns come first, as many as a case has, and one
            # truth or several after them
            inputs_count = len(next(iter(g.TABLES[name][1]())))
            for row in read_table(name):
                inputs = [x if isinstance(x, str) else float(x)
                          for x in row[:inputs_count]]
                values = function(*inputs)
                if not isinstance(values, tuple):
                    values = (values,)
                for truth, value in zip(row[inputs_count:], values):
                    worst = max(worst, relative(truth, value))
            report("%s recomputed at 45 digits" % name, worst)
    finally:
        mp.dps, g.TOLERANCE = saved


# (rstar, l) with re = 1: near the centre, inside, by the rim inside, on it
# and outside, and well outside the source.
LAW_SWEEP_POINTS = ((1.0, 1e-6), (0.05, 0.5), (1e-3, 0.999), (1.0, 1.0),
                    (1e-5, 1 + 1e-9), (100.0, 1.001), (0.05, 2.0))


def check_limb_darkening_laws(digits):
    rows = read_table("limb_darkening_laws")
    worst = mpf(0)
    for l, re, rstar, law, *_, truth in rows:
        if law == "uniform" and l != 1:
            worst = max(worst, relative(truth, g.witt_mao_closed_form(l, re, rstar)))
    report("uniform law, Witt and Mao's closed form", worst)
    saved = mp.dps, g.TOLERANCE
    mp.dps, g.TOLERANCE = digits, mpf(10) ** (4 - digits)
    try:
        picks = {(mpf(l), mpf(rstar)) for rstar, l in LAW_SWEEP_POINTS}
        worst = {}
        for l, re, rstar, law, *coefficients, truth in rows:
            if (l, rstar) not in picks:
                continue
            exact = [c for c in coefficients if c != g.NO_COEFFICIENT]
            profile = lambda one_minus_x2: g.LAW_PROFILES[law](mp.sqrt(one_minus_x2), *exact)
            flux = g.integrate(lambda x: 2 * x * profile((1 - x) * (1 + x)), [mpf(0), mpf(1)])
            sweep = g.limb_darkened(float(l), float(re), float(rstar), profile, flux)
            worst[law] = max(worst.get(law, mpf(0)), relative(truth, sweep))
        for law in g.LAW_COEFFICIENTS:
            report("%s law as a disc sweep, %d points" % (law, len(picks)), worst[law])
    finally:
        mp.dps, g.TOLERANCE = saved


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--deep", nargs="*", metavar="TABLE",
                        help="recompute these tables (default: all) at 45 digits")
    args = parser.parse_args(argv)
    unknown = sorted(set(args.deep or ()) - set(g.TABLES))
    if unknown:
        parser.error("unknown table: %s" % ", ".join(unknown))
    mp.dps = g.WORKING_DIGITS
    check_exact()
    check_far_field()
    check_ring_derivative()
    check_seven_digit_values()
    check_rings(20)
    check_limb_darkening_laws(20)
    if args.deep is not None:
        check_deep(args.deep or sorted(g.TABLES))


if __name__ == "__main__":
    main(sys.argv[1:])
