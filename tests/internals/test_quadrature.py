"""Tanh-sinh quadrature: its node table and the integrals it returns."""

import math
import struct
from fractions import Fraction

import pytest
from mpmath import mp, mpf

from _magnikit_internals import de_levels, integrate, integrate_in_batches

TWO_PI = 6.283185307179586
LEVEL_SIZES = [3, 3, 6, 12, 24, 48, 96]


def bits(value):
    return struct.pack("<d", value)


def nearest_double(value):
    sign, mantissa, exponent, _ = value._mpf_
    exact = float(Fraction(mantissa) * Fraction(2) ** exponent)
    return -exact if sign else exact


def expected_level(level):
    """(weight, abscissa) of each node of a level, correctly rounded."""
    with mp.workprec(256):
        step = mpf(1) if level == 0 else mpf(2) ** -level
        nodes = [mpf(k) for k in (1, 2, 3)] if level == 0 else [
            (2 * i + 1) * step for i in range(LEVEL_SIZES[level])]
        rows = []
        for t in nodes:
            u = mp.pi / 2 * mp.sinh(t)
            rows.append((nearest_double(step * mp.pi / 2 * mp.cosh(t) / mp.cosh(u) ** 2),
                         nearest_double(mp.tanh(u))))
        return rows


# --- the node table ---------------------------------------------------------

@pytest.mark.parametrize("level, index, weight, abscissa", [
    (0, 0, 0.23002239451478868, 0.9513679640727469),
    (0, 2, 1.3581784274539091e-12, 0.999999999999957),
    (1, 0, 0.4829882897061506, 0.6742714922484359),
    (2, 0, 0.3474036898118141, 0.3772097381640342),
    (6, 0, 0.024531906707493643, 0.02453976357464916),
    (6, 95, 3.411862828005251e-14, 0.9999999999999298),
])
def test_telling_rows(level, index, weight, abscissa):
    assert de_levels()[level][index] == (weight, abscissa)


@pytest.mark.parametrize("level", range(7))
def test_every_row_is_the_correctly_rounded_value(level):
    table = de_levels()
    assert [len(rows) for rows in table] == LEVEL_SIZES
    assert table[level] == expected_level(level)


# --- reference algorithm ------------------------------------------------------

def reference_integrate(f, a, b, target, levels=7):
    """The same step-halving rule in Python's IEEE doubles, over the first
    `levels` levels."""
    def value(x):
        y = f(x)
        return y if math.isfinite(y) else 0.0

    s = (b - a) * 0.5
    m = (a + b) * 0.5
    tol = (target * 0.25) / s if s != 0.0 else math.copysign(math.inf, target)
    total = value(m + s * 0.0) * math.pi
    evaluations = 1
    est = 0.0
    previous = 0.0
    for level in de_levels()[:levels]:
        level_sum = 0.0
        for w, x in level:
            right = value(m + s * x)
            left = value(m - s * x)
            level_sum = level_sum + w * (right + left)
        evaluations += 2 * len(level)
        half = total * 0.5
        diff = half - level_sum
        total = half + level_sum
        delta = abs(diff)
        if evaluations < 14:
            previous = delta
            continue
        if diff == 0.0:
            est = 0.0
            if target > 0.0:
                break
            previous = delta
            continue
        try:
            r = math.log(delta) / math.log(previous)
        except (ValueError, ZeroDivisionError):
            r = math.nan
        est = diff * diff if 1.9 < r < 2.1 else delta
        if est < tol:
            break
        previous = delta
    return s * est, s * total, evaluations


INTEGRANDS = {
    "exp": math.exp,
    # its differences square from level 2 to 3, so it stops on the squared
    # estimate for a target that the difference itself would miss
    "lorentzian": lambda x: 1.0 / (1.0 + 0.5 * x * x),
    "cubic": lambda x: x * x * x - 0.25 * x,
    "quarter circle": lambda x: math.sqrt(max(0.0, 1.0 - x * x)),
    "inverse sqrt": lambda x: 1.0 / math.sqrt(x) if x > 0.0 else math.inf,
    "log": lambda x: math.log(x) if x > 0.0 else -math.inf,
    "holes": lambda x: math.nan if 0.3 < x < 0.4 else math.cos(x),
}


