// Carlson's symmetric elliptic integrals by the duplication theorem
// (Carlson 1995, Numer. Algorithms 10, 13-26; DLMF 19.36(i)), with the
// closed forms of DLMF 19.2(iv) and 19.20 for equal or zero arguments and
// the arithmetic-geometric mean (DLMF 19.8(i), 19.22(i)) where one argument
// is zero.
//
// Every sum and product below is written in the order in which it must be
// rounded; the code is built without floating-point contraction, so each
// operation is one IEEE rounding and the results are reproducible bit for bit.
#include "elliptic/carlson.hpp"

#include <cmath>
#include <string_view>
#include <utility>

#include "core/constants.hpp"
#include "elliptic/carlson_lanes.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {
namespace {

constexpr std::string_view RC_X_NEGATIVE = "elliprc: x must be non-negative.";
constexpr std::string_view RC_Y_ZERO = "elliprc: y must be non-zero.";
constexpr std::string_view RF_DOMAIN =
    "elliprf: x, y, and z must be non-negative, and at most one can be zero.";
constexpr std::string_view RF_NO_CONVERGENCE = "elliprf: Failed to converge.";
constexpr std::string_view RD_XY_DOMAIN =
    "elliprd: x and y must be non-negative, and at most one can be zero.";
constexpr std::string_view RD_Z_NOT_POSITIVE = "elliprd: z must be positive";
constexpr std::string_view RD_NO_CONVERGENCE = "elliprd: Failed to converge.";
constexpr std::string_view RJ_DOMAIN =
    "elliprj: x, y, and z must be non-negative, and at most one can be zero.";
constexpr std::string_view RJ_P_ZERO = "elliprj: p must be non-zero";

constexpr double SMALLEST_NORMAL = 2.2250738585072014e-308;

// Duplication stops once the largest deviation of the arguments from their
// mean, times one of these factors and divided by 4 per step, is below the
// mean: the terms that the series leaves out are then below rounding level.
// (R_J's factor is beside its duplication in carlson_lanes.hpp.)
constexpr double RF_SPREAD_FACTOR = 78.8959690786408;     // (3 * 2^-52)^(-1/8)
constexpr double RD_SPREAD_FACTOR = 107.63474115247546;   // (2^-52 / 4)^(-1/8)

constexpr int RF_MAX_STEPS = 11;
constexpr int RD_MAX_STEPS = 50;

// min and max with fmin/fmax semantics (a single NaN operand is ignored),
// folded left to right.
double min3(double a, double b, double c) { return lanes::fmin(lanes::fmin(a, b), c); }
double max3(double a, double b, double c) { return lanes::fmax(lanes::fmax(a, b), c); }
double max4(double a, double b, double c, double d) {
  return lanes::fmax(lanes::fmax(lanes::fmax(a, b), c), d);
}

// True when fewer than two of x, y, z are usable: one is negative, or two of
// them are zero.
bool outside_rf_domain(double x, double y, double z) {
  return min3(x, y, z) < 0 || min3(y + z, x + y, x + z) == 0;
}

// R_C(1, 1 + e) for the R_J duplication sum, e <= 0 or NaN, where 1 + e may
// be negative (Cauchy principal value), by its closed forms
// (DLMF 19.2(iv)). (For e > 0 the sum takes atan(sqrt(e)) / sqrt(e) itself.)
Computed<double> rc_one_one_plus(double e) {
  if (e < -1) {
    const Computed<double> rc = elliprc(-e, -e - 1);
    if (!rc) return rc;
    return std::sqrt(-1 / e) * *rc;
  }
  if (e == 0) return 1.0;
  const double t = std::sqrt(-e);
  if (e > -0.5) return (std::log1p(t) - std::log1p(-t)) / (2 * t);
  return std::log((t + 1) / std::sqrt(e + 1)) / t;
}

}  // namespace

Computed<double> rj_step_rc(double e, double b) {
  // Near e = -1 the argument 1 + e cancels; b is the same R_C argument
  // formed from the square roots without that cancellation.
  if (-1.5 < e && e < -0.5) return elliprc(1, b);
  return rc_one_one_plus(e);
}

Computed<double> elliprc(double x, double y) {
  if (x < 0) return fail(RC_X_NEGATIVE);
  if (y == 0) return fail(RC_Y_ZERO);
  double scale = 1;
  if (y < 0) {
    // Cauchy principal value (DLMF 19.2(iv)): R_C(x, y) =
    // sqrt(x / (x - y)) R_C(x - y, -y).
    scale = std::sqrt(x / (x - y));
    x = x - y;
    y = -y;
  }
  if (x == 0) return scale * HALF_PI / std::sqrt(y);
  if (x == y) return scale / std::sqrt(x);
  if (y > x) return scale * std::atan(std::sqrt((y - x) / x)) / std::sqrt(y - x);
  // x > y (or a NaN): the inverse hyperbolic form. For y/x > 1/2 it is
  // atanh(t) / sqrt(x - y) with t < 1/sqrt(2), taken through log1p; for
  // smaller y/x, where t nears 1, as a logarithm (DLMF 19.2(iv)).
  if (y / x > 0.5) {
    const double t = std::sqrt((x - y) / x);
    return scale * (std::log1p(t) - std::log1p(-t)) / (2 * std::sqrt(x - y));
  }
  return scale * std::log((std::sqrt(x) + std::sqrt(x - y)) / std::sqrt(y)) /
         std::sqrt(x - y);
}

