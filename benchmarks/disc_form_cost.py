"""What the integrals from uniform discs cost against an earlier build of
magnikit.

    python benchmarks/disc_form_cost.py [--baseline COMMIT] [--rounds R]

Builds magnikit as it was at COMMIT (default 30ec79f, the disc forms by a
central difference of the discs) beside the magnikit installed in this
interpreter, and times the same calls on both, alternating call by call, in
CPU time of the calling thread, best of R rounds (as
benchmarks/ring_by_ring_cost.py does for the ring-by-ring forms). Prints the
time per separation of each build and their ratio, this build's over the
baseline's.

Separations: the near field, 0 <= l < 6 source radii, evenly spaced,
reported apart for the lens inside the source and outside it, for source
radii of 0.01, 0.1 and 1 Einstein radii; and the flux-map form with the
linear law sampled at 41 and 201 radii even in angle.
"""

import argparse

import magnikit

from builds import build_revision, load_module
from ring_by_ring_cost import FAR_FIELD_SEPARATION, RHOS, SEPARATIONS, compare, sampled_law


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--baseline", default="30ec79f")
    parser.add_argument("--rounds", type=int, default=30)
    options = parser.parse_args()
    baseline = load_module(build_revision(options.baseline, f"baseline-{options.baseline}")[0])

    near = [FAR_FIELD_SEPARATION * i / SEPARATIONS for i in range(SEPARATIONS)]
    inside = [l for l in near if 0.0 < l < 1.0]
    outside = [l for l in near if not 0.0 < l < 1.0]
    print(f"{'time per separation, us':<64} {options.baseline:>10} {'this':>10} {'ratio':>8}")
    for rho in RHOS:
        for label, separations in (("near field", near), ("inside", inside),
                                   ("outside", outside)):
            compare(f"integrated_witt_mao rho={rho} {label}",
                    lambda l, rho=rho: baseline.integrated_witt_mao_magnification(l, 1.0, rho),
                    lambda l, rho=rho: magnikit.integrated_witt_mao_magnification(l, 1.0, rho),
                    separations, options.rounds)
    few = near[::6]
    for intervals in (40, 200):
        radii, brightness = sampled_law(intervals)
        compare(f"integrated_flux_map_witt_mao {intervals + 1} samples",
                lambda l: baseline.integrated_flux_map_witt_mao_magnification(
                    l, 1.0, 0.1, radii, brightness),
                lambda l: magnikit.integrated_flux_map_witt_mao_magnification(
                    l, 1.0, 0.1, radii, brightness),
                few, max(3, options.rounds // 5))


if __name__ == "__main__":
    main()
