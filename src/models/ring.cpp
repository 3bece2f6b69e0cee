// Heyrovsky's closed form for a thin ring (2003, ApJ 594, 464): the
// point-lens magnification averaged around the ring, in K(m) and Pi(n, m).
//
// Rounding order: every product and sum is written in the order in which it
// is rounded, and the build never fuses a multiply and an add, so each result
// is reproducible to the last bit and agrees with the reference tables. Sums
// such as eps + eps and l * l + l * l are the doubled terms 2 eps and 2 l^2 of
// the published form, kept in the form they are rounded in.
#include "models/ring.hpp"

#include <cmath>

#include "core/constants.hpp"
#include "elliptic/legendre.hpp"

namespace magnikit {

Computed<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
  const double eps = re / rstar;  // Einstein radius in source radii
  const double e = eps * eps;
  const double d = l - r;

  // Where the ring passes within a small fraction of the separation of the
  // lens, the elliptic form loses its accuracy to cancellation; there the
  // leading terms of its expansion in the distance to the ring hold on both
  // sides. The band is relative for small separations so that it stays
  // narrow compared with the geometry.
  const double band = RING_NEAR_BAND * std::fmin(std::fabs(l), 1.0);
  if (std::fabs(d) < band || d == 0.0) {
    const double dr = r - l;
    const double L = std::log(((eps * 8.0) * l) / (std::fabs(d) * std::sqrt(l * l + e)));
    const double c1 = (1.0 - dr / (l + l)) * ((eps + eps) / l);
    const double c2 = (eps * ((l * l + l * l) + e)) / ((l * l) * (l * l + e));
    return ((std::atan(l / eps) * 4.0 + c1 * L) + dr * c2) / TWO_PI;
  }

  // The parameter is formed by squaring the modulus k, not as
  // 16 eps^2 l r / (s^2 Q) directly.
  const double s = l + r;
  const double Q = d * d + e * 4.0;
  const double k = ((eps * 4.0) / s) * std::sqrt((l * r) / Q);
  const double m = k * k;
  const auto K = ellipk(m);
  if (!K) return K;
  const double n = ((l * 4.0) * r) / (s * s);
  const auto P = ellippi(n, m);
  if (!P) return P;
  return ((4.0 / (s * std::sqrt(Q))) * ((d * d) * *P + (e + e) * *K)) / TWO_PI;
}

}  // namespace magnikit
