// Magnification of a source darkened towards its limb by a law the caller
// names, with the caller's coefficients (models/limb_darkening_laws.hpp),
// for one band or several at once, integrated ring by ring.
#pragma once

#include <string>

#include "core/checkpoint.hpp"
#include "core/computation.hpp"
#include "core/function_entry.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {

// One magnification per separation for each row of coefficients (a band),
// shaped as the coefficients were given: a flat row gives a flat result.
// The bands share every ring evaluation. Refuses an unknown law and
// coefficients that are not the law's (models/limb_darkening_laws.hpp);
// separations as the ring-by-ring forms take them (NaN for a NaN or
// negative separation, 1 for one beyond 1e154 source radii).
Checked<FloatRows> limb_darkened_magnification(FloatVector l, double re, double rstar,
                                               std::string law, FloatRows coefficients,
                                               Checkpoint checkpoint);
// The same with the rings evaluated on the given path, the same bits on
// every path.
Checked<FloatRows> _limb_darkened_magnification(FloatVector l, double re, double rstar,
                                                std::string law, FloatRows coefficients,
                                                Checkpoint checkpoint, lanes::Path path);

inline constexpr FunctionEntry<&limb_darkened_magnification> limb_darkened_magnification_entry{
    "limb_darkened_magnification", {"l", "re", "rstar", "law", "coefficients"}};

}  // namespace magnikit
