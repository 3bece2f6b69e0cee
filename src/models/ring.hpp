// Magnification of a thin circular ring of the source, concentric with the
// source disc: the point-lens magnification averaged around the ring, in
// Heyrovsky's closed form (2003, ApJ 594, 464) in K and Pi, taken in the
// complementary parameters where the ring passes close to the lens.
#pragma once

#include <span>

#include "core/computation.hpp"
#include "core/function_entry.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {

// l: lens-source separation and r: ring radius, both in source radii;
// re: Einstein radius and rstar: source radius, in one length unit. Sizes
// without meaning (models/source_sizes.hpp) give NaN; l and r of opposite
// signs, NaN or infinite the elliptic integrals' error; a negative one beside
// a zero one, or both negative, NaN.
Computed<double> heyrovsky_magnification(double l, double r, double re, double rstar);

// The rings (l[i], r[i]) for one lens and source, several at a time in
// vector lanes where the CPU has them: out[i] is, bit for bit,
// heyrovsky_magnification(l[i], r[i], re, rstar). The spans have one length.
void heyrovsky_magnifications(std::span<const double> l, std::span<const double> r, double re,
                              double rstar, std::span<Computed<double>> out);
// The same on a chosen path (the active one instead of a path this CPU
// cannot run), for comparing the paths.
void heyrovsky_magnifications(std::span<const double> l, std::span<const double> r, double re,
                              double rstar, std::span<Computed<double>> out, lanes::Path path);

inline constexpr FunctionEntry<&heyrovsky_magnification> heyrovsky_magnification_entry{
    "heyrovsky_magnification", {"l", "r", "re", "rstar"}};

}  // namespace magnikit
