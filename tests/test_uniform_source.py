"""Magnification of a uniform disc against a direct integral over the disc."""

import math

import pytest

import magnikit
from reference import load_reference

wm = magnikit.witt_mao_magnification


def tolerance(l):
    """Relative accuracy of the closed form by distance from the rim.

    Far from the rim the elliptic integrals' own accuracy holds. Towards the
    rim the closed form subtracts large terms, and within the rim band (at
    most 1e-5 source radii wide) the rim's own value stands in for a function
    whose slope is steep there, so the error grows to a few 1e-5.
    """
    distance = abs(l - 1.0)
    if distance >= 1e-2:
        return 1e-11
    if distance >= 1e-3:
        return 1e-9
    return 1e-4


@pytest.mark.parametrize("l, re, rstar, truth", load_reference("uniform_disc"))
def test_against_integral_over_the_disc(l, re, rstar, truth):
    assert wm([l], re, rstar)[0] == pytest.approx(truth, rel=tolerance(l), abs=0)


def rim_value(rstar):
    return wm([1.0], 1.0, rstar)[0]


@pytest.mark.parametrize("rstar", [0.01, 0.1, 1.0, 3.0])
def test_rim_band_is_narrow_in_source_radii(rstar):
    rho = rstar
    band = 1e-5 * min(rho, 1.0)  # in Einstein radii
    rim = rim_value(rstar)
    for side in (-1, 1):
        inside = 1.0 + side * 0.9 * band / rho
        outside = 1.0 + side * 1.1 * band / rho
        assert wm([inside], 1.0, rstar)[0] == rim
        assert wm([outside], 1.0, rstar)[0] != rim
    if rho < 1.0:
        # A band fixed at 1e-5 Einstein radii would be far wider; just
        # inside its edge the disc is already off the rim value.
        assert wm([1.0 + 0.9e-5 / rho], 1.0, rstar)[0] != rim


def test_rim_value_is_the_closed_form():
    rho = 0.1
    q = rho * rho
    expected = (2 / rho + (q + 1) / q * (math.asin((q - 1) / (q + 1)) + math.pi / 2)) / math.pi
    assert rim_value(rho) == pytest.approx(expected, rel=1e-15)


@pytest.mark.parametrize(
    "l, re, rstar, check",
    [
        ([], 1.0, 0.1, lambda r: r == []),
        ([0.0], 1.0, 0.1, lambda r: r[0] == pytest.approx(math.sqrt(401), rel=1e-14)),
        # Far from the lens the disc is a point source, slightly brighter.
        ([10.0], 1.0, 0.1, lambda r: 1.0005 < r[0] / (3 / math.sqrt(5)) < 1.0015),
        # A source of zero size has no defined uniform-disc magnification.
        ([0.5, 1.0, 2.0], 1.0, 0.0, lambda r: all(math.isnan(x) for x in r)),
        ([5.0, 1.0, 0.2], 1.0, 0.1, lambda r: r[1] == rim_value(0.1) and r[0] < r[1] < r[2]),
    ],
)
def test_limits_and_shape(l, re, rstar, check):
    assert check(wm(l, re, rstar))


@pytest.mark.parametrize("l", [[-2.0], [float("nan")], [0.5, -2.0, 1.0]])
def test_separation_outside_the_domain_fails_the_whole_call(l):
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        wm(l, 1.0, 0.1)
