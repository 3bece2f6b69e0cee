"""The edges of the input domain: a value that cannot be a magnification is
NaN, never a silent 0 (a point lens never demagnifies) and never a finite
number that hides a caller's NaN."""

import math
import sys

import pytest

import magnikit

MAX = sys.float_info.max
PROFILE = ([0.0, 0.5, 1.0], [1.0, 0.8, 0.4])


def ring_form(l, re=1.0, rstar=0.1):
    return magnikit.integrated_heyrovsky_magnification(l, re, rstar)


def sampled_ring_form(l, re=1.0, rstar=0.1):
    return magnikit.integrated_flux_map_heyrovsky_magnification(l, re, rstar, *PROFILE)


RING_FORMS = [ring_form, sampled_ring_form]
FLUX_MAPS = [
    magnikit.discrete_flux_map_heyrovsky_magnification,
    magnikit.integrated_flux_map_heyrovsky_magnification,
    magnikit.integrated_flux_map_witt_mao_magnification,
]


@pytest.mark.parametrize("form", RING_FORMS)
@pytest.mark.parametrize("l", [math.nan, -math.nan, -1.0, -1e-300, -math.inf])
def test_nan_or_negative_separation_is_nan(form, l):
    # Neighbours keep their values: each element is decided on its own.
    result = form([0.5, l, 2.0])
    assert math.isnan(result[1])
    assert result[0] == form([0.5])[0] and result[2] == form([2.0])[0]


@pytest.mark.parametrize("form", RING_FORMS)
@pytest.mark.parametrize("rho", [1e-5, 0.1, 100.0])
@pytest.mark.parametrize("l", [math.inf, MAX, 1e300, 1.07e154, 1.0000001e154])
def test_lens_at_infinity_does_not_magnify(form, rho, l):
    # Beyond 1e154 source radii the ring terms overflow at every radius; the
    # magnification there is 1 to double precision (A - 1 ~ 2/u^4).
    assert form([l], 1.0, rho) == [1.0]


@pytest.mark.parametrize("form", RING_FORMS)
@pytest.mark.parametrize("rho", [1e-5, 0.1, 100.0])
def test_far_but_finite_ring_terms_are_kept(form, rho):
    # Just below 1e154 the integral itself still decides, and it is 1 to a
    # few units in the last place.
    for l in (1e20, 1e100, 1e154):
        assert form([l], 1.0, rho)[0] == pytest.approx(1.0, abs=1e-15)


@pytest.mark.parametrize("form", RING_FORMS)
@pytest.mark.parametrize("re, rstar", [(math.nan, 0.1), (1.0, math.nan)])
def test_nan_radius_is_nan(form, re, rstar):
    assert all(math.isnan(x) for x in form([0.0, 0.5, 2.0, math.inf], re, rstar))


@pytest.mark.parametrize("form", RING_FORMS)
def test_point_source_keeps_its_old_value(form):
    # rstar = 0 stays what it was (callers may rely on it); only the lens at
    # infinity, whose magnification is 1 for any source, changes.
    assert form([0.5, 2.0, math.inf], 1.0, 0.0) == [0.0, 0.0, 1.0]


@pytest.mark.parametrize("function", FLUX_MAPS)
@pytest.mark.parametrize("where", [0, 1, 2])
def test_nan_brightness_makes_every_element_nan(function, where):
    radii, brightness = [0.0, 0.5, 1.0], [1.0, 0.8, 0.4]
    brightness[where] = math.nan
    result = function([0.0, 0.5, 1.0, 3.0], 1.0, 0.1, radii, brightness)
    assert len(result) == 4 and all(math.isnan(x) for x in result)


def test_nan_brightness_does_not_hide_an_error():
    # The uniform disc at the full radius still decides whether the Witt-Mao
    # form fails.
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        magnikit.integrated_flux_map_witt_mao_magnification(
            [0.5, -1.0], 1.0, 0.1, [0.0, 1.0], [1.0, math.nan])
