#!/usr/bin/env python3
"""High-precision reference magnifications for the model tests.

Writes tests/data/uniform_disc.txt, tests/data/ring.txt,
tests/data/limb_darkened.txt, tests/data/flux_map.txt,
tests/data/far_field.txt and tests/data/limb_darkening_laws.txt: one case a
line, inputs as the shortest decimal
that reads back as the same double, the magnification rounded to 17
significant digits from a 30-digit mpmath quadrature of the exact double
inputs (the far-field rows: closed forms with the digits their cancellation
needs).

    python3 scripts/generate_reference.py                 # all the files
    python3 scripts/generate_reference.py ring            # only ring.txt
    python3 scripts/generate_reference.py --keep --jobs 2 flux_map
        # only the cases not yet in flux_map.txt, in two processes

Lengths: the lens Einstein radius `re` and the source radius `rstar` share
one unit.  For the disc models the source centre sits `l` source radii from
the lens; rho = rstar/re is the source radius in Einstein radii.  For the
ring, `l` and the ring radius `r` are in source radii and
eps = re/rstar is the Einstein radius in source radii.

Every integral here is taken by tanh-sinh quadrature over intervals split
where the integrand has a square-root end point or a sharp peak, so that
each piece is analytic inside; the quadrature's own error estimate is
checked against TOLERANCE and the script stops if any piece misses it.
The one exception is the flux-map table: there the many pieces between
samples that lie well away from the lens are taken by Gauss-Legendre rules
of two orders, which must agree to TOLERANCE.
"""

import argparse
import functools
import math
import multiprocessing
import os
import sys
import time
from decimal import Decimal

import mpmath
from mpmath import mp, mpf

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                os.pardir, "tests"))
from reference import reference_profile, sampled_limb_darkening  # noqa: E402  (the tests' profiles)

WORKING_DIGITS = 30
TOLERANCE = mpf("1e-22")          # relative, per integral
LIMB_DARKENING = mpf("0.6")       # I(x) = 1 - 0.6 (1 - sqrt(1 - x^2))
LIMB_NORMALISATION = mpf("0.8")   # int_0^1 2 x I(x) dx

DATA_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                        os.pardir, "tests", "data")


class QuadratureMissed(RuntimeError):
    pass


def integrate(f, points):
    """Tanh-sinh quadrature over consecutive `points`, error-checked."""
    value, error = mp.quad(f, points, error=True)
    if error > TOLERANCE * max(abs(value), mpf(1)):
        raise QuadratureMissed("quadrature error %s on value %s over %s"
                               % (mpmath.nstr(error, 3),
                                  mpmath.nstr(value, 20), points))
    return value


def point_magnification(u):
    """A(u) = (u^2 + 2) / (u sqrt(u^2 + 4)) for a point source at u."""
    return (u * u + 2) / (u * mp.sqrt(u * u + 4))


def radial_antiderivative(r):
    """F(r) = r sqrt(r^2 + 4) / 2, so that F'(r) = r A(r)."""
    return r * mp.sqrt(r * r + 4) / 2


def refined_toward(end, direction, width, limit):
    """Points end + direction * width * 10^k, k = 0, 1, ..., strictly
    between `end` and `limit`, nearest to `end` first.

    They cut a peak of the given width at an end of an interval into
    pieces tanh-sinh handles at full precision."""
    points = []
    step = width
    while step > 0 and step < abs(limit - end):
        points.append(end + direction * step)
        step *= 10
    return points


def chord_ends(d, rho, phi):
    """Both roots r of |r e(phi) - c| = rho, |c| = d, c on the +x axis.

    Returns (near, far) with near <= far; the product is d^2 - rho^2 and
    the root that would lose digits to cancellation is taken from it."""
    cos_phi = mp.cos(phi)
    half_chord = mp.sqrt(max(rho * rho - (d * mp.sin(phi)) ** 2, mpf(0)))
    if cos_phi >= 0:
        far = d * cos_phi + half_chord
        near = (d * d - rho * rho) / far if far != 0 else mpf(0)
    else:
        near = d * cos_phi - half_chord
        far = (d * d - rho * rho) / near
    return near, far


def angular_pieces(d, rho):
    """Lens-centred polar angles over which the disc is swept, split at the
    square-root points of the chord length.

    Returns (points, lens_inside).  The angle runs over [0, pi] for a lens
    inside, [0, pi/2] for a lens on the rim, [0, asin(rho/d)] outside; the
    other half follows by symmetry about the line of centres."""
    if d < rho:
        # chord through the lens: smooth, but with a bend of angular width
        # sqrt(rho^2 - d^2)/d at phi = pi when the lens nears the rim
        width = mp.sqrt(rho * rho - d * d) / d if d > 0 else mp.pi
        inner = refined_toward(mp.pi, -1, width, mp.pi / 2)
        return [mpf(0), mp.pi / 2] + inner[::-1] + [mp.pi], True
    if d == rho:
        return [mpf(0), mp.pi / 2], True
    tangent = mp.asin(rho / d)
    width = mp.sqrt(d * d - rho * rho) / d
    inner = refined_toward(tangent, -1, width, mpf(0))
    return [mpf(0)] + inner[::-1] + [tangent], False


def uniform_disc(l, re, rstar):
    """Mean of A over a uniform disc of radius rho centred rho*l from the lens.

    In lens-centred polar coordinates r A(r) = F'(r), so the radial integral
    is F(r_out) - F(r_in) exactly and one angular quadrature is left."""
    rho = mpf(rstar) / mpf(re)
    d = rho * mpf(l)
    points, lens_inside = angular_pieces(d, rho)

    def chord_weight(phi):
        near, far = chord_ends(d, rho, phi)
        if lens_inside:
            return radial_antiderivative(far)
        return radial_antiderivative(far) - radial_antiderivative(near)

    return 2 * integrate(chord_weight, points) / (mp.pi * rho * rho)


