"""Magnification of a thin source ring against the average around the ring."""

import math

import pytest

import magnikit
from reference import load_reference

ring = magnikit.heyrovsky_magnification
CASES = load_reference("ring")

# Half-width of the band about a ring through the lens in which the closed
# form takes the complementary parameters, as a fraction of |l|.
NEAR_RING_BAND = 0.05
NEAR_EDGE_RSTARS = [1e-4, 1e-2, 1.0, 10.0, 100.0]   # re = 1: rho = rstar Einstein radii
RING_RADII = [1e-3, 0.5, 1.0]


def in_band(l, r):
    return abs(l - r) < NEAR_RING_BAND * abs(l)


# Within 1e-12 relative, the ring through the lens aside. In the band the
# complementary parameters hold the closed form to about 1e-15; beyond it the
# parameters formed directly lose at most 3.4e-13 (measured), the band's
# width having been chosen for that.
@pytest.mark.parametrize("l, r, re, rstar, truth", CASES)
def test_against_the_ring_average(l, r, re, rstar, truth):
    assert ring(l, r, re, rstar) == pytest.approx(truth, rel=1e-12, abs=0)


def band_edge_gaps(r):
    """l - r at the edges of the band about a ring of radius r, lens outside
    the ring and inside it (as scripts/generate_reference.py places them)."""
    return (NEAR_RING_BAND * r / (1 - NEAR_RING_BAND), -NEAR_RING_BAND * r / (1 + NEAR_RING_BAND))


@pytest.mark.parametrize("rstar", NEAR_EDGE_RSTARS)
@pytest.mark.parametrize("r", RING_RADII)
@pytest.mark.parametrize("side", [0, 1])
def test_band_edges_are_continuous(rstar, r, side):
    # Across the edge the two forms differ by no more than the error of the
    # parameters formed directly there (3.4e-13 at most, measured), once the
    # magnification's own change over the 2e-9 step is taken out.
    gap = band_edge_gaps(r)[side]
    inner, outer = r + gap * (1 - 1e-9), r + gap * (1 + 1e-9)
    assert in_band(inner, r) and not in_band(outer, r)
    truths = {(row[0], row[1], row[3]): row[4] for row in CASES}
    jump = ring(outer, r, 1.0, rstar) - ring(inner, r, 1.0, rstar)
    change = truths[(outer, r, rstar)] - truths[(inner, r, rstar)]
    assert abs(jump - change) <= 5e-13 * truths[(inner, r, rstar)]


@pytest.mark.parametrize("rstar", NEAR_EDGE_RSTARS)
@pytest.mark.parametrize("r", [0.0, *RING_RADII])
def test_ring_through_the_lens_is_infinite(r, rstar):
    # Including a ring of no size on the lens: the average of a magnification
    # that grows like the inverse distance diverges on the ring.
    assert ring(r, r, 1.0, rstar) == math.inf


@pytest.mark.parametrize("l, r, rstar, bits", [
    (0.0, 0.5, 0.5, "0x1.05f61ba72fcb4p+2"),
    (0.5, 0.3, 0.1, "0x1.64fcf85f28287p+4"),
    (0.5, 0.53, 0.1, "0x1.e743e35012bdfp+4"),
    (0.5, 0.47, 100.0, "0x1.0012d50fc7311p+0"),
    (2.0, 0.5, 1e-4, "0x1.3d8ff334f14a6p+12"),
    (5.0, 1.0, 10.0, "0x1.0000064c74fe2p+0"),
])
def test_outside_the_band_the_closed_form_keeps_its_bits(l, r, rstar, bits):
    # The values the closed form in the parameters n and m has always given.
    assert not in_band(l, r)
    assert ring(l, r, 1.0, rstar).hex() == bits


@pytest.mark.parametrize(
    "l, r, re, expected",
    [
        # A ring around the lens and a ring of zero radius are point sources.
        (0.0, 0.5, 1.0, (0.25 + 8) / (0.5 * math.sqrt(0.25 + 16))),
        (0.5, 0.0, 1.0, (0.25 + 8) / (0.5 * math.sqrt(0.25 + 16))),
        # Without a lens nothing is magnified, in the band as outside it.
        (0.5, 0.5001, 0.0, 1.0),
        (0.5, 0.7, 0.0, 1.0),
    ],
)
def test_limits(l, r, re, expected):
    assert ring(l, r, re, 0.5) == pytest.approx(expected, rel=1e-14)


@pytest.mark.parametrize("l, r", [(0.5, -0.1), (-0.5, 0.1), (math.nan, 0.5), (0.5, math.nan)])
def test_ring_and_lens_on_opposite_sides_fail(l, r):
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        ring(l, r, 1.0, 0.5)


def test_symmetric_in_separation_and_radius_off_the_band():
    assert ring(0.3, 0.7, 1.0, 0.1) == ring(0.7, 0.3, 1.0, 0.1)
    assert type(ring(0.3, 0.7, 1.0, 0.1)) is float
