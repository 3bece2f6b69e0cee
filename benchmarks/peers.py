#!/usr/bin/env python3
"""magnikit against the finite-source point-lens magnifications astronomers
use today: time per separation and worst relative error against
high-precision truth.

    python benchmarks/peers.py            # full grid (about 10^3 separations per rho)
    python benchmarks/peers.py --quick    # every 10th separation, fewer repeats

Needs numpy, scipy, magnikit, MulensModel and VBMicrolensing; a peer that
cannot be imported is listed as such.  The truth is
benchmarks/data/peer_truth.txt (made once by benchmarks/make_peer_truth.py)
for source radii rho in {0.001, 0.01, 0.1, 1} Einstein radii, separations
inside the source, dense about its rim and outside it.

Every tool is asked for the same geometry: magnikit takes the separation
l in source radii with re = 1, rstar = rho; the peers take u = rho * l in
Einstein radii (MulensModel through a trajectory with u_0 = 0, t_0 = 0,
t_E = 1 observed at t = u).  The limb-darkening law is one law throughout:
I ∝ 1 - 0.6 (1 - mu), which is Gamma = 2 * 0.6/(3 - 0.6) = 0.5 in
MulensModel's convention and a1 = 0.6 in VBMicrolensing's.

Each method is timed on the whole grid of one rho per call (a Python loop of
scalar calls where the tool has no array form), best of several repeats
within a time budget; all figures come from one run.  The table goes to
stdout and, with a description of the machine, to benchmarks/RESULTS.md.
"""

import argparse
import datetime
import importlib.metadata
import math
import os
import pathlib
import platform
import sys
import time
import warnings
from dataclasses import dataclass, field

import numpy as np
import scipy.special as sc

HERE = pathlib.Path(__file__).resolve().parent
DATA = HERE / "data" / "peer_truth.txt"
RESULTS = HERE / "RESULTS.md"

LIMB_U = 0.6                          # I ∝ 1 - u (1 - mu)
LIMB_GAMMA = 2 * LIMB_U / (3 - LIMB_U)  # same law, fixed-total-flux convention
FLUX_MAP_SAMPLES = 200
NEAR = 2.0                            # separations l < NEAR source radii are "near"
# VBMicrolensing stops refining once its error estimate is below Tol
# (absolute, default 1e-2) or RelTol times the magnification (default 0).
# An absolute goal costs most where the magnification is largest, so the
# tight setting asks for a relative one.
VB_TIGHT = {"Tol": 0.0, "RelTol": 1e-6}


# ---------------------------------------------------------------- truth

@dataclass
class Grid:
    rho: float
    l: np.ndarray            # separations in source radii
    uniform: np.ndarray      # truth, uniform disc
    limb: np.ndarray         # truth, limb-darkened disc


def load_grids(every):
    rows = [line.split() for line in DATA.read_text().splitlines()
            if line and not line.startswith("#")]
    grids = []
    for rho in sorted({float(row[0]) for row in rows}):
        mine = np.array([[float(x) for x in row[1:]] for row in rows
                         if float(row[0]) == rho])[::every]
        grids.append(Grid(rho, mine[:, 0], mine[:, 1], mine[:, 2]))
    return grids


# ---------------------------------------------------------------- adapters
#
# An adapter takes (rho, l) and returns a thunk: a call with everything
# prepared that computes the magnifications at all separations l.

