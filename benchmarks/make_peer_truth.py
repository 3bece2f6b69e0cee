#!/usr/bin/env python3
"""High-precision magnifications for the peer benchmark (benchmarks/peers.py).

Writes benchmarks/data/peer_truth.txt: for source radii rho in
{0.001, 0.01, 0.1, 1} Einstein radii and about 10^3 lens-source separations
each (inside the source, densely about its rim, and outside it to
max(5, 30 rho) Einstein radii), the magnification of

- a uniformly bright disc, and
- a limb-darkened disc with brightness I(x) = 1 - 0.6 (1 - sqrt(1 - x^2)) at
  x source radii from its centre,

from mpmath quadratures of the exact double inputs.  Run once; the data file
is kept in the repository.

    python3 benchmarks/make_peer_truth.py            # write the data (2 processes)
    python3 benchmarks/make_peer_truth.py --check    # only cross-check the method

Both discs are integrated in lens-centred polar coordinates, where the point
magnification times the area element, A(r) r = (r^2 + 2)/sqrt(r^2 + 4), is
smooth (the lens is no singularity):

- uniform disc: the radial integral is F(r_far) - F(r_near) with
  F(r) = r sqrt(r^2 + 4)/2, leaving one angular quadrature (taken from
  scripts/generate_reference.py);
- limb-darkened disc: I = 0.4 + 0.6 sqrt(1 - x^2).  The constant part is the
  uniform disc.  For the square-root part, write each chord through the lens
  as r = m + h cos t (m its midpoint, h its half-length, t in [0, pi]); then
  sqrt(1 - x^2) = h sin t / rho and the chord integral becomes
  h^2 * int_0^pi sin^2 t g(m + h cos t) dt with g(r) = (r^2 + 2)/sqrt(r^2 + 4):
  a smooth periodic integrand, summed by the trapezoidal rule.  As a function
  of h^2 this is analytic, so the angular integrand is smooth too: over a
  full turn of chords when the lens is inside the disc (signed r along each
  chord covers both rays, periodic in the angle: trapezoidal rule again), up
  to the tangent angle when it is outside (tanh-sinh quadrature).

`--check` compares the limb-darkened values with the independent quadrature
of tests/data/limb_darkened.txt (each chord integrated in r).
"""

import argparse
import math
import multiprocessing
import os
import sys
import time

import mpmath
from mpmath import mp, mpf

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import generate_reference as reference  # noqa: E402  (uniform disc, quadrature helpers)

DATA_PATH = os.path.join(HERE, "data", "peer_truth.txt")
SOURCE_RADII = (0.001, 0.01, 0.1, 1.0)
WORKING_DIGITS = reference.WORKING_DIGITS
TRAPEZOID_TOLERANCE = mpf(10) ** (8 - WORKING_DIGITS)   # agreement of N and 2N nodes
PROCESSES = 2


# ---------------------------------------------------------------- grid

def separations(rho):
    """Lens-source separations l in source radii: 300 inside (uniform in
    [0, 0.967]), 301 about the rim (l = 1 and 1 -+ delta for 150 deltas
    log-spaced from 1e-10 to 0.03), 400 outside (log-spaced from 1.04 to
    max(5, 30 rho) Einstein radii)."""
    inside = [0.967 * i / 300 for i in range(300)]
    deltas = [float("%.3g" % 10 ** (-10 + 8.5 * k / 149)) for k in range(150)]
    rim = [1.0] + [1.0 - d for d in deltas] + [1.0 + d for d in deltas]
    lo, hi = math.log(1.04), math.log(max(5.0, 30.0 * rho) / rho)
    outside = [float("%.12g" % math.exp(lo + (hi - lo) * i / 399)) for i in range(400)]
    return sorted(set(inside + rim + outside))


# ---------------------------------------------------------------- limb darkening

def ray_weight(r):
    """g(r) = A(|r|) |r| = (r^2 + 2)/sqrt(r^2 + 4), even and smooth in r."""
    r2 = r * r
    return (r2 + 2) / mp.sqrt(r2 + 4)


