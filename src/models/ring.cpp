// Heyrovsky's closed form for a thin ring (2003, ApJ 594, 464): the
// point-lens magnification averaged around the ring, in K(m) and Pi(n, m).
//
// Rounding order: every product and sum is written in the order in which it
// is rounded, and the build never fuses a multiply and an add, so each result
// is reproducible to the last bit and agrees with the reference tables. A sum
// such as e + e is the doubled term 2 eps^2 of the published form, kept in
// the form it is rounded in.
#include "models/ring.hpp"

#include <cmath>
#include <limits>

#include "core/constants.hpp"
#include "elliptic/legendre.hpp"
#include "models/far_field.hpp"

namespace magnikit {
namespace {

// K(m) and Pi(n, m) of the closed form.
struct RingIntegrals {
  double K;
  double P;
};

// With n = 4 l r / s^2 and m = 16 e l r / (s^2 Q). The parameter is formed by
// squaring the modulus k, not directly.
Computed<RingIntegrals> integrals_in_parameters(double l, double r, double eps, double s,
                                                double Q) {
  const double k = ((eps * 4.0) / s) * std::sqrt((l * r) / Q);
  const double m = k * k;
  const auto K = ellipk(m);
  if (!K) return std::unexpected(K.error());
  const double n = ((l * 4.0) * r) / (s * s);
  const auto P = ellippi(n, m);
  if (!P) return std::unexpected(P.error());
  return RingIntegrals{*K, *P};
}

// Near the ring both n and m approach 1, and K and Pi depend on the digits of
// 1 - n and 1 - m that forming n and m would round away. Both complements are
// products: 1 - n = (d / s)^2 and 1 - m = (1 - n) (s^2 + 4 e) / Q.
Computed<RingIntegrals> integrals_in_complements(double d, double e, double s, double Q) {
  const double ratio = d / s;
  const double nc = ratio * ratio;
  const double mc = nc * ((s * s + e * 4.0) / Q);
  const auto K = ellipk_complementary(mc);
  if (!K) return std::unexpected(K.error());
  const auto P = ellippi_complementary(nc, mc);
  if (!P) return std::unexpected(P.error());
  return RingIntegrals{*K, *P};
}

}  // namespace

Computed<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
  const double eps = re / rstar;  // Einstein radius in source radii
  // Far from the lens a few terms of the series replace two elliptic
  // integrals.
  if (ring_in_far_field(l, r, eps)) {
    const double ratio = r / l;
    return far_field_magnification(l / eps, ratio * ratio, THIN_RING_MOMENTS);
  }
  const double e = eps * eps;
  const double d = l - r;

  // A ring through the lens: the average of the point-lens magnification,
  // which grows like the inverse distance to the lens, diverges.
  if (d == 0.0) return std::numeric_limits<double>::infinity();

  const double s = l + r;
  const double Q = d * d + e * 4.0;
  // The band is relative to the separation: 1 - n = (d / s)^2 sets the
  // cancellation, so the same fraction of |l| costs the same digits at
  // every separation.
  const bool near_ring = std::fabs(d) < RING_NEAR_BAND * std::fabs(l);
  const auto integrals = near_ring ? integrals_in_complements(d, e, s, Q)
                                   : integrals_in_parameters(l, r, eps, s, Q);
  if (!integrals) return std::unexpected(integrals.error());
  return ((4.0 / (s * std::sqrt(Q))) * ((d * d) * integrals->P + (e + e) * integrals->K)) /
         TWO_PI;
}

}  // namespace magnikit