Computed<double> elliprf(double x, double y, double z) {
  if (outside_rf_domain(x, y, z)) return fail(RF_DOMAIN);

  // Two or three equal arguments reduce to R_C (DLMF 19.2(iv)), or to the
  // complete value pi / (2 sqrt(x)) when the third is zero (DLMF 19.20(i)).
  if (x == y && x == z) return 1 / std::sqrt(x);
  if (x == y) {
    if (z == 0) return PI / (2 * std::sqrt(x));
    return elliprc(z, x);
  }
  if (x == z) {
    if (y == 0) return PI / (2 * std::sqrt(x));
    return elliprc(y, x);
  }
  if (y == z) {
    if (x == 0) return PI / (2 * std::sqrt(y));
    return elliprc(x, y);
  }

  // One zero argument: R_F(0, u, v) = pi / (2 AGM(sqrt u, sqrt v)) (DLMF 19.22(i)).
  double u = x;
  double v = y;
  double remaining = z;
  if (x == 0) {
    u = z;
    v = y;
    remaining = x;
  } else if (y == 0) {
    u = x;
    v = z;
    remaining = y;
  }
  if (remaining == 0) return elliprf_by_agm(u, v);

  // Duplication (DLMF 19.26(ii)) until the arguments agree closely enough
  // for the truncated series in their deviations from the mean.
  const double x_arg = x;
  const double y_arg = y;
  const double a0 = ((x + y) + z) / 3;
  double spread =
      max4(std::fabs(a0), std::fabs(a0 - x), std::fabs(a0 - y), std::fabs(a0 - z)) *
      RF_SPREAD_FACTOR;
  double a = a0;
  double scale = 1;  // 4^n after n steps
  bool converged = false;
  for (int step = 1; step <= RF_MAX_STEPS; ++step) {
    const double sx = std::sqrt(x);
    const double sy = std::sqrt(y);
    const double sz = std::sqrt(z);
    const double lambda = sx * sz + sy * sx + sy * sz;
    a = (a + lambda) * 0.25;
    spread = spread * 0.25;
    scale = scale * 4;
    if (spread < std::fabs(a)) {
      converged = true;
      break;
    }
    x = (x + lambda) * 0.25;
    y = (y + lambda) * 0.25;
    z = (z + lambda) * 0.25;
  }
  if (!converged) return fail(RF_NO_CONVERGENCE);

  const double dx = (a0 - x_arg) / (a * scale);
  const double dy = (a0 - y_arg) / (a * scale);
  const double dz = -dx - dy;
  const double e2 = dx * dy - dz * dz;
  const double e3 = dx * dy * dz;
  return (1 + e3 * (0.07142857142857142 + 3 * e3 / 104) +
          e2 * (e2 / 24 - 0.1 - 3 * e3 / 44 - 5 * (e2 * e2) / 208 + e2 * e3 / 16)) /
         std::sqrt(a);
}

