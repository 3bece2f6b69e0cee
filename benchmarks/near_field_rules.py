#!/usr/bin/env python3
"""The near field's rule over the source radius, measured: worst relative
error of every integrated form against the 20-digit integrals of
benchmarks/near_field_truth.py, and ring (or disc) evaluations per near-field
separation against the tanh-sinh levels it replaced.

    python benchmarks/near_field_rules.py accuracy   # every form against truth
    python benchmarks/near_field_rules.py counts     # evaluations per separation

Needs the module and the test-only module on PYTHONPATH (build with
-DMAGNIKIT_BUILD_INTERNALS=ON, then build/dev and build/dev/internals), and
the truth in build/near-field-truth/ (made by near_field_truth.py).

The rule (graded cells, models/radius_nodes.hpp and numeric/graded_cells.hpp):
a piece of the source radius is cut at the ring through the lens; each part
is covered by cells graded from its singular end, the first as wide as the
distance from that end to the nearest other singular point of the magnified
flux, each further one three times its distance from the nearest singular
point; the cell at the lens takes a generalised Gaussian rule exact for x^k
and x^k log x, every other cell the least Gauss-Legendre order whose
Bernstein ellipse keeps every singular point outside r^-2n <= 1e-18. A law's
radius is taken in v = (1 - x^2)^(1/4) where the lens is in the outer half or
beyond the rim, with the limb's cell by the generalised rule; sampled
profiles piece by piece in x. Today's rule, for comparison: tanh-sinh levels
0-4 (97 nodes) on a part that ends at the lens or lies within its own width
of it, levels 0-3 (49) elsewhere.
"""

import argparse
import json
import math
import pathlib
import sys

from mpmath import mp, mpf, pi

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "benchmarks"))
import near_field_truth as truth_tables  # noqa: E402

import magnikit  # noqa: E402
import _magnikit_internals as internals  # noqa: E402

REGIONS = ("inside", "rim", "outside")


def region(l):
    if abs(l - 1) <= 1e-3:
        return "rim"
    return "inside" if l < 1 else "outside"


# ---------------------------------------------------------------- laws

def basis_flux(name):
    """int_0^1 2 pi x phi dx, exactly: 2 pi / (p + 2), -2 pi / 9 for mu ln mu."""
    powers = {"1": 0, "mu": 1, "mu2": 2, "sqrtmu": mpf(1) / 2, "mu32": mpf(3) / 2}
    if name == "mulnmu":
        return -2 * pi / 9
    p = powers[name] if name in powers else mpf(name[3:])
    return 2 * pi / (p + 2)


def law_weights(law, c):
    """The law as weights on the basis profiles of the truth tables."""
    if law == "uniform":
        return {"1": 1}
    if law == "linear":
        return {"1": 1 - c[0], "mu": c[0]}
    if law == "quadratic":
        return {"1": 1 - c[0] - c[1], "mu": c[0] + 2 * c[1], "mu2": -c[1]}
    if law == "square-root":
        return {"1": 1 - c[0] - c[1], "mu": c[0], "sqrtmu": c[1]}
    if law == "logarithmic":
        return {"1": 1 - c[0], "mu": c[0], "mulnmu": -c[1]}
    if law == "power-2":
        return {"1": 1 - c[0], f"mu^{c[1]}": c[0]}
    weights = {"1": 1 - sum(c), "sqrtmu": c[0], "mu": c[1], "mu32": c[2], "mu2": c[3]}
    return weights


LAWS = [("uniform", [])]
LAWS += [("linear", [u]) for u in (0.2, 0.6, 1.0)]
LAWS += [("quadratic", c) for c in ([0.4, 0.25], [0.8, -0.2], [0.1, 0.6])]
LAWS += [("square-root", c) for c in ([0.2, 0.6], [0.8, -0.2], [-0.2, 1.0])]
LAWS += [("logarithmic", c) for c in ([0.7, 0.2], [0.6, 0.4], [0.9, -0.2])]
LAWS += [("power-2", [c, a]) for c, a in zip((0.6, 0.7, 0.8, 0.5, 0.9), truth_tables.ALPHAS)]
LAWS += [("nonlinear", c) for c in ([0.5, 0.2, 0.3, -0.2], [0.7, -0.9, 1.2, -0.4],
                                    [-0.5, 2.0, -1.5, 0.6])]


