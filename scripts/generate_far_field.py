#!/usr/bin/env python3
"""Writes src/models/point_lens_laplacians.hpp, the iterated Laplacians of the
point-lens magnification that the far-field series of every model sums.

A source whose brightness depends only on the distance x (source radii) from
its centre, seen by a point lens u Einstein radii from that centre, is
magnified by the point-lens magnification A0(u) = (u^2 + 2)/(u sqrt(u^2 + 4))
averaged over the source.  Averaging a function over a circle of radius a
about u is the series sum_k (a^2/4)^k / (k!)^2 Delta^k, Delta the
two-dimensional Laplacian (for a radial f: f'' + f'/u); averaging that over
the brightness profile leaves the profile moments
M_k = int_0^1 x^(2k+1) I(x) dx / int_0^1 x I(x) dx:

    A = A0(u) + sum_{k>=1} (rho^2/4)^k / (k!)^2 M_k Delta^k A0(u).

With t = u^2, Delta = 4 d/dt (t d/dt), and induction gives
Delta^k A0 = P_k(t) / (u^(2k+1) (u^2 + 4)^((4k+1)/2)), P_k a polynomial of
degree 2k - 1 with rational coefficients.  With u = rho l and h = 1/l^2,

    (rho^2/4)^k / (k!)^2 Delta^k A0 = h^k G_k(z) (y/4) / (u s),
    s = sqrt(u^2 + 4),  y = 4/(u^2 + 4),  z = u^2/(u^2 + 4),
    G_k(z) = P_k(t) / (4^k (k!)^2 (t + 4)^(2k-1)),  t = 4z/(1 - z),

a polynomial of degree 2k - 1 in z in [0, 1].  It is positive there, and its
coefficients in z (unlike those in y = 1 - z or in t) nearly all share a
sign, so Horner's rule in z loses at most a few thousand ulps on the highest
term (which is multiplied by h^8 <= 1e-12) and nothing on the low ones.
The point-lens part is written A0 = 1 + 4 / (u s (u^2 + 2 + u s)), which
has no cancellation at any u and is never below 1.

The derivation is exact (rational arithmetic); every coefficient is a
dyadic rational whose numerator fits in 53 bits, so the literals are exact.

    python3 scripts/generate_far_field.py            # (re)write the header
    python3 scripts/generate_far_field.py --check    # exit 1 if it differs
    python3 scripts/generate_far_field.py --verify   # mpmath checks of the
        Laplacians against numerical differentiation, and of their double
        evaluation across u in [1e-6, 1e8]
    python3 scripts/generate_far_field.py --measure  # the table from which
        the far-field threshold and the number of terms were chosen
"""

import argparse
import math
import os
import random
import sys
from fractions import Fraction

TERMS = 8                  # k = 1 .. TERMS
THRESHOLD = 6.0            # far field: l >= THRESHOLD source radii

HEADER_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                           os.pardir, "src", "models", "point_lens_laplacians.hpp")


# ------------------------------------------------------------ derivation
# Polynomials are lists of Fractions, ascending powers.

def poly_add(p, q):
    out = [Fraction(0)] * max(len(p), len(q))
    for i, c in enumerate(p):
        out[i] += c
    for i, c in enumerate(q):
        out[i] += c
    return out


def poly_mul(p, q):
    out = [Fraction(0)] * (len(p) + len(q) - 1)
    for i, a in enumerate(p):
        for j, b in enumerate(q):
            out[i + j] += a * b
    return out


def poly_scale(p, c):
    return [c * a for a in p]


def poly_derivative(p):
    return [i * p[i] for i in range(1, len(p))] or [Fraction(0)]


def t_derivative_times_t(P, a, b):
    """t d/dt of P(t) t^a (t+4)^b, as (R, a, b - 1) meaning R t^a (t+4)^(b-1)."""
    # t (P t^a (t+4)^b)' = t^a (t+4)^(b-1) [t (t+4) P' + (a (t+4) + b t) P]
    t_t4 = [Fraction(0), Fraction(4), Fraction(1)]
    linear = [Fraction(4) * a, a + b]
    return poly_add(poly_mul(t_t4, poly_derivative(P)), poly_mul(linear, P)), a, b - 1


