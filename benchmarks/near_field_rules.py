#!/usr/bin/env python3
"""The near field's ring-by-ring rule, prototyped, against today's tanh-sinh
levels: worst relative error against the 20-digit integrals of
benchmarks/near_field_truth.py and ring evaluations per separation.

    python benchmarks/near_field_rules.py laws      # the limb-darkening laws
    python benchmarks/near_field_rules.py sampled   # sampled profiles
    python benchmarks/near_field_rules.py counts    # evaluations, benchmark grids

Needs the test-only module (build with -DMAGNIKIT_BUILD_INTERNALS=ON and put
build/dev and build/dev/internals on PYTHONPATH): the ring A(l, x) is
magnikit's own, evaluated in its vector lanes, so the figures are those of
the quadrature. The rules read their nodes from src/numeric/gauss_rules.hpp.

The rule (graded cells): a piece of the source radius is cut at the ring
through the lens; each part is covered by cells graded from the singular
end, the first as wide as kappa times the distance from the lens to its
nearest other singular point, each next one SIGMA times farther out. A cell
touching the lens takes the generalised Gaussian rule for x^k, x^k log x
(LOG_GAUSS); every other cell Gauss-Legendre of the least order whose
Bernstein ellipse keeps every singular point of the magnified flux outside
r^-2n <= TARGET, halved while that order exceeds the largest stored one.
The singular points, besides the lens l: its mirror -l and l +- 2i eps,
-l +- 2i eps (where the ring's Q = d^2 + 4 eps^2 vanishes) and, for a law,
the limb x = +-1. A law's piece [0, 1] is taken in v = (1 - x^2)^(1/4)
where the lens lies in its outer half or beyond the rim (mu = v^2, sqrt(mu) =
v, and 2 pi x dx = -4 pi v^3 dv: every basis but mu^alpha and mu ln mu is a
polynomial in v, and the ring is even in x, so analytic in v), with the cell
at the limb v = 0 by LOG_GAUSS (exact for v^k log v, to 1e-15 for v^(2 alpha));
with the lens in the inner half, in x from 0 to X_SPLIT and in v beyond.
"""

import argparse
import functools
import json
import math
import pathlib
import re
import sys

import numpy as np
from mpmath import mpf, pi

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "benchmarks"))
import near_field_truth as truth_tables  # noqa: E402
import _magnikit_internals as internals  # noqa: E402

TARGET = 1e-18        # Bernstein bound per cell, relative to the cell's size
SIGMA = 4.0           # growth of the cells away from the singular end
KAPPA = 1.0           # first cell: this fraction of the distance to the next singular point
MERGE = 0.85          # a last cell narrower than (1 - MERGE) of the part joins the one before
LEAST_ORDER = 4
X_SPLIT = 0.7         # law: x below, v beyond, when the lens is in the inner half
INNER_HALF = 0.5

HEADER = ROOT / "src" / "numeric" / "gauss_rules.hpp"


@functools.lru_cache(maxsize=None)
def stored_rules():
    """{name: (abscissae, weights)} from the generated header."""
    text = HEADER.read_text()
    rules = {}
    for name, body in re.findall(r"GaussNode (\w+)\[\d+\] = \{(.*?)\};", text, re.S):
        pairs = re.findall(r"\{([-+0-9.e]+), ([-+0-9.e]+)\}", body)
        rules[name] = (np.array([float(x) for _, x in pairs]),
                       np.array([float(w) for w, _ in pairs]))
    return rules


def legendre(n):
    return stored_rules()[f"GAUSS_LEGENDRE_{n}"]


def log_gauss():
    return stored_rules()["LOG_GAUSS"]


MOST_NODES = max(int(k.rsplit("_", 1)[1]) for k in stored_rules() if k.startswith("GAUSS_"))
LOG_NODES = len(log_gauss()[0])


# ---------------------------------------------------------------- the ring

def ring(l, rho, x):
    """A(l, x) at every x, 0 where it is not finite (the ring through the lens)."""
    values, _ = internals.heyrovsky_magnifications([l] * len(x), list(x), 1.0, rho, "avx2")
    a = np.array([v if isinstance(v, float) else math.nan for v in values])
    a[~np.isfinite(a)] = 0.0
    return a


# ---------------------------------------------------------------- cells

