// Magnifications of a source whose brightness profile the caller samples.
//
// Rounding order: as in every model, each sum and product is written in the
// order in which it is rounded (the build never fuses a multiply and an
// add), so the results are reproducible to the last bit.
#include "models/flux_map.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <string>

#include "core/constants.hpp"
#include "core/decimal.hpp"
#include "models/far_field.hpp"
#include "models/integrated.hpp"
#include "models/ring.hpp"
#include "models/source_sizes.hpp"

namespace magnikit {
namespace {

// Radii and brightnesses pair up one to one.
std::optional<InvalidArgument> unequal_lengths(const FloatVector& bl, const FloatVector& bf) {
  if (bl.size() == bf.size()) return std::nullopt;
  return InvalidArgument{InvalidArgument::Kind::unequal_lengths,
                         "bl and bf must have the same length (one brightness per radius), "
                         "but bl has " + std::to_string(bl.size()) + " items and bf has " +
                             std::to_string(bf.size())};
}

// A radius that is not a number, or infinite, places its sample nowhere on
// the source.
std::optional<InvalidArgument> non_finite_radius(const FloatVector& bl) {
  const auto bad = std::ranges::find_if(bl, [](double r) { return !std::isfinite(r); });
  if (bad == bl.end()) return std::nullopt;
  return InvalidArgument{InvalidArgument::Kind::value,
                         "argument 'bl': every radius must be finite, but bl[" +
                             std::to_string(bad - bl.begin()) + "] is " + decimal(*bad)};
}

// The interpolated profile is the brightness between neighbouring samples
// only when the radii ascend; a radius may repeat, for a step in
// brightness.
std::optional<InvalidArgument> descending_radius(const FloatVector& bl) {
  const auto bad = std::ranges::adjacent_find(bl, std::ranges::greater{});
  if (bad == bl.end()) return std::nullopt;
  const auto i = static_cast<std::size_t>(bad - bl.begin());
  return InvalidArgument{InvalidArgument::Kind::value,
                         "argument 'bl': the radii must ascend (a radius may repeat, for a "
                         "step in brightness), but bl[" + std::to_string(i + 1) + "] = " +
                             decimal(bl[i + 1]) + " follows bl[" + std::to_string(i) + "] = " +
                             decimal(bl[i])};
}

// What the integrated forms need of a profile: a brightness for every
// radius, the radii finite and ascending.
std::optional<InvalidArgument> refused_profile(const FloatVector& bl, const FloatVector& bf) {
  if (auto refused = unequal_lengths(bl, bf)) return refused;
  if (auto refused = non_finite_radius(bl)) return refused;
  return descending_radius(bl);
}

// A brightness that is not finite leaves the profile undefined; the
// quadrature would drop the points it spoils and hide it.
bool has_non_finite_brightness(const SampledProfile& profile) {
  return std::ranges::any_of(profile.bf, [](double b) { return !std::isfinite(b); });
}

// The source's total flux under the sampled profile, exactly, piece by
// piece between samples (the far field's zeroth integral); NaN for a profile
// that is not finite, and with it every magnification divided by it. Both
// integrated forms divide by it.
double total_flux(const SampledProfile& profile, Checkpoint& checkpoint) {
  if (has_non_finite_brightness(profile)) return std::numeric_limits<double>::quiet_NaN();
  return TWO_PI * brightness_integrals(profile, checkpoint)[0];
}

std::unexpected<OperationError> stopped() {
  return std::unexpected(OperationError(stopped_at_checkpoint().error()));
}

}  // namespace

Checked<FloatVector> _discrete_flux_map_heyrovsky_magnification(FloatVector l, double re,
                                                                double rstar, FloatVector bl,
                                                                FloatVector bf,
                                                                Checkpoint checkpoint,
                                                                lanes::Path path) {
  // The rings may come in any order: the sum does not interpolate.
  if (auto refused = unequal_lengths(bl, bf)) return refuse(*std::move(refused));
  if (auto refused = non_finite_radius(bl)) return refuse(*std::move(refused));
  if (sizes_without_meaning(re, rstar)) return not_a_magnification_for_each(l.size());
  // A weight that is not finite makes every sum undefined; the rings are
  // still evaluated, so that a ring model error is raised as ever.
  const bool defined = std::ranges::all_of(bf, [](double b) { return std::isfinite(b); });
  // The rings of one separation a few dozen at a time, summed in order.
  constexpr std::size_t RINGS = 16;
  double separations[RINGS];
  Computed<double> rings[RINGS];
  FloatVector magnifications;
  magnifications.reserve(l.size());
  for (const double separation : l) {
    if (checkpoint.stop_requested()) return stopped();
    std::fill(separations, separations + std::min(RINGS, bl.size()), separation);
    double S = 0.0;
    for (std::size_t start = 0; start < bl.size(); start += RINGS) {
      // A profile of a million rings takes a while for each separation.
      if (checkpoint.stop_requested()) return stopped();
      const std::size_t count = std::min(RINGS, bl.size() - start);
      heyrovsky_magnifications(std::span(separations, count), std::span(bl).subspan(start, count),
                               re, rstar, std::span(rings, count), path);
      for (std::size_t j = 0; j < count; ++j) {
        if (!rings[j]) return std::unexpected(OperationError(rings[j].error()));
        S = S + *rings[j] * bf[start + j];
      }
    }
    magnifications.push_back(defined ? S : std::numeric_limits<double>::quiet_NaN());
  }
  return magnifications;
}

Checked<FloatVector> discrete_flux_map_heyrovsky_magnification(FloatVector l, double re,
                                                               double rstar, FloatVector bl,
                                                               FloatVector bf,
                                                               Checkpoint checkpoint) {
  return _discrete_flux_map_heyrovsky_magnification(std::move(l), re, rstar, std::move(bl),
                                                    std::move(bf), checkpoint,
                                                    lanes::active_path());
}

Checked<FloatVector> integrated_flux_map_heyrovsky_magnification(FloatVector l, double re,
                                                                 double rstar, FloatVector bl,
                                                                 FloatVector bf,
                                                                 Checkpoint checkpoint) {
  if (auto refused = refused_profile(bl, bf)) return refuse(*std::move(refused));
  const SampledProfile profile{bl, bf};
  const double N = total_flux(profile, checkpoint);
  if (checkpoint.stopped()) return stopped();
  return checked(_integrated_heyrovsky_magnification(std::move(l), re, rstar, profile, N,
                                                     checkpoint, lanes::active_path()));
}

Checked<FloatVector> integrated_flux_map_witt_mao_magnification(FloatVector l, double re,
                                                                double rstar, FloatVector bl,
                                                                FloatVector bf,
                                                                Checkpoint checkpoint) {
  if (auto refused = refused_profile(bl, bf)) return refuse(*std::move(refused));
  const SampledProfile profile{bl, bf};
  const double N = total_flux(profile, checkpoint);
  if (checkpoint.stopped()) return stopped();
  return checked(_integrated_witt_mao_magnification(std::move(l), re, rstar, profile, N,
                                                    checkpoint, lanes::active_path()));
}

}  // namespace magnikit