def laplacian(P, a, b):
    """Delta of P(t) t^a (t+4)^b, Delta = 4 d/dt (t d/dt), same representation."""
    R, a1, b1 = t_derivative_times_t(P, a, b)
    # d/dt (R t^a1 (t+4)^b1) = t^(a1-1) (t+4)^(b1-1) [t (t+4) R' + (a1 (t+4) + b1 t) R]
    S, _, _ = t_derivative_times_t(R, a1, b1)
    return poly_scale(S, Fraction(4)), a1 - 1, b1 - 1


def laplacian_numerators(count):
    """[P_1, ..., P_count]: Delta^k A0 = P_k(t) t^-(2k+1)/2 (t+4)^-(4k+1)/2."""
    P, a, b = [Fraction(2), Fraction(1)], Fraction(-1, 2), Fraction(-1, 2)
    out = []
    for k in range(1, count + 1):
        P, a, b = laplacian(P, a, b)
        assert a == Fraction(-(2 * k + 1), 2) and b == Fraction(-(4 * k + 1), 2)
        while len(P) > 1 and P[-1] == 0:
            P.pop()
        assert len(P) == 2 * k, "P_%d should have degree 2k - 1" % k
        out.append(P)
    return out


def binomial_row(n):
    """Coefficients of (1 - z)^n."""
    return [Fraction((-1) ** j * math.comb(n, j)) for j in range(n + 1)]


def series_polynomials(count):
    """[G_1, ..., G_count], G_k(z) ascending powers of z (exact)."""
    out = []
    for k, P in enumerate(laplacian_numerators(count), 1):
        degree = 2 * k - 1
        G = [Fraction(0)] * (degree + 1)
        for i, p in enumerate(P):
            # p t^i / (t+4)^(2k-1) = p 4^(i-2k+1) z^i (1-z)^(2k-1-i)
            term = poly_mul([Fraction(0)] * i + [Fraction(1)],
                            binomial_row(degree - i))
            G = poly_add(G, poly_scale(term, p * Fraction(4) ** (i - degree)))
        scale = Fraction(1, 4 ** k * math.factorial(k) ** 2)
        out.append([c * scale for c in G])
    return out


def exact_double(c):
    value = float(c)
    assert Fraction(value) == c, "coefficient %s is not a double" % c
    return value


def literal(value):
    text = repr(value)
    if "e" not in text and "." not in text:
        text += ".0"
    assert float(text) == value
    return text


NEGLIGIBLE = 2.0 ** -60     # a term this small relative to A is left out


def term_thresholds(polys):
    """For each k, the h below which term k is under NEGLIGIBLE of the
    magnification for every u and every moment |M_k| <= 1 (a thin ring of
    radius r <= l / threshold, or any non-negative profile on the disc).

    term_k / A = M_k h^k G_k(z) (y/4) / (u s A0(u)) <= h^k c_k, with c_k the
    maximum over u (reached as u -> 0, where it is G_k(0) / 8), taken with
    10 % to spare; the thresholds are rounded down to three digits."""
    mpmath = mp_tools()
    with mpmath.workdps(30):
        out = []
        for k, G in enumerate(polys, 1):
            coefficients = [mpmath.mpf(c.numerator) / c.denominator for c in reversed(G)]
            worst = mpmath.mpf(0)
            for e in range(-160, 161):
                u = mpmath.mpf(10) ** (mpmath.mpf(e) / 20)
                s = mpmath.sqrt(u * u + 4)
                y, z = 4 / (u * u + 4), u * u / (u * u + 4)
                a0 = (u * u + 2) / (u * s)
                worst = max(worst, mpmath.polyval(coefficients, z) * y / 4 / (u * s) / a0)
            h = (mpmath.mpf(NEGLIGIBLE) / (worst * mpmath.mpf("1.1"))) ** (mpmath.mpf(1) / k)
            digits = float(mpmath.nstr(h, 3, min_fixed=1, max_fixed=0))
            out.append(digits if digits <= h else float(mpmath.nstr(h * mpmath.mpf("0.999"), 3)))
    assert all(a < b for a, b in zip(out, out[1:])), "thresholds must rise with k"
    return out


