// The rule by which the ring-by-ring forms integrate over the source radius.
//
// The magnified flux of the ring of radius x has a logarithmic singularity on
// the ring through the lens, x = l, and follows the brightness profile, which
// is smooth on each of its pieces (the whole radius for the linear law; the
// stretch between two samples for a sampled profile, whose slope jumps at
// every sample, a kink the tanh-sinh rule would not see). Each piece is
// integrated on its own, and split at the ring through the lens if that
// crosses it, so that the singularity always sits at an end of an interval,
// where the rule's nodes crowd. The rule sums a fixed number of levels: its
// own error estimate, tried against a target relative to the integral, stops
// a sum next to the singularity as much as 5e-12 short.
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "core/checkpoint.hpp"
#include "core/constants.hpp"
#include "models/ring.hpp"
#include "numeric/lanes.hpp"
#include "numeric/quadrature.hpp"

namespace magnikit {

// The integral of f over [a, b] by exactly `levels` levels of the rule: a
// target of 0 is never met.
template <class Integrand>
double integrate_by_levels(Integrand& f, double a, double b, std::size_t levels) {
  return integrate(f, a, b, 0.0, levels).integral;
}

// f over one piece [a, b] of the source radius, with the lens at l. A piece
// that ends at the ring through the lens, or lies within its own width of
// it, has the singularity's steep slopes at or near an end and takes more
// levels than one farther away, on which f is smooth on the scale of the
// piece.
template <class Integrand>
double integrate_piece(Integrand& f, double l, double a, double b) {
  if (a < l && l < b) {
    const double inner = integrate_by_levels(f, a, l, RING_LEVELS_NEAR_LENS);
    const double outer = integrate_by_levels(f, l, b, RING_LEVELS_NEAR_LENS);
    return inner + outer;
  }
  const double gap = l <= a ? a - l : l - b;
  const bool near_lens = gap < b - a;
  return integrate_by_levels(f, a, b, near_lens ? RING_LEVELS_NEAR_LENS : RING_LEVELS_AWAY_FROM_LENS);
}

// f over the source radius [0, 1], piece by piece of the profile, with the
// lens at l. With l infinite every piece takes the levels of a distant lens:
// a profile's own flux integrated so is summed over the same nodes, in the
// same order, as the magnified flux for any lens at least a piece's width
// from every piece, and a magnification that is the same on every ring
// comes back exactly after the division.
//
// The checkpoint is asked before each piece, so that a profile of a million
// samples stops within a few pieces of the caller's asking; the sum is then
// of no use.
template <class Integrand, class Profile>
double integrate_ring_by_ring(Integrand& f, double l, const Profile& profile,
                              Checkpoint& checkpoint) {
  double total = 0.0;
  profile.for_each_piece([&](double a, double b) {
    if (checkpoint.stop_requested()) return;
    total = total + integrate_piece(f, l, a, b);
  });
  return total;
}

// The magnified flux of the rings of radius x about the lens at l, without
// the brightness: 2 pi x A_ring(x), for many radii at once, their rings
// evaluated side by side in vector lanes. A ring model error makes that
// point NaN, which the quadrature drops.
struct RingFluxes {
  void operator()(std::span<const double> x, std::span<double> flux) const {
    double separations[DE_POINTS];
    Computed<double> rings[DE_POINTS];
    std::fill(separations, separations + x.size(), l);
    heyrovsky_magnifications(std::span(separations, x.size()), x, re, rstar,
                             std::span(rings, x.size()), path);
    for (std::size_t i = 0; i < x.size(); ++i) {
      flux[i] = (x[i] * TWO_PI) * (rings[i] ? *rings[i] : std::numeric_limits<double>::quiet_NaN());
    }
  }

  double l;
  double re;
  double rstar;
  lanes::Path path;
};

// The magnified flux of one component of a profile, 2 pi x A_ring(x) I_c(x),
// from the ring fluxes. A profile of one component (a law of its own, a
// sampled profile) has component 0 only; the limb-darkening laws have one
// per basis profile.
template <class Fluxes, class Profile>
struct ComponentFluxes {
  void operator()(std::span<const double> x, std::span<double> flux) {
    fluxes(x, flux);
    for (std::size_t i = 0; i < x.size(); ++i) flux[i] = flux[i] * profile.component(c, x[i]);
  }

  Fluxes& fluxes;
  const Profile& profile;
  std::size_t c;
};

// The ring fluxes of one separation, evaluated once for all the components
// of a profile: each pass over the source radius asks for the rule's nodes
// in the same order (the rule sums fixed levels), so the first pass
// evaluates them and keeps them, and the others read them back.
template <class Fluxes>
class FluxesKept {
 public:
  FluxesKept(const Fluxes& fluxes, std::vector<double>& kept) : fluxes_(fluxes), kept_(kept) {
    kept_.clear();
  }

  // Before each pass over the source radius.
  void start_pass() { cursor_ = 0; }

  void operator()(std::span<const double> x, std::span<double> flux) {
    if (cursor_ == kept_.size()) {
      fluxes_(x, flux);
      kept_.insert(kept_.end(), flux.begin(), flux.end());
    } else {
      std::copy_n(kept_.begin() + static_cast<std::ptrdiff_t>(cursor_), x.size(), flux.begin());
    }
    cursor_ += x.size();
  }

 private:
  const Fluxes& fluxes_;
  std::vector<double>& kept_;
  std::size_t cursor_ = 0;
};

}  // namespace magnikit
