"""Carlson's symmetric integrals and the complete Legendre integrals: accuracy
against SciPy and mpmath, Carlson's published test values, identities, exact
special values, and every error text with its propagation."""

import itertools
import math
import os

import mpmath
import pytest
import scipy.special as sc

import _magnikit_internals as ell

EPS = 2.0 ** -52
NAN = math.nan
INF = math.inf


def relative_error(got, want):
    want = float(want)
    if got == want:
        return 0.0
    return abs(got - want) / abs(want)


def same(got, want):
    """Bitwise agreement, NaN matching NaN."""
    return (math.isnan(got) and math.isnan(want)) or (
        got == want and math.copysign(1.0, got) == math.copysign(1.0, want))


def spread_at_most(args, ratio):
    """The non-zero arguments span at most `ratio` (in absolute value)."""
    sizes = [abs(a) for a in args if a != 0]
    return max(sizes) / min(sizes) <= ratio


# --- Grids of valid arguments ----------------------------------------------

WIDE = [0.0, 1e-100, 1e-20, 1e-3, 0.5, 1.0, 2.0, 3.7, 1e3, 1e20, 1e100]
NONZERO = WIDE[1:]

RC_POSITIVE = [1e-150, *NONZERO[1:-1], 1e150]
RC_GRID = [(x, y) for x in [0.0, *RC_POSITIVE] for y in RC_POSITIVE + [-v for v in RC_POSITIVE]]
# R_F gives up after 11 duplication steps, which covers a spread of 1e100.
RF_GRID = [a for a in itertools.product(WIDE, repeat=3)
           if a.count(0.0) < 2 and spread_at_most(a, 1e100)]
# With x or y zero, R_D comes from an AGM whose correction term cancels more
# the further the second argument exceeds the third (11 ulp at 1e20, over
# 100 at 1e300); the grid keeps the spread within 1e40.
RD_GRID = [a for a in itertools.product(WIDE, WIDE, NONZERO)
           if a[0] + a[1] > 0 and spread_at_most(a, 1e40)]
# R_J: equal pairs, one zero argument, p on either side of the others, p < 0.
# The principal value for p < 0 cancels like (largest argument) / |p| (the
# same transformation loses as much in SciPy), so there |p| stays within a
# factor of 100 of the largest argument.
RJ_XYZ = [0.0, 1e-20, 1e-3, 0.5, 1.0, 2.0, 3.7, 1e3, 1e20]
RJ_GRID = [(*xyz, p) for xyz in itertools.product(RJ_XYZ, repeat=3) if xyz.count(0.0) < 2
           for p in [1e-20, 1e-3, 0.5, 1.0, 2.0, 3.7, 1e3, 1e20, 1e40]
           if spread_at_most((*xyz, p), 1e40)] + \
          [(*xyz, -p) for xyz in itertools.product(RJ_XYZ, repeat=3) if xyz.count(0.0) < 2
           for p in [1e-20, 1e-3, 0.5, 1.0, 2.0, 3.7, 1e3, 1e20]
           if max(xyz) <= 100 * p and spread_at_most((*xyz, p), 1e40)]
M_GRID = ([i / 32 for i in range(-64, 32)]
          + [1 - 10.0 ** -k for k in range(2, 16)] + [1 - EPS, 1 - EPS / 2]
          + [-10.0 ** k for k in range(1, 301, 7)] + [-1e-300, -1e-10, 1e-300, 1e-10])
PI_CHARACTERISTICS = [-1e6, -100.0, -10.0, -2.0, -1.0, -0.5, -0.1, -1e-6,
                      1e-6, 0.1, 0.3, 0.5, 0.9, 0.99, 1 - 1e-6]
PI_GRID = [(n, m) for n in PI_CHARACTERISTICS
           for m in [0.0, 1e-6, 0.1, 0.3, 0.5, 0.7, 0.9, 0.99, 1 - 1e-6]]
