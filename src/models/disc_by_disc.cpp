// The integral over the source radius from uniform discs, by parts.
//
// Rounding order: every product and sum is written in the order in which it
// is rounded, and the build never contracts a product into a fused
// multiply-add, so each result is reproducible to the last bit.
#include "models/disc_by_disc.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "core/constants.hpp"
#include "models/radius_nodes.hpp"
#include "models/ring_by_ring.hpp"
#include "models/uniform_source.hpp"
#include "numeric/interpolation.hpp"

namespace magnikit {
namespace {

// Radii per batch of discs.
constexpr std::size_t DISC_BATCH = 64;

}  // namespace

void DiscFluxes::operator()(std::span<const double> x, std::span<double> flux) const {
  for (std::size_t start = 0; start < x.size(); start += DISC_BATCH) {
    const std::size_t count = std::min(DISC_BATCH, x.size() - start);
    double separations[DISC_BATCH];
    double rstars[DISC_BATCH];
    std::size_t taken[DISC_BATCH];
    std::size_t discs = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const double radius = x[start + i];
      flux[start + i] = 0.0;
      if (!(radius > 0.0)) continue;
      separations[discs] = l / radius;
      rstars[discs] = rstar * radius;
      taken[discs++] = start + i;
    }
    Computed<double> magnifications[DISC_BATCH];
    uniform_disc_magnifications(std::span(separations, discs), std::span(rstars, discs), re,
                                std::span(magnifications, discs), path);
    for (std::size_t k = 0; k < discs; ++k) {
      const double radius = x[taken[k]];
      flux[taken[k]] = magnifications[k]
                           ? (PI * (radius * radius)) * *magnifications[k]
                           : std::numeric_limits<double>::quiet_NaN();
    }
  }
}

double DiscFluxes::at(double x) const {
  double flux = 0.0;
  (*this)(std::span(&x, 1), std::span(&flux, 1));
  return flux;
}

double LinearLawByParts::magnified_flux(const DiscFluxes& disc_flux, Checkpoint&) {
  LawNodes& nodes = scratch_.law;
  law_nodes(disc_flux.l, disc_flux.re / disc_flux.rstar, scratch_.cells, nodes);
  scratch_.integrand.resize(nodes.size());
  disc_flux(nodes.x, scratch_.integrand);
  // d mu = -(x / mu) dx in x, 2 v dv in v (mu falling as x grows).
  double inner = 0.0;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const double dmu = i < nodes.in_x ? (nodes.x[i] / nodes.mu[i]) * nodes.weight[i]
                                      : (2.0 * nodes.variable[i]) * nodes.weight[i];
    inner = inner + dmu * finite_or_zero(scratch_.integrand[i]);
  }
  // A disc the model cannot give counts as nothing, like a node.
  const double edge = finite_or_zero(disc_flux.at(1.0)) * law_.brightness(0.0);
  return edge + LinearLimbDarkening::COEFFICIENT * inner;
}

SampledProfileByParts::SampledProfileByParts(const SampledProfile& profile) {
  // The line the interpolant follows on each piece, taken at its middle; a
  // line that is not finite (a NaN or infinite brightness or radius) counts
  // as none, as in the profile's brightness moments (models/far_field.cpp).
  Line previous{0.0, 0.0};
  profile.for_each_piece([&](double a, double b) {
    Line line = profile.line(a + (b - a) * 0.5);
    if (!std::isfinite(line.intercept) || !std::isfinite(line.slope)) line = Line{0.0, 0.0};
    if (a > 0.0) {
      const double step = line.at(a) - previous.at(a);
      if (step != 0.0) {
        ends_.push_back(a);
        steps_.push_back(step);
      }
    }
    if (line.slope != 0.0) pieces_.push_back(Piece{a, b, line.slope});
    previous = line;
  });
  // Beyond the source the profile is nothing: the last line drops to zero.
  const double edge = -previous.at(1.0);
  if (edge != 0.0) {
    ends_.push_back(1.0);
    steps_.push_back(edge);
  }
  end_fluxes_.resize(ends_.size());
}

double SampledProfileByParts::magnified_flux(const DiscFluxes& disc_flux,
                                             Checkpoint& checkpoint) {
  disc_flux(ends_, end_fluxes_);
  double total = 0.0;
  for (std::size_t j = 0; j < ends_.size(); ++j) {
    total = total - finite_or_zero(end_fluxes_[j]) * steps_[j];
  }
  const FluxSingularities flux(disc_flux.l, disc_flux.re / disc_flux.rstar);
  BatchedSum<DiscFluxes> sloping(disc_flux);
  const PieceNodes& nodes = scratch_.piece;
  for (const Piece& piece : pieces_) {
    if (checkpoint.stop_requested()) break;
    piece_nodes(flux, piece.a, piece.b, scratch_.cells, scratch_.piece);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      sloping.add(nodes.x[i], -piece.slope * nodes.weight[i]);
    }
  }
  return total + sloping.total();
}

}  // namespace magnikit
