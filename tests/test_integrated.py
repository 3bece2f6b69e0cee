"""Limb-darkened magnifications against a high-precision integral over the
disc, with the linear law I = 1 - 0.6 (1 - mu)."""

import math

import pytest

import magnikit
from reference import load_reference

ring_form = magnikit.integrated_heyrovsky_magnification
disc_form = magnikit.integrated_witt_mao_magnification
CASES = load_reference("limb_darkened")


@pytest.mark.parametrize("l, re, rstar, truth", CASES)
def test_against_integral_over_the_disc(l, re, rstar, truth):
    # Both forms hold to about 1e-13 wherever the lens is (at and near the
    # centre, at, near and just either side of the rim, sources of 1e-5 to
    # 100 Einstein radii): ring by ring, the ring model being exact near the
    # lens; from uniform discs, integrated by parts in the angle x = sin(theta)
    # with no derivative taken numerically. Divided by one normaliser, they
    # agree to the quadratures' own error.
    by_rings = ring_form([l], re, rstar)[0]
    by_discs = disc_form([l], re, rstar)[0]
    assert by_rings == pytest.approx(truth, rel=1e-12, abs=0)
    assert by_discs == pytest.approx(truth, rel=1e-12, abs=0)
    assert by_discs == pytest.approx(by_rings, rel=2e-13, abs=0)


@pytest.mark.parametrize("rstar", [1e-4, 1.0, 100.0])
def test_a_distant_lens_magnifies_the_source_as_it_does_each_ring(rstar):
    # 1e8 source radii away every ring is magnified alike, to rounding; the
    # source's own flux is divided out by the rule that integrated the
    # magnified flux, so the ring's magnification comes back, where a
    # normaliser by another rule would be 5e-15 off.
    l = 1e8
    ring = magnikit.heyrovsky_magnification(l, 0.5, 1.0, rstar)
    assert ring_form([l], 1.0, rstar)[0] == pytest.approx(ring, rel=5e-16, abs=0)


@pytest.mark.parametrize("rstar", [0.01, 0.1, 1.0])
def test_the_two_forms_agree_and_differ_from_a_uniform_disc(rstar):
    l = [0.0, 0.4, 0.8, 1.0, 1.3, 3.0]
    by_rings = ring_form(l, 1.0, rstar)
    by_discs = disc_form(l, 1.0, rstar)
    uniform = magnikit.witt_mao_magnification(l, 1.0, rstar)
    assert by_discs == pytest.approx(by_rings, rel=2e-13)
    # Limb darkening concentrates the light towards the centre: more
    # magnified with the lens at the centre, less with it on the rim.
    assert by_rings[0] > uniform[0] * 1.05
    assert by_rings[3] < uniform[3] * 0.99


def test_empty_separations():
    assert ring_form([], 1.0, 0.1) == []
    assert disc_form([], 1.0, 0.1) == []


def test_uniform_disc_failure_fails_the_disc_form_only():
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        disc_form([0.5, -2.0], 1.0, 0.1)
    # Ring by ring, a failing ring model never fails the call: the negative
    # separation, where the model fails at every radius, gives NaN.
    result = ring_form([0.5, -2.0], 1.0, 0.1)
    assert math.isfinite(result[0]) and math.isnan(result[1])
