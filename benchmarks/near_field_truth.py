#!/usr/bin/env python3
"""High-precision ring-by-ring integrals over the source radius, for
measuring quadrature rules of the near field (benchmarks/near_field_rules.py).

    python benchmarks/near_field_truth.py laws       # brightness laws
    python benchmarks/near_field_truth.py sampled    # sampled profiles
    python benchmarks/near_field_truth.py --quick laws

The magnified flux of the ring of radius x about a lens at l (source radii)
is 2 pi x A(l, x) I(x), with A Heyrovsky's ring magnification in Bulirsch's
complete integral, its complements formed as products (the reference
generator's ring_closed_form), at 20 digits; eps = re/rstar = 1/rho exactly
for the double rho.

Laws: for every basis profile phi of the limb-darkening laws (1, mu, mu^2,
sqrt(mu), mu^(3/2), mu ln mu and mu^alpha, mu = sqrt(1 - x^2)) the integral
of 2 pi x A phi over [0, l] and [l, 1] (or [0, 1] with the lens outside),
by tanh-sinh over intervals cut at l +- 10^k, so that every piece has the
ring through the lens at an end or at least a tenth of its width away, and
the limb's edge at an end.

Sampled profiles: the moments int x A dx and int x^2 A dx over every
interval between samples of the profiles the rules are measured on; an
interval at least its own width from the lens by Gauss-Legendre of an order
set by that distance (its nearest singularity lies outside a Bernstein
ellipse that makes the rule exact to 1e-30), a nearer one cut as above.

Every tanh-sinh integral must meet its own error estimate to 1e-19 relative
(the script stops otherwise). Results go to build/near-field-truth/ as JSON
lines, one per case; a case already there is not computed again.
"""

import argparse
import functools
import json
import math
import os
import pathlib
import sys
import time

from mpmath import mp, mpf

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "scripts"))
sys.path.insert(0, str(ROOT / "tests"))
from generate_reference import ring_closed_form  # noqa: E402

OUT = ROOT / "build" / "near-field-truth"
DIGITS = 20
TOLERANCE = mpf("1e-19")

RHOS = (1e-5, 1e-3, 0.01, 0.05, 0.1, 1.0, 3.0, 10.0, 100.0)
# The lens at the centre, very near it, spread inside, at and within 1e-12
# to 1e-3 of the rim on both sides, spread outside up to the far field.
SEPARATIONS = (0.0, 1e-12, 1e-8, 1e-4, 0.01, 0.1, 0.237, 0.3, 0.5, 0.618, 0.7, 0.8413, 0.9,
               0.99, 1 - 1e-3, 1 - 1e-6, 1 - 1e-9, 1 - 1e-12, 1.0, 1 + 1e-12, 1 + 1e-9,
               1 + 1e-6, 1 + 1e-3, 1.01, 1.047, 1.1, 1.3, 1.6, 1.77, 2.0, 2.5, 3.0, 3.3, 4.0,
               5.0, 5.99)
QUICK_RHOS = (1e-3, 0.05, 3.0, 100.0)
QUICK_SEPARATIONS = (0.0, 1e-8, 0.3, 0.9, 1 - 1e-9, 1.0, 1 + 1e-9, 1.1, 2.5)

# Power-law exponents of the power-2 law measured; 1/2, 1 and 2 are the
# bases sqrt(mu), mu and mu^2 themselves.
ALPHAS = (0.3, 0.6, 0.8, 1.3, 1.7)
BASES = ("1", "mu", "mu2", "sqrtmu", "mu32", "mulnmu") + tuple(f"mu^{a}" for a in ALPHAS)


def basis_value(name, one_minus_x2):
    mu = mp.sqrt(max(one_minus_x2, mpf(0)))
    if name == "1":
        return mpf(1)
    if name == "mu":
        return mu
    if name == "mu2":
        return mu * mu
    if name == "sqrtmu":
        return mp.sqrt(mu)
    if name == "mu32":
        return mu * mp.sqrt(mu)
    if name == "mulnmu":
        return mu * mp.log(mu) if mu > 0 else mpf(0)
    alpha = mpf(name[3:])
    return mu ** alpha if mu > 0 else mpf(0)


class QuadratureMissed(RuntimeError):
    pass


def cut_points(a, b, l):
    """a, b, l if inside, and l +- 10^k inside (a, b)."""
    points = {a, b}
    if a < l < b:
        points.add(l)
    for k in range(-18, 1):
        for p in (l - mpf(10) ** k, l + mpf(10) ** k):
            if a < p < b:
                points.add(p)
    return sorted(points)