def cell_nodes(a, b, kind, n, variable):
    """(x, mu, W): the integral over the cell is sum W A(x) I(mu). kind: 'gl',
    or 'left'/'right' for the log rule with its singular end at a/b."""
    h = b - a
    if kind == "gl":
        t, w = legendre(n)
        z = a + h * t
    else:
        t, w = log_gauss()
        z = a + h * t if kind == "left" else b - h * t
    if variable == "x":
        return z, np.sqrt(np.maximum(1 - z * z, 0.0)), 2 * math.pi * z * h * w
    v2 = z * z
    return np.sqrt(1 - v2 * v2), v2, 4 * math.pi * v2 * z * h * w


def nodes(cells, variable):
    parts = [cell_nodes(a, b, kind, n, variable) for a, b, kind, n in cells if b > a]
    if not parts:
        return np.zeros(0), np.zeros(0), np.zeros(0)
    return tuple(np.concatenate([p[i] for p in parts]) for i in range(3))


def bernstein(z):
    s = np.sqrt(z * z - 1 + 0j)
    return max(abs(z + s), abs(z - s))


def order(a, b, points, target=TARGET):
    """The least Gauss-Legendre order for [a, b] by the Bernstein ellipses."""
    c, h = (a + b) / 2, (b - a) / 2
    r = min([bernstein((p - c) / h) for p in points] + [1e300])
    if r <= 1.0000001:
        return 10 ** 6
    return max(LEAST_ORDER, math.ceil(math.log(1 / target) / (2 * math.log(r))))


def graded_cells(p, q, lens_at, points, limb_at_p=False, relaxed_scale=None, relaxed=()):
    """Cells over [p, q] graded from the singular end.

    lens_at: 'p' or 'q' where the ring through the lens is that end, else
    None. points: the other singular points (complex). relaxed: points whose
    influence falls off like (relaxed_scale / D)^2 at a distance D from the
    lens (the mirror of a lens near the centre: the magnified flux there
    differs from the centred lens's by (l / x)^2)."""
    W = q - p
    points = [complex(s) for s in points]
    relaxed = [complex(s) for s in relaxed]
    near = points + relaxed
    if lens_at is not None:
        e = p if lens_at == "p" else q
        first = min(W, KAPPA * min([abs(s - e) for s in near] + [W]))
        anchor, gap, lens = lens_at, 0.0, [complex(e)]
    else:
        dp = min([abs(s - p) for s in near] + [math.inf])
        dq = min([abs(s - q) for s in near] + [math.inf])
        anchor, gap = ("p", dp) if dp <= dq else ("q", dq)
        first = min(W, KAPPA * gap) if gap < math.inf else W
        lens = []
    if first >= W * MERGE:
        first = W
    bounds = [0.0, first]
    while bounds[-1] < W:
        following = (bounds[-1] + gap) * SIGMA - gap
        bounds.append(W if following >= W * MERGE else following)

    cells = []

    def gl_order(a, b, distance):
        if not relaxed:
            return order(a, b, points + lens)
        # the lens and its mirror, with the falling influence; the rest in full
        target = TARGET * max(1.0, (distance / relaxed_scale) ** 2)
        return max(order(a, b, points), order(a, b, relaxed + lens, target))

    def split(a, b, distance, first_cell):
        m = a + (b - a) / 2 if anchor == "p" else b - (b - a) / 2
        inner, outer = ((a, m), (m, b)) if anchor == "p" else ((m, b), (a, m))
        add(*inner, distance, first_cell)
        add(*outer, distance + (b - a) / 2, False)

    def add(a, b, distance, first_cell):
        if first_cell and lens_at is not None:
            if order(a, b, near) > LOG_NODES and b - a > W * 1e-18:
                return split(a, b, distance, True)
            cells.append((a, b, "left" if anchor == "p" else "right", LOG_NODES))
            return
        n = gl_order(a, b, distance)
        if n > MOST_NODES and b - a > W * 1e-18:
            return split(a, b, distance, first_cell)
        cells.append((a, b, "gl", min(n, MOST_NODES)))

    for k in range(len(bounds) - 1):
        d0, d1 = bounds[k], bounds[k + 1]
        a, b = (p + d0, p + d1) if anchor == "p" else (q - d1, q - d0)
        add(a, b, d0, k == 0)

    if limb_at_p:
        # the cell at the limb v = 0 takes the log rule there (mu^alpha, mu ln mu)
        out = []
        for a, b, kind, n in cells:
            if a == p and kind == "gl":
                kind, n = "left", LOG_NODES
            elif a == p and kind == "right":
                m = (a + b) / 2
                out.append((a, m, "left", LOG_NODES))
                a = m
            out.append((a, b, kind, n))
        cells = out
    return cells


# ---------------------------------------------------------------- laws