@pytest.mark.parametrize("name", INTEGRANDS)
@pytest.mark.parametrize("a, b, target", [
    (0.0, 1.0, 1e-16), (0.0, 1.0, 1e-6), (0.0, 1.0, 1e-10), (0.25, 3.0, 1e-12),
])
def test_agrees_bit_for_bit_with_the_reference_rule(name, a, b, target):
    f = INTEGRANDS[name]
    got = integrate(f, a, b, target)
    want = reference_integrate(f, a, b, target)
    assert [bits(v) for v in got[:2]] == [bits(v) for v in want[:2]]
    assert got[2] == want[2]


@pytest.mark.parametrize("name", INTEGRANDS)
@pytest.mark.parametrize("levels", [1, 3, 5])
@pytest.mark.parametrize("target", [0.0, 1e-10])
def test_fewer_levels_agree_bit_for_bit_with_the_reference_rule(name, levels, target):
    f = INTEGRANDS[name]
    got = integrate(f, 0.0, 1.0, target, levels)
    want = reference_integrate(f, 0.0, 1.0, target, levels)
    assert [bits(v) for v in got[:2]] == [bits(v) for v in want[:2]]
    assert got[2] == want[2]


@pytest.mark.parametrize("levels, evaluations",
                         [(1, 7), (2, 13), (3, 25), (4, 49), (5, 97), (6, 193), (7, 385), (8, 385)])
def test_a_target_of_zero_sums_exactly_the_levels_asked_for(levels, evaluations):
    # A target of 1e-6 is met at level 3; a target of 0 never is.
    assert integrate(math.exp, 0.0, 1.0, 1e-6, levels)[2] == min(evaluations, 49)
    assert integrate(math.exp, 0.0, 1.0, 0.0, levels)[2] == evaluations


def test_stops_early_once_the_estimate_meets_the_target():
    error, integral, evaluations = integrate(math.exp, 0.0, 1.0, 1e-6)
    assert evaluations in (25, 49, 97, 193)
    assert abs(integral - (math.e - 1.0)) < 1e-6
    assert error < 1e-6


# --- fixed results ---------------------------------------------------------

@pytest.mark.parametrize("value", [0.0, math.nan, math.inf, -math.inf])
def test_zero_or_non_finite_integrand_gives_nothing(value):
    assert integrate(lambda x: value, 0.0, 1.0, 1e-16) == (0.0, 0.0, 25)


def test_constant_runs_every_level_and_stops_short_of_the_truncation():
    error, integral, evaluations = integrate(lambda x: 1.0, 0.0, 1.0, 1e-16)
    assert evaluations == 385
    assert 1e-14 < 1.0 - integral < 1e-13
    assert 1e-15 < error < 1e-14


@pytest.mark.parametrize("point", [0.0, 2.0, -7.5])
def test_empty_interval(point):
    assert integrate(lambda x: x + 1.0, point, point, 1e-16) == (0.0, 0.0, 25)


def test_limb_darkening_normaliser_to_the_last_bit():
    def profile_weight(x):
        return (x * TWO_PI) * (1.0 + (1.0 - math.sqrt(1.0 - x * x)) * (-0.6))

    _, integral, evaluations = integrate(profile_weight, 0.0, 1.0, 1e-16)
    assert evaluations == 385
    assert bits(integral) == bits(2.5132741228717936)


def test_limb_darkening_normaliser_of_the_ring_by_ring_form_to_the_last_bit():
    # Levels 0-3 and no early stop: the ring-by-ring rule for a distant lens.
    def profile_weight(x):
        return (x * TWO_PI) * (1.0 + (1.0 - math.sqrt(1.0 - x * x)) * (-0.6))

    _, integral, evaluations = integrate(profile_weight, 0.0, 1.0, 0.0, 4)
    assert evaluations == 49
    assert bits(integral) == bits(2.5132741228718309)


def test_inverse_square_root_is_never_evaluated_at_zero():
    points = []

    def f(x):
        points.append(x)
        return 1.0 / math.sqrt(x)

    _, integral, evaluations = integrate(f, 0.0, 1.0, 1e-16)
    assert evaluations == len(points) == 385
    assert min(points) > 0.0 and max(points) < 1.0
    assert 2e-7 < 2.0 - integral < 3e-7


