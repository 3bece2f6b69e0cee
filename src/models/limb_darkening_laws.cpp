#include "models/limb_darkening_laws.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>
#include <span>
#include <string>

#include "core/constants.hpp"
#include "core/decimal.hpp"

namespace magnikit {

namespace {

// The exponents the standard laws use, taken by multiplication.
bool by_multiplication(double p) { return p == 0.0 || p == 0.5 || p == 1.0 || p == 1.5 || p == 2.0; }

}  // namespace

double BasisProfile::at(const LimbPoint& point) const {
  const double mu = point.mu;
  if (kind == Kind::power_log) {
    return (p == 1.0 ? mu : std::exp(p * point.log_mu)) * point.log_mu;
  }
  if (p == 0.0) return 1.0;
  if (p == 1.0) return mu;
  if (p == 2.0) return mu * mu;
  if (p == 0.5) return point.root_mu;
  if (p == 1.5) return mu * point.root_mu;
  return std::exp(p * point.log_mu);
}

bool BasisProfile::needs_root_mu() const {
  return kind == Kind::power && (p == 0.5 || p == 1.5);
}

bool BasisProfile::needs_log_mu() const {
  return kind == Kind::power_log || !by_multiplication(p);
}

std::array<double, FAR_FIELD_TERMS + 1> BasisProfile::moments() const {
  // With mu^2 = 1 - x^2, int_0^1 2 x x^(2k) mu^p dx = B(k + 1, p/2 + 1), and
  // B(k + 1, q) = B(k, q) k / (k + q), B(1, q) = 1/q. Differentiating in p,
  // the moments of mu^p ln(mu) are those of mu^p times
  // (psi(p/2 + 1) - psi(k + p/2 + 2)) / 2 = -sum_{j=0..k} 1 / (p + 2 + 2j).
  std::array<double, FAR_FIELD_TERMS + 1> moments{};
  const double q = p / 2.0 + 1.0;
  double beta = 1.0 / q;
  double harmonic = 0.0;
  for (int k = 0; k <= FAR_FIELD_TERMS; ++k) {
    if (k > 0) beta = beta * k / (k + q);
    harmonic = harmonic + 1.0 / (p + 2.0 + 2.0 * k);
    moments[k] = kind == Kind::power ? beta : -beta * harmonic;
  }
  return moments;
}

namespace {

constexpr BasisProfile power(double p) { return {BasisProfile::Kind::power, p}; }

// The lowest brightness of a law over the disc, and where.
struct Lowest {
  double brightness;
  double mu;
};

Lowest lowest_of(std::initializer_list<Lowest> candidates) {
  return std::ranges::min(candidates, {}, &Lowest::brightness);
}

// The stationary points in (0, 1) of the quartic sum_k a[k-1] s^k: its
// slope a1 + 2 a2 s + 3 a3 s^2 + 4 a4 s^3 is monotone between the roots of
// its curvature 2 a2 + 6 a3 s + 12 a4 s^2, and each sign change of the slope
// there is found by bisection.
std::vector<double> quartic_stationary_points(std::span<const double> a) {
  const auto slope = [&](double s) {
    return a[0] + s * (2.0 * a[1] + s * (3.0 * a[2] + s * (4.0 * a[3])));
  };
  std::vector<double> ends{0.0, 1.0};
  const double A = 12.0 * a[3];
  const double B = 6.0 * a[2];
  const double C = 2.0 * a[1];
  if (A != 0.0) {
    const double discriminant = B * B - 4.0 * A * C;
    if (discriminant >= 0.0) {
      ends.push_back((-B + std::sqrt(discriminant)) / (2.0 * A));
      ends.push_back((-B - std::sqrt(discriminant)) / (2.0 * A));
    }
  } else if (B != 0.0) {
    ends.push_back(-C / B);
  }
  std::erase_if(ends, [](double s) { return !(0.0 <= s && s <= 1.0); });
  std::ranges::sort(ends);
  std::vector<double> points;
  for (std::size_t i = 0; i + 1 < ends.size(); ++i) {
    double lo = ends[i];
    double hi = ends[i + 1];
    if (!(slope(lo) * slope(hi) < 0.0)) continue;
    const bool rising = slope(lo) < 0.0;
    while (true) {
      const double mid = lo + (hi - lo) * 0.5;
      if (mid <= lo || mid >= hi) break;
      ((slope(mid) < 0.0) == rising ? lo : hi) = mid;
    }
    points.push_back(lo);
  }
  return points;
}

// A law's table entry: its name, its coefficients' names, its terms in the
// basis profiles, and its lowest brightness over the disc.
struct Law {
  std::string_view name;
  std::size_t count;
  std::array<std::string_view, 4> coefficient_names;
  void (*terms)(std::span<const double> c, std::vector<BasisTerm>& out,
                std::vector<BasisProfile>& bases);
  Lowest (*lowest)(std::span<const double> c);
  // The coefficient that is an exponent of mu, which must be positive, if any.
  std::optional<std::size_t> exponent = std::nullopt;
};

// The index of a basis among the call's bases, added when it is new.
std::size_t basis_index(std::vector<BasisProfile>& bases, const BasisProfile& basis) {
  const auto found = std::ranges::find(bases, basis);
  if (found != bases.end()) return static_cast<std::size_t>(found - bases.begin());
  bases.push_back(basis);
  return bases.size() - 1;
}

void add(std::vector<BasisTerm>& out, std::vector<BasisProfile>& bases, const BasisProfile& basis,
         double weight) {
  out.push_back({basis_index(bases, basis), weight});
}

constexpr BasisProfile MU_LOG_MU{BasisProfile::Kind::power_log, 1.0};

const Law LAWS[] = {
    {"uniform", 0, {},
     [](std::span<const double>, std::vector<BasisTerm>& out, std::vector<BasisProfile>& bases) {
       add(out, bases, power(0.0), 1.0);
     },
     [](std::span<const double>) { return Lowest{1.0, 1.0}; }},
    {"linear", 1, {"u"},
     [](std::span<const double> c, std::vector<BasisTerm>& out, std::vector<BasisProfile>& bases) {
       add(out, bases, power(0.0), 1.0 - c[0]);
       add(out, bases, power(1.0), c[0]);
     },
     [](std::span<const double> c) { return lowest_of({{1.0 - c[0], 0.0}, {1.0, 1.0}}); }},
    {"quadratic", 2, {"a", "b"},
     [](std::span<const double> c, std::vector<BasisTerm>& out, std::vector<BasisProfile>& bases) {
       // 1 - a t - b t^2 with t = 1 - mu.
       add(out, bases, power(0.0), (1.0 - c[0]) - c[1]);
       add(out, bases, power(1.0), c[0] + 2.0 * c[1]);
       add(out, bases, power(2.0), -c[1]);
     },
     [](std::span<const double> c) {
       const auto at = [&](double t) { return Lowest{1.0 - c[0] * t - c[1] * t * t, 1.0 - t}; };
       const Lowest ends = lowest_of({at(1.0), at(0.0)});
       // Convex in t where b < 0, with its least value at t = -a / 2b.
       const double t = c[1] < 0.0 ? -c[0] / (2.0 * c[1]) : -1.0;
       return 0.0 < t && t < 1.0 ? lowest_of({ends, at(t)}) : ends;
     }},
    {"square-root", 2, {"c", "d"},
     [](std::span<const double> c, std::vector<BasisTerm>& out, std::vector<BasisProfile>& bases) {
       add(out, bases, power(0.0), (1.0 - c[0]) - c[1]);
       add(out, bases, power(1.0), c[0]);
       add(out, bases, power(0.5), c[1]);
     },
     [](std::span<const double> c) {
       // 1 - c (1 - s^2) - d (1 - s) with s = sqrt(mu).
       const auto at = [&](double s) {
         return Lowest{1.0 - c[0] * (1.0 - s * s) - c[1] * (1.0 - s), s * s};
       };
       const Lowest ends = lowest_of({at(0.0), at(1.0)});
       const double s = c[0] > 0.0 ? -c[1] / (2.0 * c[0]) : -1.0;
       return 0.0 < s && s < 1.0 ? lowest_of({ends, at(s)}) : ends;
     }},
    {"logarithmic", 2, {"c", "d"},
     [](std::span<const double> c, std::vector<BasisTerm>& out, std::vector<BasisProfile>& bases) {
       add(out, bases, power(0.0), 1.0 - c[0]);
       add(out, bases, power(1.0), c[0]);
       add(out, bases, MU_LOG_MU, -c[1]);
     },
     [](std::span<const double> c) {
       const auto at = [&](double mu) {
         const double mu_log_mu = mu > 0.0 ? mu * std::log(mu) : 0.0;
         return Lowest{1.0 - c[0] * (1.0 - mu) - c[1] * mu_log_mu, mu};
       };
       const Lowest ends = lowest_of({at(0.0), at(1.0)});
       // Convex where d < 0, with its least value where c = d (ln mu + 1).
       const double mu = c[1] < 0.0 ? std::exp(c[0] / c[1] - 1.0) : -1.0;
       return 0.0 < mu && mu < 1.0 ? lowest_of({ends, at(mu)}) : ends;
     }},
    {"power-2", 2, {"c", "alpha"},
     [](std::span<const double> c, std::vector<BasisTerm>& out, std::vector<BasisProfile>& bases) {
       add(out, bases, power(0.0), 1.0 - c[0]);
       add(out, bases, power(c[1]), c[0]);
     },
     [](std::span<const double> c) { return lowest_of({{1.0 - c[0], 0.0}, {1.0, 1.0}}); },
     1},
    {"nonlinear", 4, {"a1", "a2", "a3", "a4"},
     [](std::span<const double> c, std::vector<BasisTerm>& out, std::vector<BasisProfile>& bases) {
       add(out, bases, power(0.0), (((1.0 - c[0]) - c[1]) - c[2]) - c[3]);
       add(out, bases, power(0.5), c[0]);
       add(out, bases, power(1.0), c[1]);
       add(out, bases, power(1.5), c[2]);
       add(out, bases, power(2.0), c[3]);
     },
     [](std::span<const double> c) {
       // A quartic in s = sqrt(mu): 1 - sum_k a_k (1 - s^k).
       const auto at = [&](double s) {
         double brightness = 1.0;
         double sk = 1.0;
         for (std::size_t k = 0; k < 4; ++k) {
           sk = sk * s;
           brightness = brightness - c[k] * (1.0 - sk);
         }
         return Lowest{brightness, s * s};
       };
       Lowest lowest = lowest_of({at(0.0), at(1.0)});
       for (const double s : quartic_stationary_points(c)) lowest = lowest_of({lowest, at(s)});
       return lowest;
     }},
};

std::string law_names() {
  std::string names;
  constexpr std::size_t count = std::size(LAWS);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) names += i + 1 == count ? " and " : ", ";
    names += '\'';
    names += LAWS[i].name;
    names += '\'';
  }
  return names;
}