def magnikit_adapters():
    import magnikit

    def form(function, *profile):
        def prepare(rho, l):
            ls = [float(x) for x in l]
            return lambda: function(ls, 1.0, rho, *profile)
        return prepare

    theta = [0.5 * math.pi * k / (FLUX_MAP_SAMPLES - 1) for k in range(FLUX_MAP_SAMPLES)]
    radii = [math.sin(t) for t in theta]
    brightness = [1.0 - LIMB_U * (1.0 - math.cos(t)) for t in theta]
    return [
        ("uniform", "witt_mao_magnification", form(magnikit.witt_mao_magnification)),
        ("limb", "integrated_heyrovsky_magnification",
         form(magnikit.integrated_heyrovsky_magnification)),
        ("limb", "integrated_witt_mao_magnification",
         form(magnikit.integrated_witt_mao_magnification)),
        ("limb", f"integrated_flux_map_heyrovsky_magnification ({FLUX_MAP_SAMPLES} samples)",
         form(magnikit.integrated_flux_map_heyrovsky_magnification, radii, brightness)),
        # The same law by name, with the coefficient the peers take.
        ("limb", "limb_darkened_magnification (\"linear\", u = 0.6)",
         form(magnikit.limb_darkened_magnification, "linear", [LIMB_U])),
    ]


def mulensmodel_adapters():
    import MulensModel

    def method(name, gamma):
        def prepare(rho, l):
            times = rho * np.asarray(l, dtype=float)
            model = MulensModel.Model({"t_0": 0.0, "u_0": 0.0, "t_E": 1.0, "rho": rho})
            model.set_magnification_methods([-1.0, name, float(times.max()) + 1.0])
            return lambda: model.get_magnification(times, gamma=gamma)
        return prepare

    return [
        ("uniform", "finite_source_uniform_WittMao94", method("finite_source_uniform_WittMao94", 0.0)),
        ("uniform", "finite_source_uniform_Lee09", method("finite_source_uniform_Lee09", 0.0)),
        ("limb", "finite_source_LD_Yoo04", method("finite_source_LD_Yoo04", LIMB_GAMMA)),
        ("limb", "finite_source_LD_Lee09", method("finite_source_LD_Lee09", LIMB_GAMMA)),
    ]


def vbmicrolensing_adapters():
    import VBMicrolensing

    def function(name, a1, tolerances=None):
        def prepare(rho, l):
            lens = VBMicrolensing.VBMicrolensing()
            lens.a1 = a1                     # read by ESPLMag2 and ESPLMagDark
            for attribute, value in (tolerances or {}).items():
                setattr(lens, attribute, value)
            call = getattr(lens, name)
            us = [rho * float(x) for x in l]
            return lambda: [call(u, rho) for u in us]
        return prepare

    tight = " ".join(f"{k}={v:g}" for k, v in VB_TIGHT.items())
    return [
        ("uniform", "ESPLMag (table)", function("ESPLMag", 0.0)),
        ("uniform", "ESPLMag2", function("ESPLMag2", 0.0)),
        ("uniform", f"ESPLMag2 {tight}", function("ESPLMag2", 0.0, VB_TIGHT)),
        ("limb", "ESPLMagDark", function("ESPLMagDark", LIMB_U)),
        ("limb", f"ESPLMagDark {tight}", function("ESPLMagDark", LIMB_U, VB_TIGHT)),
    ]


def python_call_overhead():
    """ns per call of a Python loop over VBMicrolensing's point-source
    magnification: what any scalar-call tool pays per separation."""
    import VBMicrolensing
    call = VBMicrolensing.VBMicrolensing().PSPLMag
    us = [0.001 * i for i in range(1, 10001)]
    _, seconds = best_time(lambda: [call(u) for u in us], 20, 5.0)
    return seconds / len(us) * 1e9


