"""Limb-darkening laws: each law against a high-precision integral over the
source radius, the laws the module also has as fixed forms against those,
several rows of coefficients in one call against each row alone, and the
laws and coefficients refused."""

import math

import pytest

import magnikit
from reference import load_reference

if not hasattr(magnikit, "limb_darkened_magnification"):
    pytest.skip("this build has no limb_darkened_magnification", allow_module_level=True)

try:
    import numpy
except ImportError:
    numpy = None

magnification = magnikit.limb_darkened_magnification
NO_COEFFICIENT = "-"


@pytest.mark.parametrize("l, re, rstar, law, a1, a2, a3, a4, truth",
                         load_reference("limb_darkening_laws"))
def test_against_integral_over_the_radius(l, re, rstar, law, a1, a2, a3, a4, truth):
    # Every law with coefficients across its usual range and at its edges,
    # sources of 1e-5 to 100 Einstein radii, the lens from the centre to 1e8
    # source radii (within 1e-9 of the rim, either side of the far-field
    # threshold).
    coefficients = [c for c in (a1, a2, a3, a4) if c != NO_COEFFICIENT]
    value = magnification([l], re, rstar, law, coefficients)[0]
    assert value == pytest.approx(truth, rel=1e-12, abs=0)


# The lens at and near the centre, inside, 1e-7 either side of the rim and on
# it, outside, either side of the far-field threshold, far away.
PLANE = [0.0, 1e-9, 0.3, 0.7, 0.99, 1 - 1e-7, 1.0, 1 + 1e-7, 1.01, 1.5, 3.0,
         math.nextafter(6.0, 0.0), 6.0, 40.0, 1e5]


@pytest.mark.parametrize("rstar", [1e-5, 1e-3, 0.05, 1.0, 100.0])
@pytest.mark.parametrize("law, coefficients, fixed_form, tolerance", [
    ("linear", [0.6], magnikit.integrated_heyrovsky_magnification, 3e-13),
    ("uniform", [], magnikit.witt_mao_magnification, 1e-13),
])
def test_agrees_with_the_fixed_forms(law, coefficients, fixed_form, tolerance, rstar):
    # The linear law with u = 0.6 is the module's built-in law, integrated
    # ring by ring to ~1e-13; the uniform law is the uniform disc, whose
    # closed form holds ~1e-14 on this spread.
    by_law = magnification(PLANE, 1.0, rstar, law, coefficients)
    assert by_law == pytest.approx(fixed_form(PLANE, 1.0, rstar), rel=tolerance, abs=0)


# A separation at which the first basis's sum on one side of the lens
# changes nothing at some level while the next basis's does: every basis
# must still sum the same rings (the next one read another interval's once,
# 9 % off here; the table above has such a case at l = 1e-12).
def test_every_basis_sums_its_own_rings():
    l, rstar = 0.7014342478847415, 0.04
    assert magnification([l], 1.0, rstar, "linear", [0.6])[0] == pytest.approx(
        magnikit.integrated_heyrovsky_magnification([l], 1.0, rstar)[0], rel=3e-13)


# One band per row; the power-2 rows differ in their exponent, whose basis
# profile no two rows share.
BANDS = {
    "linear": [[0.6], [0.3], [-0.2]],
    "power-2": [[0.65, 0.55], [1.0, 0.3], [-0.25, 2.0], [0.5, 1.37]],
    "nonlinear": [[0.41, -0.01, 0.6, -0.29], [0.75, -0.75, 1.05, -0.42],
                  [0.5, 0.25, -0.25, 0.5]],
}
SEPARATIONS = [0.0, 0.4, 0.999, 1.0, 1.2, 5.0, 6.0, 300.0]
CONTAINERS = [
    pytest.param(lambda rows: [list(row) for row in rows], id="lists"),
    pytest.param(lambda rows: [tuple(row) for row in rows], id="tuples"),
    pytest.param(lambda rows: numpy.array(rows, dtype=float), id="numpy",
                 marks=pytest.mark.skipif(numpy is None, reason="NumPy is not installed")),
]


def bits(rows):
    return [[x.hex() for x in row] for row in rows]


@pytest.mark.parametrize("container", CONTAINERS)
@pytest.mark.parametrize("law", sorted(BANDS))
def test_rows_in_one_call_are_each_row_alone(law, container):
    rows = BANDS[law]
    together = magnification(SEPARATIONS, 1.0, 0.05, law, container(rows))
    alone = [magnification(SEPARATIONS, 1.0, 0.05, law, row) for row in rows]
    assert bits(together) == bits(alone)