def law_rows():
    rows = []
    for line in (truth_tables.OUT / "laws.jsonl").read_text().splitlines():
        row = json.loads(line)
        truth = {}
        for values in row["pieces"].values():
            for basis, value in values.items():
                truth[basis] = truth.get(basis, mpf(0)) + mpf(value)
        rows.append((row["rho"], row["l"], truth))
    return rows


def law_truth(truth, weights):
    magnified = sum(mpf(w) * truth[b] for b, w in weights.items())
    return magnified / sum(mpf(w) * basis_flux(b) for b, w in weights.items())


def relative(value, exact):
    return abs(float((mpf(value) - exact) / exact))


def law_errors():
    """{(form, family, region): (error, rho, l)}: the limb-darkening function
    for every law, the built-in law by both integrated forms."""
    worst = {}

    def note(key, error, rho, l):
        if error >= worst.get(key, (-1,))[0]:
            worst[key] = (error, rho, l)

    for rho, l, truth in law_rows():
        where = region(l)
        for law, c in LAWS:
            exact = law_truth(truth, law_weights(law, c))
            value = magnikit.limb_darkened_magnification([l], 1.0, rho, law, c)[0]
            note(("limb_darkened_magnification", law, where), relative(value, exact), rho, l)
        exact = law_truth(truth, law_weights("linear", [0.6]))
        for form in ("integrated_heyrovsky_magnification", "integrated_witt_mao_magnification"):
            value = getattr(magnikit, form)([l], 1.0, rho)[0]
            note((form, "linear 0.6", where), relative(value, exact), rho, l)
    return worst


# ---------------------------------------------------------------- sampled

def sampled_errors():
    """{(form, profile, region): (error, rho, l)} for both flux-map forms."""
    worst = {}
    for line in (truth_tables.OUT / "sampled.jsonl").read_text().splitlines():
        row = json.loads(line)
        radii, brightness = truth_tables.PROFILES[row["profile"]]
        magnified = flux = mpf(0)
        for a, b in truth_tables.pieces(radii):
            c0, c1 = truth_tables.piece_line(radii, brightness, a, b)
            m1, m2 = row["moments"][f"{a!r},{b!r}"]
            magnified += 2 * pi * (c0 * mpf(m1) + c1 * mpf(m2))
            a, b = mpf(a), mpf(b)
            flux += 2 * pi * (c0 * (b * b - a * a) / 2 + c1 * (b ** 3 - a ** 3) / 3)
        exact = magnified / flux
        for form in ("integrated_flux_map_heyrovsky_magnification",
                     "integrated_flux_map_witt_mao_magnification"):
            value = getattr(magnikit, form)([row["l"]], 1.0, row["rho"], radii, brightness)[0]
            key = (form, row["profile"], region(row["l"]))
            error = relative(value, exact)
            if error >= worst.get(key, (-1,))[0]:
                worst[key] = (error, row["rho"], row["l"])
    return worst


def report_accuracy():
    mp.dps = truth_tables.DIGITS
    print("worst relative error against truth (rho, l of the worst)")
    for title, worst in (("laws", law_errors()), ("sampled profiles", sampled_errors())):
        print(f"\n{title}:")
        names = sorted({(form, what) for form, what, _ in worst}, key=str)
        for form, what in names:
            cells = []
            for where in REGIONS:
                if (form, what, where) in worst:
                    error, rho, l = worst[form, what, where]
                    cells.append(f"{where} {error:.1e} ({rho:g}, {l!r})")
            print(f"  {form} {what}: " + "; ".join(cells))


# ---------------------------------------------------------------- counts

def law_count(l, rho):
    return len(internals.law_nodes(l, 1.0 / rho)[0])


