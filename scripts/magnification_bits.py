#!/usr/bin/env python3
"""Prints the exact results of every magnikit function over a fixed sample.

One line a call: the function, its arguments and its result as hex floats,
or the exception's type and text. Two builds (another compiler, another C++
library, another platform) agree to the last bit exactly when their outputs
are the same file:

    python scripts/magnification_bits.py > gcc.txt   # with one build installed
    python scripts/magnification_bits.py > clang.txt # with the other
    cmp gcc.txt clang.txt

The sample is the same on every run: the inputs of the reference tables in
tests/data, then pseudo-random cases over the whole input plane (source radii
from 1e-5 to 100 Einstein radii; the lens at the centre, inside, on, within
1e-15 to 1e-1 of the rim, and out to 1e8 source radii; every limb-darkening
law, with one band's coefficients and with rows of several), then zero,
negative and non-finite arguments, and laws and coefficients refused.
`--scale` multiplies the random counts.
"""

import argparse
import math
import os
import random
import sys

import magnikit

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "tests"))
from reference import load_reference  # noqa: E402

SPECIAL = [0.0, -0.0, -1.0, 5e-324, 1e-120, 1e80, 1e300, math.inf, -math.inf, math.nan]
# A limb-darkened profile sampled densely near the limb, and a coarse one.
PROFILES = [
    ([math.sin(math.pi / 2 * j / 40) for j in range(41)],
     [1 - 0.6 * (1 - math.sqrt(1 - math.sin(math.pi / 2 * j / 40) ** 2)) for j in range(41)]),
    ([0.0, 0.3, 0.7, 1.0], [1.0, 0.9, 0.5, 0.2]),
]


def separation(rng):
    """A separation in source radii, spread over the kinds of geometry."""
    kind = rng.randrange(6)
    if kind == 0:
        return rng.uniform(0.0, 1.0)  # lens inside the source
    if kind == 1:
        return rng.uniform(1.0, 3.0)  # just outside
    if kind == 2:  # within 1e-15 to 1e-1 of the rim, on either side
        return 1.0 + rng.choice((-1, 1)) * 10.0 ** rng.uniform(-15, -1)
    if kind == 3:
        return 10.0 ** rng.uniform(0, 8)  # far outside, to 1e8 source radii
    if kind == 4:
        return rng.choice((0.0, 1.0, 0.5, 2.0))
    return 10.0 ** rng.uniform(-12, 0)  # the lens near the centre


def source(rng):
    """(re, rstar): source radii from 1e-5 to 100 Einstein radii."""
    re = rng.choice((1.0, 1.0, 2.5, 0.3))
    return re, re * 10.0 ** rng.uniform(-5, 2)


def format_call(name, args):
    def text(x):
        if isinstance(x, list):
            return "[" + ",".join(text(v) for v in x) + "]"
        if isinstance(x, str):
            return repr(x)
        return float(x).hex()
    return name + "(" + " ".join(text(a) for a in args) + ")"


def result_text(result):
    """A float in hex; a list of them spaced; a list of such lists (one per
    band) each in brackets."""
    if isinstance(result, float):
        return result.hex()
    return " ".join("[%s]" % result_text(x) if isinstance(x, list) else x.hex() for x in result)


def outcome(function, args):
    try:
        result = function(*args)
    except Exception as error:  # noqa: BLE001 - the exception is the result
        return "%s: %s" % (type(error).__name__, error)
    return result_text(result)


# Each limb-darkening law with coefficients drawn from ranges that keep it
# mostly, not always, positive over the disc (a refusal is a result too).
LAW_COEFFICIENTS = {
    "uniform": [],
    "linear": [(0.0, 1.0)],
    "quadratic": [(0.0, 0.8), (-0.3, 0.5)],
    "square-root": [(0.0, 0.6), (0.0, 0.5)],
    "logarithmic": [(0.0, 0.8), (-0.3, 0.4)],
    "power-2": [(0.0, 1.0), (0.05, 3.0)],
    "nonlinear": [(-0.3, 1.0), (-0.5, 0.6), (-0.3, 0.6), (-0.3, 0.3)],
}


def coefficients(rng, law):
    return [rng.uniform(lo, hi) for lo, hi in LAW_COEFFICIENTS[law]]


