#include "models/ring.hpp"

#include <cmath>

#include "elliptic/legendre.hpp"

namespace magnikit {
namespace {

constexpr double TWO_PI = 6.283185307179586;

}  // namespace

Computed<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
  const double eps = re / rstar;  // Einstein radius in source radii
  const double e = eps * eps;
  const double d = l - r;

  // Where the ring passes within a small fraction of the separation of the
  // lens, the elliptic form loses its accuracy to cancellation; there the
  // leading terms of its expansion in the distance to the ring hold on both
  // sides. The band is relative for small separations so that it stays
  // narrow compared with the geometry.
  const double band = 0.001 * std::fmin(std::fabs(l), 1.0);
  if (std::fabs(d) < band || d == 0.0) {
    const double dr = r - l;
    const double L = std::log(((eps * 8.0) * l) / (std::fabs(d) * std::sqrt(l * l + e)));
    const double c1 = (1.0 - dr / (l + l)) * ((eps + eps) / l);
    const double c2 = (eps * ((l * l + l * l) + e)) / ((l * l) * (l * l + e));
    return ((std::atan(l / eps) * 4.0 + c1 * L) + dr * c2) / TWO_PI;
  }

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
