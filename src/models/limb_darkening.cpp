// The limb-darkening laws' magnifications: every band's law is a weighted
// sum of basis profiles, so one ring-by-ring integral per basis, over the
// rings of one separation evaluated once, gives every band's magnified flux,
// and the far-field series takes each band's moments from the bases'
// moments in closed form.
#include "models/limb_darkening.hpp"

#include <cmath>
#include <limits>
#include <span>
#include <type_traits>
#include <vector>

#include "core/constants.hpp"
#include "models/each_separation.hpp"
#include "models/far_field.hpp"
#include "models/limb_darkening_laws.hpp"
#include "models/ring_by_ring.hpp"
#include "models/source_sizes.hpp"

namespace magnikit {
namespace {

// The call's basis profiles as one profile of several components, smooth
// over the whole source radius: one piece, whose end at the limb is where
// the rule's nodes crowd.
struct Bases {
  const std::vector<BasisProfile>& bases;

  std::size_t components() const { return bases.size(); }
  double component(std::size_t c, double x) const { return bases[c](x); }

  template <class Piece>
  void for_each_piece(Piece&& piece) const {
    piece(0.0, 1.0);
  }
};

// A band's weighted sum of per-basis values, in the law's order of terms.
template <class PerBasis>
double weighted(const BasisTerms& terms, const PerBasis& per_basis) {
  const auto value = [&](std::size_t c) {
    if constexpr (std::is_invocable_v<const PerBasis&, std::size_t>) {
      return per_basis(c);
    } else {
      return per_basis[c];
    }
  };
  double sum = terms[0].weight * value(terms[0].basis);
  for (std::size_t i = 1; i < terms.size(); ++i) sum = sum + terms[i].weight * value(terms[i].basis);
  return sum;
}

// The bands of one call: each band's law's terms, its own flux by the rule
// the magnified flux is summed with (so that a uniform magnification comes
// back exactly), and the brightness moments of its far-field series, all
// from the bases'.
class Bands {
 public:
  Bands(const LawRows& law, const Bases& bases) : terms_(law.rows) {
    std::vector<double> fluxes(bases.components());
    std::vector<std::array<double, FAR_FIELD_TERMS + 1>> moments(bases.components());
    for (std::size_t c = 0; c < bases.components(); ++c) {
      const auto flux = [&](double x) { return (x * TWO_PI) * bases.component(c, x); };
      // One piece, at the cost of one separation: nothing to stop within.
      Checkpoint never_stops;
      fluxes[c] = integrate_ring_by_ring(flux, std::numeric_limits<double>::infinity(), bases,
                                         never_stops);
      moments[c] = law.bases[c].moments();
    }
    for (const BasisTerms& terms : terms_) {
      fluxes_.push_back(weighted(terms, fluxes));
      std::array<double, FAR_FIELD_TERMS + 1> band_moments{};
      for (int k = 0; k <= FAR_FIELD_TERMS; ++k) {
        band_moments[k] = weighted(terms, [&](std::size_t c) { return moments[c][k]; });
      }
      BrightnessMoments normalised{};
      for (int k = 1; k <= FAR_FIELD_TERMS; ++k) {
        normalised[k - 1] = band_moments[k] / band_moments[0];
      }
      moments_.push_back(normalised);
    }
  }

  std::size_t bands() const { return terms_.size(); }
  double flux(std::size_t band) const { return fluxes_[band]; }
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
  const Bases bases{rows->bases};
  Bands bands(*rows, bases);

  // The rings of a separation are evaluated once, by the first basis's pass
  // over the source radius, and read back by the others'.
  std::vector<double> kept;
  std::vector<double> per_basis(bases.components());
  auto magnifications = magnify_each(
      l, re, rstar, bands, checkpoint,
      [&](double separation, double lens, double source, std::span<double> fluxes) {
        const RingFluxes rings{separation, lens, source, path};
        FluxesKept<RingFluxes> kept_rings(rings, kept);
        for (std::size_t c = 0; c < bases.components(); ++c) {
          kept_rings.start_pass();
          ComponentFluxes<FluxesKept<RingFluxes>, Bases> flux{kept_rings, bases, c};
          per_basis[c] = integrate_ring_by_ring(flux, separation, bases, checkpoint);
        }
        for (std::size_t b = 0; b < bands.bands(); ++b) {
          fluxes[b] = weighted(bands.terms(b), per_basis);
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