def periodic_trapezoid(f, period_half, tolerance=TRAPEZOID_TOLERANCE):
    """int_0^L f for f even and 2L-periodic (L = period_half): the trapezoidal
    rule, doubling the nodes until two successive sums agree to `tolerance`
    (relative).  It converges geometrically for analytic f, so the last sum
    is far better than the agreement it was accepted on."""
    n = 16
    ends = (f(mpf(0)) + f(period_half)) / 2
    inner = mp.fsum(f(period_half * k / n) for k in range(1, n))
    previous = (ends + inner) * period_half / n
    while True:
        inner += mp.fsum(f(period_half * (2 * k + 1) / (2 * n)) for k in range(n))
        n *= 2
        current = (ends + inner) * period_half / n
        if abs(current - previous) <= tolerance * abs(current):
            return current
        if n > 1 << 16:
            raise reference.QuadratureMissed(
                "trapezoid not converged: %s vs %s" % (current, previous))
        previous = current


def chord_sqrt_integral(middle, half):
    """int_0^pi sin^2 t g(middle + half cos t) dt."""
    return periodic_trapezoid(
        lambda t: mp.sin(t) ** 2 * ray_weight(middle + half * mp.cos(t)), mp.pi)


def sqrt_part(d, rho):
    """int over the disc of sqrt(1 - x^2) A(r) dA, lens d from the centre."""
    def angular(phi):
        s = d * mp.sin(phi)
        half2 = (rho - s) * (rho + s)
        if half2 <= 0:
            return mpf(0)
        return half2 * chord_sqrt_integral(d * mp.cos(phi), mp.sqrt(half2))

    if d <= rho:
        # chords through the lens for angles in [0, pi): each covers both rays
        return periodic_trapezoid(angular, mp.pi) / rho
    tangent = mp.asin(rho / d)
    return 2 * reference.integrate(angular, [mpf(0), tangent]) / rho


def limb_darkened(l, rho):
    """Magnification of the disc with I(x) = 0.4 + 0.6 sqrt(1 - x^2); its
    total flux is 0.8 pi rho^2, so A = 0.5 A_uniform + 0.75 S/(pi rho^2)."""
    rho_mp = mpf(rho)
    uniform = reference.uniform_disc(l, 1.0, rho)
    s = sqrt_part(rho_mp * mpf(l), rho_mp)
    return uniform, uniform / 2 + 3 * s / (4 * mp.pi * rho_mp * rho_mp)


def case(args):
    """(rho, l) -> the data line; one worker task."""
    rho, l = args
    mp.dps = WORKING_DIGITS
    uniform, limb = limb_darkened(l, rho)
    return " ".join([repr(rho), repr(l), reference.truth_text(uniform),
                     reference.truth_text(limb)])


# ---------------------------------------------------------------- output

def write_data():
    cases = [(rho, l) for rho in SOURCE_RADII for l in separations(rho)]
    started = time.perf_counter()
    with multiprocessing.Pool(PROCESSES) as pool:
        lines = list(pool.imap(case, cases, chunksize=4))
    elapsed = time.perf_counter() - started
    header = [
        "# Magnification of a disc of radius rho (Einstein radii) centred l*rho "
        "from a point lens:",
        "# uniform brightness, and brightness 1 - 0.6 (1 - sqrt(1 - x^2)) at x "
        "source radii from the centre.",
        "# Columns: rho l uniform limb_darkened",
        "# Inputs are exact doubles; truths are %d-digit quadratures of them, "
        "rounded to 17 significant digits." % WORKING_DIGITS,
        "# Made by benchmarks/make_peer_truth.py; do not edit by hand.",
    ]
    os.makedirs(os.path.dirname(DATA_PATH), exist_ok=True)
    with open(DATA_PATH, "w") as out:
        out.write("\n".join(header + lines) + "\n")
    print("%s: %d cases in %.0f s on %d processes"
          % (os.path.relpath(DATA_PATH), len(lines), elapsed, PROCESSES))


def check():
    """Cross-check against the independent quadrature of the test data."""
    mp.dps = WORKING_DIGITS
    path = os.path.join(ROOT, "tests", "data", "limb_darkened.txt")
    worst = 0.0
    with open(path) as lines:
        for line in lines:
            if line.startswith("#"):
                continue
            l, re, rstar, truth = line.split()
            assert float(re) == 1.0
            value = limb_darkened(float(l), float(rstar))[1]
            error = float(abs(value / mpf(truth) - 1))
            worst = max(worst, error)
            print("rho %-5s l %-6s  %s  rel. difference %.1e"
                  % (rstar, l, mpmath.nstr(value, 20), error))
    print("worst relative difference %.1e (the file holds 17 digits)" % worst)
    return worst < 1e-15


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="only compare with tests/data/limb_darkened.txt")
    options = parser.parse_args(argv)
    if options.check:
        sys.exit(0 if check() else 1)
    write_data()


if __name__ == "__main__":
    main(sys.argv[1:])
