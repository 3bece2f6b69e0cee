// The magnified flux of a limb-darkened source built from uniform discs of
// growing radius, integrated by parts so that no derivative is taken
// numerically.
//
// With F(x) the magnified flux of the uniformly bright disc of radius x
// (brightness 1), the source of profile I magnifies
//
//   int_0^1 F'(x) I(x) dx = F(1) I(1) - int_0^1 F(x) I'(x) dx,
//
// F'(x) being the magnified flux of the ring of radius x. F is the integral
// of the ring flux and has its singular points, with (x - l) log|x - l| at
// x = l, where the rim of the disc passes through the lens: it is integrated
// at the nodes of the ring-by-ring forms (models/radius_nodes.hpp), with one
// uniform disc per node.
#pragma once

#include <span>
#include <vector>

#include "core/checkpoint.hpp"
#include "models/brightness_profile.hpp"
#include "models/ring_by_ring.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {

// F(x) = pi x^2 A_disc(l/x; rho x): the disc of radius x source radii is
// rho x Einstein radii in radius and has the lens l/x of its own radii from
// its centre. Nothing of the source lies within radius 0, so there F is 0
// and no disc is evaluated; where the disc model fails F is NaN, which the
// sum drops. The discs of many radii are evaluated side by side in vector
// lanes.
struct DiscFluxes {
  void operator()(std::span<const double> x, std::span<double> flux) const;
  // F at one radius.
  double at(double x) const;

  double l;
  double re;
  double rstar;
  lanes::Path path;
};

// The linear law I = 1 - c (1 - mu), mu = sqrt(1 - x^2): its slope
// I'(x) dx = c d mu has a square-root edge at the limb, which the law's
// nodes take in v = sqrt(mu) (models/radius_nodes.hpp), where
// d mu = 2 v dv: the magnified flux is
//
//   F(1) I(1) + c int_0^1 F d mu.
class LinearLawByParts {
 public:
  explicit LinearLawByParts(const LinearLimbDarkening& law) : law_(law) {}
  double magnified_flux(const DiscFluxes& disc_flux, Checkpoint& checkpoint);

 private:
  const LinearLimbDarkening& law_;
  NearFieldScratch scratch_;
};

// A sampled profile, linear on each piece p_0 .. p_k of the source radius
// (models/brightness_profile.hpp) and zero off the samples: the Stieltjes
// form. On p_i the profile follows a line L_i, so I' is its slope there, and
// I steps at every boundary x_j where two lines do not meet (the first and
// the last sample, where the profile falls to zero, and a radius given
// twice); with F(0) = 0,
//
//   int_0^1 F' I = F(1) L_k(1) - sum_i slope_i int_{p_i} F dx
//                  - sum_j F(x_j) (L_j(x_j) - L_{j-1}(x_j)),
//
// the first term being the last step, from L_k(1) to nothing beyond the
// source. Where two lines meet, at a kink, the step is rounding. The pieces,
// their slopes and the steps are formed once per call; the profile's samples
// must outlive this.
class SampledProfileByParts {
 public:
  explicit SampledProfileByParts(const SampledProfile& profile);
  // The checkpoint is asked before each piece; once it says stop the flux
  // is of no use.
  double magnified_flux(const DiscFluxes& disc_flux, Checkpoint& checkpoint);

 private:
  struct Piece {
    double a;
    double b;
    double slope;
  };
  std::vector<Piece> pieces_;     // the pieces on which the profile slopes
  std::vector<double> ends_;      // where it steps, outwards, 1 last if it is there
  std::vector<double> steps_;     // by how much: L_j(x_j) - L_{j-1}(x_j), -L_k(1)
  std::vector<double> end_fluxes_;  // F at ends_, per separation
  NearFieldScratch scratch_;
};

inline LinearLawByParts integral_by_parts(const LinearLimbDarkening& law) {
  return LinearLawByParts(law);
}
inline SampledProfileByParts integral_by_parts(const SampledProfile& profile) {
  return SampledProfileByParts(profile);
}

}  // namespace magnikit