def cases(scale):
    """(function name, arguments) in a fixed order."""
    for l, re, rstar, _ in load_reference("uniform_disc"):
        yield "witt_mao_magnification", ([l], re, rstar)
    for l, r, re, rstar, _ in load_reference("ring"):
        yield "heyrovsky_magnification", (l, r, re, rstar)
    for l, re, rstar, _ in load_reference("limb_darkened"):
        yield "integrated_witt_mao_magnification", ([l], re, rstar)
        yield "integrated_heyrovsky_magnification", ([l], re, rstar)
        yield "limb_darkened_magnification", ([l], re, rstar, "linear", [0.6])

    rng = random.Random(20261208)
    for _ in range(20000 * scale):
        re, rstar = source(rng)
        yield "witt_mao_magnification", ([separation(rng)], re, rstar)
    for _ in range(20000 * scale):
        re, rstar = source(rng)
        r = rng.choice((rng.uniform(0.0, 1.0), 1.0, 0.5))
        yield "heyrovsky_magnification", (separation(rng), r, re, rstar)
    for name in ("integrated_witt_mao_magnification", "integrated_heyrovsky_magnification"):
        for _ in range(400 * scale):
            re, rstar = source(rng)
            yield name, ([separation(rng)], re, rstar)
    for name in ("integrated_flux_map_witt_mao_magnification",
                 "integrated_flux_map_heyrovsky_magnification",
                 "discrete_flux_map_heyrovsky_magnification"):
        for _ in range(150 * scale):
            re, rstar = source(rng)
            bl, bf = rng.choice(PROFILES)
            yield name, ([separation(rng)], re, rstar, bl, bf)
    for law in LAW_COEFFICIENTS:
        for _ in range(100 * scale):
            re, rstar = source(rng)
            yield "limb_darkened_magnification", ([separation(rng)], re, rstar, law, coefficients(rng, law))
        # Bands that share their rings: three of them at once.
        for _ in range(20 * scale):
            re, rstar = source(rng)
            bands = [coefficients(rng, law) for _ in range(3)]
            yield "limb_darkened_magnification", ([separation(rng), separation(rng)], re, rstar, law, bands)

    # Zero, negative and non-finite arguments in every position.
    for special in SPECIAL:
        yield "witt_mao_magnification", ([special], 1.0, 0.1)
        yield "witt_mao_magnification", ([0.5], special, 0.1)
        yield "witt_mao_magnification", ([0.5], 1.0, special)
        yield "heyrovsky_magnification", (special, 0.5, 1.0, 0.1)
        yield "heyrovsky_magnification", (0.5, special, 1.0, 0.1)
        yield "heyrovsky_magnification", (0.5, 0.5, special, 0.1)
        yield "heyrovsky_magnification", (0.5, 0.5, 1.0, special)
        for name in ("integrated_witt_mao_magnification", "integrated_heyrovsky_magnification"):
            yield name, ([special], 1.0, 0.1)
            yield name, ([0.5], 1.0, special)
        bl, bf = PROFILES[1]
        for name in ("integrated_flux_map_witt_mao_magnification",
                     "integrated_flux_map_heyrovsky_magnification",
                     "discrete_flux_map_heyrovsky_magnification"):
            yield name, ([special], 1.0, 0.1, bl, bf)
            yield name, ([0.5], 1.0, 0.1, bl, bf[:-1] + [special])
        name = "limb_darkened_magnification"
        yield name, ([special], 1.0, 0.1, "quadratic", [[0.4, 0.2], [0.1, 0.3]])
        yield name, ([0.5], special, 0.1, "quadratic", [0.4, 0.2])
        yield name, ([0.5], 1.0, special, "quadratic", [0.4, 0.2])
        yield name, ([0.5], 1.0, 0.1, "quadratic", [0.4, special])
        yield name, ([0.5], 1.0, 0.1, "power-2", [0.4, special])
    # Laws and coefficients refused, and the shapes of coefficients.
    for law, given in [
        ("quartic", [0.5]), ("", []), ("Linear", [0.5]),
        ("uniform", [0.5]), ("linear", []), ("nonlinear", [0.1, 0.1, 0.1]),
        ("linear", [1.5]), ("quadratic", [-0.5, 0.9]), ("square-root", [2.0, -1.5]),
        ("logarithmic", [0.2, -3.0]), ("power-2", [1.2, 0.5]), ("nonlinear", [3.0, -4.0, 1.0, 0.5]),
        ("linear", [[0.6], [1.5]]), ("linear", [[0.6], []]), ("uniform", [[], []]),
        ("linear", [[0.6]]), ("uniform", []),
    ]:
        yield "limb_darkened_magnification", ([0.0, 0.5, 1.0, 2.0, 10.0], 1.0, 0.1, law, given)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scale", type=int, default=1, help="multiplies the random counts")
    scale = parser.parse_args().scale
    out = sys.stdout
    for name, args in cases(scale):
        out.write("%s -> %s\n" % (format_call(name, args), outcome(getattr(magnikit, name), args)))


if __name__ == "__main__":
    main()
