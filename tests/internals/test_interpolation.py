"""Piecewise-linear interpolation with its three out-of-range modes."""

import math

import numpy as np
import pytest
from hypothesis import given, strategies as st

from _magnikit_internals import interp, interp_line, interpolant

EXTEND, HOLD_ENDS, FIXED = 0, 1, 2
ZERO_OUTSIDE = (FIXED, 0.0)

RAMP = ([0.0, 1.0, 2.0], [0.0, 10.0, 20.0])


def same(got, want):
    return (math.isnan(got) and math.isnan(want)) or (
        got == want and math.copysign(1.0, got) == math.copysign(1.0, want))


@pytest.mark.parametrize("xs, ys, x0, mode, want", [
    # flat profile: inside, on the end, outside on both sides
    ([0.0, 1.0], [1.0, 1.0], 0.5, ZERO_OUTSIDE, 1.0),
    ([0.0, 1.0], [1.0, 1.0], 1.0, ZERO_OUTSIDE, 1.0),
    ([0.0, 1.0], [1.0, 1.0], -0.1, ZERO_OUTSIDE, 0.0),
    ([0.0, 1.0], [1.0, 1.0], 1.1, ZERO_OUTSIDE, 0.0),
    # each mode on each side
    (*RAMP, 1.0, ZERO_OUTSIDE, 10.0),
    (*RAMP, -1.0, (EXTEND, 0.0), -10.0),
    (*RAMP, -1.0, (HOLD_ENDS, 0.0), 0.0),
    (*RAMP, -1.0, (FIXED, -3.5), -3.5),
    (*RAMP, 3.0, (EXTEND, 0.0), 30.0),
    (*RAMP, 3.0, (HOLD_ENDS, 0.0), 20.0),
    (*RAMP, 3.0, (FIXED, 2.5), 2.5),
    (*RAMP, 3.0, (7, 2.5), 2.5),            # an unknown kind acts as fixed
    # the value is the segment's line, not a blend of its end samples
    ([0.0, 0.5, 1.0], [1.0, 0.9, 0.3], 1.0, ZERO_OUTSIDE, 0.2999999999999998),
    # a single sample holds everywhere, even outside and at NaN
    ([5.0], [7.0], 5.0, ZERO_OUTSIDE, 7.0),
    ([5.0], [7.0], 100.0, ZERO_OUTSIDE, 7.0),
    ([5.0], [7.0], math.nan, ZERO_OUTSIDE, 7.0),
    ([], [], 1.0, (FIXED, 3.0), 0.0),
    # only the pairs present in both sequences take part
    ([0.0, 1.0, 2.0], [0.0, 10.0], 1.5, ZERO_OUTSIDE, 0.0),
    ([0.0, 1.0, 2.0], [0.0, 10.0], 1.5, (EXTEND, 0.0), 15.0),
    ([0.0, 1.0, 2.0], [0.0, 10.0], 1.5, (HOLD_ENDS, 0.0), 10.0),
    ([0.0, 1.0], [0.0, 10.0, 99.0], 0.5, ZERO_OUTSIDE, 5.0),
    # a step (two equal abscissas): a query at it takes the left segment
    ([0.0, 1.0, 1.0, 2.0], [0.0, 1.0, 3.0, 4.0], 1.0, ZERO_OUTSIDE, 1.0),
    ([0.0, 1.0, 1.0, 2.0], [0.0, 1.0, 3.0, 4.0], 1.5, ZERO_OUTSIDE, 3.5),
    # zero-width end segments: NaN unless the mode replaces the value
    ([1.0, 1.0, 2.0], [0.0, 5.0, 6.0], 1.0, ZERO_OUTSIDE, math.nan),
    ([1.0, 1.0, 2.0], [0.0, 5.0, 6.0], 0.5, (EXTEND, 0.0), math.nan),
    ([1.0, 1.0, 2.0], [0.0, 5.0, 6.0], 0.5, (HOLD_ENDS, 0.0), 0.0),
    ([1.0, 1.0, 2.0], [0.0, 5.0, 6.0], 0.5, ZERO_OUTSIDE, 0.0),
    ([0.0, 1.0, 1.0], [0.0, 5.0, 6.0], 1.5, (EXTEND, 0.0), math.nan),
    ([0.0, 1.0, 1.0], [0.0, 5.0, 6.0], 1.5, (HOLD_ENDS, 0.0), 6.0),
    ([0.0, 1.0, 1.0], [0.0, 5.0, 6.0], 1.0, ZERO_OUTSIDE, 5.0),
])
def test_cases(xs, ys, x0, mode, want):
    assert same(interp(xs, ys, x0, *mode), want)