def ring(l, r, re, rstar):
    """Mean of A over a circle of radius r centred l from the lens (source
    radii), Einstein radius eps = re/rstar in source radii.

    The squared distance is written (l - r)^2 + 4 l r sin^2(phi/2), which
    loses nothing when l is close to r; there the integrand peaks at phi = 0
    with width |l - r|/sqrt(l r)."""
    l, r = mpf(l), mpf(r)
    eps = mpf(re) / mpf(rstar)

    def at(phi):
        s = mp.sin(phi / 2)
        return point_magnification(
            mp.sqrt((l - r) ** 2 + 4 * l * r * s * s) / eps)

    points = [mpf(0)]
    if l * r > 0:
        points += refined_toward(mpf(0), 1, abs(l - r) / mp.sqrt(l * r),
                                 mp.pi / 2)
    points += [mp.pi / 2, mp.pi]
    return integrate(at, points) / mp.pi


def limb_profile(one_minus_x2):
    return 1 - LIMB_DARKENING * (1 - mp.sqrt(one_minus_x2))


def limb_darkened(l, re, rstar, profile=limb_profile, flux=LIMB_NORMALISATION):
    """Mean of A over a disc with brightness I(x) = 1 - 0.6 (1 - sqrt(1 - x^2)),
    weighted by I; or with another brightness profile(1 - x^2) whose
    int_0^1 2 x I dx is flux.

    Taken in lens-centred polar coordinates like the uniform disc: there
    r A(r) = (r^2 + 2)/sqrt(r^2 + 4) is smooth, the lens is no singularity,
    and along a chord 1 - x^2 = (r - near)(far - r)/rho^2 has square-root
    zeros only at the chord's ends."""
    rho = mpf(rstar) / mpf(re)
    d = rho * mpf(l)
    points, lens_inside = angular_pieces(d, rho)

    def chord_integral(phi):
        near, far = chord_ends(d, rho, phi)
        start = mpf(0) if lens_inside else near
        if far <= start:
            return mpf(0)

        def along(r):
            one_minus_x2 = max((r - near) * (far - r), mpf(0)) / (rho * rho)
            return profile(one_minus_x2) * (r * r + 2) / mp.sqrt(r * r + 4)

        return integrate(along, [start, far])

    total = 2 * integrate(chord_integral, points)
    return total / (flux * mp.pi * rho * rho)


# ---------------------------------------------------------------- far field
# Far from the lens the sweeps above lose digits (the chord integrals are
# differences of terms of order l^2), so the far-field rows use the closed
# forms themselves with enough digits to cover their own cancellation:
# Witt and Mao's disc (terms of order l^2 cancel), Heyrovsky's ring (no
# cancellation), and the profiles as integrals of the ring over the radius.
# At moderate l they agree with the sweeps (scripts/validate_reference.py).

def far_digits(l):
    return WORKING_DIGITS + 10 + 2 * max(0, int(mpmath.log10(abs(mpf(l)) + 1)))


def witt_mao_closed_form(l, re, rstar):
    with mp.workdps(far_digits(l)):
        rho = mpf(rstar) / mpf(re)
        u = rho * mpf(l)
        d, s = u - rho, u + rho
        w = mp.sqrt(d * d + 4)
        n = 4 * u * rho / (s * s)
        m = 4 * n / (4 + d * d)
        value = (s * w / rho ** 2 * mp.ellipe(m)
                 - d * (8 + u * u - rho * rho) / (rho ** 2 * w) * mp.ellipk(m)
                 + 4 * (1 + rho ** 2) * d * d / (rho ** 2 * s * w) * mp.ellippi(n, m)
                 ) / (2 * mp.pi)
    return +value


def heyrovsky_closed_form(l, r, re, rstar):
    """Ring of radius r, lens l source radii from its centre (l > r >= 0)."""
    l, r = mpf(l), mpf(r)
    eps = mpf(re) / mpf(rstar)
    s, d = l + r, l - r
    Q = d * d + 4 * eps * eps
    n = 4 * l * r / (s * s)
    m = 16 * eps * eps * l * r / (s * s * Q)
    return 4 / (s * mp.sqrt(Q)) * (d * d * mp.ellippi(n, m)
                                   + 2 * eps * eps * mp.ellipk(m)) / (2 * mp.pi)


# A limb-darkened profile sampled at five radii, for the flux-map rows.
FLUX_MAP_RADII = (0.0, 0.25, 0.6, 0.9, 1.0)
FLUX_MAP_FLUXES = (1.0, 0.95, 0.8, 0.55, 0.3)


def flux_map_profile(x):
    for (x0, y0), (x1, y1) in zip(zip(FLUX_MAP_RADII, FLUX_MAP_FLUXES),
                                  zip(FLUX_MAP_RADII[1:], FLUX_MAP_FLUXES[1:])):
        if x <= x1:
            return mpf(y0) + (mpf(y1) - mpf(y0)) * (x - x0) / (mpf(x1) - mpf(x0))
    return mpf(0)


def profile_average(l, re, rstar, profile, points):
    """int_0^1 2 pi x I A_ring dx / int_0^1 2 pi x I dx, split at `points`."""
    flux = integrate(lambda x: x * profile(x), points)
    magnified = integrate(
        lambda x: x * profile(x) * heyrovsky_closed_form(l, x, re, rstar), points)
    return magnified / flux


