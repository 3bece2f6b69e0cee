// Magnification of a source whose radial brightness profile is sampled by
// the caller: radii bl (in source radii) and the brightness bf at each.
#pragma once

#include "core/checkpoint.hpp"
#include "core/computation.hpp"
#include "core/function_entry.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {

// Every operation refuses radii and brightnesses of different lengths and
// radii that are not finite; the integrated forms, which interpolate
// between neighbouring samples, also radii that do not ascend. A brightness
// that is not finite makes every magnification NaN, and so does a profile
// with no flux over the source in the integrated forms.

// Each sample is a thin ring weighted by its brightness: the sum over the
// samples of bf[j] times the ring magnification at radius bl[j], not
// normalised.
Checked<FloatVector> discrete_flux_map_heyrovsky_magnification(FloatVector l, double re,
                                                                double rstar, FloatVector bl,
                                                                FloatVector bf,
                                                                Checkpoint checkpoint);
// The same with the rings evaluated on the given path (numeric/lanes.hpp),
// the same bits on every path.
Checked<FloatVector> _discrete_flux_map_heyrovsky_magnification(FloatVector l, double re,
                                                                 double rstar, FloatVector bl,
                                                                 FloatVector bf,
                                                                 Checkpoint checkpoint,
                                                                 lanes::Path path);

// The integrated limb-darkened magnifications with the profile interpolated
// linearly between the samples (zero outside them) and normalised by its own
// quadrature value.
Checked<FloatVector> integrated_flux_map_heyrovsky_magnification(FloatVector l, double re,
                                                                 double rstar, FloatVector bl,
                                                                 FloatVector bf,
                                                                 Checkpoint checkpoint);
Checked<FloatVector> integrated_flux_map_witt_mao_magnification(FloatVector l, double re,
                                                                double rstar, FloatVector bl,
                                                                FloatVector bf,
                                                                Checkpoint checkpoint);

inline constexpr FunctionEntry<&integrated_flux_map_witt_mao_magnification>
    integrated_flux_map_witt_mao_magnification_entry{
        "integrated_flux_map_witt_mao_magnification", {"l", "re", "rstar", "bl", "bf"}};
inline constexpr FunctionEntry<&integrated_flux_map_heyrovsky_magnification>
    integrated_flux_map_heyrovsky_magnification_entry{
        "integrated_flux_map_heyrovsky_magnification", {"l", "re", "rstar", "bl", "bf"}};
inline constexpr FunctionEntry<&discrete_flux_map_heyrovsky_magnification>
    discrete_flux_map_heyrovsky_magnification_entry{
        "discrete_flux_map_heyrovsky_magnification", {"l", "re", "rstar", "bl", "bf"}};

}  // namespace magnikit