Computed<double> elliprd(double x, double y, double z) {
  if (lanes::fmin(x, y) < 0 || x + y == 0) return fail(RD_XY_DOMAIN);
  if (z <= 0) return fail(RD_Z_NOT_POSITIVE);

  // R_D is symmetric in x and y; order them so that q = z covers both x = z
  // and y = z.
  double p = x;
  double q = y;
  if (x == z) {
    p = y;
    q = x;
  }
  if (q == z) {
    if (x == y) return 1 / (p * std::sqrt(p));
    if (p == 0) return THREE_PI / (4 * q * std::sqrt(q));
  }

  if (p == 0) {
    // R_D(0, q, z) from the AGM of sqrt(q) and sqrt(z) with the weighted sum of
    // squared differences that turns the complete integral of the first kind
    // into the second (DLMF 19.8(i) with 19.25(i)).
    const double a0 = std::sqrt(q);
    const double b0 = std::sqrt(z);
    double weight = 0.25;
    double squares = 0;
    const MeanPair<double> mean = agm(q, z, [&](double a, double b, bool) {
      weight = weight + weight;
      squares = squares + (a - b) * (weight * (a - b));
    });
    // (q - z) z overflows or underflows once the arguments pass about 1e154
    // or 1e-154, and the correction would come out as 0 or infinite although
    // it is of the size of the first term; there the same quotient is formed
    // one divisor at a time, which stays in range because the sum of squares
    // grows with the arguments.
    const double denominator = (q - z) * z;
    const double correction = std::isfinite(denominator) &&
                                      std::fabs(denominator) >= SMALLEST_NORMAL
                                  ? squares / denominator
                                  : squares / z / (q - z);
    const double t = (a0 + 3 * b0) / (4 * z * (b0 + a0)) - correction;
    return t * (PI / (mean.b + mean.a)) * 3;
  }

  // Duplication (DLMF 19.26(ii)); each step leaves behind the term
  // 4^-n / (sqrt(z_n) (z_n + lambda_n)) of the duplication theorem for R_D.
  const double p0 = p;
  const double q0 = q;
  const double a0 = ((x + y) + 3 * z) / 5;
  double spread = max3(a0 - p, a0 - q, a0 - z) * RD_SPREAD_FACTOR * 1.2;
  double a = a0;
  double f = 1;
  double sum = 0;
  bool converged = false;
  for (int step = 1; step <= RD_MAX_STEPS; ++step) {
    const double sp = std::sqrt(p);
    const double sq = std::sqrt(q);
    const double sz = std::sqrt(z);
    const double lambda = sz * sp + sq * sp + sz * sq;
    sum = sum + f / (sz * (z + lambda));
    a = (a + lambda) * 0.25;
    spread = spread * 0.25;
    f = f * 0.25;
    p = (p + lambda) * 0.25;
    q = (q + lambda) * 0.25;
    z = (z + lambda) * 0.25;
    if (spread < a) {
      converged = true;
      break;
    }
  }
  if (!converged) return fail(RD_NO_CONVERGENCE);

  const double dx = (a0 - p0) * f / a;
  const double dy = (a0 - q0) * f / a;
  const double dz = (dx + dy) / (-3);
  const double z2 = dz * dz;
  const double z3 = dz * dz * dz;
  const double e2 = dx * dy - 6 * z2;
  const double e3 = 3 * dx * dy * dz - 8 * z3;
  const double e4 = 3 * (dx * dy * dz - z3) * dz;
  const double e5 = dx * dy * dz * z2;
  return f * std::pow(a, -1.5) * series_s12(e2, e3, e4, e5) + 3 * sum;
}

Computed<double> elliprj(double x, double y, double z, double p) {
  if (outside_rf_domain(x, y, z)) return fail(RJ_DOMAIN);
  if (p == 0) return fail(RJ_P_ZERO);

  // Three equal arguments: R_J(x, x, x, p) in terms of R_C (DLMF 19.20(iii)).
  if (x == y && y == z) {
    if (x == p) return 1 / (std::sqrt(x) * x);
    const Computed<double> rc = elliprc(x, p);
    if (!rc) return rc;
    return 3 / (x - p) * (*rc - 1 / std::sqrt(x));
  }

  // A pair of equal arguments (x = y or y = z): R_J(u, v, v, p) is R_D when
  // p = v, and a difference of two R_C when p and v are far apart
  // (DLMF 19.20(iii)); close together the duplication is the accurate way.
  double x1 = x;
  double y1 = y;
  double z1 = z;
  bool pair = false;
  double u = 0;
  double v = 0;
  if (x == y) {
    pair = true;
    u = z;
    v = y;
  } else if (y == z) {
    pair = true;
    u = x;
    v = y;
  }
  if (pair) {
    if (v == p) return elliprd(u, v, v);
    if (lanes::fmax(p, v) / lanes::fmin(p, v) > 1.2) {
      const Computed<double> r1 = elliprc(u, v);
      if (!r1) return r1;
      const Computed<double> r2 = elliprc(u, p);
      if (!r2) return r2;
      return 3 / (p - v) * (*r1 - *r2);
    }
    x1 = u;
    y1 = v;
    z1 = v;
  }

  if (z1 == p) return elliprd(x1, y1, z1);
  if (!(p < 0)) return _elliprj(x1, y1, z1, p).lane(0);

  // Cauchy principal value for p < 0 (DLMF 19.20(iii); Carlson 1995),
  // from R_J at a positive q, R_F and R_C, with x' <= y' <= z'.
  double xs = x1;
  double ys = y1;
  double zs = z1;
  if (ys < xs) std::swap(xs, ys);
  if (zs < ys) std::swap(ys, zs);
  if (ys < xs) std::swap(xs, ys);
  const double m = xs * ys;
  const double q = (zs * (xs + ys - p) - m) / (zs - p);
  const double m_minus_pq = m + q * (-p);
  const Computed<double> j = elliprj(xs, ys, zs, q);
  if (!j) return j;
  const Computed<double> f = elliprf(xs, ys, zs);
  if (!f) return f;
  const Computed<double> h = elliprc(m_minus_pq, -p * q);
  if (!h) return h;
  return ((q - zs) * *j - 3 * *f + 3 * std::sqrt(zs * m / m_minus_pq) * *h) / (zs - p);
}

}  // namespace magnikit
