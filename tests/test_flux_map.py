"""Magnifications of a source whose brightness profile the caller samples."""

import math

import pytest

import magnikit
from reference import load_reference, reference_profile, sampled_limb_darkening

discrete = magnikit.discrete_flux_map_heyrovsky_magnification
by_rings = magnikit.integrated_flux_map_heyrovsky_magnification
by_discs = magnikit.integrated_flux_map_witt_mao_magnification
INTEGRATED = [
    (by_rings, magnikit.integrated_heyrovsky_magnification),
    (by_discs, magnikit.integrated_witt_mao_magnification),
]


def linear_law(x):
    return 1 - 0.6 * (1 - math.sqrt(1 - x * x))


def sampled_law(n):
    # Even steps in the angle from the centre crowd the samples towards the
    # limb, where the law has a square-root edge; there linear interpolation
    # then converges with the square of the step.
    radii = [math.sin(math.pi / 2 * i / n) for i in range(n + 1)]
    return radii, [linear_law(x) for x in radii]


@pytest.mark.parametrize("flux_map, built_in", INTEGRATED)
def test_fine_sampling_of_the_built_in_law_approaches_it(flux_map, built_in):
    l = [0.0, 0.5, 1.0, 2.0]
    exact = built_in(l, 1.0, 0.1)
    errors = []
    for n in (50, 200):
        radii, brightness = sampled_law(n)
        result = flux_map(l, 1.0, 0.1, radii, brightness)
        errors.append(max(abs(a - b) / b for a, b in zip(result, exact)))
    # Interpolation error of the profile, which falls with the step squared.
    assert errors[1] < 5e-6
    assert errors[0] / errors[1] > 10


@pytest.mark.parametrize("l, re, rstar, spacing, intervals, truth", load_reference("flux_map"))
def test_against_the_exact_integral_of_the_sampled_profile(
        l, re, rstar, spacing, intervals, truth):
    # Piece by piece between the samples, where the interpolated profile is
    # linear, both forms hold to about 1e-13; over the whole radius the
    # quadrature would miss the kinks at the samples by 1e-6, and a step by
    # far more. From uniform discs every step of the profile (where it starts
    # above 0, ends below 1, or a radius is given twice) is the flux of the
    # disc within it times the step.
    # A narrow band is the difference of the two discs within its edges,
    # 0.45^2 / (0.45^2 - 0.4^2) = 4.8 times as large as it: their closed
    # forms' few 1e-14 grow to 2e-13.
    radii, brightness = reference_profile(spacing, intervals)
    ring_by_ring = by_rings([l], re, rstar, radii, brightness)[0]
    disc_by_disc = by_discs([l], re, rstar, radii, brightness)[0]
    assert ring_by_ring == pytest.approx(truth, rel=1e-12, abs=0)
    assert disc_by_disc == pytest.approx(truth, rel=1e-12, abs=0)
    agreement = 3e-13 if spacing == "narrow" else 2e-13
    assert disc_by_disc == pytest.approx(ring_by_ring, rel=agreement, abs=0)


@pytest.mark.parametrize("flux_map", [by_rings, by_discs])
@pytest.mark.parametrize("l", [0.2, 0.5, 0.7, 1.0, 3.0])
@pytest.mark.parametrize("rstar", [0.01, 1.0])
def test_a_step_in_brightness_is_integrated_exactly(flux_map, l, rstar):
    # A radius given twice makes a step: brightness 1 inside radius 0.5 and
    # 2 outside. The magnified flux is then that of two uniform discs,
    # 2 F(1) - F(0.5) with F(r) = pi r^2 A_disc(r), over the flux 1.75 pi.
    def disc(r):
        return magnikit.witt_mao_magnification([l / r], 1.0, rstar * r)[0]

    exact = (2.0 * disc(1.0) - 0.25 * disc(0.5)) / 1.75
    result = flux_map([l], 1.0, rstar, [0.0, 0.5, 0.5, 1.0], [1.0, 1.0, 2.0, 2.0])[0]
    assert result == pytest.approx(exact, rel=1e-12, abs=0)


