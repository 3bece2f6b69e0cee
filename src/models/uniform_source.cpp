#include "models/uniform_source.hpp"

#include <cmath>

#include "elliptic/legendre.hpp"

namespace magnikit {
namespace {

constexpr double PI = 3.141592653589793;
constexpr double HALF_PI = 1.5707963267948966;
constexpr double TWO_PI = 6.283185307179586;

}  // namespace

UniformSource::UniformSource(double re, double rstar) {
  rho_ = rstar / re;
  q_ = rho_ * rho_;
  // The rim band is narrow compared with the source, not with the Einstein
  // radius: a fixed width would be many source radii wide for small sources,
  // and the rim value a poor answer across it.
  band_ = 1e-5 * std::fmin(std::fabs(rho_), 1.0);
}

double UniformSource::rim_magnification() const {
  // Witt & Mao's closed form for the lens on the rim, u = rho.
  const double t = (q_ - 1.0) / (q_ + 1.0);
  const double c1 = (q_ + 1.0) / q_;
  const double c2 = 2.0 / rho_;
  return (c2 + c1 * (std::asin(t) + HALF_PI)) / PI;
}

Computed<double> UniformSource::magnification(double l) const {
  const double rho = rho_;
  const double q = q_;
  const double u = rho * l;  // separation in Einstein radii
  const double d = u - rho;
  if (std::fabs(d) < band_ || d == 0.0) return rim_magnification();

  const double s = rho + u;
  const double n = ((rho * 4.0) * u) / (s * s);
  const double w = std::sqrt(d * d + 4.0);
  const double k = std::sqrt(n * 4.0) / w;
  const double m = k * k;

  const auto E = ellipe(m);
  if (!E) return E;
  const auto K = ellipk(m);
  if (!K) return K;
  const auto P = ellippi(n, m);
  if (!P) return P;

  const double c_E = (s * w) / (q + q);
  const double c_K = (d * (4.0 + (u * u - q) * 0.5)) / (q * w);
  const double c_P = ((q + 1.0) * (d * d + d * d)) / ((q * s) * w);
  const double S = (c_E * *E - c_K * *K) + c_P * *P;
  // S / pi, evaluated as the sum of two quotients.
  return (S + PI) / TWO_PI + (S - PI) / TWO_PI;
}

Computed<FloatVector> witt_mao_magnification(FloatVector l, double re, double rstar) {
  const UniformSource source(re, rstar);
  FloatVector magnifications;
  magnifications.reserve(l.size());
  for (const double separation : l) {
    const auto A = source.magnification(separation);
    if (!A) return std::unexpected(A.error());
    magnifications.push_back(*A);
  }
  return magnifications;
}

}  // namespace magnikit