@pytest.mark.parametrize("kind", [EXTEND, HOLD_ENDS, FIXED])
def test_nan_query_is_nan_in_every_mode(kind):
    assert math.isnan(interp(*RAMP, math.nan, kind, 0.0))


# Inside the range, with strictly ascending abscissas, the result is the
# straight line between the neighbouring samples, up to rounding.
@given(st.lists(st.floats(-1e3, 1e3), min_size=2, max_size=12, unique=True),
       st.data())
def test_matches_linear_interpolation_inside_the_range(raw_xs, data):
    xs = sorted(raw_xs)
    ys = data.draw(st.lists(st.floats(-1e3, 1e3), min_size=len(xs), max_size=len(xs)))
    x0 = data.draw(st.floats(xs[0], xs[-1]))
    k = max(1, int(np.searchsorted(xs, x0, side="left")))
    lo, hi = k - 1, k
    if xs[hi] - xs[lo] < 1e-6 * max(1.0, abs(xs[lo])):
        return  # a nearly vertical segment amplifies rounding without bound
    want = float(np.interp(x0, xs, ys))
    scale = max(abs(ys[lo]), abs(ys[hi]), 1.0) * (1.0 + abs(x0) / (xs[hi] - xs[lo]))
    assert abs(interp(xs, ys, x0, FIXED, math.nan) - want) <= 1e-12 * scale


# The interpolant formed once (the flux-map profiles) finds the segment by
# bisection on ascending radii and by interp's own scan otherwise; either
# way it is interp to the last bit, at and between the samples, outside
# them, at infinities and NaN; and so is the line it follows there, which
# the far-field moments integrate piece by piece.
SAMPLE_SETS = {
    "ascending": [0.0, 0.1, 0.25, 0.5, 0.75, 0.9, 1.0],
    "repeated radius (a step)": [0.0, 0.5, 0.5, 1.0],
    "ascending with infinities": [-math.inf, 0.0, 0.5, math.inf],
    "unsorted": [0.8, 0.1, 0.5, 0.3],
    "NaN radius": [0.0, math.nan, 0.5, 1.0],
    "descending": [1.0, 0.5, 0.0],
    "two samples": [0.2, 0.7],
    "one sample": [0.4],
    "none": [],
}


@pytest.mark.parametrize("kind", [EXTEND, HOLD_ENDS, FIXED])
@pytest.mark.parametrize("name", sorted(SAMPLE_SETS))
def test_the_interpolant_formed_once_is_interp_bit_for_bit(name, kind):
    xs = SAMPLE_SETS[name]
    rng = np.random.default_rng(len(name))
    ys = list(rng.uniform(-2, 2, len(xs)))
    queries = xs + [x + d for x in xs for d in (-1e-12, 1e-12) if math.isfinite(x)]
    queries += list(rng.uniform(-0.5, 1.5, 200)) + [-math.inf, math.inf, math.nan, -0.0]
    got = interpolant(xs, ys, queries, kind, 0.25)
    for i, x0 in enumerate(queries):
        value, intercept, slope = got[3 * i:3 * i + 3]
        assert same(value, interp(xs, ys, x0, kind, 0.25)), x0
        line = interp_line(xs, ys, x0, kind, 0.25)
        assert same(intercept, line[0]) and same(slope, line[1]), x0