# A negative parameter, with n on both sides of and right at n = m.
PI_NEGATIVE_M_GRID = [(n, m) for n in PI_CHARACTERISTICS for m in [-5.0, -0.5]] + \
                     [(m * ratio, m) for m in [-1e-3, -5.0, -1e6]
                      for ratio in [0.5, 0.9, 1 - 1e-9, 1.0, 1 + 1e-9, 1.1, 2.0, 2.5, 10.0]]


def principal(value):
    # mpmath continues R_C and R_J to a negative last argument with an
    # imaginary part; the Cauchy principal value is its real part.
    return mpmath.re(value)


def scipy_pi(n, m):
    return math.nan  # SciPy has no complete Pi(n | m); mpmath decides alone


def rj_scale(x, y, z, p):
    # The principal value changes sign as p runs over the negative axis, so
    # near its zeros only an absolute error makes sense: measure it against
    # R_J at |p|, the size of the terms that cancel there.
    return abs(sc.elliprj(x, y, z, abs(p))) if p < 0 else 0.0


# Bounds in units of 2^-52, relative (see rj_scale for R_J at p < 0). A
# point passes when it is within the bound of SciPy, or, where SciPy itself
# is further off than that, of mpmath at 40 digits. Each bound sits just above
# the maximum measured over its grid:
# - R_C, R_F: closed forms and the truncated duplication series, 2 ulp.
# - R_D: 2 ulp by duplication; the AGM branch (x or y zero) subtracts two
#   nearly equal terms when its second argument is far above the third and
#   loses about 11 ulp at a spread of 1e20 (over 100 ulp at 1e300).
# - R_J: a few ulp by duplication; p = z is handed to R_D (11 ulp, above)
#   and a pair far from p to a difference of two R_C, which loses up to
#   7 ulp when both are close; principal values measured as in rj_scale.
# - K, E: the polynomial approximations are good to 1 ulp; they carry the
#   logarithmic singularity at m = 1 exactly, so the relative bound holds
#   there too. Negative m, down to -1e300, is transformed into (0, 1) at the
#   cost of up to one more ulp.
# - Pi: R_F plus a multiple of R_J, or for n < 0 the transformation with K,
#   2 ulp. With m < 0 one or the other form subtracts: about 14 ulp at
#   m = -1e6, where the terms are 8 times the result.
ACCURACY_CASES = [
    ("elliprc", RC_GRID, sc.elliprc, lambda *a: principal(mpmath.elliprc(*a)), None, 2),
    ("elliprf", RF_GRID, sc.elliprf, mpmath.elliprf, None, 2),
    ("elliprd", RD_GRID, sc.elliprd, mpmath.elliprd, None, 12),
    ("elliprj", RJ_GRID, sc.elliprj, lambda *a: principal(mpmath.elliprj(*a)), rj_scale, 12),
    ("ellipk", [(m,) for m in M_GRID], sc.ellipk, mpmath.ellipk, None, 2),
    ("ellipe", [(m,) for m in M_GRID], sc.ellipe, mpmath.ellipe, None, 2),
    ("ellippi", PI_GRID, scipy_pi, mpmath.ellippi, None, 3),  # ellippi(n, m): Pi(n | m)
    ("ellippi", PI_NEGATIVE_M_GRID, scipy_pi, mpmath.ellippi, None, 16),
]


def error_in_ulps(got, want, scale=0.0):
    want = float(want)
    if got == want:
        return 0.0
    return abs(got - want) / max(abs(want), scale) / EPS


@pytest.mark.parametrize("name, grid, scipy_reference, mpmath_reference, scale, ulps",
                         ACCURACY_CASES,
                         ids=[f"{case[0]}-{len(case[1])}" for case in ACCURACY_CASES])
def test_agrees_with_references_over_grid(name, grid, scipy_reference, mpmath_reference,
                                          scale, ulps):
    function = getattr(ell, name)
    failures = []
    for args in grid:
        got = function(*args)
        size = scale(*args) if scale else 0.0
        if error_in_ulps(got, scipy_reference(*args), size) <= ulps:
            continue
        with mpmath.workdps(40):
            error = error_in_ulps(got, mpmath_reference(*args), size)
        if not error <= ulps:  # a NaN result fails too
            failures.append((round(error, 1), args))
    assert not failures, f"{name}: {len(failures)} points beyond {ulps} ulp, worst {max(failures)}"


