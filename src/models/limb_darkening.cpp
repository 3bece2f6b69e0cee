// The limb-darkening laws' magnifications: every band's law is a weighted
// sum of basis profiles, so one ring-by-ring integral per basis, over the
// rings of one separation evaluated once, gives every band's magnified flux,
// and the far-field series takes each band's moments from the bases'
// moments in closed form.
#include "models/limb_darkening.hpp"

#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "core/constants.hpp"
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
double weighted(const BasisTerms& terms, std::span<const double> per_basis) {
  double sum = terms[0].weight * per_basis[terms[0].basis];
  for (std::size_t i = 1; i < terms.size(); ++i) {
    sum = sum + terms[i].weight * per_basis[terms[i].basis];
  }
  return sum;
}

// A band: its law's terms, its own flux by the rule the magnified flux is
// summed with (so that a uniform magnification comes back exactly), and the
// brightness moments of its far-field series.
struct Band {
  const BasisTerms& terms;
  double flux;
  BrightnessMoments moments;
};

std::vector<Band> bands_of(const LawRows& law, const Bases& bases) {
  std::vector<double> fluxes(bases.components());
  std::vector<std::array<double, FAR_FIELD_TERMS + 1>> moments(bases.components());
  for (std::size_t c = 0; c < bases.components(); ++c) {
    const auto flux = [&](double x) { return (x * TWO_PI) * bases.component(c, x); };
    fluxes[c] = integrate_ring_by_ring(flux, std::numeric_limits<double>::infinity(), bases);
    moments[c] = law.bases[c].moments();
  }
  std::vector<Band> bands;
  bands.reserve(law.rows.size());
  for (const BasisTerms& terms : law.rows) {
    std::array<double, FAR_FIELD_TERMS + 1> band_moments{};
    for (int k = 0; k <= FAR_FIELD_TERMS; ++k) {
      double sum = terms[0].weight * moments[terms[0].basis][k];
      for (std::size_t i = 1; i < terms.size(); ++i) {
        sum = sum + terms[i].weight * moments[terms[i].basis][k];
      }
      band_moments[k] = sum;
    }
    BrightnessMoments normalised{};
    for (int k = 1; k <= FAR_FIELD_TERMS; ++k) normalised[k - 1] = band_moments[k] / band_moments[0];
    bands.push_back({terms, weighted(terms, fluxes), normalised});
  }
  return bands;
}

// Beyond this separation (in source radii) the ring form's term d^2 Pi
// overflows at every radius of the source; the magnification there is 1 to
// double precision.
constexpr double RING_TERMS_OVERFLOW = 1e154;

}  // namespace

Checked<FloatRows> _limb_darkened_magnification(FloatVector l, double re, double rstar,
                                                std::string law, FloatRows coefficients,
                                                Checkpoint checkpoint, lanes::Path path) {
  const auto rows = law_rows(law, coefficients);
  if (!rows) return refuse(rows.error());
  const Bases bases{rows->bases};
  const std::vector<Band> bands = bands_of(*rows, bases);

  FloatRows magnifications{std::vector<FloatVector>(bands.size()), coefficients.flat};
  for (FloatVector& row : magnifications.rows) row.reserve(l.size());
  const auto for_each_band = [&](auto&& value) {
    for (std::size_t b = 0; b < bands.size(); ++b) magnifications.rows[b].push_back(value(bands[b]));
  };

  if (sizes_without_meaning(re, rstar)) {
    for (std::size_t i = 0; i < l.size(); ++i) {
      for_each_band([](const Band&) { return std::numeric_limits<double>::quiet_NaN(); });
    }
    return magnifications;
  }
  re = einstein_radius(re);
  const double rho = rstar / re;
  // A source far smaller than the Einstein radius is integrated at a
  // reference size and scaled (SMALL_SOURCE_RHO).
  const bool small_source = rho < SMALL_SOURCE_RHO;
  std::vector<double> kept;
  std::vector<double> magnified(bases.components());
  for (const double separation : l) {
    if (checkpoint.stop_requested()) {
      return std::unexpected(OperationError(stopped_at_checkpoint().error()));
    }
    if (!(separation >= 0.0)) {
      for_each_band([](const Band&) { return std::numeric_limits<double>::quiet_NaN(); });
      continue;
    }
    if (in_far_field(separation, rho)) {
      for_each_band([&](const Band& band) {
        return far_field_magnification(rho * separation, 1.0 / (separation * separation),
                                       band.moments);
      });
      continue;
    }
    // A source of more than DISC_CLOSED_FORM_LARGEST_RHO Einstein radii (or
    // none at all) is magnified by 1 to double precision, as every ring is
    // with the lens beyond RING_TERMS_OVERFLOW.
    if (separation > RING_TERMS_OVERFLOW || rho > DISC_CLOSED_FORM_LARGEST_RHO) {
      for_each_band([](const Band&) { return 1.0; });
      continue;
    }
    const RingFluxes rings{separation, small_source ? 1.0 : re,
                           small_source ? SMALL_SOURCE_REFERENCE_RHO : rstar, path};
    FluxesKept<RingFluxes> kept_rings(rings, kept);
    for (std::size_t c = 0; c < bases.components(); ++c) {
      kept_rings.start_pass();
      ComponentFluxes<FluxesKept<RingFluxes>, Bases> flux{kept_rings, bases, c};
      magnified[c] = integrate_ring_by_ring(flux, separation, bases);
    }
    for_each_band([&](const Band& band) {
      const double magnification = weighted(band.terms, magnified) / band.flux;
      return small_source ? (magnification * SMALL_SOURCE_REFERENCE_RHO) / rho : magnification;
    });
  }
  return magnifications;
}

Checked<FloatRows> limb_darkened_magnification(FloatVector l, double re, double rstar,
                                               std::string law, FloatRows coefficients,
                                               Checkpoint checkpoint) {
  return _limb_darkened_magnification(std::move(l), re, rstar, std::move(law),
                                      std::move(coefficients), checkpoint, lanes::active_path());
}

}  // namespace magnikit
