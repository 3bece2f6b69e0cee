#!/usr/bin/env python3
"""Whole light curves: cost per epoch of every public function with and
without the far-field series, and of the peers on the same light curves.

    python benchmarks/light_curve.py                  # full run
    python benchmarks/light_curve.py --quick          # fewer rounds
    python benchmarks/light_curve.py --before PATH    # compare against another build
    python benchmarks/light_curve.py --high-magnification [--baseline COMMIT]

A light curve is 2,000 epochs evenly spread over |t - t0| <= 2 t_E, lens
trajectory u(t) = sqrt(u0^2 + ((t - t0)/t_E)^2) Einstein radii with
u0 = 0.1 rho, for source radii rho in {1e-3, 1e-2, 0.05} Einstein radii;
magnikit is given l = u / rho source radii with re = 1, rstar = rho.

"before" is the same source tree built with -DMAGNIKIT_FAR_FIELD=OFF (made
in build/no-far-field on first use, with the cmake and ninja of this
environment), which computes every result as the landed build did; "after"
is the installed magnikit.  Both modules are loaded into this one process
and called alternately, each call timed by the CPU time of the calling
thread; the figure is the best call of each, divided by the number of
epochs.  The peers (benchmarks/peers.py: MulensModel, VBMicrolensing, the
vectorised SciPy closed form) are timed the same way on the same epochs.

The table goes to stdout and into benchmarks/RESULTS.md, between the
markers of its own section.

--high-magnification: a lens crossing the source's centre instead, u0 = 0,
HIGH_EPOCHS epochs evenly spread over |t - t0| <= 0.1 t_E, where every epoch
of rho = 0.05 and most of rho = 0.01 lie in the near field (l < 6 source
radii); "before" is git COMMIT (default 30ec79f) built beside, so that the
near field's rule is compared with the one it replaced, and the peers are
timed on the same epochs. Its own section of RESULTS.md.
"""

import argparse
import math
import os
import pathlib
import sys
import time

from builds import build_revision, build_this_tree, load_module

HERE = pathlib.Path(__file__).resolve().parent
RESULTS = HERE / "RESULTS.md"
BEGIN, END = "<!-- light_curve.py -->", "<!-- /light_curve.py -->"

EPOCHS = 2000
RHOS = (1e-3, 1e-2, 0.05)
HIGH_EPOCHS = 20000
HIGH_SPAN = 0.1  # |t - t0| <= HIGH_SPAN t_E
HIGH_BEGIN, HIGH_END = "<!-- light_curve.py high magnification -->", \
    "<!-- /light_curve.py high magnification -->"
FLUX_MAP_SAMPLES = 200
LIMB_U = 0.6
# Other laws: a quadratic law (a, b), a four-coefficient law, and the
# quadratic law in five bands at once.
QUADRATIC = (0.4, 0.25)
NONLINEAR = (0.5, -0.2, 0.6, -0.25)
FIVE_BANDS = [[0.6, 0.15], [0.5, 0.2], [0.4, 0.25], [0.3, 0.3], [0.2, 0.3]]

sys.path.insert(0, str(HERE))


def light_curve(rho):
    """Separations in source radii of one light curve."""
    u0 = 0.1 * rho
    taus = [-2.0 + 4.0 * i / (EPOCHS - 1) for i in range(EPOCHS)]
    return [math.sqrt(u0 * u0 + tau * tau) / rho for tau in taus]


def high_magnification_curve(rho):
    """Separations in source radii of a light curve through the centre."""
    taus = [-HIGH_SPAN + 2 * HIGH_SPAN * i / (HIGH_EPOCHS - 1) for i in range(HIGH_EPOCHS)]
    return [abs(tau) / rho for tau in taus]


def sampled_law():
    theta = [0.5 * math.pi * k / (FLUX_MAP_SAMPLES - 1) for k in range(FLUX_MAP_SAMPLES)]
    return ([math.sin(t) for t in theta],
            [1.0 - LIMB_U * (1.0 - math.cos(t)) for t in theta])