def fourth_roots(z):
    r = complex(z) ** 0.25
    return [r, 1j * r, -r, -1j * r]


def points_in_v(l, eps, outer):
    """The singular points of the magnified flux in v, the lens's own
    v_l = (1 - l^2)^(1/4) included among the roots; outer: the part beyond
    the lens, where the flux continues to a branch point at x = 0 (v = 1)."""
    points = fourth_roots((1 - l) * (1 + l))
    for z in (l + 2j * eps, l - 2j * eps):
        points += fourth_roots(1 - z * z)
    if outer:
        points += [1, -1, 1j, -1j]
    return points


def points_in_x(l, eps):
    return [-l] + [z for z in (l + 2j * eps, l - 2j * eps, -l + 2j * eps, -l - 2j * eps)]


def law_cells(l, rho):
    """[(cells, variable)] of the graded rule for a law's piece [0, 1]."""
    eps = 1 / rho
    if l >= 1:
        points = points_in_v(l, eps, False)
        if l == 1:
            return [(graded_cells(0.0, 1.0, "p", [s for s in points if abs(s) > 0]), "v")]
        return [(graded_cells(0.0, 1.0, None, points, limb_at_p=True), "v")]
    if l >= INNER_HALF:
        vl = ((1 - l) * (1 + l)) ** 0.25
        outer = [s for s in points_in_v(l, eps, True) if abs(s - vl) > 1e-12 * vl]
        inner = [s for s in points_in_v(l, eps, False) if abs(s - vl) > 1e-12 * vl]
        return [(graded_cells(0.0, vl, "q", outer, limb_at_p=True)
                 + graded_cells(vl, 1.0, "p", inner), "v")]
    complex_points = [z for z in points_in_x(l, eps) if z.imag != 0]
    if l > 0:
        in_x = (graded_cells(0.0, l, "q", points_in_x(l, eps) + [1, -1])
                + graded_cells(l, X_SPLIT, "p", complex_points + [1, -1],
                               relaxed_scale=2 * l, relaxed=[-l]))
    else:
        in_x = graded_cells(0.0, X_SPLIT, None, [2j * eps, -2j * eps, 1, -1])
    v_split = ((1 - X_SPLIT) * (1 + X_SPLIT)) ** 0.25
    points = points_in_v(l, eps, l > 0) + ([] if l > 0 else [1, -1, 1j, -1j])
    return [(in_x, "x"), (graded_cells(0.0, v_split, None, points, limb_at_p=True), "v")]


def law_nodes(l, rho):
    parts = [nodes(cells, variable) for cells, variable in law_cells(l, rho)]
    return tuple(np.concatenate([p[i] for p in parts]) for i in range(3))


def tanh_sinh_nodes(a, b, levels):
    """Today's rule: `levels` levels of the tanh-sinh table."""
    table = internals.de_levels()
    m, s = (a + b) / 2, (b - a) / 2
    xs, ws = [m], [math.pi * 2.0 ** -levels]
    for k in range(levels):
        scale = 2.0 ** -(levels - 1 - k)
        for w, t in table[k]:
            xs += [m + s * t, m - s * t]
            ws += [w * scale, w * scale]
    x = np.array(xs)
    return x, np.sqrt(np.maximum(1 - x * x, 0)), 2 * math.pi * x * np.array(ws) * s


def law_nodes_today(l, rho):
    if 0 < l < 1:
        parts = [tanh_sinh_nodes(0.0, l, 5), tanh_sinh_nodes(l, 1.0, 5)]
        return tuple(np.concatenate([p[i] for p in parts]) for i in range(3))
    return tanh_sinh_nodes(0.0, 1.0, 5 if l < 2 else 4)


ALPHAS = truth_tables.ALPHAS


def basis_values(mu):
    with np.errstate(divide="ignore", invalid="ignore"):
        safe = np.where(mu > 0, mu, 1.0)
        values = {"1": np.ones_like(mu), "mu": mu, "mu2": mu * mu, "sqrtmu": np.sqrt(mu),
                  "mu32": mu * np.sqrt(mu), "mulnmu": np.where(mu > 0, mu * np.log(safe), 0.0)}
        for a in ALPHAS:
            values[f"mu^{a}"] = np.where(mu > 0, safe ** a, 0.0)
    return values


