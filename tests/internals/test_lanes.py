"""The vector paths of the ring and disc batches against the scalar models,
bit for bit: values, NaN and error texts, over random and edge cases mixed so
that every vector holds lanes of the general path beside lanes that go back
to the scalar code.

The suite runs a fast sample. scripts/check-lanes runs the same tests with a
million cases or more per model and path and a fresh seed:
MAGNIKIT_LANE_CASES sets the number of cases, MAGNIKIT_LANE_SEED the seed.
"""

import math
import os
import subprocess
import sys

import numpy as np
import pytest

import _magnikit_internals as internals

CASES = int(os.environ.get("MAGNIKIT_LANE_CASES", "40000"))
SEED = int(os.environ.get("MAGNIKIT_LANE_SEED", "2027"))
VECTOR_PATHS = [path for path in internals.lane_paths() if path != "scalar"]

# Source radii in Einstein radii, rho = rstar / re, from 1e-5 to 100, with
# re = 1 and a few other Einstein radii; sizes that straddle the closed
# forms' ranges (the disc radii spread over eight decades about rstar) or lie
# far beyond them; and sizes that are not numbers.
SOURCE_SIZES = [(1.0, rho) for rho in (1e-5, 1e-3, 0.01, 0.1, 1.0, 10.0, 100.0)] + \
               [(2.5, 0.03), (0.4, 7.0), (1.0, 1e-98), (1.0, 1e72), (1.0, 1e-75),
                (1e200, 1.0), (1.0, 1e250), (1.0, 0.0), (1.0, -0.1), (-1.0, -0.1),
                (1.0, math.inf), (math.inf, 1.0), (1.0, math.nan), (0.0, 1.0)]
SPECIAL = np.array([0.0, -0.0, 1.0, 0.5, -1.0, 1e-300, 5e-324, 1e300, 1e8,
                    math.inf, -math.inf, math.nan])


def separations(rng, count):
    """Lens separations in source radii, 0 to 1e8 and 1e-300 to 1e300, inside,
    on, near and far outside the source, and the non-finite and negative
    ones."""
    kinds = rng.integers(0, 6, count)
    near_rim = 1 + rng.choice([-1, 1], count) * 10.0 ** rng.uniform(-13, -0.5, count)
    return np.select(
        [kinds == 0, kinds == 1, kinds == 2, kinds == 3, kinds == 4],
        [10.0 ** rng.uniform(-8, 8, count), rng.uniform(0, 2, count), near_rim,
         rng.choice(SPECIAL, count), 10.0 ** rng.uniform(-300, 300, count)],
        rng.uniform(0, 6, count))


def near(rng, centre):
    """Points about centre: on it, within rounding of it, and on both sides
    of the 5 % bands in which the models take the complements."""
    count = len(centre)
    offsets = rng.choice([0.0, 1e-15, -1e-15, 1e-9, -1e-9, 1e-3, -1e-3, 0.0499999, 0.05,
                          0.0500001, -0.0499999, -0.05, -0.0500001, 0.3], count)
    return centre * (1 + offsets)


def ring_cases(rng, count):
    """(l, r) pairs: rings of the source (radii 0 to 1, a few outside, a few
    from 1e-300 to 1e300) about lenses anywhere, and lenses on, near and just
    off the ring."""
    kind = rng.random(count)
    r = np.select([kind < 0.7, kind < 0.8, kind < 0.9],
                  [rng.uniform(0, 1, count), 10.0 ** rng.uniform(-8, 0, count),
                   10.0 ** rng.uniform(-300, 300, count)],
                  rng.choice(np.concatenate([SPECIAL, [-0.3, 1.5]]), count))
    l = separations(rng, count)
    close = rng.random(count) < 0.3
    l[close] = near(rng, r[close])
    return l, r


def disc_cases(rng, count):
    """(l, rstar) pairs: discs of radii 1e-6 to 100 Einstein radii, lenses
    anywhere and on, near and just off the rim."""
    rstar = np.where(rng.random(count) < 0.97, 10.0 ** rng.uniform(-6, 2, count),
                     rng.choice(SPECIAL, count))
    l = separations(rng, count)
    close = rng.random(count) < 0.3
    l[close] = near(rng, np.ones(int(close.sum())))
    return l, rstar


def differences(got, want):
    """Indices where two (values, errors) results differ: value bits (any NaN
    matching any NaN) or error text."""
    got_values, got_errors = np.array(got[0]), got[1]
    want_values, want_errors = np.array(want[0]), want[1]
    both_nan = np.isnan(got_values) & np.isnan(want_values)
    bits_differ = got_values.view(np.int64) != want_values.view(np.int64)
    errors_differ = np.array([a != b for a, b in zip(got_errors, want_errors)], dtype=bool)
    return np.nonzero((bits_differ & ~both_nan) | errors_differ)[0]