def magnikit_calls(module, rho, ls, bl, bf):
    """(function, law, thunk) for every public function on one light curve."""
    return [
        ("witt_mao_magnification", "uniform",
         lambda: module.witt_mao_magnification(ls, 1.0, rho)),
        ("heyrovsky_magnification (the rim, a loop of calls)", "ring",
         lambda: [module.heyrovsky_magnification(l, 1.0, 1.0, rho) for l in ls]),
        ("integrated_heyrovsky_magnification", "linear 0.6",
         lambda: module.integrated_heyrovsky_magnification(ls, 1.0, rho)),
        ("integrated_witt_mao_magnification", "linear 0.6",
         lambda: module.integrated_witt_mao_magnification(ls, 1.0, rho)),
        (f"integrated_flux_map_heyrovsky_magnification ({FLUX_MAP_SAMPLES} samples)",
         "linear 0.6", lambda: module.integrated_flux_map_heyrovsky_magnification(
             ls, 1.0, rho, bl, bf)),
        (f"integrated_flux_map_witt_mao_magnification ({FLUX_MAP_SAMPLES} samples)",
         "linear 0.6", lambda: module.integrated_flux_map_witt_mao_magnification(
             ls, 1.0, rho, bl, bf)),
        (f"discrete_flux_map_heyrovsky_magnification ({FLUX_MAP_SAMPLES} rings)",
         "rings", lambda: module.discrete_flux_map_heyrovsky_magnification(
             ls, 1.0, rho, bl, bf)),
        ("limb_darkened_magnification", "linear 0.6",
         lambda: module.limb_darkened_magnification(ls, 1.0, rho, "linear", [LIMB_U])),
        ("limb_darkened_magnification", f"quadratic {QUADRATIC}",
         lambda: module.limb_darkened_magnification(ls, 1.0, rho, "quadratic", list(QUADRATIC))),
        ("limb_darkened_magnification", f"nonlinear {NONLINEAR}",
         lambda: module.limb_darkened_magnification(ls, 1.0, rho, "nonlinear", list(NONLINEAR))),
        ("limb_darkened_magnification (5 bands)", "quadratic",
         lambda: module.limb_darkened_magnification(ls, 1.0, rho, "quadratic", FIVE_BANDS)),
    ]


def cpu_seconds(thunk):
    started = time.thread_time()
    result = thunk()
    return time.thread_time() - started, result


def best_of_alternating(thunks, rounds, budget):
    """Best CPU time of each thunk, calling them in turn, round by round."""
    best = [math.inf] * len(thunks)
    results = [None] * len(thunks)
    spent = 0.0
    for _ in range(rounds):
        for i, thunk in enumerate(thunks):
            seconds, value = cpu_seconds(thunk)
            best[i] = min(best[i], seconds)
            spent += seconds
            if results[i] is None:
                results[i] = value
        if spent > budget:
            break
    return best, results


def largest_change(before, after):
    """The largest relative change of any value, in a list of magnifications
    or a list of such lists (one per band)."""
    worst = 0.0
    for a, b in zip(before, after):
        if isinstance(a, list):
            worst = max(worst, largest_change(a, b))
        elif a != b:
            worst = max(worst, abs(b / a - 1) if a else math.inf)
    return worst


def far_share(ls):
    return sum(1 for l in ls if l >= 6.0) / len(ls)


def peer_calls():
    """(tool, method, law, prepare) from benchmarks/peers.py, and what is missing."""
    import peers
    calls, missing = [], []
    for tool, adapters in peers.TOOLS:
        if tool == "magnikit":
            continue
        try:
            calls += [(tool, method, law, prepare) for law, method, prepare in adapters()]
        except ImportError as error:
            missing.append(f"{tool} ({error})")
    return calls, missing


def high_magnification_calls(module, rho, ls, bl, bf):
    """(function, law, thunk) for the integrated forms on one light curve."""
    calls = [
        ("integrated_heyrovsky_magnification", "linear 0.6",
         lambda: module.integrated_heyrovsky_magnification(ls, 1.0, rho)),
        ("integrated_witt_mao_magnification", "linear 0.6",
         lambda: module.integrated_witt_mao_magnification(ls, 1.0, rho)),
        (f"integrated_flux_map_heyrovsky_magnification ({FLUX_MAP_SAMPLES} samples)",
         "linear 0.6", lambda: module.integrated_flux_map_heyrovsky_magnification(
             ls, 1.0, rho, bl, bf)),
        (f"integrated_flux_map_witt_mao_magnification ({FLUX_MAP_SAMPLES} samples)",
         "linear 0.6", lambda: module.integrated_flux_map_witt_mao_magnification(
             ls, 1.0, rho, bl, bf)),
    ]
    if hasattr(module, "limb_darkened_magnification"):
        calls.append(("limb_darkened_magnification (\"linear\", [0.6])", "linear 0.6",
                      lambda: module.limb_darkened_magnification(ls, 1.0, rho, "linear",
                                                                 [LIMB_U])))
    return calls