InvalidArgument refused(std::string text) {
  return InvalidArgument{InvalidArgument::Kind::value, "argument " + std::move(text)};
}

// A row of coefficients refused: "argument 'coefficients': ..." for a flat
// sequence, "argument 'coefficients', row 2: ..." for a row of rows.
InvalidArgument refused_coefficients(const FloatRows& coefficients, std::size_t row,
                                     const std::string& why) {
  const std::string where = coefficients.flat ? "" : ", row " + std::to_string(row);
  return refused("'coefficients'" + where + ": " + why);
}

// "a = 0.5, b = 0.2".
std::string with_values(const Law& law, std::span<const double> c) {
  std::string text;
  for (std::size_t i = 0; i < law.count; ++i) {
    if (i > 0) text += ", ";
    text += std::string(law.coefficient_names[i]) + " = " + decimal(c[i]);
  }
  return text;
}

std::string count_text(std::size_t count) {
  if (count == 0) return "no coefficients";
  return std::to_string(count) + (count == 1 ? " coefficient" : " coefficients");
}

// Why one row of coefficients cannot be a law's brightness, or nothing.
std::optional<std::string> refusal(const Law& law, std::span<const double> c) {
  if (c.size() != law.count) {
    std::string names;
    for (std::size_t i = 0; i < law.count; ++i) {
      names += (i == 0 ? " (" : ", ") + std::string(law.coefficient_names[i]);
    }
    if (law.count > 0) names += ')';
    return "the " + std::string(law.name) + " law takes " + count_text(law.count) + names +
           ", but " + std::to_string(c.size()) + (c.size() == 1 ? " was" : " were") + " given";
  }
  for (std::size_t i = 0; i < c.size(); ++i) {
    if (!std::isfinite(c[i])) {
      return "every coefficient must be finite, but " + std::string(law.coefficient_names[i]) +
             " is " + decimal(c[i]);
    }
  }
  if (law.exponent && !(c[*law.exponent] > 0.0)) {
    return "the exponent " + std::string(law.coefficient_names[*law.exponent]) + " of the " +
           std::string(law.name) + " law must be positive, but it is " +
           decimal(c[*law.exponent]);
  }
  // Below zero by more than the rounding of the law's own terms.
  double scale = 1.0;
  for (const double coefficient : c) scale = scale + std::fabs(coefficient);
  const Lowest lowest = law.lowest(c);
  if (lowest.brightness < -16.0 * MACHINE_EPSILON * scale) {
    return "a brightness cannot be negative, but the " + std::string(law.name) + " law with " +
           with_values(law, c) + " is " + decimal(lowest.brightness) + " at mu = " +
           decimal(lowest.mu);
  }
  return std::nullopt;
}

}  // namespace

std::expected<LawRows, InvalidArgument> law_rows(std::string_view name,
                                                  const FloatRows& coefficients) {
  const auto law = std::ranges::find(LAWS, name, &Law::name);
  if (law == std::end(LAWS)) {
    return std::unexpected(refused("'law': unknown limb-darkening law '" + std::string(name) +
                                   "'; the laws are " + law_names()));
  }
  LawRows rows;
  rows.rows.reserve(coefficients.rows.size());
  for (std::size_t row = 0; row < coefficients.rows.size(); ++row) {
    const FloatVector& c = coefficients.rows[row];
    if (auto why = refusal(*law, c)) {
      return std::unexpected(refused_coefficients(coefficients, row, *why));
    }
    BasisTerms terms;
    law->terms(c, terms, rows.bases);
    rows.rows.push_back(std::move(terms));
  }
  return rows;
}

}  // namespace magnikit
