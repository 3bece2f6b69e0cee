#!/usr/bin/env python3
"""Worst relative error of every function against the reference
magnifications in tests/data (high-precision truth, scripts/generate_reference.py),
by region of the lens: inside the source, within 1e-3 source radii of its rim,
outside it in the near field (l < 6) and in the far field (l >= 6).

    python benchmarks/accuracy.py        # a Markdown table on stdout

Runs on the installed magnikit (or whatever is first on PYTHONPATH).
"""

import math
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests"))
import magnikit  # noqa: E402
from reference import load_reference, reference_profile  # noqa: E402

REGIONS = ("inside", "rim", "outside", "far")
FAR_FIELD_BL = [0.0, 0.25, 0.6, 0.9, 1.0]
FAR_FIELD_BF = [1.0, 0.95, 0.8, 0.55, 0.3]
FAR_FIELD_COLUMNS = {"disc": 3, "rim": 4, "limb_darkened": 5, "flux_map": 6}


def region(l):
    if l >= 6.0:
        return "far"
    if abs(l - 1.0) <= 1e-3:
        return "rim"
    return "inside" if l < 1.0 else "outside"


class Worst:
    """The worst relative error seen in each region."""

    def __init__(self):
        self.errors = {name: 0.0 for name in REGIONS}

    def add(self, l, value, truth):
        error = abs(value - truth) / abs(truth) if math.isfinite(value) else math.inf
        self.errors[region(l)] = max(self.errors[region(l)], error)


def coefficients(row):
    return [c for c in row if c != "-"]


def measure():
    worst = {}

    def record(name, l, value, truth):
        worst.setdefault(name, Worst()).add(l, value, truth)

    for l, re, rstar, truth in load_reference("uniform_disc"):
        record("witt_mao_magnification", l, magnikit.witt_mao_magnification([l], re, rstar)[0], truth)
    for l, re, rstar, truth in load_reference("limb_darkened"):
        for name in ("integrated_heyrovsky_magnification", "integrated_witt_mao_magnification"):
            record(name, l, getattr(magnikit, name)([l], re, rstar)[0], truth)
    for l, re, rstar, spacing, intervals, truth in load_reference("flux_map"):
        bl, bf = reference_profile(spacing, intervals)
        for name in ("integrated_flux_map_heyrovsky_magnification",
                     "integrated_flux_map_witt_mao_magnification"):
            record(name, l, getattr(magnikit, name)([l], re, rstar, bl, bf)[0], truth)
    for l, r, re, rstar, truth in load_reference("ring"):
        record("heyrovsky_magnification", l, magnikit.heyrovsky_magnification(l, r, re, rstar), truth)
    for row in load_reference("limb_darkening_laws"):
        l, re, rstar, law = row[:4]
        value = magnikit.limb_darkened_magnification([l], re, rstar, law, coefficients(row[4:8]))[0]
        record("limb_darkened_magnification", l, value, row[8])
    for row in load_reference("far_field"):
        l, re, rstar = row[:3]
        c = FAR_FIELD_COLUMNS
        record("witt_mao_magnification", l, magnikit.witt_mao_magnification([l], re, rstar)[0], row[c["disc"]])
        record("heyrovsky_magnification", l, magnikit.heyrovsky_magnification(l, 1.0, re, rstar), row[c["rim"]])
        for name in ("integrated_heyrovsky_magnification", "integrated_witt_mao_magnification"):
            record(name, l, getattr(magnikit, name)([l], re, rstar)[0], row[c["limb_darkened"]])
        for name in ("integrated_flux_map_heyrovsky_magnification",
                     "integrated_flux_map_witt_mao_magnification"):
            value = getattr(magnikit, name)([l], re, rstar, FAR_FIELD_BL, FAR_FIELD_BF)[0]
            record(name, l, value, row[c["flux_map"]])
    return worst


def main():
    worst = measure()
    print("| function | lens inside | within 1e-3 of the rim | outside, l < 6 | far field, l ≥ 6 |")
    print("|---|---:|---:|---:|---:|")
    for name in magnikit.__all__:
        if name in worst:
            cells = " | ".join(f"{worst[name].errors[r]:.1e}" for r in REGIONS)
            print(f"| `{name}` | {cells} |")


if __name__ == "__main__":
    main()
