"""Magnification of a thin source ring against the average around the ring."""

import math

import mpmath
import pytest

import magnikit
from reference import load_reference

ring = magnikit.heyrovsky_magnification


def in_band(l, r):
    return abs(l - r) < 0.001 * min(abs(l), 1.0) or l == r


def ring_average(l, r, re, rstar):
    """The point-lens magnification averaged around the ring, by quadrature."""
    eps = mpmath.mpf(re) / rstar

    def point(phi):
        u = mpmath.sqrt(l * l + r * r - 2 * l * r * mpmath.cos(phi)) / eps
        return (u * u + 2) / (u * mpmath.sqrt(u * u + 4))

    with mpmath.workdps(25):
        return float(mpmath.quad(point, [0, mpmath.pi / 64, mpmath.pi]) / mpmath.pi)


@pytest.mark.parametrize("l, r, re, rstar, truth", load_reference("ring"))
def test_against_the_ring_average(l, r, re, rstar, truth):
    # The elliptic form is as good as K and Pi; the asymptotic form near the
    # ring drops terms of second order in the distance to the ring.
    tolerance = 1e-6 if in_band(l, r) else 1e-10
    assert ring(l, r, re, rstar) == pytest.approx(truth, rel=tolerance, abs=0)


@pytest.mark.parametrize("l", [0.01, 0.3, 2.0])
@pytest.mark.parametrize("offset", [-1.5, -0.9, 0.9, 1.5])
def test_band_edges_are_continuous_and_relative_to_the_separation(l, offset):
    # The band is 1e-3 source radii wide, or 1e-3 of the separation for
    # separations below one source radius; both sides of its edges agree
    # with the truth, and the ring beyond the lens is as bright as before it.
    r = l + offset * 0.001 * min(l, 1.0)
    assert ring(l, r, 1.0, 0.5) == pytest.approx(ring_average(l, r, 1.0, 0.5), rel=1e-5)


@pytest.mark.parametrize(
    "l, r, expected",
    [
        # A ring around the lens and a ring of zero radius are point sources.
        (0.0, 0.5, (0.25 + 8) / (0.5 * math.sqrt(0.25 + 16))),
        (0.5, 0.0, (0.25 + 8) / (0.5 * math.sqrt(0.25 + 16))),
        # A ring through the lens is infinitely magnified; one of no size on
        # the lens has no defined value.
        (0.5, 0.5, math.inf),
        (0.0, 0.0, math.nan),
    ],
)
def test_limits(l, r, expected):
    value = ring(l, r, 1.0, 0.5)
    if math.isnan(expected):
        assert math.isnan(value)
    else:
        assert value == pytest.approx(expected, rel=1e-14)


@pytest.mark.parametrize("l, r", [(0.5, -0.1), (-0.5, 0.1), (math.nan, 0.5), (0.5, math.nan)])
def test_ring_and_lens_on_opposite_sides_fail(l, r):
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        ring(l, r, 1.0, 0.5)


def test_symmetric_in_separation_and_radius_off_the_band():
    assert ring(0.3, 0.7, 1.0, 0.1) == ring(0.7, 0.3, 1.0, 0.1)
    assert type(ring(0.3, 0.7, 1.0, 0.1)) is float