def uniform_disc_closed_form(u, rho):
    """Witt & Mao (1994) uniform-disc magnification, vectorised over u.

    A = [ (u+rho) sqrt(4+(u-rho)^2)/rho^2 E(k)
          - (u-rho)(8+u^2-rho^2)/(rho^2 sqrt(4+(u-rho)^2)) K(k)
          + 4(1+rho^2)(u-rho)^2/(rho^2 (u+rho) sqrt(4+(u-rho)^2)) Pi(n,k) ] / (2 pi)
    with n = 4 u rho/(u+rho)^2, k^2 = m = 4n/(4+(u-rho)^2), and
    Pi(n|m) = R_F(0,1-m,1) + (n/3) R_J(0,1-m,1,1-n) (DLMF 19.25.1, 19.25.2).
    1-n and 1-m are formed without cancellation, (u-rho)^2/(u+rho)^2 and
    (u-rho)^2 (4+(u+rho)^2)/((u+rho)^2 (4+(u-rho)^2)), so that the rim
    (n, m -> 1) keeps its digits.  On the rim itself the K term vanishes and
    the Pi term tends to 4(1+rho^2) arctan(rho)/rho^2 (there
    (u-rho)^2 R_J -> 6 rho arctan(rho) as R_J scales like (u-rho)^-2)."""
    u = np.asarray(u, dtype=float)
    d, s = u - rho, u + rho
    q = 4.0 + d * d
    root = np.sqrt(q)
    n = np.minimum(4.0 * u * rho / (s * s), 1.0)      # rounding may push them past 1
    m = np.minimum(4.0 * n / q, 1.0)
    one_minus_n = (d / s) ** 2
    one_minus_m = d * d * (4.0 + s * s) / (s * s * q)
    rho2 = rho * rho
    with np.errstate(divide="ignore", invalid="ignore"):
        k = sc.ellipkm1(one_minus_m)
        pi = sc.elliprf(0.0, one_minus_m, 1.0) + n / 3.0 * sc.elliprj(0.0, one_minus_m, 1.0, one_minus_n)
        second = np.where(d == 0.0, 0.0, d * (8.0 + u * u - rho2) / (rho2 * root) * k)
        third = np.where(d == 0.0, 4.0 * (1.0 + rho2) * math.atan(rho) / rho2,
                         4.0 * (1.0 + rho2) * d * d / (rho2 * s * root) * pi)
    return (s * root / rho2 * sc.ellipe(m) - second + third) / (2.0 * math.pi)


def scipy_adapters():
    def prepare(rho, l):
        u = rho * np.asarray(l, dtype=float)
        return lambda: uniform_disc_closed_form(u, rho)
    return [("uniform", "Witt–Mao closed form, vectorised", prepare)]


TOOLS = [
    ("magnikit", magnikit_adapters),
    ("MulensModel", mulensmodel_adapters),
    ("VBMicrolensing", vbmicrolensing_adapters),
    ("NumPy/SciPy", scipy_adapters),
]


# ---------------------------------------------------------------- timing

def best_time(thunk, repeats, budget):
    """(values of the first call, best seconds per call) over up to
    `repeats` calls, fewer once `budget` seconds are spent."""
    times, values = [], None
    while len(times) < repeats and sum(times) < budget:
        started = time.perf_counter()
        result = thunk()
        times.append(time.perf_counter() - started)
        if values is None:
            values = np.asarray(result, dtype=float)
    return values, min(times)


@dataclass
class Row:
    tool: str
    method: str
    law: str
    rho: float
    ns: float = math.nan
    worst_near: float = math.nan
    worst_at: float = math.nan
    worst_far: float = math.nan
    notes: list = field(default_factory=list)
    ratio: float = math.nan


def failing_separations(prepare, grid):
    """{index: "raises" or "non-finite"} for the separations at which the
    method fails when called on that separation alone."""
    bad = {}
    for i in range(len(grid.l)):
        try:
            value = np.asarray(prepare(grid.rho, grid.l[i:i + 1])(), dtype=float)
            if not np.all(np.isfinite(value)):
                bad[i] = "non-finite"
        except Exception:
            bad[i] = "raises"
    return bad


def failure_note(bad, l):
    notes = []
    for kind in ("raises", "non-finite"):
        where = [i for i, k in bad.items() if k == kind]
        if where:
            shown = ", ".join(repr(float(l[i])) for i in where[:3])
            notes.append(f"{kind} at {len(where)} separation(s): l = {shown}"
                         + (", …" if len(where) > 3 else ""))
    return notes


def warning_note(caught):
    """One note per distinct warning: its first line, cut short."""
    texts = []
    for warning in caught:
        text = str(warning.message).strip().splitlines()[0]
        text = text[:70] + "…" if len(text) > 70 else text
        if text not in texts:
            texts.append(text)
    return [f"warns “{text}”" for text in texts]


