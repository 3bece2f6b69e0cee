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
def test_point_source_is_nan(form):
    # rstar = 0 leaves no source radius to measure the separations in: NaN,
    # the lens at infinity included, never the 0 a dropped integral gives.
    assert all(math.isnan(x) for x in form([0.5, 2.0, math.inf], 1.0, 0.0))


INTEGRATED_FLUX_MAPS = FLUX_MAPS[1:]
NAN = math.nan
# Separations in every region: inside, on the rim, the near field outside,
# the far field, and beyond where the far field's correction underflows.
EVERYWHERE = [0.0, 0.5, 1.0, 3.0, 10.0, 1e9]
ALL_NAN = [NAN] * len(EVERYWHERE)


def bl_refused(text):
    return ValueError, "argument 'bl': " + text


# (functions, bl, bf, outcome): a list of NaN where every element is NaN, or
# the exception and its exact text.
PROFILE_CASES = [
    (FLUX_MAPS, [0.0, 0.5, 1.0], [1.0, NAN, 0.4], ALL_NAN),
    (FLUX_MAPS, [0.0, 0.5, 1.0], [NAN, 0.8, 0.4], ALL_NAN),
    (FLUX_MAPS, [0.0, 0.5, 1.0], [1.0, math.inf, 0.4], ALL_NAN),
    (FLUX_MAPS, [0.0, 0.5, 1.0], [1.0, 0.8, -math.inf], ALL_NAN),
    # No flux over the source: nothing to magnify.
    (INTEGRATED_FLUX_MAPS, [2.0, 3.0], [1.0, 1.0], ALL_NAN),
    (INTEGRATED_FLUX_MAPS, [0.2, 0.8], [0.0, 0.0], ALL_NAN),
    (INTEGRATED_FLUX_MAPS, [], [], ALL_NAN),
    (INTEGRATED_FLUX_MAPS, [0.5, 0.0, 1.0], [1.0, 1.0, 1.0], bl_refused(
        "the radii must ascend (a radius may repeat, for a step in brightness), "
        "but bl[1] = 0.0 follows bl[0] = 0.5")),
    (FLUX_MAPS, [0.0, NAN, 1.0], [1.0, 1.0, 1.0], bl_refused(
        "every radius must be finite, but bl[1] is nan")),
    (FLUX_MAPS, [0.0, 0.5, math.inf], [1.0, 1.0, 1.0], bl_refused(
        "every radius must be finite, but bl[2] is inf")),
    (FLUX_MAPS, [-math.inf, 0.5, 1.0], [1.0, 1.0, 1.0], bl_refused(
        "every radius must be finite, but bl[0] is -inf")),
]


@pytest.mark.parametrize("function, bl, bf, outcome", [
    pytest.param(function, bl, bf, outcome, id=f"{function.__name__}-{bl}-{bf}")
    for functions, bl, bf, outcome in PROFILE_CASES for function in functions])
def test_profiles_that_are_no_brightness(function, bl, bf, outcome):
    if isinstance(outcome, list):
        result = function(EVERYWHERE, 1.0, 0.1, bl, bf)
        assert len(result) == len(outcome) and all(math.isnan(x) for x in result)
    else:
        kind, text = outcome
        with pytest.raises(kind) as info:
            function(EVERYWHERE, 1.0, 0.1, bl, bf)
        assert type(info.value) is kind and str(info.value) == text


def test_the_discrete_form_sums_rings_in_any_order():
    discrete = magnikit.discrete_flux_map_heyrovsky_magnification
    assert discrete([0.3, 4.0], 1.0, 0.1, [0.5, 0.0, 1.0], [0.8, 1.0, 0.4]) == pytest.approx(
        discrete([0.3, 4.0], 1.0, 0.1, [0.0, 0.5, 1.0], [1.0, 0.8, 0.4]), rel=1e-15)


def test_nan_brightness_does_not_hide_an_error():
    # The uniform disc at the full radius still decides whether the Witt-Mao
    # form fails.
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        magnikit.integrated_flux_map_witt_mao_magnification(
            [0.5, -1.0], 1.0, 0.1, [0.0, 1.0], [1.0, math.nan])