@pytest.mark.parametrize("l", [[], [0.5], [0.0, 1.0, 2.0, 1e3]])
def test_one_band_gives_a_flat_list_and_rows_a_list_per_row(l):
    flat = magnification(l, 1.0, 0.1, "quadratic", [0.45, 0.2])
    uniform = magnification(l, 1.0, 0.1, "uniform", [])
    for result in (flat, uniform):
        assert type(result) is list and len(result) == len(l)
        assert all(type(x) is float for x in result)
    one_row = magnification(l, 1.0, 0.1, "quadratic", [[0.45, 0.2]])
    two_rows = magnification(l, 1.0, 0.1, "quadratic", [[0.45, 0.2], [0.6, 0.4]])
    assert type(one_row) is list and [type(row) for row in two_rows] == [list, list]
    assert bits(one_row) == bits([flat])
    assert bits(two_rows) == bits([flat, magnification(l, 1.0, 0.1, "quadratic", [0.6, 0.4])])


@pytest.mark.skipif(numpy is None, reason="NumPy is not installed")
@pytest.mark.parametrize("law, count", [("quadratic", 2), ("nonlinear", 4)])
def test_no_rows_give_no_results(law, count):
    assert magnification([0.5, 2.0], 1.0, 0.1, law, numpy.empty((0, count))) == []


LAWS = ("'uniform', 'linear', 'quadratic', 'square-root', 'logarithmic', 'power-2' and "
        "'nonlinear'")


# (law, coefficients, exception, text): refused before anything is computed.
@pytest.mark.parametrize("law, coefficients, kind, text", [
    ("Linear", [0.6], ValueError,
     f"argument 'law': unknown limb-darkening law 'Linear'; the laws are {LAWS}"),
    (b"linear", [0.6], TypeError,
     "argument 'law': 'bytes' object cannot be converted to 'PyString'"),
    ("uniform", [0.0], ValueError,
     "argument 'coefficients': the uniform law takes no coefficients, but 1 was given"),
    ("linear", [], ValueError,
     "argument 'coefficients': the linear law takes 1 coefficient (u), but 0 were given"),
    ("nonlinear", [[0.1, 0.2, 0.3, 0.1], [0.1, 0.2, 0.3]], ValueError,
     "argument 'coefficients', row 1: the nonlinear law takes 4 coefficients "
     "(a1, a2, a3, a4), but 3 were given"),
    ("quadratic", [0.3, math.inf], ValueError,
     "argument 'coefficients': every coefficient must be finite, but b is inf"),
    ("square-root", [[0.3, 0.1], [math.nan, 0.1]], ValueError,
     "argument 'coefficients', row 1: every coefficient must be finite, but c is nan"),
    ("power-2", [0.6, 0.0], ValueError,
     "argument 'coefficients': the exponent alpha of the power-2 law must be positive, "
     "but it is 0.0"),
    # Negative at the limb, and (a convex law) inside the disc only.
    ("linear", [1.5], ValueError,
     "argument 'coefficients': a brightness cannot be negative, but the linear law with "
     "u = 1.5 is -0.5 at mu = 0.0"),
    ("quadratic", [2.2, -1.2], ValueError,
     "argument 'coefficients': a brightness cannot be negative, but the quadratic law with "
     "a = 2.2, b = -1.2 is -0.008333333333333526 at mu = 0.08333333333333326"),
    ("nonlinear", [-3.6, 4.0, 0.0, 0.0], ValueError,
     "argument 'coefficients': a brightness cannot be negative, but the nonlinear law with "
     "a1 = -3.6, a2 = 4.0, a3 = 0.0, a4 = 0.0 is -0.20999999999999996 at "
     "mu = 0.20249999999999996"),
    ("logarithmic", [0.9, -2.0], ValueError,
     "argument 'coefficients': a brightness cannot be negative, but the logarithmic law with "
     "c = 0.9, d = -2.0 is -0.3691405761875952 at mu = 0.23457028809379765"),
    ("linear", "0.6", TypeError, "argument 'coefficients': Can't extract `str` to `Vec`"),
    ("linear", 0.6, TypeError,
     "argument 'coefficients': 'float' object cannot be converted to 'Sequence'"),
])
def test_laws_and_coefficients_refused(law, coefficients, kind, text):
    with pytest.raises(kind) as info:
        magnification([0.5, 10.0], 1.0, 0.1, law, coefficients)
    assert type(info.value) is kind and str(info.value) == text


@pytest.mark.parametrize("law, coefficients", [
    ("quadratic", [0.7, 0.3]),  # zero at the limb, to rounding
    ("quadratic", [2.0, -1.2]),  # convex, lowest inside the disc but above zero
    ("linear", [-0.3]),  # brightening towards the limb
    ("logarithmic", [0.2, -2.0]),
])
def test_laws_that_touch_zero_or_brighten_are_taken(law, coefficients):
    assert all(x > 1.0 for x in magnification([0.5, 10.0], 1.0, 0.1, law, coefficients))
