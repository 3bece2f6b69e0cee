"""The edges of the input domain: a value that cannot be a magnification is
NaN, never a silent 0 (a point lens never demagnifies) and never a finite
number that hides a caller's NaN."""

import math
import sys

import mpmath
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


# Every function on one footing: separations in, a list of results out.
RING_RADIUS = 0.25
FUNCTIONS = {
    "witt_mao": magnikit.witt_mao_magnification,
    "integrated_witt_mao": magnikit.integrated_witt_mao_magnification,
    "flux_map_witt_mao": lambda l, re, rstar:
        magnikit.integrated_flux_map_witt_mao_magnification(l, re, rstar, *PROFILE),
    "heyrovsky": lambda l, re, rstar:
        [magnikit.heyrovsky_magnification(x, RING_RADIUS, re, rstar) for x in l],
    "integrated_heyrovsky": magnikit.integrated_heyrovsky_magnification,
    "flux_map_heyrovsky": lambda l, re, rstar:
        magnikit.integrated_flux_map_heyrovsky_magnification(l, re, rstar, *PROFILE),
    "discrete_flux_map": lambda l, re, rstar:
        magnikit.discrete_flux_map_heyrovsky_magnification(l, re, rstar, *PROFILE),
    "limb_darkened": lambda l, re, rstar:
        magnikit.limb_darkened_magnification(l, re, rstar, "linear", [0.6]),
}
DISC_FORMS = ("witt_mao", "integrated_witt_mao", "flux_map_witt_mao")
RING_INTEGRALS = ("integrated_heyrovsky", "flux_map_heyrovsky", "limb_darkened")
REFUSED = "elliprj: Fail to converge"
UNLENSED_SUM = sum(PROFILE[1])  # the discrete map's sum of unmagnified rings
NAN, INF = math.nan, math.inf


def outcomes(disc, ring_integrals, ring, discrete):
    """The expected outcome of each function: a value for every element,
    NaN for every element, or REFUSED for the call."""
    expected = {name: disc for name in DISC_FORMS}
    expected.update({name: ring_integrals for name in RING_INTEGRALS})
    expected.update(heyrovsky=ring, discrete_flux_map=discrete)
    return expected


VALID = [0.3, 0.7, 3.0, 1e300]  # on no ring of RING_RADIUS or PROFILE
ANYWHERE = [*VALID, -1.0, NAN, INF]
# (re, rstar, separations, outcomes). Sizes that describe no lens and source
# are NaN whatever the separations; a source with no Einstein radius to
# speak of (rho = +inf) is not magnified; a negative, NaN or infinite
# separation gets each function's own answer, whatever the sizes.
DOMAIN = [
    (-1.0, 0.1, ANYWHERE, outcomes(NAN, NAN, NAN, NAN)),
    (1.0, -0.1, ANYWHERE, outcomes(NAN, NAN, NAN, NAN)),
    (-1.0, -0.1, ANYWHERE, outcomes(NAN, NAN, NAN, NAN)),
    (NAN, 0.1, ANYWHERE, outcomes(NAN, NAN, NAN, NAN)),
    (1.0, NAN, ANYWHERE, outcomes(NAN, NAN, NAN, NAN)),
    (1.0, 0.0, ANYWHERE, outcomes(NAN, NAN, NAN, NAN)),     # a point source
    (1.0, -0.0, ANYWHERE, outcomes(NAN, NAN, NAN, NAN)),
    (INF, 0.1, ANYWHERE, outcomes(NAN, NAN, NAN, NAN)),     # rho = 0 again
    (0.0, 0.0, ANYWHERE, outcomes(NAN, NAN, NAN, NAN)),
    (INF, INF, ANYWHERE, outcomes(NAN, NAN, NAN, NAN)),
    (0.0, 0.1, VALID, outcomes(1.0, 1.0, 1.0, UNLENSED_SUM)),  # rho = +inf
    (-0.0, 0.1, VALID, outcomes(1.0, 1.0, 1.0, UNLENSED_SUM)),
    (1.0, INF, VALID, outcomes(1.0, 1.0, 1.0, UNLENSED_SUM)),
    (0.0, INF, VALID, outcomes(1.0, 1.0, 1.0, UNLENSED_SUM)),
    (1e-300, 1e300, VALID, outcomes(1.0, 1.0, 1.0, UNLENSED_SUM)),  # rho beyond the doubles
    (0.0, 0.1, [-1.0], outcomes(REFUSED, NAN, REFUSED, REFUSED)),
    (0.0, 0.1, [INF], outcomes(REFUSED, 1.0, REFUSED, REFUSED)),
    *[(1.0, 0.1, [l], outcomes(REFUSED, NAN, REFUSED, REFUSED))
      for l in (-1e-300, -1.0, -1e300, -MAX, -INF, NAN)],
    (1.0, 0.1, [INF], outcomes(REFUSED, 1.0, REFUSED, REFUSED)),
]