def laws():
    """Each law as weights on the basis profiles, I = sum w_b phi_b."""
    out = {"uniform": {"1": 1.0}}
    for u in (0.2, 0.6, 1.0):
        out[f"linear u={u}"] = {"1": 1 - u, "mu": u}
    for a, b in ((0.4, 0.25), (0.8, -0.2), (0.1, 0.6)):
        out[f"quadratic {a},{b}"] = {"1": 1 - a - b, "mu": a + 2 * b, "mu2": -b}
    for c, d in ((0.2, 0.6), (0.8, -0.2), (-0.2, 1.0)):
        out[f"square-root {c},{d}"] = {"1": 1 - c - d, "mu": c, "sqrtmu": d}
    for c, d in ((0.7, 0.2), (0.6, 0.4), (0.9, -0.2)):
        out[f"logarithmic {c},{d}"] = {"1": 1 - c, "mu": c, "mulnmu": -d}
    for c, a in ((0.6, 0.3), (0.7, 0.6), (0.8, 0.8), (0.5, 1.3), (0.9, 1.7)):
        out[f"power-2 {c},{a}"] = {"1": 1 - c, f"mu^{a}": c}
    for coefficients in ((0.5, 0.2, 0.3, -0.2), (0.7, -0.9, 1.2, -0.4), (-0.5, 2.0, -1.5, 0.6)):
        weights = {"1": 1 - sum(coefficients)}
        for c, name in zip(coefficients, ("sqrtmu", "mu", "mu32", "mu2")):
            weights[name] = weights.get(name, 0.0) + c
        out[f"nonlinear {coefficients}"] = weights
    return out


def region(l):
    if abs(l - 1) <= 1e-3:
        return "rim"
    return "inside" if l < 1 else "outside"


def law_errors(rule):
    """[(error, rho, l, law, evaluations)] over every case of laws.jsonl."""
    rows = [json.loads(line) for line in (truth_tables.OUT / "laws.jsonl").read_text().splitlines()]
    out = []
    for row in rows:
        rho, l = row["rho"], row["l"]
        truth = {}
        for values in row["pieces"].values():
            for basis, value in values.items():
                truth[basis] = truth.get(basis, mpf(0)) + mpf(value)
        x, mu, W = rule(l, rho)
        A = ring(l, rho, x)
        estimates = {b: float(np.sum(W * A * v)) for b, v in basis_values(mu).items()}
        for name, weights in laws().items():
            exact = sum(mpf(w) * truth[b] for b, w in weights.items())
            estimate = sum(w * estimates[b] for b, w in weights.items())
            out.append((abs(float((mpf(estimate) - exact) / exact)), rho, l, name, len(x)))
    return out


# ---------------------------------------------------------------- sampled profiles

def piece_cells(a, b, l, eps):
    """[(sign, cells)] for a piece [a, b] of a sampled profile, in x. A lens
    closer to the piece than TAU of its width: the piece is the difference of
    two parts that end at the lens (the line through the samples and the ring
    continue analytically past the piece's end)."""
    points = points_in_x(l, eps) if l > 0 else [2j * eps, -2j * eps]
    if a < l < b:
        return [(1, graded_cells(a, l, "q", points)), (1, graded_cells(l, b, "p", points))]
    if l == a and l > 0:
        return [(1, graded_cells(a, b, "p", points))]
    if l == b:
        return [(1, graded_cells(a, b, "q", points))]
    gap = a - l if l < a else l - b
    if gap < TAU * (b - a) and l > 0:
        if l < a:
            return [(1, graded_cells(l, b, "p", points)), (-1, graded_cells(l, a, "p", points))]
        return [(1, graded_cells(a, l, "q", points)), (-1, graded_cells(b, l, "q", points))]
    return [(1, graded_cells(a, b, None, points + ([complex(l)] if l > 0 else [])))]


TAU = 0.25


def sampled_estimate(profile, rho, l, today=False):
    """(integral of 2 pi x A I over the source, evaluations); a piece where
    the profile is zero (beyond the samples) takes none in the new rule."""
    radii, brightness = truth_tables.PROFILES[profile]
    total, count = 0.0, 0
    for a, b in truth_tables.pieces(radii):
        c0, c1 = truth_tables.piece_line(radii, brightness, a, b)
        if today:
            if a < l < b:
                parts = [(1, tanh_sinh_nodes(a, l, 5)), (1, tanh_sinh_nodes(l, b, 5))]
            else:
                gap = a - l if l <= a else l - b
                parts = [(1, tanh_sinh_nodes(a, b, 5 if gap < b - a else 4))]
        elif c0 == 0 and c1 == 0:
            continue
        else:
            parts = [(s, nodes(c, "x")) for s, c in piece_cells(a, b, l, 1 / rho)]
        for sign, (x, _, W) in parts:
            if len(x):
                total += sign * float(np.sum(W * ring(l, rho, x) * (c0 + c1 * x)))
                count += len(x)
    return total, count