def high_magnification(options):
    import magnikit as after
    before, commit = build_revision(options.baseline, f"baseline-{options.baseline}")
    before = load_module(before)
    bl, bf = sampled_law()
    peers, missing = ([], []) if options.no_peers else peer_calls()
    load_start = os.getloadavg()[0]
    rows, peer_rows, shares = [], [], {}
    for rho in RHOS:
        ls = high_magnification_curve(rho)
        shares[rho] = 1 - far_share(ls)
        before_calls = {name: thunk for name, _, thunk in
                        high_magnification_calls(before, rho, ls, bl, bf)}
        for name, law, thunk_after in high_magnification_calls(after, rho, ls, bl, bf):
            thunks = [thunk_after] + ([before_calls[name]] if name in before_calls else [])
            times, values = best_of_alternating(thunks, options.rounds, options.budget)
            ns_after = times[0] / HIGH_EPOCHS * 1e9
            ns_before = times[1] / HIGH_EPOCHS * 1e9 if len(times) > 1 else None
            change = largest_change(values[1], values[0]) if len(values) > 1 else None
            rows.append((rho, name, ns_before, ns_after, change))
            print(f"ρ = {rho:g} {name}: {ns_before or math.nan:,.0f} → {ns_after:,.0f} ns "
                  "per epoch", file=sys.stderr, flush=True)
        for tool, method, law, prepare in peers:
            try:
                (seconds,), _ = best_of_alternating([prepare(rho, ls)], options.rounds,
                                                    options.budget)
                peer_rows.append((rho, f"{tool} {method}", law, seconds / HIGH_EPOCHS * 1e9))
            except Exception as error:  # noqa: BLE001 -- a peer failing is reported
                peer_rows.append((rho, f"{tool} {method}", law, f"fails: {error}"))
    lines = [
        HIGH_BEGIN,
        "## Light curves: high magnification",
        "",
        f"Made by `python benchmarks/light_curve.py --high-magnification` in one run: a lens "
        f"crossing the source's centre (u₀ = 0), {HIGH_EPOCHS:,} epochs evenly spread over "
        f"|t − t₀| ≤ {HIGH_SPAN:g} t_E, per-epoch CPU time of the calling thread, best of up to "
        f"{options.rounds} calls; *before* is {commit[:7]} (the near field by tanh-sinh "
        "levels) built beside this tree, both loaded in one process and called alternately. "
        f"Load average at start and end: {load_start:.2f}, {os.getloadavg()[0]:.2f}.",
        "",
        "Share of epochs in the near field (l < 6): " + ", ".join(
            f"{share:.0%} (ρ = {rho:g})" for rho, share in shares.items()) + ".",
        "The last column is the largest relative change of any epoch's value.",
        "",
        "| ρ | function | before, ns/epoch | after, ns/epoch | after / before | largest change |",
        "|---|---|---:|---:|---:|---:|",
    ]
    for rho, name, ns_before, ns_after, change in rows:
        head, _, rest = name.partition(" ")
        before_cell = f"{ns_before:,.0f}" if ns_before else "—"
        ratio = f"{ns_after / ns_before:.2f}" if ns_before else "—"
        change_cell = f"{change:.1e}" if change is not None else "—"
        label = f"`{head}`" + (f" {rest}" if rest else "")
        lines.append(f"| {rho:g} | {label} | {before_cell} | {ns_after:,.0f} | {ratio} | "
                     f"{change_cell} |")
    if peer_rows:
        lines += ["", "The peers on the same light curves (ns per epoch):", "",
                  "| ρ | tool, method | law | ns/epoch |", "|---|---|---|---:|"]
        for rho, name, law, ns in peer_rows:
            cell = f"{ns:,.0f}" if isinstance(ns, float) else ns
            lines.append(f"| {rho:g} | {name} | {law} | {cell} |")
    if missing:
        lines += ["", "Peers not installed here, not measured: " + "; ".join(missing) + "."]
    lines.append(HIGH_END)
    text = "\n".join(lines) + "\n"
    print(text)
    write_section(options.output, text, HIGH_BEGIN, HIGH_END)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--before", help="module to compare against "
                        "(default: this tree built without the far field)")
    parser.add_argument("--quick", action="store_true", help="at most 3 rounds, 5 s each")
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--budget", type=float, default=30.0,
                        help="seconds of calls per function and rho")
    parser.add_argument("--no-peers", action="store_true")
    parser.add_argument("--output", type=pathlib.Path, default=RESULTS)
    parser.add_argument("--high-magnification", action="store_true",
                        help="the light curve through the centre against --baseline")
    parser.add_argument("--baseline", default="30ec79f",
                        help="git revision for --high-magnification (default 30ec79f)")
    options = parser.parse_args()
    if options.quick:
        options.rounds, options.budget = min(options.rounds, 3), 5.0
    if options.high_magnification:
        high_magnification(options)
        return

    import magnikit as after
    before = load_module(options.before or build_this_tree("no-far-field", "-DMAGNIKIT_FAR_FIELD=OFF"))
    bl, bf = sampled_law()
    peers, missing = ([], []) if options.no_peers else peer_calls()
    load_start = os.getloadavg()[0]

    rows = []   # (rho, function, law, before ns, after ns, speed-up, change)
    peer_rows = []
    for rho in RHOS:
        ls = light_curve(rho)
        pairs = zip(magnikit_calls(before, rho, ls, bl, bf), magnikit_calls(after, rho, ls, bl, bf))
        for (name, law, thunk_before), (_, _, thunk_after) in pairs:
            (t_before, t_after), (v_before, v_after) = best_of_alternating(
                [thunk_before, thunk_after], options.rounds, options.budget)
            ns_before, ns_after = t_before / EPOCHS * 1e9, t_after / EPOCHS * 1e9
            rows.append((rho, name, law, ns_before, ns_after, ns_before / ns_after,
                         largest_change(v_before, v_after)))
            print(f"ρ = {rho:g} {name}: {ns_before:,.0f} → {ns_after:,.0f} ns per epoch",
                  file=sys.stderr, flush=True)
        for tool, method, law, prepare in peers:
            try:
                thunk = prepare(rho, ls)
                (seconds,), _ = best_of_alternating([thunk], options.rounds, options.budget)
                peer_rows.append((rho, f"{tool} {method}", law, seconds / EPOCHS * 1e9))
            except Exception as error:  # noqa: BLE001 -- a peer failing is reported
                peer_rows.append((rho, f"{tool} {method}", law, f"fails: {error}"))

    text = report(rows, peer_rows, missing, options, load_start, ls_share={
        rho: far_share(light_curve(rho)) for rho in RHOS})
    print(text)
    write_section(options.output, text)


