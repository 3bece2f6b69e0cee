// The ring-by-ring integral of a source's magnified flux over its radius:
// the ring magnification A(l, x) at the nodes of the near field's rule
// (models/radius_nodes.hpp), evaluated side by side in vector lanes, summed
// with the area 2 pi x dx of each node and the brightness there.
//
// A law whose brightness is a function of mu (the built-in linear law, the
// bases of the limb-darkening laws) takes the whole radius as one piece: its
// rings are evaluated once and every component of the law sums them with its
// own brightness. A sampled profile takes each piece between samples with its
// own line, the nodes of many pieces evaluated together.
//
// Rounding order: every product and sum is written in the order in which it
// is rounded (the build never fuses a multiply and an add), and each sum runs
// over the nodes in the rule's order, so the results are reproducible to the
// last bit and a component's sum does not depend on the others.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "core/checkpoint.hpp"
#include "core/constants.hpp"
#include "models/brightness_profile.hpp"
#include "models/radius_nodes.hpp"
#include "models/ring.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {

// The integrand at a node, or 0 where it is NaN or infinite: a node that
// rounds onto the ring through the lens (+inf there), or where a model fails,
// drops out of the sum.
inline double finite_or_zero(double y) { return std::isfinite(y) ? y : 0.0; }

// The ring magnifications A(l, x) for one lens and source at many radii x,
// in vector lanes a batch at a time: NaN where the ring model fails.
struct RingMagnifications {
  void operator()(std::span<const double> x, std::span<double> magnification) const {
    constexpr std::size_t BATCH = 64;
    double separations[BATCH];
    Computed<double> rings[BATCH];
    std::fill(separations, separations + BATCH, l);
    for (std::size_t start = 0; start < x.size(); start += BATCH) {
      const std::size_t count = std::min(BATCH, x.size() - start);
      heyrovsky_magnifications(std::span(separations, count), x.subspan(start, count), re, rstar,
                               std::span(rings, count), path);
      for (std::size_t i = 0; i < count; ++i) {
        magnification[start + i] =
            rings[i] ? *rings[i] : std::numeric_limits<double>::quiet_NaN();
      }
    }
  }

  double l;
  double re;
  double rstar;
  lanes::Path path;
};

// Sums coefficient * f(x) over nodes given one at a time, f evaluated a
// batch of nodes at a time; the sum runs in the order the nodes came.
template <class Integrand>
class BatchedSum {
 public:
  explicit BatchedSum(const Integrand& f) : f_(f) {}

  void add(double x, double coefficient) {
    x_[count_] = x;
    coefficient_[count_] = coefficient;
    if (++count_ == BATCH) flush();
  }

  double total() {
    flush();
    return total_;
  }

 private:
  static constexpr std::size_t BATCH = 256;

  void flush() {
    f_(std::span<const double>(x_, count_), std::span<double>(y_, count_));
    for (std::size_t i = 0; i < count_; ++i) {
      total_ = total_ + coefficient_[i] * finite_or_zero(y_[i]);
    }
    count_ = 0;
  }

  const Integrand& f_;
  double x_[BATCH];
  double coefficient_[BATCH];
  double y_[BATCH];
  std::size_t count_ = 0;
  double total_ = 0.0;
};

// The scratch of one call's near-field integrals, kept from one separation
// to the next.
struct NearFieldScratch {
  std::vector<Cell> cells;
  LawNodes law;
  PieceNodes piece;
  std::vector<double> integrand;
};

// sum_i w_i f(x_i) L(mu_i) for each component L of a law over the nodes of
// its piece, with f given at the nodes: the brightness at each node from
// mu, sqrt(mu) and ln(mu), the latter two formed only where the law asks
// for them.
template <class Law>
void sum_law_components(const LawNodes& nodes, std::span<const double> weights,
                        std::span<const double> f, const Law& law, std::span<double> sums) {
  std::fill(sums.begin(), sums.end(), 0.0);
  const bool root = law.needs_root_mu();
  const bool log = law.needs_log_mu();
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const double weighted = weights[i] * finite_or_zero(f[i]);
    const bool in_x = i < nodes.in_x;
    const double v = nodes.variable[i];
    LimbPoint point{nodes.mu[i], 0.0, 0.0};
    if (root) point.root_mu = in_x ? std::sqrt(point.mu) : v;
    if (log) point.log_mu = in_x ? std::log(point.mu) : 2.0 * std::log(v);
    for (std::size_t c = 0; c < sums.size(); ++c) {
      sums[c] = sums[c] + weighted * law.component(c, point);
    }
  }
}

// The magnified flux of each component of the law, sum over the source of
// 2 pi x A(l, x) L(mu) dx, for the lens at l and the source eps Einstein radii
// in radius.
template <class Law>
void ring_by_ring_law(const RingMagnifications& rings, double eps, const Law& law,
                      NearFieldScratch& scratch, std::span<double> fluxes) {
  law_nodes(rings.l, eps, scratch.cells, scratch.law);
  scratch.integrand.resize(scratch.law.size());
  rings(scratch.law.x, scratch.integrand);
  sum_law_components(scratch.law, scratch.law.area, scratch.integrand, law, fluxes);
}

// The magnified flux of a sampled profile, piece by piece: the checkpoint is
// asked before each piece, so that a profile of a million samples stops
// within a few pieces of the caller's asking; the sum is then of no use. A
// piece where the profile is zero takes no nodes.
inline double ring_by_ring_sampled(const RingMagnifications& rings, double eps,
                                   const SampledProfile& profile, NearFieldScratch& scratch,
                                   Checkpoint& checkpoint) {
  const FluxSingularities flux(rings.l, eps);
  BatchedSum<RingMagnifications> sum(rings);
  const PieceNodes& nodes = scratch.piece;
  profile.for_each_piece([&](double a, double b) {
    if (checkpoint.stop_requested()) return;
    const Line line = profile.line(a + (b - a) * 0.5);
    if (line.intercept == 0.0 && line.slope == 0.0) return;
    piece_nodes(flux, a, b, scratch.cells, scratch.piece);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      const double x = nodes.x[i];
      sum.add(x, ((x * TWO_PI) * nodes.weight[i]) * line.at(x));
    }
  });
  return sum.total();
}

// The magnified flux of a profile of the integrated forms: the built-in law
// or a sampled profile.
inline double ring_by_ring_flux(const RingMagnifications& rings, double eps,
                                const LinearLimbDarkening& law, NearFieldScratch& scratch,
                                Checkpoint&) {
  double flux = 0.0;
  ring_by_ring_law(rings, eps, law, scratch, std::span(&flux, 1));
  return flux;
}
inline double ring_by_ring_flux(const RingMagnifications& rings, double eps,
                                const SampledProfile& profile, NearFieldScratch& scratch,
                                Checkpoint& checkpoint) {
  return ring_by_ring_sampled(rings, eps, profile, scratch, checkpoint);
}

}  // namespace magnikit
