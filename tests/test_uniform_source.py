"""Magnification of a uniform disc against a direct integral over the disc."""

import math

import mpmath
import pytest

import magnikit
from reference import load_reference

wm = magnikit.witt_mao_magnification
CASES = load_reference("uniform_disc")


# Half-width of the band about the rim in which the closed form takes the
# complementary parameters, as a fraction of rho Einstein radii.
RIM_BAND = 0.05
NEAR_EDGE_RSTARS = [1e-4, 1e-2, 1.0, 10.0, 100.0]   # re = 1: rho = rstar


def tolerance(l):
    """Relative accuracy of the closed form.

    Near the source, 1e-12: in the band about the rim the complementary
    parameters hold it to about 1e-15, and beyond the band the parameters
    formed directly lose at most 3.4e-13 (measured; the band's width was
    chosen for that). Far from the source the form's three terms grow like
    l^2 while their sum stays near 1, and it loses about l^2 1e-16.
    """
    return 1e-12 if l <= 10 else 2e-12


@pytest.mark.parametrize("l, re, rstar, truth", CASES)
def test_against_integral_over_the_disc(l, re, rstar, truth):
    assert wm([l], re, rstar)[0] == pytest.approx(truth, rel=tolerance(l), abs=0)


def rim_value(rstar):
    return wm([1.0], 1.0, rstar)[0]


def in_band(l, rho):
    return abs(rho * l - rho) < RIM_BAND * rho


@pytest.mark.parametrize("rstar", NEAR_EDGE_RSTARS)
@pytest.mark.parametrize("side", [-1, 1])
def test_band_edges_are_continuous(rstar, side):
    # Across the edge the two forms differ by no more than the error of the
    # parameters formed directly there (3.4e-13 at most, measured), once the
    # magnification's own change over the 2e-9 step is taken out.
    rho = rstar
    edge = RIM_BAND * rho
    inner, outer = (1.0 + side * edge * k / rho for k in (1 - 1e-9, 1 + 1e-9))
    assert in_band(inner, rho) and not in_band(outer, rho)
    truths = {(row[0], row[2]): row[3] for row in CASES}
    jump = wm([outer], 1.0, rstar)[0] - wm([inner], 1.0, rstar)[0]
    change = truths[(outer, rstar)] - truths[(inner, rstar)]
    assert abs(jump - change) <= 5e-13 * truths[(inner, rstar)]


def rim_closed_form(rho):
    """Witt & Mao's rim value as published, at 50 digits."""
    with mpmath.workdps(50):
        rho = mpmath.mpf(rho)
        q = rho * rho
        return float((2 / rho + (q + 1) / q * (mpmath.asin((q - 1) / (q + 1)) + mpmath.pi / 2))
                     / mpmath.pi)


@pytest.mark.parametrize("rstar", [1e-6, 1e-5, 1e-4, 1e-2, 0.1, 1.0, 100.0, 1e4])
def test_rim_value_is_the_closed_form_to_rounding(rstar):
    # Also for small sources, where the published form's asin(t) + pi/2
    # cancels (t nears -1).
    assert rim_value(rstar) == pytest.approx(rim_closed_form(rstar), rel=4e-16, abs=0)


@pytest.mark.parametrize("rstar, bits", [
    (1e-4, ["0x1.388000068db8cp+14", "0x1.23f13c9a75a6ap+14", "0x1.bccecc16d0076p+13",
            "0x1.5fd3795d176dcp+13", "0x1.435287dcd7b0cp+12", "0x1.f689d12d39a4cp+10"]),
    (0.1, ["0x1.4066560954a8ep+4", "0x1.2b6c18de5e8f7p+4", "0x1.c8c760198fb92p+3",
           "0x1.69afd9d0aaa38p+3", "0x1.50022214c596ap+2", "0x1.18cbbb631cefap+1"]),
    (3.0, ["0x1.33ac782eb914cp+0", "0x1.315d10114b5d8p+0", "0x1.2193bef352b94p+0",
           "0x1.0fa539903b06cp+0", "0x1.0093af4494770p+0", "0x1.0002c14d975aap+0"]),
])
def test_outside_the_band_the_closed_form_keeps_its_bits(rstar, bits):
    # The values the closed form in the parameters n and m has always given.
    ls = [0.0, 0.5, 0.94, 1.06, 2.0, 5.0]
    assert not any(in_band(l, rstar) for l in ls)
    assert [a.hex() for a in wm(ls, 1.0, rstar)] == bits


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
