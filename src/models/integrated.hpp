// Magnification of a limb-darkened source: a magnification model weighted
// with a radial brightness profile and integrated over the source radius by
// the near field's graded cells (models/radius_nodes.hpp).
#pragma once

#include "core/checkpoint.hpp"
#include "core/computation.hpp"
#include "core/function_entry.hpp"
#include "models/brightness_profile.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {

// Ring by ring: the profile-weighted average of the ring magnification over
// the disc, divided by the normaliser. A ring model error drops that point,
// so this form fails only when the checkpoint stops it. Sizes without
// meaning (models/source_sizes.hpp) and a NaN or negative separation give
// NaN; beyond 1e154 source radii, and for a source too large to be
// magnified, the result is 1.
// The rings of each integral are evaluated on the given path
// (numeric/lanes.hpp), the same bits on every path.
template <class Profile>
Computed<FloatVector> _integrated_heyrovsky_magnification(FloatVector l, double re, double rstar,
                                                          const Profile& profile,
                                                          double normaliser,
                                                          Checkpoint checkpoint,
                                                          lanes::Path path);

// From uniform discs of growing radius, integrated by parts: the flux
// magnified within radius x weighted by the profile's slope, with no
// derivative taken numerically (models/disc_by_disc.hpp). Fails when the
// uniform-disc model fails at the full source radius (a negative, NaN or
// infinite separation), or when the checkpoint stops it; sizes without
// meaning give NaN. The discs are evaluated on the given path, the same bits
// on every path.
template <class Profile>
Computed<FloatVector> _integrated_witt_mao_magnification(FloatVector l, double re, double rstar,
                                                         const Profile& profile,
                                                         double normaliser,
                                                         Checkpoint checkpoint,
                                                         lanes::Path path);

// The same with the built-in linear limb-darkening law.
Computed<FloatVector> integrated_heyrovsky_magnification(FloatVector l, double re, double rstar,
                                                         Checkpoint checkpoint);
Computed<FloatVector> integrated_witt_mao_magnification(FloatVector l, double re, double rstar,
                                                        Checkpoint checkpoint);

inline constexpr FunctionEntry<&integrated_witt_mao_magnification>
    integrated_witt_mao_magnification_entry{"integrated_witt_mao_magnification",
                                            {"l", "re", "rstar"}};
inline constexpr FunctionEntry<&integrated_heyrovsky_magnification>
    integrated_heyrovsky_magnification_entry{"integrated_heyrovsky_magnification",
                                             {"l", "re", "rstar"}};

}  // namespace magnikit