@pytest.mark.parametrize("radii, brightness", [
    ([0.0, 1.0], [1.0, 1.0]),
    ([0.0, 0.5, 0.5, 1.0], [1.0, 1.0, 2.0, 2.0]),
    sampled_limb_darkening(40, "sine"),
    sampled_limb_darkening(200, "even"),
])
@pytest.mark.parametrize("rstar", [1e-4, 1.0, 100.0])
def test_a_distant_lens_magnifies_the_source_as_it_does_each_ring(radii, brightness, rstar):
    # The profile's flux is integrated piece by piece by the rule the
    # magnified flux of a distant lens takes, so the ring's magnification
    # comes back to rounding.
    l = 1e8
    ring = magnikit.heyrovsky_magnification(l, 0.5, 1.0, rstar)
    assert by_rings([l], 1.0, rstar, radii, brightness)[0] == pytest.approx(ring, rel=5e-16, abs=0)


@pytest.mark.parametrize("radii, brightness", [
    ([0.0, 1.0], [1.0, 1.0]),
    ([0.3], [2.0]),                          # one sample: that brightness everywhere
    ([0.0, 0.5, 0.5, 1.0], [1.0, 1.0, 1.0, 1.0]),
    # The disc within the first radius has the lens 1e323 of its radii away,
    # where its model fails: like a node of the quadrature it drops out,
    # and its flux is nothing anyway.
    ([5e-324, 1.0], [1.0, 1.0]),
])
# Ring by ring the rings' flux is integrated, to the quadrature's 1e-13;
# from uniform discs a uniform profile is the disc at the full radius alone
# (its one step, at the rim), to rounding.
@pytest.mark.parametrize("flux_map, tolerance", [(by_rings, 1e-12), (by_discs, 1e-14)])
def test_uniform_profile_integrates_to_the_uniform_disc(flux_map, tolerance, radii, brightness):
    l = [0.0, 0.3, 1.0, 2.0]
    uniform = magnikit.witt_mao_magnification(l, 1.0, 0.1)
    assert flux_map(l, 1.0, 0.1, radii, brightness) == pytest.approx(uniform, rel=tolerance, abs=0)


def test_discrete_sum_weights_the_rings():
    l = [0.2, 0.7, 3.0]
    radii, weights = [0.25, 0.5], [2.0, -0.5]
    expected = [
        magnikit.heyrovsky_magnification(x, 0.25, 1.0, 0.1) * 2.0
        + magnikit.heyrovsky_magnification(x, 0.5, 1.0, 0.1) * -0.5
        for x in l
    ]
    assert discrete(l, 1.0, 0.1, radii, weights) == expected
    assert discrete(l, 1.0, 0.1, [0.25], [1.0]) == [
        magnikit.heyrovsky_magnification(x, 0.25, 1.0, 0.1) for x in l
    ]


def test_ring_just_beyond_the_lens_contributes():
    # The ring of radius 0.5003 passes just outside the lens at 0.5.
    value = discrete([0.5], 1.0, 0.5, [0.5003], [1.0])[0]
    assert value == magnikit.heyrovsky_magnification(0.5, 0.5003, 1.0, 0.5)
    assert value > 10


def test_lens_on_a_sampled_ring_is_infinitely_magnified():
    # With the lens at the centre, the sample at radius 0 that sampling even
    # in angle starts with is a ring through the lens; and so is any sample
    # at the lens's separation.
    radii, brightness = sampled_law(20)
    assert discrete([0.0, radii[5]], 1.0, 0.1, radii, brightness) == [math.inf, math.inf]
    assert math.isfinite(discrete([0.5 * radii[5]], 1.0, 0.1, radii, brightness)[0])


@pytest.mark.parametrize(
    "function, expected",
    [(discrete, [0.0, 0.0]), (by_rings, [math.nan] * 2), (by_discs, [math.nan] * 2)],
)
def test_empty_profile(function, expected):
    result = function([0.5, 2.0], 1.0, 0.1, [], [])
    assert len(result) == 2
    assert all((math.isnan(a) and math.isnan(b)) or a == b for a, b in zip(result, expected))


@pytest.mark.parametrize("function", [discrete, by_rings, by_discs])
def test_empty_separations(function):
    assert function([], 1.0, 0.1, [0.0, 1.0], [1.0, 1.0]) == []


def test_discrete_form_fails_with_the_ring_model():
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        discrete([0.5, -1.0], 1.0, 0.1, [0.3], [1.0])
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        by_discs([0.5, -1.0], 1.0, 0.1, [0.0, 1.0], [1.0, 1.0])