def measure(tool, method, law, prepare, grid, repeats, budget):
    row = Row(tool, method, law, grid.rho)
    keep = np.arange(len(grid.l))
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            prepare(grid.rho, grid.l[:4])()      # warm-up: tables loaded, first-call costs
            values, seconds = best_time(prepare(grid.rho, grid.l), repeats, budget)
            if not np.all(np.isfinite(values)):
                raise ArithmeticError("non-finite result")
        except Exception:
            bad = failing_separations(prepare, grid)
            keep = np.setdiff1d(keep, list(bad))
            row.notes += failure_note(bad, grid.l)
            if len(keep) == 0:
                return row
            values, seconds = best_time(prepare(grid.rho, grid.l[keep]), repeats, budget)
    row.notes += warning_note(caught)
    truth = (grid.uniform if law == "uniform" else grid.limb)[keep]
    errors = np.abs(values / truth - 1.0)
    errors[~np.isfinite(errors)] = np.inf
    row.ns = seconds / len(keep) * 1e9
    l = grid.l[keep]
    near = np.flatnonzero(l < NEAR)
    if len(near):
        worst = near[np.argmax(errors[near])]
        row.worst_near, row.worst_at = float(errors[worst]), float(l[worst])
    if (l >= NEAR).any():
        row.worst_far = float(errors[l >= NEAR].max())
    return row


# ---------------------------------------------------------------- table

REFERENCE = {"uniform": "witt_mao_magnification",
             "limb": "integrated_heyrovsky_magnification"}


def set_ratios(rows):
    reference = {(r.law, r.rho): r.ns for r in rows
                 if r.tool == "magnikit" and r.method == REFERENCE[r.law]}
    for r in rows:
        r.ratio = r.ns / reference.get((r.law, r.rho), math.nan)


def table(rows):
    def number(x, style):
        return "—" if not math.isfinite(x) else format(x, style)

    lines = [f"| tool | method | law | ρ | ns / separation | × magnikit | worst rel. error, l < {NEAR:g} "
             f"| at l | worst, l ≥ {NEAR:g} | notes |",
             "|---|---|---|---|---:|---:|---:|---:|---:|---|"]
    for r in rows:
        lines.append(
            f"| {r.tool} | {r.method} | {'uniform' if r.law == 'uniform' else 'linear 0.6'} "
            f"| {r.rho:g} | {number(r.ns, ',.0f')} | {number(r.ratio, '.3g')} "
            f"| {number(r.worst_near, '.1e')} | {repr(r.worst_at) if math.isfinite(r.worst_at) else '—'} "
            f"| {number(r.worst_far, '.1e')} | {'; '.join(r.notes)} |")
    return "\n".join(lines)


def machine(load_before):
    model = "unknown"
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass

    def version(name):
        try:
            return importlib.metadata.version(name)
        except importlib.metadata.PackageNotFoundError:
            return "not installed"

    packages = ", ".join(f"{name} {version(name)}" for name in
                         ("magnikit", "numpy", "scipy", "MulensModel", "VBMicrolensing"))
    blas = ", ".join(f"{k}={v}" for k, v in os.environ.items() if k.startswith("OPENBLAS"))
    return [
        f"- CPU: {model}, {os.cpu_count()} logical cores "
        f"({platform.machine()}, {platform.system()} {platform.release()})",
        f"- Load average (1 min) at start and end: {load_before:.2f}, {os.getloadavg()[0]:.2f}",
        f"- Python {platform.python_version()} ({platform.python_implementation()})",
        f"- Packages: {packages}",
        f"- Environment: {blas or 'no OPENBLAS_* variables'}",
        f"- Date: {datetime.datetime.now().astimezone().strftime('%Y-%m-%d %H:%M %Z')}",
    ]