# --- In the complementary parameters ---------------------------------------

# mc = 1 - m and nc = 1 - n as the caller forms them, down to where m and n
# round to 1 and the integrals in m and n can no longer tell them apart.
COMPLEMENTS = [1e-300, 1e-100, 1e-30, 1e-16, 1e-10, 1e-6, 1e-3, 0.1, 0.5, 0.9, 1.0,
               2.0, 10.0, 1e3, 1e10, 1e100]
# Pi for 0 < nc <= 2 (1 > n >= -1); its Carlson sum cancels as n goes to minus
# infinity, where ellippi transforms. Where nc * mc underflows to zero with
# nc < mc (Pi beyond about 1e161), R_J's duplication gives NaN, so the grid
# keeps the product above 1e-320.
PI_COMPLEMENTS = [(nc, mc) for nc in [1e-300, 1e-100, 1e-30, 1e-16, 1e-8, 1e-4, 0.1, 0.5,
                                      0.9, 1.0, 1.5, 2.0]
                  for mc in COMPLEMENTS[:-1] if nc * mc >= 1e-320]


def in_complements(function, *complements):
    """mpmath's integral at 1 - complement, with enough digits that the
    complement survives the subtraction."""
    digits = 40 + max(0, max(-math.floor(math.log10(c)) for c in complements))
    with mpmath.workdps(digits):
        return function(*(1 - mpmath.mpf(c) for c in complements))


# Bounds in units of 2^-52, just above the measured maximum: K and E are the
# approximations of ellipk and ellipe taken at t = mc itself (1.3 ulp), Pi is
# R_F + (n / 3) R_J (2.7 ulp).
@pytest.mark.parametrize("name, grid, reference, ulps", [
    ("ellipk_complementary", [(mc,) for mc in COMPLEMENTS], mpmath.ellipk, 2),
    ("ellipe_complementary", [(mc,) for mc in COMPLEMENTS], mpmath.ellipe, 2),
    ("ellippi_complementary", PI_COMPLEMENTS, mpmath.ellippi, 3),
])
def test_complementary_forms_keep_full_accuracy(name, grid, reference, ulps):
    function = getattr(ell, name)
    errors = [(error_in_ulps(function(*args), in_complements(reference, *args)), args)
              for args in grid]
    assert max(errors)[0] <= ulps, max(errors)


# --- Values checked against mpmath at 40 digits ----------------------------

REFERENCE_VALUES = [
    # Carlson 1995, Numer. Algorithms 10, the tables after each algorithm.
    ("elliprf", (1.0, 2.0, 0.0), mpmath.elliprf),
    ("elliprf", (2.0, 3.0, 4.0), mpmath.elliprf),
    ("elliprc", (0.0, 0.25), mpmath.elliprc),
    ("elliprc", (2.25, 2.0), mpmath.elliprc),
    ("elliprc", (0.25, -2.0), lambda x, y: principal(mpmath.elliprc(x, y))),
    ("elliprj", (0.0, 1.0, 2.0, 3.0), mpmath.elliprj),
    ("elliprj", (2.0, 3.0, 4.0, 5.0), mpmath.elliprj),
    ("elliprj", (2.0, 3.0, 4.0, -0.5), lambda *a: principal(mpmath.elliprj(*a))),
    ("elliprj", (2.0, 3.0, 4.0, -5.0), lambda *a: principal(mpmath.elliprj(*a))),
    ("elliprd", (0.0, 2.0, 1.0), mpmath.elliprd),
    ("elliprd", (2.0, 3.0, 4.0), mpmath.elliprd),
    # The widest spreads that still converge within the step limits.
    ("elliprf", (1.0, 2.0, 1e100), mpmath.elliprf),
    ("elliprj", (1.0, 2.0, 3.0, 1e50), mpmath.elliprj),
    # R_D(0, q, z) with (q - z) z beyond the normal range of doubles.
    ("elliprd", (0.0, 1.0, 1e200), mpmath.elliprd),
    ("elliprd", (0.0, 1e200, 3e200), mpmath.elliprd),
    ("elliprd", (0.0, 1e-200, 3e-200), mpmath.elliprd),
    ("elliprd", (0.0, 3e-160, 1e-160), mpmath.elliprd),
    # K(m) for m < 0 through 1 / (1 - m), out to where 1 - m is 1 + 2^52 and beyond.
    ("ellipk", (-0.5,), mpmath.ellipk),
    ("ellipk", (-2.0 ** 52,), mpmath.ellipk),
    ("ellipk", (-1e300,), mpmath.ellipk),
    # Pi, a positive and a negative characteristic.
    ("ellippi", (0.3, 0.5), mpmath.ellippi),
    ("ellippi", (-0.5, 0.5), mpmath.ellippi),
]


