"""The far-field series and its brightness moments, against direct
integration and the point-source limit."""

import math

import mpmath
import pytest
from hypothesis import given, strategies as st

from _magnikit_internals import (far_field_constants, far_field_magnification, interp,
                                 interp_line, linear_law_moments, sampled_profile_moments)

THRESHOLD, TERMS = far_field_constants()
ZERO_OUTSIDE = (2, 0.0)


def moments_by_quadrature(profile, breaks):
    """M_k = int_0^1 x^(2k+1) I dx / int_0^1 x I dx, integrated piece by
    piece between `breaks` with mpmath."""
    pieces = sorted({0.0, 1.0, *[b for b in breaks if 0.0 < b < 1.0]})

    def mu(k):
        total = mpmath.mpf(0)
        for a, b in zip(pieces, pieces[1:]):
            total += mpmath.quad(lambda x: x ** (2 * k + 1) * profile(x), [a, b])
        return total

    flux = mu(0)
    return [mu(k) / flux for k in range(1, TERMS + 1)]


def test_linear_law_moments_in_closed_form():
    mpmath.mp.dps = 30
    law = lambda x: 1 - mpmath.mpf("0.6") * (1 - mpmath.sqrt(1 - x * x))
    expected = moments_by_quadrature(law, [])
    for got, want in zip(linear_law_moments(), expected):
        assert got == pytest.approx(float(want), rel=4e-16)
    assert len(linear_law_moments()) == TERMS


SAMPLED = {
    "limb darkened": ([0.0, 0.25, 0.6, 0.9, 1.0], [1.0, 0.95, 0.8, 0.55, 0.3]),
    "beyond the disc": ([0.0, 0.5, 1.5, 3.0], [1.0, 0.9, 0.4, 7.0]),
    "starting inside": ([0.3, 0.8], [1.0, 2.0]),
    "negative flux": ([0.0, 0.4, 1.0], [1.0, -0.2, 0.5]),
    "unsorted": ([0.7, 0.1, 0.4, 1.0], [0.5, 1.0, 0.8, 0.2]),
    "a step": ([0.0, 0.5, 0.5, 1.0], [1.0, 1.0, 0.4, 0.3]),
    "one sample": ([0.3], [2.0]),
    "a narrow bright ring": ([0.0, 0.5, 0.5 + 1e-9, 1.0], [0.0, 1e6, 0.0, 0.0]),
}


@pytest.mark.parametrize("name", sorted(SAMPLED))
def test_sampled_moments_integrate_the_interpolant_exactly(name):
    # The interpolant, as the near field's quadrature sees it, integrated
    # over [0, 1] between its sample radii.
    bl, bf = SAMPLED[name]
    mpmath.mp.dps = 30
    profile = lambda x: mpmath.mpf(interp(bl, bf, float(x), *ZERO_OUTSIDE))
    expected = moments_by_quadrature(profile, bl)
    for got, want in zip(sampled_profile_moments(bl, bf), expected):
        assert got == pytest.approx(float(want), rel=1e-13, abs=1e-15)


@pytest.mark.parametrize("bl, bf", [
    ([], []),                      # no samples: no flux
    ([1.5, 2.0], [1.0, 1.0]),      # all beyond the disc
    ([0.2, 0.8], [0.0, 0.0]),      # dark
])
def test_profile_without_flux_has_nan_moments(bl, bf):
    assert all(math.isnan(m) for m in sampled_profile_moments(bl, bf))


def test_non_finite_pieces_are_dropped_as_the_quadrature_drops_them():
    # A NaN brightness makes both segments that touch it NaN; the rest of the
    # profile counts, as in the near field, where the quadrature drops the
    # NaN integrand values.
    with_nan = sampled_profile_moments([0.0, 0.3, 0.6, 1.0], [1.0, 1.0, math.nan, 1.0])
    plain = sampled_profile_moments([0.0, 0.3], [1.0, 1.0])
    assert with_nan == pytest.approx(plain, rel=1e-15)
    assert plain != pytest.approx(sampled_profile_moments([0.0, 1.0], [1.0, 1.0]), rel=1e-3)


@given(st.lists(st.floats(-0.5, 1.5), min_size=2, max_size=6),
       st.floats(0.0, 1.0))
def test_interpolant_line_is_what_interp_evaluates(xs, x0):
    ys = [math.sin(3 * x) + 2 for x in xs]
    intercept, slope = interp_line(xs, ys, x0, *ZERO_OUTSIDE)
    value = interp(xs, ys, x0, *ZERO_OUTSIDE)
    line = intercept + slope * x0
    assert (math.isnan(value) and math.isnan(line)) or line == value


@pytest.mark.parametrize("u", [1e-6, 1e-3, 0.1, 1.0, 2.0, 30.0, 1e4, 1e8])
def test_point_source_limit(u):
    # With no source extent (h = 0) the series is the point-lens
    # magnification, evaluated without cancellation at any u.
    mpmath.mp.dps = 40
    U = mpmath.mpf(u)
    truth = (U * U + 2) / (U * mpmath.sqrt(U * U + 4))
    got = far_field_magnification(u, 0.0, [1.0] * TERMS)
    assert got == pytest.approx(float(truth), rel=3e-16)
    assert got >= 1.0


@pytest.mark.parametrize("u, expected", [(math.inf, 1.0), (1e200, 1.0)])
def test_overflowing_separations_tend_to_one(u, expected):
    assert far_field_magnification(u, 1e-300, [1.0] * TERMS) == expected


def test_each_term_scales_with_its_moment():
    # Raising one moment raises the magnification by that term alone; the
    # term of M_1 is (rho^2/8) Delta A0 / ... = h (y/4) G_1(z) / (u s).
    u, h = 0.7, 1.0 / 49.0
    base = far_field_magnification(u, h, [0.0] * TERMS)
    with_first = far_field_magnification(u, h, [1.0] + [0.0] * (TERMS - 1))
    s = math.sqrt(u * u + 4)
    y, z = 4 / s ** 2, u * u / s ** 2
    assert with_first - base == pytest.approx(h * (y / 4) * (2 + 6 * z) / (u * s), rel=1e-12)


def test_generated_laplacians_match_their_generator():
    import pathlib
    import subprocess
    import sys
    script = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "generate_far_field.py"
    done = subprocess.run([sys.executable, str(script), "--check"], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