def far_field(l, re, rstar):
    """One row's five truths: uniform disc, ring of radius 1 (the source
    rim), linear limb darkening, the sampled profile above integrated, and
    the same samples summed as rings (unnormalised)."""
    disc = witt_mao_closed_form(l, re, rstar)
    rim = heyrovsky_closed_form(l, 1, re, rstar)
    limb = profile_average(
        l, re, rstar, lambda x: limb_profile(1 - x * x), [mpf(0), mpf(1)])
    sampled = profile_average(
        l, re, rstar, flux_map_profile, [mpf(x) for x in FLUX_MAP_RADII])
    rings = sum(mpf(f) * heyrovsky_closed_form(l, mpf(r), re, rstar)
                for r, f in zip(FLUX_MAP_RADII, FLUX_MAP_FLUXES))
    return disc, rim, limb, sampled, rings


def cel(kc, p, a, b):
    """Bulirsch's complete elliptic integral (Numer. Math. 13, 1969), p > 0:
    the integral over [0, pi/2] of (a cos^2 t + b sin^2 t) /
    ((cos^2 t + p sin^2 t) sqrt(cos^2 t + kc^2 sin^2 t)) dt, by his
    iteration of arithmetic and geometric means, which converges
    quadratically however small kc = sqrt(1 - m) and p = 1 - n are."""
    tolerance = mpf(10) ** -(mp.dps // 2 + 2)
    kc = abs(kc)
    e = kc
    em = mpf(1)
    p = mp.sqrt(p)
    b = b / p
    while True:
        f = a
        a = a + b / p
        g = e / p
        b = 2 * (b + f * g)
        p = g + p
        g = em
        em = em + kc
        if abs(g - kc) <= g * tolerance:
            return mp.pi / 2 * (b + a * em) / (em * (em + p))
        kc = 2 * mp.sqrt(e)
        e = kc * em


def ring_closed_form(l, r, eps):
    """Heyrovsky's ring magnification in K(m) = cel(kc, 1, 1, 1) and
    Pi(n, m) = cel(kc, 1 - n, 1, 1), with l, r and eps mpf in source radii.

    The complements 1 - n = (d/s)^2 and 1 - m = (1 - n)(s^2 + 4 eps^2)/Q
    (d = l - r, s = l + r, Q = d^2 + 4 eps^2) are formed as products, so
    nothing is lost to cancellation next to the ring through the lens; a
    quadrature over the ring radius evaluates it very close to that ring."""
    d = l - r
    s = l + r
    e = eps * eps
    q = d * d + 4 * e
    nc = (d / s) ** 2
    kc = mp.sqrt(nc * (s * s + 4 * e) / q)
    return (4 / (s * mp.sqrt(q)) * (d * d * cel(kc, nc, 1, 1) + 2 * e * cel(kc, 1, 1, 1))
            / (2 * mp.pi))


FLUX_MAP_FINEST = 200        # intervals of the finest sampled profile
GAUSS_LEGENDRE_ORDERS = (20, 24)


@functools.lru_cache(maxsize=None)
def gauss_legendre(order, precision):
    """Nodes and weights of the Gauss-Legendre rule on [-1, 1]."""
    with mp.workprec(precision):
        return mp.gauss_quadrature(order, "legendre")


def ring_moments(l, eps, a, b):
    """(int x A dx, int x^2 A dx) over [a, b], A the ring magnification at
    separation l.

    A piece that lies at least its own width from the lens has its nearest
    singularity (the ring through the lens, x = l) outside the Bernstein
    ellipse of parameter 5.8, and Gauss-Legendre of order 20 is exact there
    to about 5.8^-40; it must agree with order 24 to TOLERANCE.  A piece
    nearer the lens is split at it and cut geometrically towards it, and
    taken by the error-checked tanh-sinh rule."""
    width = b - a
    gap = a - l if l < a else (l - b if l > b else mpf(0))
    if gap >= width:
        results = []
        for order in GAUSS_LEGENDRE_ORDERS:
            nodes, weights = gauss_legendre(order, mp.prec)
            first = second = mpf(0)
            for t, w in zip(nodes, weights):
                x = (a + b) / 2 + width / 2 * t
                weighted = w * x * ring_closed_form(l, x, eps)
                first += weighted
                second += weighted * x
            results.append((first * width / 2, second * width / 2))
        (first, second), (first_check, second_check) = results
        if (abs(first - first_check) > TOLERANCE * abs(first)
                or abs(second - second_check) > TOLERANCE * abs(second)):
            raise QuadratureMissed("Gauss-Legendre orders disagree over [%s, %s]"
                                   % (mpmath.nstr(a, 10), mpmath.nstr(b, 10)))
        return first, second
    if a < l < b:
        points = [a, l, b]
    elif l <= a:
        points = [a] + refined_toward(a, 1, gap, b) + [b]
    else:
        points = [a] + refined_toward(b, -1, gap, a)[::-1] + [b]

    def moment(power):
        # On a piece narrower than the working precision resolves next to
        # the lens, the outermost nodes round onto the ring through it; their
        # weights are below 1e-30 of the piece's, and they are left out.
        return integrate(lambda x: x ** power * ring_closed_form(l, x, eps) if x != l else 0,
                         points)

    return moment(1), moment(2)


@functools.lru_cache(maxsize=1)
def fine_grid_moments(l, re, rstar, spacing):
    """The ring moments over each interval of the finest sampled grid; the
    coarser profiles on the same grid, asked for next, reuse them."""
    radii = [mpf(x) for x in sampled_limb_darkening(FLUX_MAP_FINEST, spacing)[0]]
    l, eps = mpf(l), mpf(re) / mpf(rstar)
    return [ring_moments(l, eps, a, b) for a, b in zip(radii, radii[1:])]


def sampled_profile(l, re, rstar, spacing, intervals):
    """Mean of the ring magnification over the disc weighted by the linear
    interpolant of reference_profile(spacing, intervals): the exact integral
    of 2 pi x A(x) I(x) over [0, 1] divided by the exact integral of
    2 pi x I(x).  The linear law is taken interval by interval of the finest
    grid, on which its interpolants are linear; any other profile sample
    interval by sample interval."""
    if spacing not in FLUX_MAP_SPACINGS:
        return piecewise_linear_profile(l, re, rstar, *reference_profile(spacing, intervals))
    intervals = int(intervals)
    step = FLUX_MAP_FINEST // intervals
    if step * intervals != FLUX_MAP_FINEST:
        raise ValueError("%d intervals do not divide the finest grid" % intervals)
    radii, brightness = sampled_limb_darkening(FLUX_MAP_FINEST, spacing)
    radii = [mpf(x) for x in radii]
    brightness = [mpf(y) for y in brightness]
    moments = fine_grid_moments(l, re, rstar, spacing)
    magnified = flux = mpf(0)
    for i, (first, second) in enumerate(moments):
        # the coarse profile's line through its samples j and j + step
        j = i - i % step
        slope = (brightness[j + step] - brightness[j]) / (radii[j + step] - radii[j])
        intercept = brightness[j] - slope * radii[j]
        a, b = radii[i], radii[i + 1]
        magnified += intercept * first + slope * second
        flux += intercept * (b * b - a * a) / 2 + slope * (b ** 3 - a ** 3) / 3
    return magnified / flux


# ---------------------------------------------------------------- limb-darkening laws
# The brightness of each law at mu = sqrt(1 - x^2), x source radii from the
# centre, with its coefficients taken as the exact doubles given.

def mu_ln_mu(mu):
    """mu ln mu, which tends to 0 at the limb where ln mu does not."""
    return mu * mp.log(mu) if mu > 0 else mpf(0)


LAW_PROFILES = {
    "uniform": lambda mu: mpf(1),
    "linear": lambda mu, u: 1 - u * (1 - mu),
    "quadratic": lambda mu, a, b: 1 - a * (1 - mu) - b * (1 - mu) ** 2,
    "square-root": lambda mu, c, d: 1 - c * (1 - mu) - d * (1 - mp.sqrt(mu)),
    "logarithmic": lambda mu, c, d: 1 - c * (1 - mu) - d * mu_ln_mu(mu),
    "power-2": lambda mu, c, alpha: 1 - c * (1 - mu ** alpha),
    "nonlinear": lambda mu, a1, a2, a3, a4: (
        1 - a1 * (1 - mp.sqrt(mu)) - a2 * (1 - mu)
        - a3 * (1 - mu * mp.sqrt(mu)) - a4 * (1 - mu * mu)),
}

# The same laws as weights of the basis profiles mu^p (keyed by the float p)
# and mu ln mu.  Every law is a linear combination of these few profiles,
# so the magnified flux of each, one integral over the radius, serves every
# law at a point.
MU_LN_MU = "mu ln mu"
LAW_WEIGHTS = {
    "uniform": lambda: {0.0: mpf(1)},
    "linear": lambda u: {0.0: 1 - u, 1.0: u},
    "quadratic": lambda a, b: {0.0: 1 - a - b, 1.0: a + 2 * b, 2.0: -b},
    "square-root": lambda c, d: {0.0: 1 - c - d, 0.5: d, 1.0: c},
    "logarithmic": lambda c, d: {0.0: 1 - c, 1.0: c, MU_LN_MU: -d},
    "power-2": lambda c, alpha: {0.0: 1 - c, float(alpha): c},
    "nonlinear": lambda a1, a2, a3, a4: {0.0: 1 - a1 - a2 - a3 - a4, 0.5: a1,
                                         1.0: a2, 1.5: a3, 2.0: a4},
}


def law_weights(law, coefficients):
    """{basis: weight} of a law.  The weights are sums of a few doubles of
    moderate exponent, exact at the working precision."""
    return LAW_WEIGHTS[law](*[mpf(c) for c in coefficients])


def basis_profile(basis, mu):
    if basis == MU_LN_MU:
        return mu_ln_mu(mu)
    return mu ** mpf(basis) if basis else mpf(1)


def basis_flux(basis):
    """int_0^1 2 x phi(x) dx: 2/(p + 2) for mu^p, -2/9 for mu ln mu (the
    common factor pi left out of flux and magnified flux alike)."""
    return mpf(-2) / 9 if basis == MU_LN_MU else 2 / (mpf(basis) + 2)


def law_radial_points(l, eps):
    """Points that cut [0, 1] into pieces on which x A_ring(l, x) phi(x) is
    analytic inside for every basis phi (l and eps = re/rstar as mpf).

    The integrand has a logarithmic point on the ring through the lens,
    x = l (and its mirror, x = -l), features of width ~eps about it (the
    point lens's own scale), and the limb's branch point at x = 1 (mu^p,
    mu ln mu).  Each of these in or at the end of [0, 1] is approached
    geometrically, from the distance of its nearest neighbour among them, as
    the disc sweeps approach their peaks."""
    zero, one = mpf(0), mpf(1)
    points = {zero, one}
    if l < 1:
        if l > 0:
            points.add(l)
        width = min([2 * eps, one - l] + ([2 * l] if l > 0 else []))
        points.update(refined_toward(l, -1, width, zero))
        points.update(refined_toward(l, 1, width, one))
    else:
        # the lens's ring on the limb or beyond it
        width = l - 1 if l > 1 else min(2 * eps, one)
        points.update(refined_toward(one, -1, width, zero))
    return sorted(points)


@functools.lru_cache(maxsize=None)
def law_basis_integrals(l, re, rstar, bases, precision):
    """{basis: int_0^1 2 x A_ring(l, x) phi(x) dx} for every basis in the
    frozenset `bases`, at the working precision `precision` (bits), which
    is part of the key.

    All the bases are integrated over the same pieces, so their quadratures
    visit the same nodes, and each ring is evaluated once for all of them.
    A node that rounds onto the ring through the lens (its weight is below
    1e-30 of its piece's) is left out, as in ring_moments.  Far from the
    lens Heyrovsky's form sums positive terms and loses nothing, so the
    working digits serve out to l = 1e8, as for the far-field profiles."""
    l = mpf(l)
    eps = mpf(re) / mpf(rstar)
    rings = {}

    def magnified(x):
        ring_value = rings.get(x)
        if ring_value is None:
            ring_value = rings[x] = ring_closed_form(l, x, eps) if x != l else mpf(0)
        return 2 * x * ring_value

    def integrand(basis):
        return lambda x: magnified(x) * basis_profile(basis, mp.sqrt((1 - x) * (1 + x)))

    points = law_radial_points(l, eps)
    return {basis: integrate(integrand(basis), points) for basis in bases}


NO_COEFFICIENT = "-"


def limb_darkening_law(l, re, rstar, law, *coefficients):
    """Mean of the ring magnification over the disc weighted by the law's
    brightness: sum_b w_b N_b / sum_b w_b F_b over the basis profiles, with
    N_b the ring quadrature above and F_b the basis's flux in closed form.
    Coefficient columns holding NO_COEFFICIENT are not coefficients."""
    weights = law_weights(law, [c for c in coefficients if c != NO_COEFFICIENT])
    bases = frozenset(weights) | table_bases()
    integrals = law_basis_integrals(l, re, rstar, bases, mp.prec)
    magnified = sum(w * integrals[b] for b, w in weights.items())
    flux = sum(w * basis_flux(b) for b, w in weights.items())
    return magnified / flux


def piecewise_linear_profile(l, re, rstar, radii, brightness):
    """The same for any samples with radii in ascending order (a radius given
    twice is a step): on each interval between two distinct radii, clipped
    to the source, the line through its two samples; nothing outside the
    first and last radius."""
    l, eps = mpf(l), mpf(re) / mpf(rstar)
    magnified = flux = mpf(0)
    for (x0, y0), (x1, y1) in zip(zip(radii, brightness), zip(radii[1:], brightness[1:])):
        x0, y0, x1, y1 = mpf(x0), mpf(y0), mpf(x1), mpf(y1)
        a, b = max(x0, mpf(0)), min(x1, mpf(1))
        if not a < b:
            continue
        slope = (y1 - y0) / (x1 - x0)
        intercept = y0 - slope * x0
        first, second = ring_moments(l, eps, a, b)
        magnified += intercept * first + slope * second
        flux += intercept * (b * b - a * a) / 2 + slope * (b ** 3 - a ** 3) / 3
    return magnified / flux


# ---------------------------------------------------------------- cases

DISC_RSTARS = (0.01, 0.1, 1.0, 3.0)
DISC_INSIDE = (0.0, 0.3, 0.7, 0.95, 0.999)
DISC_OUTSIDE = (1.001, 1.1, 1.5, 2.0, 5.0, 10.0, 100.0)
CLOSE_TO_RIM = (-2e-5, -1e-5, -0.5e-5, 0.5e-5, 1e-5, 2e-5)   # times min(rho, 1)


def close_to_rim(rho):
    """l a few 1e-5 min(rho, 1) Einstein radii either side of the rim."""
    return [1.0 + k * min(rho, 1.0) / rho for k in CLOSE_TO_RIM]

# Near the rim of the disc and near a ring through the lens the models form
# their elliptic parameters from the complements 1 - n and 1 - m, in a band
# of half-width NEAR_EDGE_BAND times rho Einstein radii about the rim (0.05
# source radii) and times |l| about the ring.  The cases sit at these
# distances d from the edge (Einstein radii for the disc, u - rho; source
# radii for the ring, l - r), on both sides, and either side of the band's
# edge and at twice its width.
NEAR_EDGE_BAND = 0.05
NEAR_EDGE_DISTANCES = (1e-12, 1e-9, 1e-6, 1e-4)
NEAR_EDGE_RSTARS = (1e-4, 1e-2, 1.0, 10.0, 100.0)   # re = 1, so rho = rstar
NEAR_EDGE_RING_RADII = (1e-3, 0.5, 1.0)


def rim_points(rho):
    """l on the rim, at NEAR_EDGE_DISTANCES from it, and either side of the
    edges of the band |u - rho| < NEAR_EDGE_BAND rho and at twice its width."""
    edge = NEAR_EDGE_BAND * rho
    distances = NEAR_EDGE_DISTANCES + (edge * (1 - 1e-9), edge * (1 + 1e-9), 2 * edge)
    return [1.0] + [1.0 + side * d / rho for d in distances for side in (-1, 1)]


def band_edge_gaps(r):
    """The distances l - r of the edges of the band |l - r| < NEAR_EDGE_BAND l
    about a ring of radius r: lens outside the ring, then inside it."""
    return (NEAR_EDGE_BAND * r / (1 - NEAR_EDGE_BAND),
            -NEAR_EDGE_BAND * r / (1 + NEAR_EDGE_BAND))


def ring_near_edge_pairs(r):
    """(l, r) at NEAR_EDGE_DISTANCES from the ring, either side of the band's
    edges and at twice their distance, with the lens outside and inside."""
    pairs = [(r + side * d, r) for d in NEAR_EDGE_DISTANCES for side in (-1, 1)]
    for gap in band_edge_gaps(r):
        pairs += [(r + gap * k, r) for k in (1 - 1e-9, 1 + 1e-9, 2.0)]
    return pairs


def uniform_disc_cases():
    separations = {}
    for rstar in DISC_RSTARS:
        separations.setdefault(rstar, set()).update(
            DISC_INSIDE + (1.0,) + tuple(close_to_rim(rstar)) + DISC_OUTSIDE)
    for rstar in NEAR_EDGE_RSTARS:
        separations.setdefault(rstar, set()).update(rim_points(rstar))
    for rstar in sorted(separations):
        for l in sorted(separations[rstar]):
            yield (l, 1.0, rstar)


RING_RSTARS = (2.0, 0.5, 0.1, 0.01)       # eps = 0.5, 2, 10, 100


def ring_pairs():
    pairs = [(0.3, 1.0), (2.0, 0.5), (10.0, 1.0), (0.5, 3.0),   # far apart
             (0.5, 0.0), (2.0, 0.0),                             # r = 0
             (0.0, 0.5), (0.0, 1.0)]                             # l = 0
    for l in (1.0, 0.3):
        pairs += [(l, l + 1e-2), (l, l - 1e-2)]
        for k in (0.5, 2.0):
            gap = 1e-3 * min(l, 1.0) * k
            pairs += [(l, l + gap), (l, l - gap)]
    return pairs


def ring_cases():
    pairs = {}
    for rstar in RING_RSTARS:
        pairs.setdefault(rstar, []).extend(ring_pairs())
    for rstar in NEAR_EDGE_RSTARS:
        for r in NEAR_EDGE_RING_RADII:
            pairs.setdefault(rstar, []).extend(ring_near_edge_pairs(r))
    for rstar in pairs:
        for l, r in dict.fromkeys(pairs[rstar]):   # in order, without repeats
            yield (l, r, 1.0, rstar)


LIMB_RSTARS = (0.01, 0.1, 1.0, 10.0)
LIMB_LS = (0.0, 0.3, 0.5, 0.9, 0.99, 0.999, 1.0, 1.001, 1.1, 2.0, 10.0)

# Beyond this separation (source radii) the ring-by-ring form may take a
# far-field expansion instead of the integral; the last case lies just short
# of it, where the integral is still taken.
FAR_FIELD_SEPARATION = 6.0
# Across the whole range of source sizes: the lens at and near the centre,
# inside, within 1e-9 of the rim on both sides and on it, just beyond the
# rim, and out to the far field.
LIMB_WIDE_RSTARS = (1e-5, 1e-4, 1e-2, 1.0, 10.0, 100.0)
LIMB_WIDE_LS = (0.0, 1e-12, 1e-8, 1e-6, 1e-3, 0.3, 0.999, 1 - 1e-5, 1 - 1e-9, 1.0, 1 + 1e-9,
                1 + 1e-5, 1.001, 1.5, 3.0, FAR_FIELD_SEPARATION * (1 - 1e-9))
# Just outside the rim the ring through the lens, where the magnified flux
# is singular, lies just beyond the end of the source radius; a quadrature
# that trusts its own error estimate stops there a few 1e-12 short.
LIMB_JUST_OUTSIDE_RSTARS = (0.3, 1.0)
LIMB_JUST_OUTSIDE_LS = (1 + 1e-8, 1 + 1.5e-7)


def limb_darkened_cases():
    separations = {}
    for rstar in LIMB_RSTARS:
        separations.setdefault(rstar, set()).update(LIMB_LS)
    for rstar in LIMB_WIDE_RSTARS:
        separations.setdefault(rstar, set()).update(LIMB_WIDE_LS)
    for rstar in LIMB_JUST_OUTSIDE_RSTARS:
        separations.setdefault(rstar, set()).update(LIMB_JUST_OUTSIDE_LS)
    for rstar in sorted(separations):
        for l in sorted(separations[rstar]):
            yield (l, 1.0, rstar)


FAR_RSTARS = (1e-4, 1e-2, 1.0, 10.0)
FAR_LS = (FAR_FIELD_SEPARATION / 2, FAR_FIELD_SEPARATION * (1 - 1e-9),
          FAR_FIELD_SEPARATION * (1 + 1e-9), 2 * FAR_FIELD_SEPARATION,
          1e3, 1e4, 1e5, 1e6, 1e8)


def far_field_cases():
    for rstar in FAR_RSTARS:
        for l in FAR_LS:
            yield (l, 1.0, rstar)

FLUX_MAP_SPACINGS = ("sine", "even")
FLUX_MAP_INTERVALS = (40, FLUX_MAP_FINEST)


# Profiles with steps and kinks (tests/reference.py: reference_profile), with
# the lens also on the radii where they step.
FLUX_MAP_STEPPED = (("stepped", 40, (0.7071067811865475,)),
                    ("narrow", 1, (0.4, 0.45, 0.5)),
                    ("kinked", 2, (0.3, 0.8)))


# A sample radius of both grids of each spacing (sin(pi/4) at 20 of 40 and
# 100 of 200 intervals even in angle, 1/2 even in x), where the lens sits on
# it and within 1e-12 of its own separation either side of it.
FLUX_MAP_SAMPLE_RADII = {"sine": 0.7071067811865475, "even": 0.5}


def flux_map_cases():
    for rstar in LIMB_WIDE_RSTARS:
        for l in LIMB_WIDE_LS:
            for spacing in FLUX_MAP_SPACINGS:
                for intervals in FLUX_MAP_INTERVALS:
                    yield (l, 1.0, rstar, spacing, intervals)
    for rstar in LIMB_WIDE_RSTARS:
        for spacing, radius in FLUX_MAP_SAMPLE_RADII.items():
            for l in (radius * (1 - 1e-12), radius, radius * (1 + 1e-12)):
                for intervals in FLUX_MAP_INTERVALS:
                    yield (l, 1.0, rstar, spacing, intervals)
    for spacing, intervals, on_steps in FLUX_MAP_STEPPED:
        for rstar in LIMB_WIDE_RSTARS + (0.1,):
            for l in sorted(LIMB_WIDE_LS + on_steps):
                yield (l, 1.0, rstar, spacing, intervals)


# Limb-darkening laws: a few coefficient sets per law across its usual range
# and at its edges (no light at the limb, limb brightening), every one with
# a brightness that is nowhere negative on the disc, over the whole plane of
# source sizes and separations: the lens at and near the centre, inside,
# within 1e-9 of the rim on both sides and on it, outside, both sides of the
# far-field threshold, and far away.
LAW_COEFFICIENTS = {
    "uniform": [()],
    "linear": [(0.6,), (0.3,), (1.0,), (-0.2,)],
    "quadratic": [(0.45, 0.2), (0.6, 0.4), (0.0, 1.0)],
    "square-root": [(0.1, 0.6), (-0.3, 1.2), (0.3, 0.7)],
    "logarithmic": [(0.7, 0.25), (1.0, 0.4), (0.45, -0.1)],
    "power-2": [(0.65, 0.55), (1.0, 0.3), (-0.25, 2.0)],
    "nonlinear": [(0.41, -0.01, 0.6, -0.29), (0.75, -0.75, 1.05, -0.42),
                  (0.5, 0.25, -0.25, 0.5)],
}
LAW_COEFFICIENT_COLUMNS = 4
LAW_RSTARS = (1e-5, 1e-3, 0.05, 1.0, 100.0)
LAW_LS = (0.0, 1e-12, 1e-6, 0.5, 0.999, 1 - 1e-9, 1.0, 1 + 1e-9, 1.001, 2.0,
          math.nextafter(FAR_FIELD_SEPARATION, 0), FAR_FIELD_SEPARATION, 10.0,
          1e3, 1e8)


@functools.lru_cache(maxsize=1)
def table_bases():
    """Every basis the table's laws use, integrated together at each point."""
    return frozenset(basis for law, sets in LAW_COEFFICIENTS.items()
                     for coefficients in sets
                     for basis in law_weights(law, coefficients))


def check_law_coefficients(law, coefficients):
    """Stop unless the brightness is non-negative over a grid of mu dense
    towards the limb, and the basis weights give the law's own profile."""
    profile = LAW_PROFILES[law]
    weights = law_weights(law, coefficients)
    exact = [mpf(c) for c in coefficients]
    grid = ([mpf(0)] + [mpf(10) ** -k for k in range(1, 31)]
            + [mpf(k) / 1000 for k in range(1, 1001)])
    for mu in grid:
        brightness = profile(mu, *exact)
        combined = sum(w * basis_profile(b, mu) for b, w in weights.items())
        if brightness < 0:
            raise ValueError("%s %s: brightness %s at mu = %s"
                             % (law, coefficients, mpmath.nstr(brightness, 5), mu))
        if abs(combined - brightness) > mpf(10) ** (5 - mp.dps):
            raise ValueError("%s %s: basis weights give %s for %s at mu = %s"
                             % (law, coefficients, combined, brightness, mu))


def limb_darkening_law_cases():
    for law, sets in LAW_COEFFICIENTS.items():
        for coefficients in sets:
            check_law_coefficients(law, coefficients)
    for law, sets in LAW_COEFFICIENTS.items():
        for coefficients in sets:
            columns = coefficients + (NO_COEFFICIENT,) * (
                LAW_COEFFICIENT_COLUMNS - len(coefficients))
            for rstar in LAW_RSTARS:
                for l in LAW_LS:
                    yield (l, 1.0, rstar, law) + columns


TABLES = {
    "uniform_disc": (uniform_disc, uniform_disc_cases, "l re rstar truth",
                     "uniform disc of radius rstar centred l*rstar from the lens"),
    "ring": (ring, ring_cases, "l r re rstar truth",
             "thin ring of radius r*rstar centred l*rstar from the lens"),
    "far_field": (far_field, far_field_cases,
                  "l re rstar disc rim limb_darkened flux_map discrete_flux_map",
                  "source of radius rstar centred l*rstar from the lens, from its "
                  "threshold on: uniform disc; ring of radius rstar; brightness "
                  "1 - 0.6 (1 - sqrt(1 - x^2)); brightness sampled as bl = %s, "
                  "bf = %s, linear between, integrated and (last column) summed "
                  "ring by ring" % (list(FLUX_MAP_RADII), list(FLUX_MAP_FLUXES))),
    "limb_darkened": (limb_darkened, limb_darkened_cases, "l re rstar truth",
                      "disc of radius rstar centred l*rstar from the lens, "
                      "brightness 1 - 0.6 (1 - sqrt(1 - x^2)) at x source radii "
                      "from its centre"),
    "flux_map": (sampled_profile, flux_map_cases, "l re rstar spacing intervals truth",
                 "disc of radius rstar centred l*rstar from the lens, "
                 "brightness linear between the samples of the law "
                 "1 - 0.6 (1 - sqrt(1 - x^2)) at intervals + 1 radii x from 0 "
                 "to 1, evenly spaced in x or in asin(x) (spacing even or "
                 "sine), or of a profile with steps (stepped, narrow, kinked) "
                 "(tests/reference.py: reference_profile)"),
    "limb_darkening_laws": (
        limb_darkening_law, limb_darkening_law_cases, "l re rstar law a1 a2 a3 a4 truth",
        "disc of radius rstar centred l*rstar from the lens, brightness I(mu) "
        "of the named law with coefficients a1.. ('-': none) at mu = "
        "sqrt(1 - x^2), x source radii from its centre, normalised by its own "
        "flux: uniform 1; linear 1 - a1 (1 - mu); quadratic 1 - a1 (1 - mu) - "
        "a2 (1 - mu)^2; square-root 1 - a1 (1 - mu) - a2 (1 - sqrt(mu)); "
        "logarithmic 1 - a1 (1 - mu) - a2 mu ln(mu); power-2 1 - a1 (1 - "
        "mu^a2); nonlinear 1 - sum_k ak (1 - mu^(k/2))"),
}


# How a table's truths are made, where it is not the quadratures above.
TRUTHS = {
    "limb_darkening_laws": "%d-digit quadratures over the source radius of "
                           "Heyrovsky's ring times each basis profile (mu^p, "
                           "mu ln mu), combined law by law," % WORKING_DIGITS,
    "far_field": "Witt and Mao's closed form at %d + 2 log10(l) digits (disc), "
                 "Heyrovsky's at %d (rings), %d-digit quadratures of Heyrovsky's over "
                 "the radius (profiles)" % (WORKING_DIGITS + 10, WORKING_DIGITS,
                                            WORKING_DIGITS),
}


def truth_text(value):
    """17 significant digits, exponent form, rounded from the full value."""
    return format(Decimal(mpmath.nstr(value, WORKING_DIGITS)), ".16e")


def field_text(value):
    """A number as the shortest decimal that reads back as the same double;
    a name as it is."""
    return value if isinstance(value, str) else repr(float(value))


def table_path(name):
    return os.path.join(DATA_DIR, name + ".txt")


def kept_rows(name, inputs):
    """The table's rows as they are, by the text of their first `inputs`
    fields."""
    rows = {}
    with open(table_path(name)) as table:
        for line in table:
            if line.strip() and not line.startswith("#"):
                rows[" ".join(line.split()[:inputs])] = line.rstrip("\n")
    return rows


def case_row(name, case):
    function = TABLES[name][0]
    values = function(*case)
    if not isinstance(values, tuple):
        values = (values,)
    return " ".join([field_text(x) for x in case] + [truth_text(v) for v in values])


def write_table(name, keep=False, jobs=1):
    """Writes the table; with keep, a case already in it keeps its row and
    only the others are computed, in `jobs` processes."""
    function, cases, columns, meaning = TABLES[name]
    cases = list(cases())
    kept = (kept_rows(name, len(cases[0])) if keep and os.path.exists(table_path(name))
            else {})
    missing = [case for case in cases
               if " ".join(field_text(x) for x in case) not in kept]
    # Neighbouring cases share work (the flux-map rows of one grid), so
    # they go to a process in pairs.
    if jobs > 1:
        with multiprocessing.Pool(jobs) as pool:
            computed = pool.starmap(case_row, [(name, case) for case in missing], chunksize=2)
    else:
        computed = [case_row(name, case) for case in missing]
    rows = dict(kept)
    rows.update(zip((" ".join(field_text(x) for x in case) for case in missing), computed))
    lines = [
        "# Magnification of a %s, lens Einstein radius re." % meaning,
        "# Columns: %s" % columns,
        "# truth: %s of the exact double inputs, rounded to 17 significant "
        "digits." % TRUTHS.get(name, "%d-digit quadrature" % WORKING_DIGITS),
        "# Made by scripts/generate_reference.py; do not edit by hand.",
    ]
    lines += [rows[" ".join(field_text(x) for x in case)] for case in cases]
    os.makedirs(DATA_DIR, exist_ok=True)
    path = table_path(name)
    with open(path, "w") as out:
        out.write("\n".join(lines) + "\n")
    return path, len(lines) - 4, len(missing)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tables", nargs="*", metavar="TABLE",
                        help="any of %s (default: all)" % ", ".join(sorted(TABLES)))
    parser.add_argument("--keep", action="store_true",
                        help="keep the rows of cases already in a table; compute only new cases")
    parser.add_argument("--jobs", type=int, default=1, help="processes that compute cases")
    args = parser.parse_args(argv)
    unknown = sorted(set(args.tables) - set(TABLES))
    if unknown:
        parser.error("unknown table: %s" % ", ".join(unknown))
    mp.dps = WORKING_DIGITS
    for name in args.tables or sorted(TABLES):
        started = time.perf_counter()
        path, count, computed = write_table(name, args.keep, args.jobs)
        print("%s: %d cases (%d computed) in %.1f s" % (
            os.path.relpath(path), count, computed, time.perf_counter() - started))


if __name__ == "__main__":
    main(sys.argv[1:])