def law_count_before(l):
    """Tanh-sinh levels: 97 per part split at the lens or within the piece's
    width of it, 49 farther away."""
    if 0 < l < 1:
        return 194
    return 97 if l - 1 < 1 else 49


def piece_count(l, rho, a, b):
    return len(internals.piece_nodes(l, 1.0 / rho, a, b)[0])


def piece_count_before(l, a, b):
    if a < l < b:
        return 194
    gap = a - l if l <= a else l - b
    return 97 if gap < b - a else 49


def sampled_counts(profile, l, rho):
    """(before, after) evaluations of one separation: a piece where the
    profile is zero takes none now."""
    radii, brightness = truth_tables.PROFILES[profile]
    before = after = 0
    for a, b in truth_tables.pieces(radii):
        before += piece_count_before(l, a, b)
        if truth_tables.piece_line(radii, brightness, a, b) != (0.0, 0.0):
            after += piece_count(l, rho, a, b)
    return before, after


def mean(values):
    values = list(values)
    return sum(values) / len(values)


def report_counts():
    rhos = truth_tables.RHOS
    print("law's piece [0, 1], ring evaluations per separation, before -> after "
          "(mean over the truth grid's separations; max)")
    for where in REGIONS:
        ls = [l for l in truth_tables.SEPARATIONS if region(l) == where]
        before = mean(law_count_before(l) for l in ls)
        cells = [f"rho={rho:g}: {before:.0f} -> {mean(law_count(l, rho) for l in ls):.0f} "
                 f"({max(law_count(l, rho) for l in ls)})" for rho in rhos]
        print(f"  {where:8s} " + ", ".join(cells))
    print("\nbenchmarks/near_field_cost.py grid, l = 6 i / 120: mean per separation")
    grid = [6 * i / 120 for i in range(120)]
    for rho in (0.01, 0.05, 0.1, 1.0, 3.0):
        for label, chosen in (("near field", lambda l: True), ("inside", lambda l: 0 < l < 1),
                              ("outside", lambda l: not 0 < l < 1)):
            ls = [l for l in grid if chosen(l)]
            old = mean(law_count_before(l) for l in ls)
            new = mean(law_count(l, rho) for l in ls)
            print(f"  rho={rho:<5} {label:10s} {old:6.1f} -> {new:6.1f}  ({new / old:.2f})")
    print("\nu0 = 0 light curve, 20,000 epochs over |t - t0| <= 0.1 tE: near-field epochs")
    for rho in (1e-3, 0.01, 0.05):
        ls = [abs(-0.1 + 0.2 * i / 19999) / rho for i in range(20000)]
        near = [l for l in ls if l < 6.0]
        old = mean(law_count_before(l) for l in near)
        new = mean(law_count(l, rho) for l in near)
        print(f"  rho={rho:<6} near-field share {len(near) / len(ls):.2f}: "
              f"{old:6.1f} -> {new:6.1f}  ({new / old:.2f})")
    print("\nsampled profiles: evaluations per separation (mean over the profile's "
          "separations of the truth grid), and per piece")
    for profile in truth_tables.PROFILES:
        ls = sorted(set(truth_tables.QUICK_SEPARATIONS)
                    | set(truth_tables.profile_separations(profile, False)))
        pieces = len(truth_tables.pieces(truth_tables.PROFILES[profile][0]))
        cells = []
        for rho in truth_tables.SAMPLED_RHOS:
            counts = [sampled_counts(profile, l, rho) for l in ls]
            before, after = mean(c[0] for c in counts), mean(c[1] for c in counts)
            cells.append(f"rho={rho:g}: {before:.0f} -> {after:.0f} "
                         f"({before / pieces:.0f} -> {after / pieces:.1f} per piece)")
        print(f"  {profile} ({pieces} pieces): " + ", ".join(cells))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("what", choices=("accuracy", "counts"))
    options = parser.parse_args()
    {"accuracy": report_accuracy, "counts": report_counts}[options.what]()


if __name__ == "__main__":
    main()