@pytest.mark.parametrize("name", sorted(FUNCTIONS))
@pytest.mark.parametrize("re, rstar, l, expected", DOMAIN)
def test_input_domain(name, re, rstar, l, expected):
    outcome = expected[name]
    if outcome == REFUSED:
        with pytest.raises(RuntimeError, match="^%s$" % REFUSED):
            FUNCTIONS[name](l, re, rstar)
        return
    result = FUNCTIONS[name](l, re, rstar)
    assert len(result) == len(l)
    if math.isnan(outcome):
        assert all(math.isnan(x) for x in result)
    else:
        assert result == [outcome] * len(l)


@pytest.mark.parametrize("name", ["integrated_witt_mao", "flux_map_witt_mao",
                                  "integrated_heyrovsky", "flux_map_heyrovsky", "limb_darkened"])
@pytest.mark.parametrize("rho", [1e3, 1e30, 1e70])
def test_a_large_source_is_not_demagnified(name, rho):
    # A point lens adds 2 pi Einstein radii squared of magnified area in
    # all, so the magnification is below 1 + 2/rho^2 times the profile's
    # brightest over its mean (1.6 here); each integral, divided by the exact
    # flux of a profile nowhere negative, comes out within its own error of
    # that, never below 1.
    l = [0.0, 0.3, 0.5, 0.99, 1.0, 1.01, 2.0, 5.99]
    for value in FUNCTIONS[name](l, 1.0, rho):
        assert 1.0 <= value <= 1.0 + 3.2 / rho ** 2 + 1e-14


@pytest.mark.parametrize("l, r, re, expected", [
    (0.25, 0.25, 0.0, INF),          # a ring through the lens, at every rho
    (0.0, 0.0, 0.0, INF),
    (-1e300, 0.5, 1.0, REFUSED),     # opposite signs, however far
    (0.5, -1e-300, 1.0, REFUSED),
    (-0.5, -0.3, 1.0, NAN),          # no ring and lens lie so
    (-0.5, -0.5, 1.0, NAN),
    (0.0, -1.0, 1.0, NAN),
    (-1.0, 0.0, 1.0, NAN),
    (-1.0, -0.0, 1.0, NAN),
])
def test_ring_geometry(l, r, re, expected):
    if expected == REFUSED:
        with pytest.raises(RuntimeError, match="^%s$" % REFUSED):
            magnikit.heyrovsky_magnification(l, r, re, 0.1)
        return
    value = magnikit.heyrovsky_magnification(l, r, re, 0.1)
    assert math.isnan(value) if math.isnan(expected) else value == expected


def disc_truth(l, rho):
    """Witt & Mao's closed form at the digits its terms need."""
    l, rho = mpmath.mpf(l), mpmath.mpf(rho)
    near_rim = 0 if l == 1 else int(2 * mpmath.log10((l + 1) / abs(l - 1)))
    with mpmath.workdps(40 + near_rim):
        if l == 1:
            return (2 / rho + (rho ** 2 + 1) / rho ** 2 * 2 * mpmath.atan(rho)) / mpmath.pi
        u, q = rho * l, rho * rho
        d, s = u - rho, u + rho
        w = mpmath.sqrt(d * d + 4)
        n = 4 * u * rho / s ** 2
        m = 4 * n / (d * d + 4)
        return (s * w / (2 * q) * mpmath.ellipe(m)
                - d * (8 + u * u - q) / (2 * q * w) * mpmath.ellipk(m)
                + 2 * (q + 1) * d * d / (q * s * w) * mpmath.ellippi(n, m)) / mpmath.pi


def ring_truth(l, r, eps):
    """Heyrovsky's closed form at the digits its terms need."""
    l, r, eps = mpmath.mpf(l), mpmath.mpf(r), mpmath.mpf(eps)
    with mpmath.workdps(40 + int(2 * mpmath.log10((l + r) / abs(l - r)))):
        d, s = l - r, l + r
        Q = d * d + 4 * eps ** 2
        n, m = 4 * l * r / s ** 2, 16 * eps ** 2 * l * r / (s ** 2 * Q)
        return (4 / (s * mpmath.sqrt(Q)) * (d * d * mpmath.ellippi(n, m)
                                            + 2 * eps ** 2 * mpmath.ellipk(m)) / (2 * mpmath.pi))


def linear_law(x):
    return 1 - mpmath.mpf("0.6") * (1 - mpmath.sqrt(1 - x * x))


def sampled(profile):
    """The profile interpolated linearly between its samples, zero off them."""
    radii, brightness = profile

    def at(x):
        for a, b, fa, fb in zip(radii, radii[1:], brightness, brightness[1:]):
            if a <= x <= b:
                return fa + (fb - fa) * ((x - a) / (b - a))
        return 0
    return at


