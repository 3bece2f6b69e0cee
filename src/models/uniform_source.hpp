// Magnification of a uniformly bright circular source by a point-mass lens:
// the closed form of Witt & Mao (1994, ApJ 430, 505) in the complete elliptic
// integrals K, E and Pi, with its own closed form for the lens on the rim.
#pragma once

#include <span>

#include "core/checkpoint.hpp"
#include "core/computation.hpp"
#include "core/function_entry.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {

// The per-call quantities of one source size; magnification() gives the
// value for one lens-source separation.
class UniformSource {
 public:
  // re: Einstein radius; rstar: source radius (same length unit).
  UniformSource(double re, double rstar);
  // l: lens-source separation in source radii.
  Computed<double> magnification(double l) const;

 private:
  // Evaluated only for the lens on the rim: the integrated form builds a
  // source per quadrature point and most never need it.
  double rim_magnification() const;
  // For rho outside the closed form's range (DISC_CLOSED_FORM_*_RHO): 1
  // beyond it, the point-lens limit below it; NaN for a rho not above 0.
  double beyond_closed_form(double l) const;

  double rho_;   // source radius in Einstein radii
  double q_;     // rho^2
  double band_;  // half-width of the band about the rim, in Einstein radii
};

// The discs of radii rstar[i] (in the unit of re) with the lens at l[i]
// source radii, several at a time in vector lanes where the CPU has them:
// out[i] is, bit for bit, UniformSource(re, rstar[i]).magnification(l[i]).
// The spans have one length.
void uniform_disc_magnifications(std::span<const double> l, std::span<const double> rstar,
                                 double re, std::span<Computed<double>> out);
// The same on a chosen path (the active one instead of a path this CPU
// cannot run), for comparing the paths.
void uniform_disc_magnifications(std::span<const double> l, std::span<const double> rstar,
                                 double re, std::span<Computed<double>> out, lanes::Path path);

// One magnification per separation in l (source radii); the first error (a
// negative, NaN or infinite separation) fails the whole call. Sizes without
// meaning (models/source_sizes.hpp) give NaN for every separation.
Computed<FloatVector> witt_mao_magnification(FloatVector l, double re, double rstar,
                                             Checkpoint checkpoint);

inline constexpr FunctionEntry<&witt_mao_magnification> witt_mao_magnification_entry{
    "witt_mao_magnification", {"l", "re", "rstar"}};

}  // namespace magnikit