def tanh_sinh(f, points, scale=mpf(0)):
    """The integral over consecutive points, to TOLERANCE of the larger of
    its own size and `scale`."""
    value, error = mp.quad(f, points, error=True, maxdegree=10)
    if error > TOLERANCE * max(abs(value), scale, mpf("1e-30")):
        raise QuadratureMissed(f"error {error} on {value} over {points[0]}..{points[-1]}")
    return value


def ring_at(l, eps, cache):
    def A(x):
        value = cache.get(x)
        if value is None:
            value = ring_closed_form(l, x, eps) if x != l else mpf(0)
            cache[x] = value
        return value
    return A


def law_case(rho, l):
    """{piece: {basis: integral}} with pieces '0,l' and 'l,1' or '0,1'.

    The interval that ends at the rim is taken in t = 1 - x, with
    1 - x^2 = t (2 - t), so that the limb's edge keeps its digits."""
    eps = 1 / mpf(rho)
    lm = mpf(l)
    cache = {}
    A = ring_at(lm, eps, cache)
    pieces = [(mpf(0), lm), (lm, mpf(1))] if 0 < l < 1 else [(mpf(0), mpf(1))]
    scale = 2 * mp.pi * max(eps, mpf(1)) * mpf("1e-3")
    result = {}
    for a, b in pieces:
        points = cut_points(a, b, lm)
        values = {name: mpf(0) for name in BASES}
        for p, q in zip(points, points[1:]):
            for name in BASES:
                if q == 1:
                    def f(t, name=name):
                        x = 1 - t
                        return 2 * mp.pi * x * A(x) * basis_value(name, t * (2 - t))
                    values[name] += tanh_sinh(f, [mpf(0), 1 - p], scale)
                else:
                    def f(x, name=name):
                        return 2 * mp.pi * x * A(x) * basis_value(name, 1 - x * x)
                    values[name] += tanh_sinh(f, [p, q], scale)
        result[f"{float(a)!r},{float(b)!r}"] = {k: str(v) for k, v in values.items()}
    return result


@functools.lru_cache(maxsize=None)
def legendre(order):
    return mp.gauss_quadrature(order, "legendre")


def piece_moments(l, eps, a, b):
    """(int x A, int x^2 A) over [a, b] at 20 digits."""
    width = b - a
    gap = a - l if l < a else (l - b if l > b else mpf(0))
    if width == 0:
        return mpf(0), mpf(0)
    if gap >= width:
        ratio = gap / width
        order = 10 if ratio >= 10 else (14 if ratio >= 3 else 22)
        nodes, weights = legendre(order)
        first = second = mpf(0)
        for t, w in zip(nodes, weights):
            x = (a + b) / 2 + width / 2 * t
            term = w * x * ring_closed_form(l, x, eps)
            first += term
            second += term * x
        return first * width / 2, second * width / 2
    # Cut at l +- 3^-k: the interval that touches the lens by tanh-sinh,
    # every other one (its nearest singularity at least its own width away,
    # a Bernstein ellipse of parameter 3.7) by Gauss-Legendre of order 20.
    cache = {}
    A = ring_at(l, eps, cache)
    points = {a, b}
    if a < l < b:
        points.add(l)
    step = mpf(max(abs(l), 1)) * mpf("1e-15")
    while step < width:
        for p in (l - step, l + step):
            if a < p < b:
                points.add(p)
        step *= 3
    points = sorted(points)
    scale = max(eps, mpf(1)) * mpf("1e-2")
    first = second = mpf(0)
    nodes, weights = legendre(20)
    for p, q in zip(points, points[1:]):
        if p == l or q == l or (p < l < q):
            first += tanh_sinh(lambda x: x * A(x), [p, q], scale)
            second += tanh_sinh(lambda x: x * x * A(x), [p, q], scale)
            continue
        for t, w in zip(nodes, weights):
            x = (p + q) / 2 + (q - p) / 2 * t
            term = w * (q - p) / 2 * x * A(x)
            first += term
            second += term * x
    return first, second


# ---------------------------------------------------------------- profiles

def sampled_law(intervals, spacing):
    """The linear law sampled as the reference tests sample it."""
    if spacing == "sine":
        radii = [math.sin(math.pi / 2 * (i / intervals)) for i in range(intervals + 1)]
    else:
        radii = [i / intervals for i in range(intervals + 1)]
    return radii, [1 - 0.6 * (1 - math.sqrt(1 - x * x)) for x in radii]


def _law(x):
    return 1 - 0.6 * (1 - math.sqrt(1 - x * x))