def header_text():
    polys = series_polynomials(TERMS)
    thresholds = term_thresholds(polys)

    def needed(l):
        return sum(1 for h in thresholds if 1.0 / (l * l) > h)

    flat = [exact_double(c) for G in polys for c in G]
    lines = [
        "// Iterated Laplacians of the point-lens magnification, for the far-field",
        "// series. Generated by scripts/generate_far_field.py, which derives them",
        "// exactly and says how; do not edit by hand.",
        "//",
        "// With s = sqrt(u^2 + 4), y = 4/(u^2 + 4), z = u^2/(u^2 + 4) and a source",
        "// rho Einstein radii in radius at u = rho l,",
        "//   (rho^2/4)^k / (k!)^2 Delta^k A0(u) = l^-2k G_k(z) (y/4) / (u s),",
        "// G_k of degree 2k - 1. Every coefficient is a dyadic rational, exact here.",
        "#pragma once",
        "",
        "#include <array>",
        "",
        "namespace magnikit {",
        "",
        "// Terms k = 1 .. FAR_FIELD_TERMS of the series.",
        "inline constexpr int FAR_FIELD_TERMS = %d;" % TERMS,
        "",
        "// G_1, G_2, ... one after another, each in ascending powers of z: G_k",
        "// has 2k coefficients and starts at index k (k - 1) = 0, 2, 6, 12, ...",
        "inline constexpr std::array<double, %d> POINT_LENS_LAPLACIANS{" % len(flat),
    ]
    for k, G in enumerate(polys, 1):
        lines.append("    // G_%d" % k)
        line = "   "
        for c in G:
            item = " %s," % literal(exact_double(c))
            if len(line) + len(item) > 98:
                lines.append(line)
                line = "   "
            line += item
        lines.append(line)
    lines += [
        "};",
        "",
        "// Term k is summed only where h = (radius / l)^2 exceeds entry k - 1:",
        "// below it the term is under 2^-60 of the magnification for any moment",
        "// |M_k| <= 1, so distant lenses cost a few terms only (l = 20 needs %d,"
        % needed(20.0),
        "// l = 1000 needs %d)." % needed(1000.0),
        "inline constexpr std::array<double, %d> FAR_FIELD_TERM_NEEDED_ABOVE{" % TERMS,
        "    " + ", ".join(literal(h) for h in thresholds) + ",",
        "};",
        "",
        "}  // namespace magnikit",
        "",
    ]
    return "\n".join(lines)


# ------------------------------------------------------------ double mirror
# The far-field evaluation as src/models/far_field.cpp performs it, one IEEE
# operation at a time (Python floats are doubles, rounded per operation).

def coefficient_rows():
    return [[exact_double(c) for c in G] for G in series_polynomials(TERMS)]


def far_field_double(u, h, moments, rows, thresholds=None):
    uu = u * u
    us = u * math.sqrt(uu + 4.0)
    y = 4.0 / (uu + 4.0)
    z = 1.0 / (1.0 + 4.0 / uu)
    corrections = 0.0
    terms = len(rows)
    while thresholds is not None and terms > 0 and not h > thresholds[terms - 1]:
        terms -= 1
    for k in range(terms, 0, -1):
        row = rows[k - 1]
        g = row[-1]
        for c in reversed(row[:-1]):
            g = g * z + c
        corrections = (corrections + moments[k - 1] * g) * h
    return 1.0 + (4.0 / ((uu + 2.0) + us) + (y * 0.25) * corrections) / us


# ------------------------------------------------------------ mpmath checks

def mp_tools():
    import mpmath
    return mpmath