def report(rows, peer_rows, missing, options, load_start, ls_share):
    lines = [
        BEGIN,
        "## Light curves: the far field",
        "",
        f"Made by `python benchmarks/light_curve.py{' --quick' if options.quick else ''}` "
        "in one run: per-epoch CPU time of whole light curves of "
        f"{EPOCHS:,} epochs over |t − t₀| ≤ 2 t_E with u₀ = 0.1ρ, best of up to "
        f"{options.rounds} calls; *before* is this tree built with "
        "`-DMAGNIKIT_FAR_FIELD=OFF` (every result as the landed build gives it), *after* "
        "the far-field series from l = 6 source radii on; both loaded in one process and "
        "called alternately. Load average at start and end: "
        f"{load_start:.2f}, {os.getloadavg()[0]:.2f}.",
        "",
        "Share of epochs in the far field: " + ", ".join(
            f"{share:.1%} (ρ = {rho:g})" for rho, share in ls_share.items()) + ".",
        "The last column is the largest relative change of any epoch's value; "
        "the changes are corrections (see docs/accuracy.md).",
        "",
        "| ρ | function | before, ns/epoch | after, ns/epoch | speed-up | largest change |",
        "|---|---|---:|---:|---:|---:|",
    ]
    for rho, name, law, ns_before, ns_after, speedup, change in rows:
        if name.startswith("limb_darkened_magnification"):
            name = f"{name} {law}"
        lines.append(f"| {rho:g} | `{name.split(' ')[0]}`{name[len(name.split(' ')[0]):]} | "
                     f"{ns_before:,.0f} | {ns_after:,.0f} | {speedup:,.1f}× | {change:.1e} |")
    if peer_rows:
        lines += ["", "The peers on the same light curves (ns per epoch):", "",
                  "| ρ | tool, method | law | ns/epoch |", "|---|---|---|---:|"]
        for rho, name, law, ns in peer_rows:
            cell = f"{ns:,.0f}" if isinstance(ns, float) else ns
            lines.append(f"| {rho:g} | {name} | {law} | {cell} |")
    if missing:
        lines += ["", "Not measured: " + "; ".join(missing)]
    lines.append(END)
    return "\n".join(lines) + "\n"


def write_section(path, section, begin=BEGIN, end=END):
    """Replaces one of this script's sections of RESULTS.md, or appends it."""
    text = path.read_text() if path.exists() else ""
    if begin in text and end in text:
        head, rest = text.split(begin, 1)
        _, tail = rest.split(end, 1)
        text = head + section.rstrip("\n") + tail
    else:
        text = text.rstrip("\n") + "\n\n" + section
    path.write_text(text)


if __name__ == "__main__":
    main()
