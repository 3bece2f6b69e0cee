"""What the integrals over the source radius cost in the near field, against
an earlier build of magnikit.

    python benchmarks/near_field_cost.py [--baseline COMMIT] [--rounds R]

Builds magnikit as it was at COMMIT (default 30ec79f, the tanh-sinh levels)
from `git archive` into build/baseline-COMMIT, loads it into this process
beside the magnikit installed in this interpreter, and times the same calls
on both: the builds alternate call by call, each call is timed in CPU time of
the calling thread, and the best of R rounds is kept, so that both see the
same machine. Prints the time per separation of each build and their ratio
(this build's time over the baseline's).

Separations: the near field, 0 <= l < FAR_FIELD_SEPARATION source radii,
evenly spaced, reported apart for the lens inside the source and outside it,
for source radii of 0.01 to 3 Einstein radii, ring by ring and from uniform
discs; the two flux-map forms with the linear law sampled at 41 and 201
radii even in angle; and
limb_darkened_magnification, every law with one row of coefficients and
with five, and in the far field, against the baseline where it has the
function and within this build against the built-in law and one row.
"""

import argparse
import math
import time

import magnikit

from builds import build_revision, load_module

FAR_FIELD_SEPARATION = 6.0  # source radii; beyond it the far-field form applies
SEPARATIONS = 120
RHOS = (0.01, 0.05, 0.1, 1.0, 3.0)
LAW_RHO = 0.05
# One row of typical coefficients per law, and four more for five bands.
LAWS = {
    "uniform": [[]],
    "linear": [[0.6], [0.5], [0.4], [0.7], [0.3]],
    "quadratic": [[0.4, 0.25], [0.3, 0.3], [0.5, 0.2], [0.2, 0.4], [0.6, 0.1]],
    "square-root": [[0.2, 0.6], [0.1, 0.7], [0.3, 0.5], [0.4, 0.4], [0.0, 0.8]],
    "logarithmic": [[0.7, 0.2], [0.6, 0.3], [0.8, 0.1], [0.5, 0.4], [0.9, 0.0]],
    "power-2": [[0.6, 0.6], [0.7, 0.5], [0.5, 0.8], [0.65, 0.55], [0.55, 0.7]],
    "nonlinear": [[0.5, 0.2, 0.3, -0.2], [0.6, 0.1, 0.2, -0.1], [0.4, 0.3, 0.2, -0.1],
                  [0.7, -0.9, 1.2, -0.4], [0.3, 0.2, 0.1, 0.1]],
}


def sampled_law(intervals):
    radii = [math.sin(math.pi / 2 * (i / intervals)) for i in range(intervals + 1)]
    return radii, [1 - 0.6 * (1 - math.sqrt(1 - x * x)) for x in radii]


def best_times(calls, rounds):
    """Best thread CPU time of each call over the rounds, calls alternating."""
    best = [math.inf] * len(calls)
    for _ in range(rounds):
        for i, call in enumerate(calls):
            start = time.thread_time()
            call()
            best[i] = min(best[i], time.thread_time() - start)
    return best


def compare(label, baseline, current, separations, rounds):
    old, new = best_times([lambda: baseline(separations), lambda: current(separations)], rounds)
    n = len(separations)
    print(f"{label:<64} {old / n * 1e6:10.3f} {new / n * 1e6:10.3f} {new / old:8.3f}")
    return new / old


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--baseline", default="30ec79f")
    parser.add_argument("--rounds", type=int, default=30)
    options = parser.parse_args()
    baseline = load_module(build_revision(options.baseline, f"baseline-{options.baseline}")[0])

    near = [FAR_FIELD_SEPARATION * i / SEPARATIONS for i in range(SEPARATIONS)]
    inside = [l for l in near if 0.0 < l < 1.0]
    outside = [l for l in near if not 0.0 < l < 1.0]
    far = [FAR_FIELD_SEPARATION + 0.5 * i for i in range(SEPARATIONS)]
    print(f"{'time per separation, us':<64} {options.baseline:>10} {'this':>10} {'ratio':>8}")
    for form in ("heyrovsky", "witt_mao"):
        fixed_law = f"integrated_{form}_magnification"
        for rho in RHOS:
            for label, separations in (("near field", near), ("inside", inside),
                                       ("outside", outside)):
                compare(f"integrated_{form} rho={rho} {label}",
                        lambda l, rho=rho: getattr(baseline, fixed_law)(l, 1.0, rho),
                        lambda l, rho=rho: getattr(magnikit, fixed_law)(l, 1.0, rho),
                        separations, options.rounds)
        sampled = f"integrated_flux_map_{form}_magnification"
        for intervals in (40, 200):
            radii, brightness = sampled_law(intervals)
            compare(f"integrated_flux_map_{form} {intervals + 1} samples",
                    lambda l: getattr(baseline, sampled)(l, 1.0, 0.1, radii, brightness),
                    lambda l: getattr(magnikit, sampled)(l, 1.0, 0.1, radii, brightness),
                    near[::6], max(3, options.rounds // 5))

    rho = LAW_RHO
    print(f"\nlimb_darkened_magnification, rho = {rho}: against the baseline (where it has "
          "the function), then within this build")
    built_in = lambda l: magnikit.integrated_heyrovsky_magnification(l, 1.0, rho)  # noqa: E731
    for law, rows in LAWS.items():
        one = lambda l, law=law, rows=rows: magnikit.limb_darkened_magnification(  # noqa: E731
            l, 1.0, rho, law, rows[0])
        if hasattr(baseline, "limb_darkened_magnification"):
            compare(f"{law}, one row: near field",
                    lambda l, law=law, rows=rows: baseline.limb_darkened_magnification(
                        l, 1.0, rho, law, rows[0]), one, near, options.rounds)
        compare(f"{law}, one row over integrated_heyrovsky (this)", built_in, one, near,
                options.rounds)
        if len(rows) == 5:
            compare(f"{law}, five rows over one row (this)", one,
                    lambda l, law=law, rows=rows: magnikit.limb_darkened_magnification(
                        l, 1.0, rho, law, rows), near, options.rounds)
        compare(f"{law}, one row, far field over integrated_heyrovsky (this)", built_in, one,
                far, options.rounds)


if __name__ == "__main__":
    main()