def report(rows, missing, overhead, options, grids, load_before):
    count = ", ".join(f"{len(g.l)} (ρ = {g.rho:g})" for g in grids)
    tight = ", ".join(f"{k} = {v:g}" for k, v in VB_TIGHT.items())
    text = [
        "# magnikit and its peers",
        "",
        f"Made by `python benchmarks/peers.py{' --quick' if options.quick else ''}` in one run; "
        "compare ratios rather than absolute times across machines.",
        "",
        "## Machine", "", *machine(load_before), "",
        "## Results", "",
        f"- Separations per ρ: {count}; inside the source, dense about its rim "
        "(down to |l − 1| = 1e-10) and outside it to max(5, 30ρ) Einstein radii "
        "(l in source radii, u = ρl in Einstein radii).",
        "- Truth: `benchmarks/data/peer_truth.txt` (30-digit quadrature); errors are "
        f"|A/A_true − 1|, worst over l < {NEAR:g} (at the l given) and over l ≥ {NEAR:g}.",
        f"- Time: best of up to {options.repeats} calls on the whole grid of one ρ "
        f"(fewer when they take over {options.budget:g} s), divided by the number of separations. "
        "VBMicrolensing is called once per separation from a Python loop; such a loop "
        f"over its point-source magnification `PSPLMag` costs {overhead:.0f} ns per call here. "
        "magnikit is given a list of floats, MulensModel and the SciPy form NumPy arrays.",
        "- × magnikit: time over magnikit's `witt_mao_magnification` (uniform) or "
        "`integrated_heyrovsky_magnification` (limb-darkened) at the same ρ.",
        "- Law: uniform disc, or I ∝ 1 − 0.6 (1 − μ): MulensModel Γ = 0.5, "
        "VBMicrolensing a1 = 0.6, magnikit's built-in law; the flux-map form samples it at "
        f"{FLUX_MAP_SAMPLES} radii x = sin θ, θ uniform in [0, π/2].",
        f"- VBMicrolensing: default tolerance Tol = 1e-2 (absolute); tight: {tight}.",
        "- MulensModel: a `Model` with t_0 = 0, u_0 = 0, t_E = 1 observed at t = u, the "
        "method set over all epochs.",
        "",
        table(rows),
    ]
    if missing:
        text += ["", "Not measured: " + "; ".join(missing)]
    return "\n".join(text) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true",
                        help="every 10th separation and at most 3 repeats")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--budget", type=float, default=20.0,
                        help="seconds of repeated calls per method and rho")
    parser.add_argument("--output", type=pathlib.Path, default=RESULTS)
    options = parser.parse_args()
    if options.quick:
        options.repeats = min(options.repeats, 3)
    load_before = os.getloadavg()[0]
    grids = load_grids(10 if options.quick else 1)

    methods, missing = [], []
    for tool, adapters in TOOLS:
        try:
            methods += [(tool, *adapter) for adapter in adapters()]
        except ImportError as error:
            missing.append(f"{tool} ({error})")
    try:
        overhead = python_call_overhead()
    except ImportError:
        overhead = math.nan

    rows = []
    for grid in grids:
        for tool, law, method, prepare in methods:
            row = measure(tool, method, law, prepare, grid, options.repeats, options.budget)
            rows.append(row)
            print(f"ρ = {grid.rho:g}  {tool} {method}: {row.ns:,.0f} ns, worst "
                  f"{row.worst_near:.1e} near, {row.worst_far:.1e} far", file=sys.stderr, flush=True)
    order = {tool: i for i, (tool, _) in enumerate(TOOLS)}
    rows.sort(key=lambda r: (r.law != "uniform", r.rho, order[r.tool]))
    set_ratios(rows)
    text = report(rows, missing, overhead, options, grids, load_before)
    print(text)
    options.output.write_text(text + later_sections(options.output))


def later_sections(path):
    """The sections other benchmarks keep in the same file after this one's,
    from the light-curve section on."""
    begin = "<!-- light_curve.py -->"
    old = path.read_text() if path.exists() else ""
    if begin not in old:
        return ""
    return "\n" + begin + old.split(begin, 1)[1]


if __name__ == "__main__":
    main()
