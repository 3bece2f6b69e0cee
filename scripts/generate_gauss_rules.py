#!/usr/bin/env python3
"""Writes src/numeric/gauss_rules.hpp, the node tables of the near field's
ring-by-ring rule.

Two families of rules on [0, 1], each {weight, abscissa} rounded to the
nearest double:

  Gauss-Legendre, n = 1 ... MOST_NODES nodes: exact for polynomials of
  degree < 2n.  A cell of the source radius whose nearest singular point
  lies outside the Bernstein ellipse of parameter r is integrated to about
  r^(-2n) of its size.

  The generalised Gaussian rule of LOG_NODES nodes exact for the 2n
  functions x^k and x^k log x, k < n (Ma, Rokhlin & Wandzura 1996): the
  magnified flux next to the ring through the lens is a(x) log|x - l| +
  b(x) with a and b analytic, and this rule takes both parts with the
  singular end at x = 0 of the cell.  At the limb, in v = (1 - x^2)^(1/4),
  it also takes mu^alpha = v^(2 alpha) and mu ln mu for every alpha of the
  power-2 law to 1e-15.

And the least sum of distances from a singular point to the two ends of a
cell, over its half-width (r + 1/r, r the parameter of the Bernstein
ellipse through the point), at which the n-point Gauss-Legendre rule holds
the cell to CELL_TARGET: r^(-2n) = CELL_TARGET.

The generalised rule is found by continuation: for c > 0 the rule exact for
x^k and x^k log(x + c) varies smoothly with c, starts from Gauss-Legendre
(for large c the span is close to the polynomials of degree < 2n) and is
followed by Newton's method as c shrinks geometrically to 0, at
WORKING_DIGITS digits.  Every rule is checked against its exact moments
before it is written.  Rounding is exact (through the mpf's binary value and
Python's correctly rounded Fraction -> float), the literals have 17
significant digits.

    python3 scripts/generate_gauss_rules.py            # (re)write the header
    python3 scripts/generate_gauss_rules.py --check    # exit 1 if it differs
"""

import argparse
import math
import os
import sys
from fractions import Fraction

from mpmath import binomial, lu_solve, matrix, mp, mpf

WORKING_DIGITS = 60
MOST_NODES = 14   # Gauss-Legendre orders 1 ... MOST_NODES
LOG_NODES = 14    # nodes of the generalised rule
CELL_TARGET = mpf(1e-18)   # a cell's error bound relative to its integral (the double)

HEADER_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                           os.pardir, "src", "numeric", "gauss_rules.hpp")


def nearest_double(value):
    """The double nearest to the mpf value (ties to even)."""
    sign, mantissa, exponent, _ = value._mpf_
    exact = Fraction(mantissa) * (Fraction(2) ** exponent)
    return -float(exact) if sign else float(exact)


def literal(value):
    """A 17-significant-digit decimal literal that reads back as value."""
    text = f"{value:.16e}"
    assert float(text) == value
    return text


def gauss_legendre(n):
    """Nodes and weights of the n-point Gauss-Legendre rule on [0, 1]."""
    nodes, weights = mp.gauss_quadrature(n, "legendre")
    return [(t + 1) / 2 for t in nodes], [w / 2 for w in weights]


def log_moments(n, c):
    """int_0^1 x^k dx and int_0^1 x^k log(x + c) dx, k < n, interleaved."""
    out = []
    for k in range(n):
        out.append(mpf(1) / (k + 1))
        if c == 0:
            out.append(-mpf(1) / (k + 1) ** 2)
            continue
        total = mpf(0)
        for j in range(k + 1):
            def antiderivative(u):
                return u ** (j + 1) * (mp.log(u) / (j + 1) - mpf(1) / (j + 1) ** 2)
            total += binomial(k, j) * (-c) ** (k - j) * (antiderivative(1 + c)
                                                          - antiderivative(c))
        out.append(total)
    return out


def residuals(x, w, c):
    """Rule minus exact moments for x^k and x^k log(x + c)."""
    n = len(x)
    sums = [mpf(0)] * (2 * n)
    for xi, wi in zip(x, w):
        lg = mp.log(xi + c)
        for k in range(n):
            sums[2 * k] += wi * xi ** k
            sums[2 * k + 1] += wi * xi ** k * lg
    return [s - m for s, m in zip(sums, log_moments(n, c))]


def newton(x, w, c, iterations=25):
    """The rule for this c from a nearby one, or None if Newton fails."""
    n = len(x)
    goal = mpf(10) ** (-mp.dps + 12)
    for _ in range(iterations):
        res = residuals(x, w, c)
        if max(abs(r) for r in res) < goal:
            return x, w
        jacobian = matrix(2 * n, 2 * n)
        for i in range(n):
            xi, lg = x[i], mp.log(x[i] + c)
            for k in range(n):
                xk = xi ** k
                dk = k * xi ** (k - 1) if k else mpf(0)
                jacobian[2 * k, i] = xk
                jacobian[2 * k + 1, i] = xk * lg
                jacobian[2 * k, n + i] = w[i] * dk
                jacobian[2 * k + 1, n + i] = w[i] * (dk * lg + xk / (xi + c))
        step = lu_solve(jacobian, matrix(res))
        scale = mpf(1)
        while True:
            nx = [x[i] - scale * step[n + i] for i in range(n)]
            nw = [w[i] - scale * step[i] for i in range(n)]
            if (all(0 < v < 1 for v in nx) and all(v > 0 for v in nw)
                    and all(p < q for p, q in zip(nx, nx[1:]))):
                break
            scale /= 2
            if scale < mpf(10) ** -6:
                return None
        x, w = nx, nw
    return None


