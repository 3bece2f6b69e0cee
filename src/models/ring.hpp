// Magnification of a thin circular ring of the source, concentric with the
// source disc: the point-lens magnification averaged around the ring, in
// Heyrovsky's closed form (2003, ApJ 594, 464) in K and Pi, taken in the
// complementary parameters where the ring passes close to the lens.
#pragma once

#include "core/computation.hpp"
#include "core/function_entry.hpp"

namespace magnikit {

// l: lens-source separation and r: ring radius, both in source radii;
// re: Einstein radius and rstar: source radius, in one length unit.
Computed<double> heyrovsky_magnification(double l, double r, double re, double rstar);

inline constexpr FunctionEntry<&heyrovsky_magnification> heyrovsky_magnification_entry{
    "heyrovsky_magnification", {"l", "r", "re", "rstar"}};

}  // namespace magnikit
