"""Every model far from the lens, where the far-field series takes over."""

import math

import pytest

import magnikit
from reference import load_reference

FAR_FIELD_SEPARATION = 6.0
BL = [0.0, 0.25, 0.6, 0.9, 1.0]      # the sampled profile of far_field.txt
BF = [1.0, 0.95, 0.8, 0.55, 0.3]

# name -> (call(l, re, rstar, bl, bf), column of far_field.txt, tolerance
# below the threshold). Below it each model keeps its own accuracy: the
# closed forms and the integrals ring by ring to a few 1e-14 (a sampled
# profile piece by piece), the integrals from uniform discs (by parts, piece
# by piece of a sampled profile) to about 1e-14.
MODELS = {
    "witt_mao": (lambda l, re, rstar, bl, bf: magnikit.witt_mao_magnification([l], re, rstar)[0],
                 3, 1e-13),
    "heyrovsky": (lambda l, re, rstar, bl, bf: magnikit.heyrovsky_magnification(l, 1.0, re, rstar),
                  4, 1e-14),
    "integrated_heyrovsky": (lambda l, re, rstar, bl, bf:
                             magnikit.integrated_heyrovsky_magnification([l], re, rstar)[0],
                             5, 1e-14),
    "integrated_witt_mao": (lambda l, re, rstar, bl, bf:
                            magnikit.integrated_witt_mao_magnification([l], re, rstar)[0],
                            5, 1e-13),
    "integrated_flux_map_heyrovsky": (
        lambda l, re, rstar, bl, bf:
        magnikit.integrated_flux_map_heyrovsky_magnification([l], re, rstar, bl, bf)[0],
        6, 1e-14),
    "integrated_flux_map_witt_mao": (
        lambda l, re, rstar, bl, bf:
        magnikit.integrated_flux_map_witt_mao_magnification([l], re, rstar, bl, bf)[0],
        6, 1e-13),
    "discrete_flux_map": (
        lambda l, re, rstar, bl, bf:
        magnikit.discrete_flux_map_heyrovsky_magnification([l], re, rstar, bl, bf)[0],
        7, 1e-14),
}
ROWS = load_reference("far_field")


@pytest.mark.parametrize("name", sorted(MODELS))
def test_against_high_precision_truth(name):
    call, column, near_tolerance = MODELS[name]
    for row in ROWS:
        l, re, rstar = row[:3]
        truth = row[column]
        value = call(l, re, rstar, BL, BF)
        tolerance = 1e-14 if l >= FAR_FIELD_SEPARATION else near_tolerance
        assert value == pytest.approx(truth, rel=tolerance, abs=0), (l, rstar)


@pytest.mark.parametrize("name", sorted(MODELS))
@pytest.mark.parametrize("rstar", [1e-5, 1e-3, 0.1, 1.0, 100.0])
def test_never_below_one_for_a_positive_profile(name, rstar):
    # Out to separations where u overflows: the magnification tends to 1
    # (the discrete sum to the sum of the weights) and never passes below.
    call = MODELS[name][0]
    floor = 1.0
    if name == "discrete_flux_map":
        # Added in order, as the module adds them (sum() compensates its
        # rounding from CPython 3.12 on).
        floor = 0.0
        for weight in BF:
            floor += weight
    for l in [6.0, 7.5, 40.0, 1e3, 3e5, 1e8, 1e16, 1e150, 1e300, 1.7e308]:
        value = call(l, 1.0, rstar, BL, BF)
        assert math.isfinite(value) and value >= floor, l
    assert call(1.7e308, 1.0, 100.0, BL, BF) == floor


# The jump between the two branches at the threshold, as a bound on the
# relative change from the largest separation below it to the threshold
# itself. It is the error of the near-field method there (the series is
# within a few 1e-16 of the truth): the disc's closed form cancels like l^2
# times the rounding unit (l = 6: ~1e-14), the integrals ring by ring hold
# to about 1e-15 there and those from uniform discs to a few 1e-15. The magnification itself changes by about 1e-15
# relative over one step in l there, well inside every bound.
JUMP_BOUNDS = {
    "witt_mao": 3e-14,
    "heyrovsky": 2e-15,
    "integrated_heyrovsky": 2e-15,
    "integrated_witt_mao": 1e-13,
    "integrated_flux_map_heyrovsky": 2e-15,
    "integrated_flux_map_witt_mao": 1e-13,
    "discrete_flux_map": 2e-15,
}


@pytest.mark.parametrize("name", sorted(MODELS))
@pytest.mark.parametrize("rstar", [1e-5, 1e-2, 1.0, 100.0])
def test_continuous_at_the_threshold(name, rstar):
    call = MODELS[name][0]
    below = call(math.nextafter(FAR_FIELD_SEPARATION, 0.0), 1.0, rstar, BL, BF)
    at = call(FAR_FIELD_SEPARATION, 1.0, rstar, BL, BF)
    assert abs(at / below - 1) < JUMP_BOUNDS[name]