def sampled_errors(today=False):
    out = []
    for line in (truth_tables.OUT / "sampled.jsonl").read_text().splitlines():
        row = json.loads(line)
        radii, brightness = truth_tables.PROFILES[row["profile"]]
        exact = mpf(0)
        for a, b in truth_tables.pieces(radii):
            c0, c1 = truth_tables.piece_line(radii, brightness, a, b)
            m1, m2 = row["moments"][f"{a!r},{b!r}"]
            exact += 2 * pi * (c0 * mpf(m1) + c1 * mpf(m2))
        estimate, count = sampled_estimate(row["profile"], row["rho"], row["l"], today)
        out.append((abs(float((mpf(estimate) - exact) / exact)), row["profile"], row["rho"],
                    row["l"], count))
    return out


# ---------------------------------------------------------------- reports

def report_laws():
    for label, rule in (("tanh-sinh levels (today)", law_nodes_today), ("graded cells", law_nodes)):
        rows = law_errors(rule)
        print(f"{label}: worst relative error and mean (max) ring evaluations per separation")
        for family in ("uniform", "linear", "quadratic", "square-root", "logarithmic",
                       "power-2", "nonlinear"):
            cells = []
            for where in ("inside", "rim", "outside"):
                r = [x for x in rows if x[3].startswith(family) and region(x[2]) == where]
                cells.append(f"{max(r)[0]:.1e}")
            print(f"  {family:12s} inside {cells[0]}  rim {cells[1]}  outside {cells[2]}")
        for where in ("inside", "rim", "outside"):
            r = {(x[1], x[2]): x[4] for x in rows if region(x[2]) == where}
            by_rho = {}
            for (rho, _), n in r.items():
                by_rho.setdefault(rho, []).append(n)
            print(f"  evaluations {where:8s}" + "".join(
                f" {rho:g}:{np.mean(v):.0f}({max(v)})" for rho, v in sorted(by_rho.items())))


def report_sampled():
    for label, today in (("tanh-sinh levels (today)", True), ("graded cells", False)):
        rows = sampled_errors(today)
        print(f"{label}: worst relative error, mean (max) ring evaluations per separation")
        for profile in truth_tables.PROFILES:
            for where in ("inside", "rim", "outside"):
                r = [x for x in rows if x[1] == profile and region(x[3]) == where]
                if r:
                    worst = max(r)
                    print(f"  {profile:8s} {where:8s} {worst[0]:.1e} (rho={worst[2]}, l={worst[3]!r})"
                          f"  {np.mean([x[4] for x in r]):.0f} ({max(x[4] for x in r)})")


def report_counts():
    grid = [6 * i / 120 for i in range(120)]
    print("benchmarks/ring_by_ring_cost.py grid, l = 6 i / 120: mean ring evaluations")
    for rho in (0.01, 0.05, 0.1, 1.0, 3.0):
        for label, chosen in (("near field", lambda l: True), ("inside", lambda l: 0 < l < 1),
                              ("outside", lambda l: not 0 < l < 1)):
            ls = [l for l in grid if chosen(l)]
            old = np.mean([len(law_nodes_today(l, rho)[0]) for l in ls])
            new = np.mean([len(law_nodes(l, rho)[0]) for l in ls])
            print(f"  rho={rho:<5} {label:10s} {old:6.1f} -> {new:6.1f}  ({new / old:.2f})")
    print("u0 = 0 light curve, 20,000 epochs over |t| <= 0.1 tE: near-field epochs")
    for rho in (1e-3, 0.01, 0.05):
        ls = [abs(-0.1 + 0.2 * i / 19999) / rho for i in range(20000)]
        near = [l for l in ls if l < truth_tables.SEPARATIONS[-1]]
        sample = near[::7]
        old = np.mean([len(law_nodes_today(l, rho)[0]) for l in sample])
        new = np.mean([len(law_nodes(l, rho)[0]) for l in sample])
        print(f"  rho={rho:<6} near-field share {len(near) / len(ls):.2f}: "
              f"{old:6.1f} -> {new:6.1f}  ({new / old:.2f})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("what", choices=("laws", "sampled", "counts"))
    options = parser.parse_args()
    {"laws": report_laws, "sampled": report_sampled, "counts": report_counts}[options.what]()


if __name__ == "__main__":
    main()
