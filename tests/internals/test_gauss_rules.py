"""The near field's stored rules (src/numeric/gauss_rules.hpp): each one
integrates exactly what it is built for, read from the header's literals."""

import math
import pathlib
import re
from fractions import Fraction

import pytest

HEADER = pathlib.Path(__file__).resolve().parents[2] / "src" / "numeric" / "gauss_rules.hpp"


def rules():
    """{name: [(weight, abscissa), ...]} as the compiler reads the literals."""
    text = HEADER.read_text()
    return {name: [(float(w), float(x)) for w, x in
                   re.findall(r"\{([-+0-9.e]+), ([-+0-9.e]+)\}", body)]
            for name, body in re.findall(r"GaussNode (\w+)\[\d+\] = \{(.*?)\};", text, re.S)}


RULES = rules()


def is_a_rule_on_the_unit_interval(nodes):
    abscissae = [x for _, x in nodes]
    return (all(w > 0 for w, _ in nodes) and 0 < abscissae[0]
            and all(a < b for a, b in zip(abscissae, abscissae[1:])) and abscissae[-1] < 1)


@pytest.mark.parametrize("n", range(1, 15))
def test_gauss_legendre_is_exact_for_polynomials_below_degree_2n(n):
    nodes = RULES[f"GAUSS_LEGENDRE_{n}"]
    assert len(nodes) == n and is_a_rule_on_the_unit_interval(nodes)
    for k in range(2 * n):
        total = sum(Fraction(w) * Fraction(x) ** k for w, x in nodes)
        assert abs(total - Fraction(1, k + 1)) < Fraction(1, 2 ** 50)


def test_the_log_rule_is_exact_for_powers_and_powers_times_log():
    # the magnified flux next to the ring through the lens: a(x) log x + b(x)
    nodes = RULES["LOG_GAUSS"]
    n = len(nodes)
    assert n == 14 and is_a_rule_on_the_unit_interval(nodes)
    for k in range(n):
        power = sum(w * x ** k for w, x in nodes)
        log_power = sum(w * x ** k * math.log(x) for w, x in nodes)
        assert power == pytest.approx(1 / (k + 1), rel=0, abs=4e-16)
        assert log_power == pytest.approx(-1 / (k + 1) ** 2, rel=0, abs=4e-16)


def test_each_bernstein_sum_is_the_least_that_holds_its_order_to_the_target():
    # A cell takes the least order whose threshold its nearest singular
    # point meets: a threshold a rounding too low would hand a cell a rule
    # short of the target, one too high a rule dearer than it needs.
    text = HEADER.read_text()
    target = float(re.search(r"CELL_TARGET = ([-+0-9.e]+);", text).group(1))
    sums = [float(x) for x in re.findall(
        r"[-+0-9.e]+", re.search(r"BERNSTEIN_SUMS\{(.*?)\};", text, re.S).group(1))]
    assert target == 1e-18 and len(sums) == len(
        [name for name in RULES if name.startswith("GAUSS_LEGENDRE_")])
    from mpmath import mp, mpf
    with mp.workdps(40):
        for n, stored in enumerate(sums, 1):
            r = mpf(target) ** (-mpf(1) / (2 * n))
            exact = r + 1 / r
            assert mpf(stored) >= exact and mpf(math.nextafter(stored, 0.0)) < exact