@pytest.mark.parametrize("l", [-7.0, -1e8, math.inf, -math.inf, math.nan])
def test_disc_forms_keep_their_answer_off_the_positive_axis(l):
    # Negative, infinite and NaN separations stay with the closed form,
    # which fails for them.
    for function in (magnikit.witt_mao_magnification,
                     magnikit.integrated_witt_mao_magnification):
        with pytest.raises(RuntimeError, match="elliprj: Fail to converge"):
            function([l], 1.0, 0.1)


@pytest.mark.parametrize("re, rstar, expected", [
    (1.0, -0.1, math.nan),              # rho < 0: no source
    (-1.0, 0.1, math.nan),
    (1.0, 0.0, math.nan),               # rho = 0: a point source
    (1.0, math.inf, 1.0),               # rho = inf: no Einstein radius to speak of
    (1.0, math.nan, math.nan),
])
def test_sources_of_no_finite_positive_size_stay_with_the_closed_form(re, rstar, expected):
    if expected is RuntimeError:
        with pytest.raises(RuntimeError, match="elliprj: Fail to converge"):
            magnikit.witt_mao_magnification([1e4], re, rstar)
        return
    value = magnikit.witt_mao_magnification([1e4], re, rstar)[0]
    if math.isnan(expected):
        assert math.isnan(value)
    else:
        assert value == expected


def test_ring_series_only_for_rings_no_larger_than_the_source():
    # A ring of radius r converges like (r/l)^2: at l = 7 a ring of radius 2
    # keeps the closed form, a ring of radius 1 takes the series; both are
    # right, and a ring of negative radius still fails as before.
    for r in (1.0, 2.0):
        value = magnikit.heyrovsky_magnification(7.0, r, 1.0, 0.1)
        closed = magnikit.heyrovsky_magnification(7.0 * 1.000001, r, 1.0, 0.1)
        assert value == pytest.approx(closed, rel=1e-5)
    with pytest.raises(RuntimeError, match="elliprj: Fail to converge"):
        magnikit.heyrovsky_magnification(7.0, -0.5, 1.0, 0.1)


# Profiles that are not plain limb darkening: the far field integrates the
# interpolant over [0, 1] exactly (the moments are checked against direct
# integration in tests/internals), the near field piece by piece of the
# interpolant, steps included, so the two agree across the threshold to the
# near field's own accuracy.
ODD_PROFILES = {
    "beyond the disc": ([0.0, 0.5, 1.5, 3.0], [1.0, 0.9, 0.4, 7.0]),
    "negative flux": ([0.0, 0.4, 1.0], [1.0, -0.2, 0.5]),
    "one sample": ([0.3], [2.0]),
    "a step": ([0.0, 0.5, 0.5, 1.0], [1.0, 1.0, 0.4, 0.3]),
}


@pytest.mark.parametrize("profile", sorted(ODD_PROFILES))
@pytest.mark.parametrize("name", ["integrated_flux_map_heyrovsky", "integrated_flux_map_witt_mao"])
def test_sampled_profiles_agree_with_the_near_field(profile, name):
    bl, bf = ODD_PROFILES[profile]
    call = MODELS[name][0]
    below = call(math.nextafter(FAR_FIELD_SEPARATION, 0.0), 1.0, 0.05, bl, bf)
    at = call(FAR_FIELD_SEPARATION, 1.0, 0.05, bl, bf)
    assert at == pytest.approx(below, rel=1e-13, abs=0)


@pytest.mark.parametrize("bl, bf", [([], []), ([1.5, 2.0], [1.0, 1.0]), ([0.2, 0.8], [0.0, 0.0])])
@pytest.mark.parametrize("name", ["integrated_flux_map_heyrovsky", "integrated_flux_map_witt_mao"])
def test_profiles_without_flux_give_nan_on_both_sides(bl, bf, name):
    call = MODELS[name][0]
    for l in (3.0, 6.0, 1e4):
        assert math.isnan(call(l, 1.0, 0.05, bl, bf))


def test_series_terms_scale_with_the_squared_source_size():
    # A0 + c1 rho^2 + c2 rho^4 ...: halving rho at a fixed u shrinks the
    # finite-source excess over the point source by 4 (to a part in l^2).
    u = 0.5
    point = (u * u + 2) / (u * math.sqrt(u * u + 4))
    excess = []
    for rho in (1e-2, 5e-3):
        excess.append(magnikit.witt_mao_magnification([u / rho], 1.0, rho)[0] - point)
    assert excess[0] / excess[1] == pytest.approx(4.0, rel=1e-3)
    assert excess[0] > 0
