// The complete Legendre elliptic integrals K(m), E(m) and Pi(n, m). K and E
// come from minimax approximations in the complementary parameter t = 1 - m,
// of the form P(t) - log(t) Q(t) that carries the logarithmic singularity at
// m = 1 (DLMF 19.12); Pi comes from Carlson's R_F and R_J (DLMF 19.25(i)).
// The same integrals as functions of the complements 1 - m and 1 - n, given
// by the caller, share these forms: they only skip forming the complements.
// The forms themselves are written in legendre_lanes.hpp, once for the
// scalar functions and the batches that evaluate them in vector lanes.
#include "elliptic/legendre.hpp"

#include <cmath>
#include <limits>
#include <string_view>

#include "core/constants.hpp"
#include "elliptic/carlson.hpp"
#include "elliptic/legendre_lanes.hpp"

namespace magnikit {
namespace {

constexpr std::string_view K_M_TOO_LARGE = "ellipk: m must be less than 1.";
constexpr std::string_view E_M_TOO_LARGE = "ellipe: m must be less than 1.";
constexpr std::string_view PI_M_TOO_LARGE = "ellippi: m must be less than 1.";
constexpr std::string_view PI_N_TOO_LARGE = "ellippi: n must be less than 1.";
constexpr std::string_view KC_MC_NEGATIVE = "ellipk_complementary: mc must be non-negative.";
constexpr std::string_view EC_MC_NEGATIVE = "ellipe_complementary: mc must be non-negative.";
constexpr std::string_view PIC_MC_NEGATIVE = "ellippi_complementary: mc must be non-negative.";
constexpr std::string_view PIC_NC_NEGATIVE = "ellippi_complementary: nc must be non-negative.";

// K and E as functions of the complementary parameter t = 1 - m, 0 < t <= 1
// (legendre_lanes.hpp).
double ellipk_approximation(double t) { return ellipk_from_log(t, std::log(t)); }
double ellipe_approximation(double t) { return ellipe_from_log(t, std::log(t)); }

// Pi(n, m) = R_F(0, 1 - m, 1) + (n / 3) R_J(0, 1 - m, 1, 1 - n)
// (DLMF 19.25(i)), from n and the complements nc = 1 - n and mc = 1 - m.
Computed<double> ellippi_carlson(double n, double nc, double mc) {
  const Computed<double> f = elliprf(0, mc, 1);
  if (!f) return f;
  const Computed<double> j = elliprj(0, mc, 1, nc);
  if (!j) return j;
  return pi_from_carlson(*f, *j, n);
}

}  // namespace

Computed<double> ellipk(double m) {
  if (m > 1) return fail(K_M_TOO_LARGE);
  if (m == 1) return std::numeric_limits<double>::infinity();
  if (m == 0) return HALF_PI;
  if (m < 0) {
    // The imaginary-modulus transformation K(m) = K(m / (m - 1)) / sqrt(1 - m)
    // (DLMF 19.7(ii)) brings m into (0, 1), where the approximation holds. The
    // transformed complementary parameter 1 - m / (m - 1) = 1 / (1 - m) is
    // formed directly: forming m / (m - 1) first and subtracting it from 1
    // would lose the relative accuracy of t, and with it of K, for large -m.
    // K vanishes as m goes to minus infinity.
    if (m == -std::numeric_limits<double>::infinity()) return 0.0;
    return ellipk_approximation(1 / (1 - m)) / std::sqrt(1 - m);
  }
  return ellipk_approximation(1 - m);
}

Computed<double> ellipe(double m) {
  if (m > 1) return fail(E_M_TOO_LARGE);
  if (m == 1) return 1.0;
  if (m == 0) return HALF_PI;
  // E grows without bound as m goes to minus infinity.
  if (m == -std::numeric_limits<double>::infinity()) {
    return std::numeric_limits<double>::infinity();
  }
  // E(m) = sqrt(1 - m) E(m / (m - 1)) (DLMF 19.7(ii)) moves a negative m into
  // (0, 1); E is flat enough there that the rounding of m / (m - 1) costs
  // nothing.
  double scale = 1;
  while (m < 0) {
    scale = scale * std::sqrt(1 - m);
    m = m / (m - 1);
  }
  const double t = 1 - m;
  // From about m = -2^53 down, m / (m - 1) rounds to 1 and t to 0; there
  // t log(t) has the limit 0 and E(1) = 1, where the polynomial form would
  // give 0 * infinity = NaN.
  if (t == 0) return scale;
  return scale * ellipe_approximation(t);
}

Computed<double> ellippi(double n, double m) {
  if (m >= 1) return fail(PI_M_TOO_LARGE);
  if (n > 1) return fail(PI_N_TOO_LARGE);
  if (n == 0) {
    if (m == 0) return HALF_PI;
    return ellipk(m);
  }
  const double m1 = 1 - m;
  // For n < 0 the direct form R_F + (n / 3) R_J below is a difference that
  // cancels as n goes to minus infinity. The transformation to the
  // characteristic (m - n) / (1 - n) in (0, 1) (DLMF 19.7(iii)) adds two
  // positive terms instead, as long as m >= 0. For m < 0 its terms have
  // opposite signs and cancel around n = m (at n = m it divides 0 by 0), so
  // for 2m <= n < 0 the direct form, which cancels little there, is kept.
  const bool transform = n < 0 && !(m < 0 && n >= 2 * m);
  if (transform) {
    const Computed<double> f = elliprf(0, m1, 1);
    if (!f) return f;
    const Computed<double> j = elliprj(0, m1, 1, m1 / (1 - n));
    if (!j) return j;
    const Computed<double> k = ellipk(m);
    if (!k) return k;
    const double e = 1 - n;
    const double g = ((*f + (m - n) / e * *j / 3) * n) / e;
    return *k * m / (m - n) - m1 * g / (m - n);
  }
  return ellippi_carlson(n, 1 - n, m1);
}

// In the complements. K and E take the approximations in t = mc itself; Pi
// takes Carlson's form, whose R_F and R_J keep their relative accuracy
// however small mc and nc are. m and n themselves only scale a term and are
// formed as 1 - mc and 1 - nc. Below m = 0 (mc > 1) nothing is lost in
// forming m, and K and E are those of ellipk and ellipe with their
// transformations.

Computed<double> ellipk_complementary(double mc) {
  if (mc < 0) return fail(KC_MC_NEGATIVE);
  if (mc == 0) return std::numeric_limits<double>::infinity();  // K(1)
  if (mc > 1) return ellipk(1 - mc);
  return ellipk_approximation(mc);
}

Computed<double> ellipe_complementary(double mc) {
  if (mc < 0) return fail(EC_MC_NEGATIVE);
  if (mc == 0) return 1.0;  // E(1)
  if (mc > 1) return ellipe(1 - mc);
  return ellipe_approximation(mc);
}

Computed<double> ellippi_complementary(double nc, double mc) {
  if (mc < 0) return fail(PIC_MC_NEGATIVE);
  if (nc < 0) return fail(PIC_NC_NEGATIVE);
  // Pi diverges as m or n goes to 1.
  if (mc == 0 || nc == 0) return std::numeric_limits<double>::infinity();
  return ellippi_carlson(1 - nc, nc, mc);
}

}  // namespace magnikit