@pytest.mark.parametrize("name, args, reference", REFERENCE_VALUES,
                         ids=[f"{n}{a}" for n, a, _ in REFERENCE_VALUES])
def test_reference_values(name, args, reference):
    with mpmath.workdps(40):
        want = reference(*args)
    assert relative_error(getattr(ell, name)(*args), want) <= 4 * EPS


# --- Reproducibility to the last bit ---------------------------------------

def recorded_bits():
    """(name, arguments, result hex or 'error <text>') rows of the record made
    by scripts/record_elliptic_bits.py."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir,
                        "data", "elliptic_bits.txt")
    with open(path) as table:
        for line in table:
            if line.startswith("#"):
                continue
            call, result = line.rstrip("\n").split(" -> ")
            name, *args = call.split()
            yield name, tuple(float.fromhex(a) for a in args), result


# Any change to the order of an operation, a constant or the rounding (a
# fused multiply-add, fast-math) shows up here, with the row that changed.
# The record holds for the system maths library's log, log1p, atan and pow
# as they are on this platform.
@pytest.mark.parametrize("name", ["elliprc", "elliprf", "elliprd", "elliprj",
                                  "ellipk", "ellipe", "ellippi", "ellipk_complementary",
                                  "ellipe_complementary", "ellippi_complementary"])
def test_results_reproducible_to_the_bit(name):
    rows = [row for row in recorded_bits() if row[0] == name]
    assert len(rows) >= 300
    for _, args, want in rows:
        try:
            got = getattr(ell, name)(*args).hex()
        except RuntimeError as error:
            got = "error " + str(error)
        assert got == want, "%s(%s)" % (name, ", ".join(a.hex() for a in args))


# --- Identities -------------------------------------------------------------

IDENTITIES = [
    # R_C(x, y) = R_F(x, y, y), for both orders of x and y.
    (("elliprc", 0.5, 3.0), ("elliprf", 0.5, 3.0, 3.0), 1.0),
    (("elliprc", 3.0, 0.5), ("elliprf", 3.0, 0.5, 0.5), 1.0),
    # R_D(x, y, z) = R_J(x, y, z, z); with x = y the pair formula of R_J
    # (a difference of two R_C) meets the duplication of R_D.
    (("elliprd", 0.5, 0.5, 3.0), ("elliprj", 0.5, 0.5, 3.0, 3.0), 1.0),
    (("elliprd", 1.0, 2.0, 3.0), ("elliprj", 1.0, 2.0, 3.0, 3.0), 1.0),
    (("elliprd", 1.0, 3.0, 3.0), ("elliprj", 1.0, 3.0, 3.0, 3.0), 1.0),
    # E(m) = sqrt(1 - m) E(m / (m - 1)) with m = -1.
    (("ellipe", -1.0), ("ellipe", 0.5), math.sqrt(2.0)),
    # Pi(0 | m) = K(m).
    (("ellippi", 0.0, 0.5), ("ellipk", 0.5), 1.0),
    (("ellippi", 0.0, 0.999), ("ellipk", 0.999), 1.0),
]


@pytest.mark.parametrize("left, right, factor", IDENTITIES)
def test_identities(left, right, factor):
    got = getattr(ell, left[0])(*left[1:])
    want = factor * getattr(ell, right[0])(*right[1:])
    assert relative_error(got, want) <= 4 * EPS


@pytest.mark.parametrize("m", [0.01, 0.3, 0.5, 0.9, 0.999999])
def test_legendre_relation(m):
    # Legendre's relation E(m) K(1 - m) + E(1 - m) K(m) - K(m) K(1 - m) = pi / 2
    # (DLMF 19.7.1).
    k, k1, e, e1 = ell.ellipk(m), ell.ellipk(1 - m), ell.ellipe(m), ell.ellipe(1 - m)
    assert e * k1 + e1 * k - k * k1 == pytest.approx(math.pi / 2, rel=8 * EPS)


# --- Exact values at the edges ----------------------------------------------

LN2 = math.log(2.0)
EXACT_VALUES = [
    ("ellipk", (1.0,), INF, 0),
    ("ellipk", (0.0,), math.pi / 2, 0),
    ("ellipk", (-0.0,), math.pi / 2, 0),
    ("ellipk", (-INF,), 0.0, 0),
    # Largest double below 1: t = 2^-53 takes the logarithmic limit.
    ("ellipk", (1 - EPS / 2,), float(mpmath.log(4) + mpmath.mpf(26.5) * mpmath.log(2)), 1),
    ("ellipe", (1.0,), 1.0, 0),
    ("ellipe", (-INF,), INF, 0),
    ("ellipe", (0.0,), math.pi / 2, 0),
    ("ellippi", (0.0, 0.0), math.pi / 2, 0),
    ("elliprf", (1.0, 1.0, 1.0), 1.0, 0),
    ("elliprf", (4.0, 4.0, 0.0), math.pi / 4, 0),
    ("elliprc", (0.0, 0.25), math.pi, 0),
    ("elliprc", (2.25, 2.0), LN2, 1),
    ("elliprc", (0.25, -2.0), LN2 / 3, 1),
    ("elliprc", (0.0, -4.0), 0.0, 0),
    ("elliprd", (0.0, 1.0, 1.0), 3 * math.pi / 4, 1),
    ("elliprj", (1.0, 1.0, 1.0, 1.0), 1.0, 0),
    # m = 1 and n = 1, and m at minus infinity.
    ("ellipk_complementary", (0.0,), INF, 0),
    ("ellipk_complementary", (INF,), 0.0, 0),
    ("ellipe_complementary", (0.0,), 1.0, 0),
    ("ellipe_complementary", (INF,), INF, 0),
    ("ellippi_complementary", (0.5, 0.0), INF, 0),
    ("ellippi_complementary", (0.0, 0.5), INF, 0),
]


@pytest.mark.parametrize("name, args, want, ulps", EXACT_VALUES,
                         ids=[f"{n}{a}" for n, a, _, _ in EXACT_VALUES])
def test_exact_values(name, args, want, ulps):
    got = getattr(ell, name)(*args)
    if ulps == 0:
        assert same(got, want)
    else:
        assert abs(got - want) <= ulps * math.ulp(want)


# --- NaN --------------------------------------------------------------------

@pytest.mark.parametrize("name, args", [
    ("ellipk", (NAN,)),
    ("ellipe", (NAN,)),
    ("ellippi", (0.0, NAN)),     # Pi(0 | m) is K(m)
    ("ellipk_complementary", (NAN,)),
    ("ellipe_complementary", (NAN,)),
    ("elliprf", (0.0, 1.0, NAN)),  # the AGM stops at once on a NaN
])
def test_nan_gives_nan(name, args):
    assert math.isnan(getattr(ell, name)(*args))


# --- Errors -----------------------------------------------------------------

RC_X = "elliprc: x must be non-negative."
RC_Y = "elliprc: y must be non-zero."
RF_DOMAIN = "elliprf: x, y, and z must be non-negative, and at most one can be zero."
RF_STUCK = "elliprf: Failed to converge."
RD_XY = "elliprd: x and y must be non-negative, and at most one can be zero."
RD_Z = "elliprd: z must be positive"
RD_STUCK = "elliprd: Failed to converge."
RJ_DOMAIN = "elliprj: x, y, and z must be non-negative, and at most one can be zero."
RJ_P = "elliprj: p must be non-zero"
RJ_STUCK = "elliprj: Fail to converge"
K_M = "ellipk: m must be less than 1."
E_M = "ellipe: m must be less than 1."
PI_M = "ellippi: m must be less than 1."
PI_N = "ellippi: n must be less than 1."
KC_MC = "ellipk_complementary: mc must be non-negative."
EC_MC = "ellipe_complementary: mc must be non-negative."
PIC_MC = "ellippi_complementary: mc must be non-negative."
PIC_NC = "ellippi_complementary: nc must be non-negative."

ERRORS = [
    ("elliprc", (-1.0, 1.0), RC_X),
    ("elliprc", (1.0, -0.0), RC_Y),
    ("elliprf", (0.0, 0.0, 1.0), RF_DOMAIN),
    ("elliprf", (0.0, 0.0, 0.0), RF_DOMAIN),
    ("elliprf", (1.0, -1.0, 1.0), RF_DOMAIN),
    ("elliprf", (1.0, 2.0, 1e300), RF_STUCK),   # a 12th step would be needed
    ("elliprf", (NAN, 1.0, 2.0), RF_STUCK),
    ("elliprd", (0.0, 0.0, 1.0), RD_XY),
    ("elliprd", (-1.0, 1.0, 1.0), RD_XY),
    ("elliprd", (1.0, 1.0, 0.0), RD_Z),
    ("elliprd", (1.0, 2.0, -1.0), RD_Z),
    ("elliprd", (INF, 1.0, 1.0), RD_STUCK),
    ("elliprd", (1.0, 2.0, NAN), RD_STUCK),
    ("elliprj", (0.0, 0.0, 1.0, 1.0), RJ_DOMAIN),
    ("elliprj", (1.0, 1.0, -1.0, 1.0), RJ_DOMAIN),
    ("elliprj", (1.0, 2.0, 3.0, 0.0), RJ_P),
    ("elliprj", (1.0, 2.0, 3.0, 1e70), RJ_STUCK),  # p closes in by only ~4 per step
    ("elliprj", (NAN, 1.0, 2.0, 3.0), RJ_STUCK),
    ("ellipk", (1 + EPS,), K_M),
    ("ellipk", (INF,), K_M),
    ("ellipe", (1 + EPS,), E_M),
    ("ellippi", (0.5, 1.0), PI_M),
    ("ellippi", (2.0, 1.0), PI_M),          # the m test comes first
    ("ellippi", (2.0, 0.5), PI_N),
    # Inner errors come out of Pi unchanged.
    ("ellippi", (1.0, 0.5), RJ_P),          # n = 1 reaches R_J with p = 0
    ("ellippi", (NAN, 0.5), RJ_STUCK),
    ("ellippi", (0.5, NAN), RJ_STUCK),
    ("ellippi", (-0.5, NAN), RJ_STUCK),
    ("ellipk_complementary", (-EPS,), KC_MC),
    ("ellipe_complementary", (-INF,), EC_MC),
    ("ellippi_complementary", (0.5, -1.0), PIC_MC),
    ("ellippi_complementary", (-1.0, -1.0), PIC_MC),    # the mc test comes first
    ("ellippi_complementary", (-EPS, 0.5), PIC_NC),
    ("ellippi_complementary", (NAN, 0.5), RJ_STUCK),
]


@pytest.mark.parametrize("name, args, message", ERRORS,
                         ids=[f"{n}{a}" for n, a, _ in ERRORS])
def test_error_texts(name, args, message):
    with pytest.raises(RuntimeError) as raised:
        getattr(ell, name)(*args)
    assert raised.value.args == (message,)
