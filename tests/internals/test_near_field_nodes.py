"""The nodes of the near field's rule over the source radius
(models/radius_nodes.hpp), for any lens and source: they cover the radius
once with the right weights, take the logarithm at the ring through the lens
and the power-law edge at the limb exactly, and stay few."""

import math

import pytest
from mpmath import mp, mpf

from _magnikit_internals import law_nodes, piece_nodes

# The lens at the centre, within a subnormal, 1e-300 and 1e-8 of it, in the
# inner half, either side of the switch to v, inside near the rim, on it,
# just outside and far; sources from 1e-5 to 1e76 Einstein radii, and the
# reference size of a source far smaller than the Einstein radius.
LENSES = [0.0, 5e-324, 1e-300, 1e-8, 0.3, math.nextafter(0.5, 0.0), 0.5, 0.9, 1 - 1e-12,
          1.0, 1 + 1e-12, 1.5, 5.99]
EPS = [1e5, 20.0, 1.0, 0.01, 1e-10, 1e-76, 2.0 ** 600]


def log_moment(l):
    """int_0^1 2 pi x log|x^2 - l^2| dx = pi int_0^1 log|t - l^2| dt: a
    logarithm at the ring through the lens, even in x as the ring's flux is."""
    def at(u):
        return u * mp.log(abs(u)) - u if u != 0 else mpf(0)
    l2 = mpf(l) ** 2
    return mp.pi * (at(1 - l2) - at(-l2))


@pytest.mark.parametrize("eps", EPS)
@pytest.mark.parametrize("l", LENSES)
def test_a_laws_nodes_integrate_the_bases_and_the_logarithm(l, eps):
    # mu^k are polynomials in v, mu ln mu and mu^0.3 power-law edges at the
    # limb, log|x^2 - l^2| the ring through the lens: a cell missing or
    # taken twice, a wrong weight or a rule turned the wrong way shows at
    # once.
    x, mu, _, _, area, _ = law_nodes(l, eps)
    assert len(x) <= 500 and all(0 <= r <= 1 for r in x)
    sums = {
        "1": (math.pi, sum(area)),
        "mu": (2 * math.pi / 3, math.fsum(a * m for a, m in zip(area, mu))),
        "mu^2": (math.pi / 2, math.fsum(a * m * m for a, m in zip(area, mu))),
        "mu ln mu": (-2 * math.pi / 9, math.fsum(a * m * math.log(m) for a, m in zip(area, mu))),
        "mu^0.3": (2 * math.pi / 2.3, math.fsum(a * m ** 0.3 for a, m in zip(area, mu))),
    }
    for name, (exact, rule) in sums.items():
        assert rule == pytest.approx(exact, rel=2e-15), name
    # Near the centre the flux differs from a centred lens's, which has no
    # logarithm, by (l / x)^2, and for a source far larger than the Einstein
    # radius the logarithm is a small share of it: a bare one is neither.
    if 0.3 <= l <= 2 * eps:
        rule = math.fsum(a * math.log(abs((r - l) * (r + l))) for a, r in zip(area, x) if r != l)
        assert rule == pytest.approx(float(log_moment(l)), rel=1e-14, abs=1e-14)


# (a, b, l): the lens inside the piece, at either end, within 1e-12 of its
# own separation from either end (both sides), within a quarter of the
# piece's width outside it (either side), far from it, at the centre; a
# narrow piece with the lens just beyond it.
PIECES = [
    (0.2, 0.3, 0.25), (0.2, 0.3, 0.2), (0.2, 0.3, 0.3),
    (0.2, 0.3, 0.2 * (1 + 1e-12)), (0.2, 0.3, 0.2 * (1 - 1e-12)),
    (0.2, 0.3, 0.3 * (1 - 1e-12)), (0.2, 0.3, 0.3 * (1 + 1e-12)),
    (0.2, 0.3, 0.18), (0.2, 0.3, 0.32), (0.2, 0.3, 0.9), (0.0, 0.025, 0.0),
    (0.4, 0.4 + 1e-9, 0.4 + 1.1e-9), (0.975, 1.0, 1.0), (0.975, 1.0, 1.001),
]


def log_integral(a, b, l):
    """int_a^b log|x - l| dx."""
    def at(u):
        return u * mp.log(abs(u)) - u if u != 0 else mpf(0)
    return at(mpf(b) - mpf(l)) - at(mpf(a) - mpf(l))


@pytest.mark.parametrize("eps", [1e5, 1.0, 0.01, 1e-76])
@pytest.mark.parametrize("a, b, l", PIECES)
def test_a_pieces_nodes_integrate_its_line_and_the_logarithm(a, b, l, eps):
    # A part taken away (the lens just outside the piece) has negative
    # weights; together the parts must be the piece.
    x, w = piece_nodes(l, eps, a, b)
    width = b - a
    assert len(x) <= 700
    assert math.fsum(w) == pytest.approx(width, rel=1e-15)
    assert math.fsum(wi * xi for wi, xi in zip(w, x)) == pytest.approx(
        (b - a) * (b + a) / 2, rel=1e-15)
    if 0 < l <= 2 * eps:
        rule = math.fsum(wi * math.log(abs(xi - l)) for wi, xi in zip(w, x) if xi != l)
        exact = log_integral(a, b, l)
        # The nodes lie on doubles: next to the lens, log|x - l| moves by
        # ulp(l) / (x - l) from one to the next.
        assert rule == pytest.approx(float(exact), rel=1e-13, abs=64 * math.ulp(l))
