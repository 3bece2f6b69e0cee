// The far-field series and the brightness moments it weights its terms with.
//
// Rounding order: every product and sum is written in the order in which it
// is rounded, and the build never fuses a multiply and an add, so the
// results are reproducible to the last bit.
#include "models/far_field.hpp"

#include <algorithm>
#include <vector>

#include "numeric/interpolation.hpp"

namespace magnikit {

double far_field_magnification(double u, double h, const BrightnessMoments& moments) {
  // s = sqrt(u^2 + 4), y = 4/s^2 and z = u^2/s^2 in [0, 1], each a sum of
  // positive terms; at an overflowing u^2 they tend to their limits
  // (s = u s = inf, y = 0, z = 1) instead of inf/inf.
  const double uu = u * u;
  const double us = u * std::sqrt(uu + 4.0);
  const double y = 4.0 / (uu + 4.0);
  const double z = 1.0 / (1.0 + 4.0 / uu);

  // sum_k M_k h^k G_k(z), Horner's rule in h outside and in z inside. The
  // coefficients of G_k in z nearly all share a sign, so the sum does not
  // cancel (scripts/generate_far_field.py --verify).
  // Only the terms that matter at this h: a distant lens costs two or three.
  int terms = FAR_FIELD_TERMS;
  while (terms > 0 && !(h > FAR_FIELD_TERM_NEEDED_ABOVE[terms - 1])) --terms;

  double corrections = 0.0;
  for (int k = terms; k >= 1; --k) {
    const double* G = POINT_LENS_LAPLACIANS.data() + k * (k - 1);
    double g = G[2 * k - 1];
    for (int i = 2 * k - 2; i >= 0; --i) g = g * z + G[i];
    corrections = (corrections + moments[k - 1] * g) * h;
  }

  // A0 - 1 = 4 / (u s (u^2 + 2 + u s)), the difference of (u^2 + 2) and u s
  // taken without cancelling; the corrections are (y/4) / (u s) times the
  // sum. Every part is positive, so A is never below 1.
  return 1.0 + (4.0 / ((uu + 2.0) + us) + (y * 0.25) * corrections) / us;
}

std::array<double, FAR_FIELD_TERMS + 1> brightness_integrals(const SampledProfile& profile,
                                                             Checkpoint& checkpoint) {
  // The interpolant changes line only at sample radii: split [0, 1] there.
  std::vector<double> radii{0.0, 1.0};
  for (const double r : profile.bl) {
    if (0.0 < r && r < 1.0) radii.push_back(r);
  }
  std::sort(radii.begin(), radii.end());

  // mu[j] = int_0^1 x^(2j+1) I(x) dx. Over a piece [a, b] with line c + m x,
  // int_a^b x^p dx = (b - a) D_{p+1} / (p + 1), where
  // D_q = (b^q - a^q) / (b - a) = b D_{q-1} + a^(q-1), D_1 = 1, is a sum of
  // positive terms: no cancellation between the ends of a narrow piece.
  std::array<double, FAR_FIELD_TERMS + 1> mu{};
  for (std::size_t i = 0; i + 1 < radii.size(); ++i) {
    if (checkpoint.stop_requested()) break;
    const double a = radii[i];
    const double b = radii[i + 1];
    if (!(a < b)) continue;
    const Line line = profile.line(a + (b - a) * 0.5);
    if (!std::isfinite(line.intercept) || !std::isfinite(line.slope)) continue;
    const double width = b - a;
    double D = 1.0;  // D_1
    double a_power = a;
    for (int j = 0; j <= FAR_FIELD_TERMS; ++j) {
      D = b * D + a_power;  // D_{2j+2}
      a_power = a_power * a;
      const double even = D;
      D = b * D + a_power;  // D_{2j+3}
      a_power = a_power * a;
      const double c_part = line.intercept * even / (2.0 * j + 2.0);
      const double m_part = line.slope * D / (2.0 * j + 3.0);
      mu[j] = mu[j] + width * (c_part + m_part);
    }
  }

  return mu;
}

BrightnessMoments brightness_moments(const SampledProfile& profile, Checkpoint& checkpoint) {
  const std::array<double, FAR_FIELD_TERMS + 1> mu = brightness_integrals(profile, checkpoint);
  BrightnessMoments moments{};
  for (int k = 1; k <= FAR_FIELD_TERMS; ++k) moments[k - 1] = mu[k] / mu[0];
  return moments;
}

}  // namespace magnikit