def log_rule(n):
    """The generalised Gaussian rule for x^k, x^k log x on [0, 1]."""
    x, w = gauss_legendre(n)
    c = mpf(2)
    found = newton(x, w, c)
    assert found is not None
    x, w = found
    factor = mpf("0.4")
    while c > mpf(10) ** -45:
        found = newton(x, w, c * factor)
        if found is None:
            factor = mp.sqrt(factor)
            if factor > mpf("0.999"):
                raise RuntimeError(f"continuation stalled at c = {c}")
            continue
        x, w = found
        c *= factor
        factor = max(factor * factor, mpf("0.05"))
    found = newton(x, w, mpf(0))
    assert found is not None
    return found


def bernstein_sums():
    """r_n + 1/r_n with r_n = CELL_TARGET^(-1/(2n)), n = 1 ... MOST_NODES,
    rounded up, so that a sum at or above the stored one meets the target."""
    sums = []
    for n in range(1, MOST_NODES + 1):
        r = CELL_TARGET ** (-mpf(1) / (2 * n))
        exact = r + 1 / r
        value = nearest_double(exact)
        if value < exact:
            value = math.nextafter(value, math.inf)
        sums.append(value)
    return sums


def checked(x, w, functions, exact):
    """The rule, after its sums of the functions match the exact values."""
    for f, value in zip(functions, exact):
        total = sum(wi * f(xi) for xi, wi in zip(x, w))
        assert abs(total - value) < mpf(10) ** (-mp.dps + 15), (total, value)
    return [(nearest_double(wi), nearest_double(xi)) for xi, wi in zip(x, w)]


def tables():
    mp.dps = WORKING_DIGITS
    legendre = []
    for n in range(1, MOST_NODES + 1):
        x, w = gauss_legendre(n)
        legendre.append(checked(x, w, [lambda t, k=k: t ** k for k in range(2 * n)],
                                [mpf(1) / (k + 1) for k in range(2 * n)]))
    x, w = log_rule(LOG_NODES)
    functions, exact = [], []
    for k in range(LOG_NODES):
        functions += [lambda t, k=k: t ** k, lambda t, k=k: t ** k * mp.log(t)]
        exact += [mpf(1) / (k + 1), -mpf(1) / (k + 1) ** 2]
    return legendre, checked(x, w, functions, exact), bernstein_sums()


def header_text():
    legendre, log_gauss, sums = tables()
    lines = [
        "// Nodes of the near field's ring-by-ring rule on [0, 1], {weight, abscissa}",
        "// rounded to the nearest double, abscissae increasing:",
        f"// GAUSS_LEGENDRE[n - 1], the n-point Gauss-Legendre rule, n = 1 to {MOST_NODES},",
        "// exact for polynomials of degree below 2n; LOG_GAUSS, the generalised",
        f"// Gaussian rule of {LOG_NODES} nodes exact for x^k and x^k log x, k < {LOG_NODES}",
        "// (Ma, Rokhlin & Wandzura 1996), for a cell with the ring through the lens,",
        "// or the limb in v = (1 - x^2)^(1/4), at its end x = 0.",
        "//",
        "// BERNSTEIN_SUMS[n - 1]: the least (|z - a| + |z - b|) / h, z a singular point",
        "// of the integrand and h the half-width of the cell [a, b], at which the n-point",
        "// Gauss-Legendre rule integrates the cell to CELL_TARGET of its size: r + 1/r",
        "// for the Bernstein ellipse through z, with r^(-2n) = CELL_TARGET, rounded up.",
        "//",
        "// Generated by scripts/generate_gauss_rules.py; do not edit.",
        "#pragma once",
        "",
        "#include <array>",
        "#include <cstddef>",
        "#include <span>",
        "",
        "namespace magnikit {",
        "",
        "struct GaussNode {",
        "  double weight;",
        "  double abscissa;",
        "};",
        "",
    ]
    for n, nodes in enumerate(legendre, 1):
        lines.append(f"inline constexpr GaussNode GAUSS_LEGENDRE_{n}[{n}] = {{")
        lines += [f"    {{{literal(w)}, {literal(x)}}}," for w, x in nodes]
        lines.append("};")
        lines.append("")
    names = [f"GAUSS_LEGENDRE_{n}" for n in range(1, MOST_NODES + 1)]
    lines.append(f"inline constexpr std::array<std::span<const GaussNode>, {MOST_NODES}> "
                 "GAUSS_LEGENDRE{")
    rows = [", ".join(names[i:i + 4]) for i in range(0, len(names), 4)]
    lines += [f"    {row}," for row in rows[:-1]] + [f"    {rows[-1]}}};"]
    lines.append("")
    lines.append(f"inline constexpr double CELL_TARGET = {literal(nearest_double(CELL_TARGET))};")
    lines.append("")
    lines.append(f"inline constexpr std::array<double, {MOST_NODES}> BERNSTEIN_SUMS{{")
    lines += [f"    {literal(value)}," for value in sums]
    lines.append("};")
    lines.append("")
    lines.append(f"inline constexpr GaussNode LOG_GAUSS[{LOG_NODES}] = {{")
    lines += [f"    {{{literal(w)}, {literal(x)}}}," for w, x in log_gauss]
    lines.append("};")
    lines.append("")
    lines.append("}  // namespace magnikit")
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the header on disk instead of writing it")
    args = parser.parse_args()
    text = header_text()
    path = os.path.normpath(HEADER_PATH)
    if args.check:
        try:
            with open(path, encoding="utf-8") as handle:
                on_disk = handle.read()
        except FileNotFoundError:
            on_disk = None
        if on_disk != text:
            print(f"{path} differs from the generated table", file=sys.stderr)
            return 1
        print(f"{path} is up to date")
        return 0
    with open(path, "w", encoding="utf-8") as handle:
        handle.write(text)
    print(f"wrote {path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