PROFILES = {
    "even41": sampled_law(40, "even"),
    "even201": sampled_law(200, "even"),
    "sine41": sampled_law(40, "sine"),
    "sine201": sampled_law(200, "sine"),
    # a brightness step: a radius given twice
    "stepped": ([0.0, 0.2, 0.45, 0.45, 0.7, 0.9, 1.0], [1.0, 0.95, 0.85, 0.6, 0.5, 0.35, 0.2]),
    # a narrow bright annulus, dark elsewhere
    "narrow": ([0.6, 0.6005, 0.601], [0.5, 1.0, 0.5]),
    # samples from above the centre to below the rim
    "partial": ([0.2 + 0.05 * i for i in range(15)], [_law(0.2 + 0.05 * i) for i in range(15)]),
}


def pieces(radii):
    """The pieces of [0, 1] the ring-by-ring forms integrate (for_each_piece)."""
    out = []
    start = 0.0
    for r in radii:
        if start < r < 1.0:
            out.append((start, r))
            start = r
    out.append((start, 1.0))
    return out


def piece_line(radii, brightness, a, b):
    """(c0, c1): the profile is c0 + c1 x on [a, b] (0, 0 off the samples):
    the first segment whose right end lies at or beyond the piece's middle."""
    mid = (a + b) / 2
    if mid < radii[0] or mid > radii[-1]:
        return 0.0, 0.0
    for j in range(1, len(radii)):
        if radii[j] >= mid:
            x0, x1, y0, y1 = radii[j - 1], radii[j], brightness[j - 1], brightness[j]
            slope = (y1 - y0) / (x1 - x0)
            return y0 - slope * x0, slope
    raise AssertionError


SAMPLED_RHOS = (1e-3, 0.05, 3.0, 100.0)


def profile_separations(name, quick):
    """At and 1e-10 either side of some sample radii: the first two, the
    last three and a few between."""
    radii = PROFILES[name][0]
    step = max(1, len(radii) // 3)
    chosen = sorted(set(radii[:2]) | set(radii[-3:]) | set(radii[step:-3:step]))
    seps = set()
    for r in chosen:
        for l in (r, r - 1e-10, r + 1e-10):
            if l >= 0:
                seps.add(l)
    # one piece's width beyond the last piece's end and before the first
    return sorted(seps)


def fine_pieces(name):
    """The pieces whose moments a profile needs; the 41-sample grids reuse
    the 201-sample ones (the same radii to the last bit)."""
    return pieces(PROFILES[name][0])


# ---------------------------------------------------------------- driver

def load(kind):
    path = OUT / f"{kind}.jsonl"
    done = {}
    if path.exists():
        for line in path.read_text().splitlines():
            row = json.loads(line)
            done[row["key"]] = row
    return done


def append(kind, row):
    OUT.mkdir(parents=True, exist_ok=True)
    with open(OUT / f"{kind}.jsonl", "a") as handle:
        handle.write(json.dumps(row) + "\n")


def run_laws(quick):
    done = load("laws")
    rhos = QUICK_RHOS if quick else RHOS
    seps = QUICK_SEPARATIONS if quick else SEPARATIONS
    for rho in rhos:
        for l in seps:
            key = f"{rho!r} {l!r}"
            if key in done:
                continue
            started = time.perf_counter()
            row = {"key": key, "rho": rho, "l": l, "pieces": law_case(rho, l)}
            append("laws", row)
            print(f"laws rho={rho} l={l}: {time.perf_counter() - started:.1f} s", flush=True)


def run_sampled(quick, names):
    done = load("sampled")
    rhos = QUICK_RHOS if quick else SAMPLED_RHOS
    for name in names:
        radii, _ = PROFILES[name]
        seps = sorted(set(QUICK_SEPARATIONS) | set(profile_separations(name, quick)))
        for rho in rhos:
            eps = 1 / mpf(rho)
            for l in seps:
                key = f"{name} {rho!r} {l!r}"
                if key in done:
                    continue
                started = time.perf_counter()
                moments = {}
                for a, b in pieces(radii):
                    m1, m2 = piece_moments(mpf(l), eps, mpf(a), mpf(b))
                    moments[f"{a!r},{b!r}"] = [str(m1), str(m2)]
                append("sampled", {"key": key, "profile": name, "rho": rho, "l": l,
                                   "moments": moments})
                print(f"{name} rho={rho} l={l}: {time.perf_counter() - started:.1f} s",
                      flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("kind", choices=("laws", "sampled"))
    parser.add_argument("profiles", nargs="*", help="sampled profiles (default: all)")
    parser.add_argument("--quick", action="store_true")
    options = parser.parse_args()
    mp.dps = DIGITS
    if options.kind == "laws":
        run_laws(options.quick)
    else:
        run_sampled(options.quick, options.profiles or list(PROFILES))


if __name__ == "__main__":
    main()
