"""What the ring-by-ring integrals cost against an earlier build of magnikit.

    python benchmarks/ring_by_ring_cost.py [--baseline COMMIT] [--rounds R]

Builds magnikit as it was at COMMIT (default 588c89a) from `git archive` into
build/baseline-COMMIT, loads it into this process beside the magnikit
installed in this interpreter, and times the same calls on both: the builds
alternate call by call, each call is timed in CPU time of the calling thread,
and the best of R rounds is kept, so that both see the same machine. Prints
the time per separation of each build and their ratio.

Separations: the near field, 0 <= l < FAR_FIELD_SEPARATION source radii,
evenly spaced, reported apart for the lens inside the source (two integrals
per separation) and outside it (one), for source radii of 0.01, 0.1 and 1
Einstein radii; and the flux-map form with the linear law sampled at 41 and
201 radii even in angle.
"""

import argparse
import math
import time

import magnikit

from builds import build_revision, load_module

FAR_FIELD_SEPARATION = 6.0  # source radii; beyond it the far-field form applies
SEPARATIONS = 120
RHOS = (0.01, 0.1, 1.0)


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
    print(f"{label:<44} {old / n * 1e6:10.2f} {new / n * 1e6:10.2f} {old / new:8.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--baseline", default="588c89a")
    parser.add_argument("--rounds", type=int, default=30)
    options = parser.parse_args()
    baseline = load_module(build_revision(options.baseline, f"baseline-{options.baseline}")[0])

    near = [FAR_FIELD_SEPARATION * i / SEPARATIONS for i in range(SEPARATIONS)]
    inside = [l for l in near if 0.0 < l < 1.0]
    outside = [l for l in near if not 0.0 < l < 1.0]
    print(f"{'time per separation, us':<44} {options.baseline:>10} {'this':>10} {'ratio':>8}")
    for rho in RHOS:
        for label, separations in (("near field", near), ("inside", inside),
                                   ("outside", outside)):
            compare(f"integrated_heyrovsky rho={rho} {label}",
                    lambda l, rho=rho: baseline.integrated_heyrovsky_magnification(l, 1.0, rho),
                    lambda l, rho=rho: magnikit.integrated_heyrovsky_magnification(l, 1.0, rho),
                    separations, options.rounds)
    few = near[::6]
    for intervals in (40, 200):
        radii, brightness = sampled_law(intervals)
        compare(f"integrated_flux_map_heyrovsky {intervals + 1} samples",
                lambda l: baseline.integrated_flux_map_heyrovsky_magnification(
                    l, 1.0, 0.1, radii, brightness),
                lambda l: magnikit.integrated_flux_map_heyrovsky_magnification(
                    l, 1.0, 0.1, radii, brightness),
                few, max(3, options.rounds // 5))


if __name__ == "__main__":
    main()
