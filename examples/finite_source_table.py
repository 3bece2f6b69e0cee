"""How much a finite source changes the magnification of a point-mass lens.

For a few source radii rho (in Einstein radii) the table lists, at lens-source
separations u (in Einstein radii), the magnification of a point source,
(u^2 + 2) / (u sqrt(u^2 + 4)), and that of a uniformly bright disc. Far from
the lens the two agree; when the lens is near or inside the disc the point
source diverges while the disc stays finite.
"""

import math

import magnikit

EINSTEIN_RADIUS = 1.0
SOURCE_RADII = (0.01, 0.1, 0.5)
SEPARATIONS = (0.001, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1.0, 2.0)


def point_source(u):
    return (u * u + 2.0) / (u * math.sqrt(u * u + 4.0))


def main():
    header = f"{'u':>7} {'point':>10}" + "".join(
        f" {'disc rho=' + str(rho):>15} {'ratio':>7}" for rho in SOURCE_RADII
    )
    print("Magnification of a uniform disc against a point source")
    print(header)
    print("-" * len(header))
    discs = {}
    for rho in SOURCE_RADII:
        # witt_mao_magnification takes separations in source radii.
        separations = [u / rho for u in SEPARATIONS]
        discs[rho] = magnikit.witt_mao_magnification(separations, EINSTEIN_RADIUS, rho)
    for i, u in enumerate(SEPARATIONS):
        point = point_source(u)
        row = f"{u:7.3f} {point:10.3f}"
        for rho in SOURCE_RADII:
            disc = discs[rho][i]
            row += f" {disc:15.3f} {disc / point:7.3f}"
        print(row)


if __name__ == "__main__":
    main()