def verify():
    """Laplacians against numerical differentiation; double evaluation of
    each G_k and of the whole series across u in [1e-6, 1e8]."""
    mpmath = mp_tools()
    mp = mpmath.mp
    mp.dps = 50
    polys = series_polynomials(TERMS)
    ok = True

    def A0(u):
        return (u * u + 2) / (u * mp.sqrt(u * u + 4))

    def laplacian_numeric(f):
        return lambda u: mp.diff(f, u, 2) + mp.diff(f, u, 1) / u

    def exact_G(k, z):
        return mpmath.polyval([mpmath.mpf(c.numerator) / c.denominator
                               for c in reversed(polys[k - 1])], z)

    print("Delta^k A0 from G_k against mpmath differentiation (k <= 3):")
    f = A0
    for k in range(1, 4):
        f = laplacian_numeric(f)
        for u in ("0.3", "1.7", "12"):
            u = mpmath.mpf(u)
            s = mp.sqrt(u * u + 4)
            z = u * u / (u * u + 4)
            from_series = (exact_G(k, z) * 4 ** k * math.factorial(k) ** 2
                           / u ** (2 * k) / (u * s ** 3))
            with mp.workdps(30):
                numeric = f(u)
            err = abs(from_series / numeric - 1)
            ok &= err < 1e-12
            print("  k=%d u=%-4s rel. difference %.1e" % (k, mpmath.nstr(u, 3), err))

    rows = coefficient_rows()
    thresholds = term_thresholds(polys)
    print("Double evaluation of G_k(z) for u in [1e-6, 1e8] (worst rel. error):")
    us = [10 ** (e / 20) for e in range(-120, 161)]
    for k in range(1, TERMS + 1):
        worst = 0.0
        for u in us:
            z = 1.0 / (1.0 + 4.0 / (u * u))
            g = rows[k - 1][-1]
            for c in reversed(rows[k - 1][:-1]):
                g = g * z + c
            zt = mpmath.mpf(u) ** 2 / (mpmath.mpf(u) ** 2 + 4)
            worst = max(worst, float(abs(g / exact_G(k, zt) - 1)))
        print("  G_%d: %.1e" % (k, worst))
        ok &= worst < 1e-11
    print("Whole series (uniform disc moments) for u in [1e-6, 1e8], l = %g .. 1e8:"
          % THRESHOLD)
    worst = 0.0
    disc = [1.0 / (k + 1) for k in range(1, TERMS + 1)]
    for u in us:
        for l in (THRESHOLD, 10.0, 1e3, 1e8):
            value = far_field_double(u, 1.0 / (l * l), disc, rows, thresholds)
            truth = series_truth(mpmath, mpmath.mpf(u), mpmath.mpf(l),
                                 lambda k: mpmath.mpf(1) / (k + 1), polys)
            worst = max(worst, float(abs(value / truth - 1)))
    print("  worst rel. error %.1e (the separation itself exact)" % worst)
    ok &= worst < 1e-15
    return ok


def series_truth(mpmath, u, l, moment, polys, terms=None):
    """The series to `terms` terms in working precision (12 by default:
    at l >= 5 the rest is below 1e-24 relative)."""
    terms = terms or len(polys)
    uu = u * u
    us = u * mpmath.sqrt(uu + 4)
    y = 4 / (uu + 4)
    z = uu / (uu + 4)
    h = 1 / (l * l)
    acc = 0
    for k in range(terms, 0, -1):
        G = mpmath.polyval([mpmath.mpf(c.numerator) / c.denominator
                            for c in reversed(polys[k - 1])], z)
        acc = (acc + moment(k) * G) * h
    return 1 + (4 / ((uu + 2) + us) + y / 4 * acc) / us