# --- where and in what order the integrand is called ------------------------

@pytest.mark.parametrize("a, b", [(0.0, 1.0), (-2.0, 5.0)])
def test_evaluation_points_in_order(a, b):
    points = []
    integrate(lambda x: points.append(x) or 1.0, a, b, 1e-16)
    s, m = (b - a) * 0.5, (a + b) * 0.5
    expected = [m]
    for level in de_levels():
        for _, x in level:
            expected += [m + s * x, m - s * x]
    assert points == expected
    if (a, b) == (0.0, 1.0):
        assert points[:3] == [0.5, 0.5 + 0.5 * 0.9513679640727469,
                              0.5 - 0.5 * 0.9513679640727469]


def test_exception_in_integrand_is_raised_after_the_sum():
    calls = []

    def f(x):
        calls.append(x)
        if len(calls) == 4:
            raise ZeroDivisionError("boom")
        return 1.0

    with pytest.raises(ZeroDivisionError, match="boom"):
        integrate(f, 0.0, 1.0, 1e-16)
    assert len(calls) == 4


# --- a batch integrand ----------------------------------------------------------

def in_batches(f, batches=None):
    """The batch integrand of f, noting each batch of points it is given."""
    def batch(points):
        if batches is not None:
            batches.append(list(points))
        return [f(x) for x in points]
    return batch


@pytest.mark.parametrize("name", INTEGRANDS)
@pytest.mark.parametrize("a, b, target, levels", [
    (0.0, 1.0, 1e-16, 7), (0.0, 1.0, 1e-6, 7), (0.25, 3.0, 1e-12, 7), (0.0, 1.0, 0.0, 5),
    (0.0, 1.0, 0.0, 4), (0.0, 1.0, 1e-10, 3), (0.0, 1.0, 0.0, 1),
])
def test_a_batch_integrand_gives_the_point_by_point_sum_bit_for_bit(name, a, b, target, levels):
    # The points are taken in another order and a level or so at a time; the
    # sum, its estimate and where it stops are the same to the last bit.
    f = INTEGRANDS[name]
    got = integrate_in_batches(in_batches(f), a, b, target, levels)
    want = integrate(f, a, b, target, levels)
    assert [bits(v) for v in got[:2]] == [bits(v) for v in want[:2]]
    assert got[2] == want[2]


@pytest.mark.parametrize("target, levels", [(0.0, 7), (0.0, 5), (1e-6, 7), (0.0, 2)])
def test_a_batch_integrand_takes_each_point_once_a_level_or_so_at_a_time(target, levels):
    # The centre and levels 0 to 2 in one batch (no convergence is judged
    # before them), then one level a batch, none after the sum stops.
    points, batches = [], []
    integrate(lambda x: points.append(x) or math.exp(x), 0.0, 1.0, target, levels)
    evaluations = integrate_in_batches(in_batches(math.exp, batches), 0.0, 1.0, target, levels)[2]
    assert sorted(x for batch in batches for x in batch) == sorted(points)
    assert sum(map(len, batches)) == evaluations
    sizes = [1 + 2 * (3 + 3 + 6), 24, 48, 96, 192][:max(1, levels - 2)]
    if levels < 3:
        sizes = [1 + 2 * sum(len(level) for level in de_levels()[:levels])]
    assert [len(batch) for batch in batches] == sizes[:len(batches)]


def test_a_batch_takes_each_side_of_the_centre_in_order_of_distance():
    # Neighbouring points cost a model about the same, so they go together.
    batches = []
    integrate_in_batches(in_batches(math.exp, batches), 0.0, 1.0, 0.0, 5)
    for batch in batches:
        right = [x for x in batch if x > 0.5]
        left = [x for x in batch if x < 0.5]
        assert batch[-len(right) - len(left):] == right + left
        assert right == sorted(right) and left == sorted(left, reverse=True)


def test_an_exception_in_a_batch_integrand_is_raised_after_the_sum():
    calls = []

    def f(points):
        calls.append(len(points))
        raise ZeroDivisionError("boom")

    with pytest.raises(ZeroDivisionError, match="boom"):
        integrate_in_batches(f, 0.0, 1.0, 1e-16)
    assert calls == [25]
