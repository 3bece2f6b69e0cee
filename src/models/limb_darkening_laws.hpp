// The limb-darkening laws a caller may name: the surface brightness I(mu) of
// the source at mu = sqrt(1 - x^2), x the radius in source radii, equal to 1
// at the centre (mu = 1), with the caller's coefficients.
//
//   uniform      1
//   linear       1 - u (1 - mu)
//   quadratic    1 - a (1 - mu) - b (1 - mu)^2
//   square-root  1 - c (1 - mu) - d (1 - sqrt(mu))
//   logarithmic  1 - c (1 - mu) - d mu ln(mu)
//   power-2      1 - c (1 - mu^alpha), alpha > 0
//   nonlinear    1 - sum_k a_k (1 - mu^(k/2)), k = 1..4
//
// Each law is a weighted sum of a few basis profiles, mu^p and mu ln(mu), so
// the magnified flux of a law is the same weighted sum of the bases' magnified
// fluxes: one integral of the rings serves every band of a law at once.
#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <string_view>
#include <vector>

#include "core/computation.hpp"
#include "models/brightness_profile.hpp"
#include "models/point_lens_laplacians.hpp"

namespace magnikit {

// mu^p, or mu^p ln(mu).
struct BasisProfile {
  enum class Kind { power, power_log };
  Kind kind;
  double p;

  // The brightness at a node of the source radius, from mu and, where
  // needs_root_mu() and needs_log_mu() say so, sqrt(mu) and ln(mu): the
  // standard exponents by multiplication, any other as exp(p ln mu).
  double at(const LimbPoint& point) const;
  bool needs_root_mu() const;
  bool needs_log_mu() const;

  // int_0^1 2 x x^(2k) phi(x) dx for k = 0 .. FAR_FIELD_TERMS, in closed
  // form: the flux (k = 0) and the moments of the far-field series.
  std::array<double, FAR_FIELD_TERMS + 1> moments() const;

  friend bool operator==(const BasisProfile&, const BasisProfile&) = default;
};

// One band's law as a weighted sum of the bases, in the law's own order.
struct BasisTerm {
  std::size_t basis;  // index into LawRows::bases
  double weight;
};
using BasisTerms = std::vector<BasisTerm>;

// The bands of one call: the bases their laws need (each once) and each
// band's terms.
struct LawRows {
  std::vector<BasisProfile> bases;
  std::vector<BasisTerms> rows;
};

// The law the caller named, with one row of coefficients per band; refused
// (ValueError) when the law is unknown, a row holds the wrong number of
// coefficients or one that is not finite, alpha is not positive, or the law
// is negative somewhere on the disc.
std::expected<LawRows, InvalidArgument> law_rows(std::string_view law,
                                                  const FloatRows& coefficients);

}  // namespace magnikit