def measure():
    """Worst relative error of the double series against truth, for each
    number of terms and threshold: rho log-uniform in [1e-5, 100] plus the
    decades, l at the threshold, just above it and on to 1e8.

    Truth: the series to 12 terms at 40 digits, itself checked against
    Witt and Mao's and Heyrovsky's closed forms at 60 digits."""
    mpmath = mp_tools()
    mp = mpmath.mp
    mp.dps = 40
    polys = series_polynomials(12)
    mpf = mpmath.mpf

    def closed_disc(l, rho):
        with mp.workdps(60):
            u = rho * l
            d, s = u - rho, u + rho
            w = mp.sqrt(d * d + 4)
            n = 4 * u * rho / s ** 2
            m = 4 * n / (4 + d * d)
            return (s * w / rho ** 2 * mp.ellipe(m)
                    - d * (8 + u * u - rho * rho) / (rho ** 2 * w) * mp.ellipk(m)
                    + 4 * (1 + rho ** 2) * d * d / (rho ** 2 * s * w) * mp.ellippi(n, m)
                    ) / (2 * mp.pi)

    def closed_ring(l, rho):
        with mp.workdps(60):
            eps = 1 / rho
            r = mpf(1)
            s, d = l + r, l - r
            Q = d * d + 4 * eps * eps
            n = 4 * l * r / s ** 2
            m = 16 * eps ** 2 * l * r / (s ** 2 * Q)
            return 4 / (s * mp.sqrt(Q)) * (d * d * mp.ellippi(n, m)
                                           + 2 * eps ** 2 * mp.ellipk(m)) / (2 * mp.pi)

    beta = lambda k: mpmath.beta(k + 1, mpf(3) / 2) / 2
    families = {
        "uniform disc": lambda k: mpf(1) / (k + 1),
        "ring r = 1": lambda k: mpf(1),
        "linear law 0.6": lambda k: (mpf("0.4") / (2 * k + 2) + mpf("0.6") * beta(k)) / mpf("0.4"),
    }
    print("series truth against the closed forms (rel. difference):")
    for rho in (1e-4, 1e-2, 1.0, 10.0):
        for l in (5.0, 10.0, 100.0):
            a = closed_disc(mpf(l), mpf(rho))
            b = series_truth(mpmath, mpf(rho) * l, mpf(l), families["uniform disc"], polys)
            c = closed_ring(mpf(l), mpf(rho))
            d = series_truth(mpmath, mpf(rho) * l, mpf(l), families["ring r = 1"], polys)
            print("  rho=%-6g l=%-5g disc %.1e  ring %.1e"
                  % (rho, l, abs(a / b - 1), abs(c / d - 1)))

    rng = random.Random(1)
    rhos = [10 ** rng.uniform(-5, 2) for _ in range(40)] + [10.0 ** e for e in range(-5, 3)]
    far = [10 ** rng.uniform(0, 8) for _ in range(30)] + [1e3, 1e4, 1e5, 1e6, 1e8]
    thresholds = (5, 6, 7, 8, 10, 12, 15, 20, 30)
    all_rows = [[exact_double(c) for c in G] for G in polys[:10]]
    cache = {}
    print("worst rel. error of the double series, by terms (rows) and threshold (columns)")
    print("%-16s %5s " % ("profile", "terms") + " ".join("%8d" % L for L in thresholds))
    for name, moment in families.items():
        for terms in range(4, 11):
            rows = all_rows[:terms]
            moments = [float(moment(k)) for k in range(1, terms + 1)]
            line = []
            for L in thresholds:
                worst = 0.0
                for rho in rhos:
                    for l in [L, L * (1 + 1e-9), 1.1 * L, 1.5 * L, 2 * L] + [x for x in far if x >= L]:
                        key = (name, rho, l)
                        if key not in cache:
                            cache[key] = series_truth(mpmath, mpf(rho) * l, mpf(l), moment, polys)
                        value = far_field_double(rho * l, 1.0 / (l * l), moments, rows)
                        worst = max(worst, float(abs(value / cache[key] - 1)))
                line.append("%8.1e" % worst)
            print("%-16s %5d " % (name, terms) + " ".join(line), flush=True)
    print("as built (%d terms, each summed only where it matters), l >= %g:"
          % (TERMS, THRESHOLD))
    thresholds = term_thresholds(polys[:TERMS])
    rows = all_rows[:TERMS]
    for name, moment in families.items():
        moments = [float(moment(k)) for k in range(1, TERMS + 1)]
        worst = 0.0
        for rho in rhos:
            for l in [THRESHOLD, THRESHOLD * (1 + 1e-9), 1.1 * THRESHOLD, 1.5 * THRESHOLD,
                      2 * THRESHOLD] + [x for x in far if x >= THRESHOLD]:
                truth = series_truth(mpmath, mpf(rho) * l, mpf(l), moment, polys)
                value = far_field_double(rho * l, 1.0 / (l * l), moments, rows, thresholds)
                worst = max(worst, float(abs(value / truth - 1)))
        print("  %-16s worst rel. error %.1e" % (name, worst))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    group = parser.add_mutually_exclusive_group()
    group.add_argument("--check", action="store_true",
                       help="exit 1 if the header differs from what would be written")
    group.add_argument("--verify", action="store_true",
                       help="check the Laplacians and their double evaluation with mpmath")
    group.add_argument("--measure", action="store_true",
                       help="print the accuracy table behind the threshold and term count")
    args = parser.parse_args(argv)
    if args.measure:
        measure()
        return 0
    if args.verify:
        return 0 if verify() else 1
    text = header_text()
    if args.check:
        with open(HEADER_PATH) as existing:
            if existing.read() != text:
                print("%s is out of date" % os.path.relpath(HEADER_PATH), file=sys.stderr)
                return 1
        return 0
    with open(HEADER_PATH, "w") as out:
        out.write(text)
    print("wrote %s" % os.path.relpath(HEADER_PATH))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
