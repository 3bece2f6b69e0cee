// The limb-darkening laws' magnifications: every band's law is a weighted
// sum of basis profiles, so one ring-by-ring sum per basis, over the rings of
// one separation evaluated once, gives every band's magnified flux, and the
// far-field series takes each band's moments and flux from the bases' in
// closed form.
#include "models/limb_darkening.hpp"

#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "core/constants.hpp"
#include "models/each_separation.hpp"
#include "models/far_field.hpp"
#include "models/limb_darkening_laws.hpp"
#include "models/ring_by_ring.hpp"
#include "models/source_sizes.hpp"

namespace magnikit {
namespace {

// The call's basis profiles as one law of several components, each a
// function of mu: one piece, the whole source radius.
class Bases {
 public:
  explicit Bases(const std::vector<BasisProfile>& bases) : bases_(bases) {
    for (const BasisProfile& basis : bases) {
      root_mu_ = root_mu_ || basis.needs_root_mu();
      log_mu_ = log_mu_ || basis.needs_log_mu();
    }
  }

  std::size_t components() const { return bases_.size(); }
  bool needs_root_mu() const { return root_mu_; }
  bool needs_log_mu() const { return log_mu_; }
  double component(std::size_t c, const LimbPoint& point) const { return bases_[c].at(point); }

 private:
  const std::vector<BasisProfile>& bases_;
  bool root_mu_ = false;
  bool log_mu_ = false;
};

// A band's weighted sum of per-basis values, value(c) of basis c, in the
// law's order of terms.
template <class PerBasis>
double weighted(const BasisTerms& terms, const PerBasis& value) {
  double sum = terms[0].weight * value(terms[0].basis);
  for (std::size_t i = 1; i < terms.size(); ++i) sum = sum + terms[i].weight * value(terms[i].basis);
  return sum;
}

// The bands of one call: each band's law's terms, its own flux and the
// brightness moments of its far-field series, all from the bases' moments in
// closed form (the flux of mu^p is 2 pi / (p + 2), of mu ln mu -2 pi / 9).
class Bands {
 public:
  explicit Bands(const LawRows& law) : terms_(law.rows) {
    std::vector<std::array<double, FAR_FIELD_TERMS + 1>> moments;
    for (const BasisProfile& basis : law.bases) moments.push_back(basis.moments());
    for (const BasisTerms& terms : terms_) {
      std::array<double, FAR_FIELD_TERMS + 1> band_moments{};
      for (int k = 0; k <= FAR_FIELD_TERMS; ++k) {
        band_moments[k] = weighted(terms, [&](std::size_t c) { return moments[c][k]; });
      }
      fluxes_.push_back(PI * band_moments[0]);
      BrightnessMoments normalised{};
      for (int k = 1; k <= FAR_FIELD_TERMS; ++k) {
        normalised[k - 1] = band_moments[k] / band_moments[0];
      }
      moments_.push_back(normalised);
    }
  }

  std::size_t bands() const { return terms_.size(); }
  double flux(std::size_t band) const { return fluxes_[band]; }
  // The laws refuse coefficients that make them negative on the disc.
  static constexpr bool nowhere_negative() { return true; }
  const BrightnessMoments& moments(std::size_t band, Checkpoint&) const { return moments_[band]; }
  const BasisTerms& terms(std::size_t band) const { return terms_[band]; }

 private:
  const std::vector<BasisTerms>& terms_;
  std::vector<double> fluxes_;
  std::vector<BrightnessMoments> moments_;
};

}  // namespace

Checked<FloatRows> _limb_darkened_magnification(FloatVector l, double re, double rstar,
                                                std::string law, FloatRows coefficients,
                                                Checkpoint checkpoint, lanes::Path path) {
  const auto rows = law_rows(law, coefficients);
  if (!rows) return refuse(rows.error());
  if (sizes_without_meaning(re, rstar)) {
    return FloatRows{std::vector<FloatVector>(rows->rows.size(),
                                              not_a_magnification_for_each(l.size())),
                     coefficients.flat};
  }
  re = einstein_radius(re);
  const Bases bases(rows->bases);
  Bands bands(*rows);

  // The rings of a separation are evaluated once and summed by every basis.
  NearFieldScratch scratch;
  std::vector<double> per_basis(bases.components());
  auto magnifications = magnify_each(
      l, re, rstar, bands, checkpoint,
      [&](double separation, double lens, double source, std::span<double> fluxes) {
        const RingMagnifications rings{separation, lens, source, path};
        ring_by_ring_law(rings, lens / source, bases, scratch, per_basis);
        for (std::size_t b = 0; b < bands.bands(); ++b) {
          fluxes[b] = weighted(bands.terms(b), [&](std::size_t c) { return per_basis[c]; });
        }
      });
  if (!magnifications) return std::unexpected(OperationError(magnifications.error()));
  return FloatRows{*std::move(magnifications), coefficients.flat};
}

Checked<FloatRows> limb_darkened_magnification(FloatVector l, double re, double rstar,
                                               std::string law, FloatRows coefficients,
                                               Checkpoint checkpoint) {
  return _limb_darkened_magnification(std::move(l), re, rstar, std::move(law),
                                      std::move(coefficients), checkpoint, lanes::active_path());
}

}  // namespace magnikit