def limb_darkened_truth(l, rho, brightness, kinks=()):
    """A source far smaller than the Einstein radius, where A(u) = 1/u to
    relative order rho^2: the brightness-weighted mean over the disc of
    1/(rho |x - l|), whose mean around the ring of radius x is
    1/((x + l) agm(1, |x - l| / (x + l)))."""
    with mpmath.workdps(30):
        l = mpmath.mpf(l)
        points = sorted({0, 1, *([l] if 0 < l < 1 else []), *(k for k in kinks if 0 < k < 1)})
        flux = mpmath.quad(lambda x: x * brightness(x), points)
        mean_inverse = mpmath.quad(
            lambda x: x * brightness(x) / ((x + l) * mpmath.agm(1, abs(x - l) / (x + l))), points)
        return mean_inverse / flux / rho


TINY = 5e-324
SMALL_SOURCE_TRUTH = {
    "integrated_heyrovsky": lambda l, rho: limb_darkened_truth(l, rho, linear_law),
    "integrated_witt_mao": lambda l, rho: limb_darkened_truth(l, rho, linear_law),
    "limb_darkened": lambda l, rho: limb_darkened_truth(l, rho, linear_law),
    "flux_map_heyrovsky": lambda l, rho: limb_darkened_truth(l, rho, sampled(PROFILE), PROFILE[0]),
    "flux_map_witt_mao": lambda l, rho: limb_darkened_truth(l, rho, sampled(PROFILE), PROFILE[0]),
}
# (function, arguments, relative tolerance): valid geometries far beyond the
# closed forms' own range of lengths, near the rim and near the ring through
# the lens among them: (l, rho) for the disc forms, (l, r, eps) for the
# ring. A tolerance of 0 asks for the truth rounded, and a truth beyond the
# largest double for +inf. The integrated forms' tolerances are their
# quadratures' own (README).
EXTREMES = [
    ("witt_mao", (0.999999999999, 1e80), 0),
    ("witt_mao", (5.9, 1e77), 0),
    ("witt_mao", (0.3, MAX), 0),
    ("witt_mao", (0.999, 1e-120), 1e-15),
    ("witt_mao", (1.0, 1e-200), 1e-15),
    ("witt_mao", (1 + 2 ** -52, 1e-150), 1e-15),
    ("witt_mao", (0.0, 2e-308), 1e-15),
    ("witt_mao", (5.9, 1e-300), 1e-15),
    ("witt_mao", (3.0, TINY), 0),
    ("heyrovsky", (1.0, 1.01, 1e200), 1e-15),
    ("heyrovsky", (1e-200, 0.0, 10.0), 1e-15),
    ("heyrovsky", (0.5, 0.5 + 2 ** -53, 1e300), 1e-15),
    ("heyrovsky", (1e300, 1.0000000001e300, 1e291), 1e-14),
    ("heyrovsky", (1e200, 3e200, 1.0), 1e-15),
    ("heyrovsky", (MAX, MAX / 2, 1e308), 1e-15),
    ("heyrovsky", (1e-300, 3e-300, 1.0), 1e-15),
    ("heyrovsky", (3 * TINY, 2 * TINY, 2 * TINY), 1e-15),
    ("heyrovsky", (0.7, 0.7 * (1 + 1e-15), 1e-300), 1e-15),
    ("heyrovsky", (0.5, 0.3, 1e-250), 0),
    ("integrated_heyrovsky", (0.5, 1e-300), 2e-13),
    ("integrated_heyrovsky", (1.0, TINY), 0),
    ("limb_darkened", (0.5, 1e-307), 2e-13),
    ("flux_map_heyrovsky", (0.0, 1e-250), 2e-13),
    ("integrated_witt_mao", (1.5, 1e-300), 1e-9),
    ("flux_map_witt_mao", (0.25, 1e-200), 1e-5),
    *[(name, (l, 1e200), 0) for name in SMALL_SOURCE_TRUTH for l in (0.0, 0.999999, 1.0)],
]


@pytest.mark.parametrize("name, arguments, tolerance", EXTREMES)
def test_extreme_but_valid_geometry(name, arguments, tolerance):
    if name == "heyrovsky":
        l, r, eps = arguments
        value = magnikit.heyrovsky_magnification(l, r, eps, 1.0)
        truth = ring_truth(l, r, eps)
    else:
        l, rho = arguments
        value = FUNCTIONS[name]([l], 1.0, rho)[0]
        # A source of 1e200 Einstein radii is magnified by less than 1e-399.
        truth = disc_truth(l, rho) if name == "witt_mao" else \
            1 if rho > 1 else SMALL_SOURCE_TRUTH[name](l, rho)
    if truth > MAX:
        assert value == math.inf
    elif tolerance == 0:
        assert value == float(truth)
    else:
        assert value >= 1 and abs(value - truth) <= tolerance * truth