def assert_paths_agree(batch, cases, path):
    first, second, sizes = cases
    got = batch(first, second, *sizes, path)
    want = batch(first, second, *sizes, "scalar")
    differ = differences(got, want)
    assert len(differ) == 0, "%d of %d differ, first at %r: %r (%s) against %r (%s)" % (
        len(differ), len(first), (first[differ[0]], second[differ[0]], sizes),
        got[0][differ[0]], got[1][differ[0]], want[0][differ[0]], want[1][differ[0]])


MODELS = {
    "ring": (internals.heyrovsky_magnifications, ring_cases, lambda re, rstar: (re, rstar)),
    "disc": (internals.uniform_disc_magnifications, disc_cases, lambda re, rstar: (re,)),
}


@pytest.mark.parametrize("path", VECTOR_PATHS)
@pytest.mark.parametrize("model", sorted(MODELS))
def test_vector_paths_are_the_scalar_models_bit_for_bit(model, path):
    batch, draw, sizes = MODELS[model]
    rng = np.random.default_rng([SEED, sorted(MODELS).index(model)])
    per_size = -(-CASES // len(SOURCE_SIZES))  # at least CASES in all
    for re, rstar in SOURCE_SIZES:
        first, second = draw(rng, per_size)
        if model == "disc":
            with np.errstate(invalid="ignore", over="ignore"):
                second = second * rstar  # disc radii in the unit of re, about the source's
        assert_paths_agree(batch, (first.tolist(), second.tolist(), sizes(re, rstar)), path)


@pytest.mark.parametrize("path", VECTOR_PATHS)
@pytest.mark.parametrize("length", [0, 1, 3, 4, 7, 8, 9, 15, 17])
def test_a_partial_last_vector_gives_each_pair_its_own_result(length, path):
    # The padding lanes repeat the last pair; no result may come from them.
    rng = np.random.default_rng(length)
    l, r = ring_cases(rng, length)
    assert_paths_agree(internals.heyrovsky_magnifications, (l.tolist(), r.tolist(), (1.0, 0.1)),
                       path)
    l, rstar = disc_cases(rng, length)
    assert_paths_agree(internals.uniform_disc_magnifications, (l.tolist(), rstar.tolist(), (1.0,)),
                       path)


def run_python(code, lanes):
    environment = dict(os.environ, MAGNIKIT_LANES=lanes)
    return subprocess.run([sys.executable, "-c", code], env=environment, capture_output=True,
                          text=True, check=True).stdout


@pytest.mark.parametrize("asked, expected", [
    ("scalar", "scalar"), ("baseline", "baseline"), ("sse2", "baseline"), ("neon", "baseline"),
    ("avx2", "avx2"), ("AVX2", None), ("", None), ("fast", None)])
def test_the_environment_forces_a_path_this_cpu_runs(asked, expected):
    available = internals.lane_paths()
    fastest = available[-1]
    if expected not in available:
        expected = fastest  # an unknown name, or a path this CPU cannot run
    code = "import _magnikit_internals as m; print(m.active_lane_path())"
    assert run_python(code, asked).strip() == expected


PUBLIC_SAMPLE = """
import magnikit, struct, sys
l = [0.0, 0.3, 0.999, 1.0, 1.0000001, 1.7, 5.5, 40.0, 1e6, 1e8] * 3
near = [0.0, 0.3, 0.999, 1.0, 1.0000001, 1.7, 5.5, float("nan"), -1.0]
bl = [0.0, 0.2, 0.45, 0.7, 0.9, 1.0]
bf = [1.0, 0.97, 0.9, 0.75, 0.55, 0.4]
out = []
for rstar in (1e-4, 0.01, 0.1, 1.0, 30.0):
    out += magnikit.witt_mao_magnification(l, 1.0, rstar)
    out += [magnikit.heyrovsky_magnification(x, 0.37, 1.0, rstar) for x in l]
    out += magnikit.integrated_heyrovsky_magnification(near, 1.0, rstar)
    out += magnikit.integrated_witt_mao_magnification(near[:-2], 1.0, rstar)
    out += magnikit.integrated_flux_map_heyrovsky_magnification(near, 1.0, rstar, bl, bf)
    out += magnikit.integrated_flux_map_witt_mao_magnification(near[:-2], 1.0, rstar, bl, bf)
    out += magnikit.discrete_flux_map_heyrovsky_magnification(near[:-2], 1.0, rstar, bl, bf)
for call in (lambda: magnikit.witt_mao_magnification(l + [float("nan")], 1.0, 0.1),
             lambda: magnikit.discrete_flux_map_heyrovsky_magnification([0.5], 1.0, 0.1,
                                                                        [0.2, -0.3], [1.0, 1.0])):
    try:
        call()
    except RuntimeError as error:
        out.append(len(str(error)))
sys.stdout.write(struct.pack("<%dd" % len(out), *out).hex())
"""


def test_the_module_gives_the_same_bits_on_every_path():
    results = {path: run_python(PUBLIC_SAMPLE, path) for path in internals.lane_paths()}
    assert len(set(results.values())) == 1
